#pragma once

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QStringList>
#include <QTimer>
#include <utility>

// The reference server for the account tests, plus the few admin calls they make without the
// app's own code: tokens for a seeded user, fault switches and the request log.
struct AccountTestServer
{
    SERVER_HELPER server;

    bool start(const QStringList& extraArgs = {}) { return server.start(extraArgs); }
    QString base() const { return server.baseUrl(); }

    QJsonObject call(const QByteArray& method, const QString& path, const QJsonObject& body = {}, int* status = nullptr)
    {
        QNetworkAccessManager network;
        QNetworkRequest request(QUrl(base() + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        QNetworkReply* reply = network.sendCustomRequest(
            request, method, body.isEmpty() ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        if (!reply->isFinished())
            finished.wait(10000);
        if (status)
            *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QJsonObject result = QJsonDocument::fromJson(reply->readAll()).object();
        delete reply;
        return result;
    }

    // A fresh session for a seeded user; a negative time to live gives an expired access token.
    std::pair<QString, QString> tokens(const QString& email = QStringLiteral("ada@example.com"), int accessTtl = 900)
    {
        const QJsonObject answer = call("POST", QStringLiteral("/admin/tokens"),
                                        {{QStringLiteral("email"), email}, {QStringLiteral("access_ttl"), accessTtl}});
        return {answer.value(QLatin1String("access_token")).toString(),
                answer.value(QLatin1String("refresh_token")).toString()};
    }

    void fault(const QJsonObject& fault) { call("POST", QStringLiteral("/admin/faults"), fault); }
    void clearFaults() { call("DELETE", QStringLiteral("/admin/faults")); }

    QJsonArray requests(const QString& pathPrefix)
    {
        return call("GET", QStringLiteral("/admin/requests?path=") + pathPrefix)
            .value(QLatin1String("requests"))
            .toArray();
    }
    int count(const QString& pathPrefix) { return int(requests(pathPrefix).size()); }
    void clearRequests() { call("DELETE", QStringLiteral("/admin/requests")); }
};
