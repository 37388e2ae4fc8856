#pragma once

#include "AccountTypes.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QUrlQuery>

class QHttpMultiPart;
class QNetworkAccessManager;
class QNetworkReply;

namespace NorvAccount {

class TokenManager;

// One service's HTTP door: builds the URL from the base and a path, sets the identification and
// bearer headers, refreshes an expired token first, refreshes and retries once on a 401, and hands
// the decoded answer to exactly one callback. Every request has a transfer time-out, which ends it
// as a network failure (status 0). Redirects are followed here rather than by the network layer so
// that the bearer token only ever goes to the origin it was issued for.
class ApiClient : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultTransferTimeoutMs = 30000;
    static constexpr int kMaxRedirects = 5;

    // tokens is borrowed; it must outlive the client.
    explicit ApiClient(TokenManager* tokens, QObject* parent = nullptr);

    void setBaseUrl(const QUrl& url) { m_baseUrl = url; }
    QUrl baseUrl() const { return m_baseUrl; }
    void setAppInfo(const QString& appId, const QString& appVersion, const QString& platform);
    void setTransferTimeout(int milliseconds) { m_transferTimeoutMs = milliseconds; }

    // The path is appended to the base URL's path as plain text, never resolved against it.
    QUrl buildUrl(const QString& path, const QUrlQuery& query = QUrlQuery()) const;

    void get(const QString& path, ResponseCallback callback, const QUrlQuery& query = QUrlQuery());
    void getPublic(const QString& path, ResponseCallback callback, const QUrlQuery& query = QUrlQuery());
    void post(const QString& path, const QJsonObject& body, ResponseCallback callback);
    void postPublic(const QString& path, const QJsonObject& body, ResponseCallback callback);
    void put(const QString& path, const QJsonObject& body, ResponseCallback callback);
    void patch(const QString& path, const QJsonObject& body, ResponseCallback callback);
    void deleteResource(const QString& path, ResponseCallback callback, const QUrlQuery& query = QUrlQuery());
    void getBinary(const QString& path, BinaryCallback callback, const QUrlQuery& query = QUrlQuery());
    // Takes ownership of the multipart body; no 401 retry, since the body cannot be sent twice.
    void postMultipart(const QString& path, QHttpMultiPart* multipart, ResponseCallback callback);

    // Sends any method; an unknown one sends nothing and fails at once. For callers with an unusual
    // verb and for tests.
    void sendRequest(const QByteArray& method, const QString& path, const QJsonObject& body, ResponseCallback callback,
                     const QUrlQuery& query, bool authenticated);

    // Sends with exactly this bearer token: no refresh, no retry. For sign-out, which must reach the
    // service with the session's token after the token manager has already let go of it.
    void sendWithToken(const QByteArray& method, const QString& path, const QJsonObject& body, const QString& token,
                       ResponseCallback callback);

signals:
    void authenticationRequired();
    void networkError(const QString& message);

private:
    enum class Kind
    {
        Json,
        Binary,
        Multipart
    };

    struct Call
    {
        QByteArray method;
        QUrl url;
        // Where the token belongs; redirects elsewhere go without it, and a retry starts here.
        QUrl firstUrl;
        QByteArray body;
        QString token;
        Kind kind = Kind::Json;
        QPointer<QHttpMultiPart> multipart;
        bool retryOn401 = false;
        int redirects = 0;
        ResponseCallback json;
        BinaryCallback binary;
    };

    void send(Call call, bool authenticated);
    void executeRequest(Call call);
    void onFinished(QNetworkReply* reply, Call call);
    void fail(const Call& call, int status);
    static void deliver(const Call& call, int status, const QByteArray& data);

    TokenManager* m_tokens;
    QNetworkAccessManager* m_network;
    QUrl m_baseUrl;
    QString m_appId;
    QString m_appVersion;
    QString m_platform;
    int m_transferTimeoutMs = kDefaultTransferTimeoutMs;
};

} // namespace NorvAccount
