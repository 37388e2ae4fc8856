#pragma once

// Starts the loopback service stand-in (tools/devserver) for one test: a fresh data directory, a free port,
// its URL, and the admin calls that sign seeded people in, switch faults on and read the request log.
// Register the test with norv_use_devserver(<test>) so that NORV_DEVSERVER_PATH is defined.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

class DevServer
{
public:
    // Seeded people, each with the password "<name>-secret-1": Ada owns the group "Lovelace Lab", Ben is a
    // member, Cleo is in no group.
    static constexpr const char* Ada = "ada@example.com";
    static constexpr const char* Ben = "ben@example.com";
    static constexpr const char* Cleo = "cleo@example.com";

    struct Reply
    {
        int status = 0; // 0 when no HTTP answer arrived
        QByteArray body;
        QUrl location; // where a redirect leads
        QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    };

    struct Tokens
    {
        QString access, refresh, accountId, authUserId;
    };

    explicit DevServer(const QStringList& extraArguments = {})
    {
#ifdef NORV_DEVSERVER_PATH
        m_process.setProgram(QStringLiteral(NORV_DEVSERVER_PATH));
        m_process.setArguments(
            QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--data"), m_dir.path()} +
            extraArguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
#ifdef Q_OS_LINUX
        // A test that crashes takes its server with it instead of leaving it listening.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
        m_process.start();
        QByteArray line;
        while (m_process.waitForStarted(10000) && !line.contains('\n') && m_process.waitForReadyRead(15000))
            line += m_process.readAllStandardOutput();
        const QByteArray prefix = "listening on http://127.0.0.1:";
        const QByteArray first = line.left(line.indexOf('\n')).trimmed();
        if (first.startsWith(prefix))
            m_port = first.mid(prefix.size()).toUShort();
        else
            m_error = m_process.errorString() + QStringLiteral("; first line: ") + QString::fromUtf8(first);
#else
        Q_UNUSED(extraArguments);
        m_error = QStringLiteral("norvane-devserver was not built (Qt HttpServer missing?)");
#endif
    }

    ~DevServer()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }

    DevServer(const DevServer&) = delete;
    DevServer& operator=(const DevServer&) = delete;

    bool isRunning() const
    {
        return m_port != 0 && m_process.state() == QProcess::Running;
    }
    QString errorString() const
    {
        return m_error;
    }
    QString dataDir() const
    {
        return m_dir.path();
    }
    QUrl url(const QString& path = QString()) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    }

    // One request, waited for (tests only); redirects are not followed.
    static Reply send(const QUrl& url, const QByteArray& method, const QByteArray& body = QByteArray(),
                      const QString& bearer = QString(), const QByteArray& contentType = "application/json",
                      const QList<QPair<QByteArray, QByteArray>>& headers = {}, int timeoutMs = 20000)
    {
        QNetworkAccessManager network;
        QNetworkRequest request(url);
        request.setTransferTimeout(timeoutMs);
        for (const auto& [name, value] : headers)
            request.setRawHeader(name, value);
        if (!body.isEmpty())
            request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
        if (!bearer.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + bearer.toUtf8());
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        std::unique_ptr<QNetworkReply> reply(network.sendCustomRequest(request, method, body));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!reply->isFinished())
            finished.wait(30000);
        return Reply{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                     reply->isOpen() ? reply->readAll() : QByteArray(),
                     url.resolved(reply->header(QNetworkRequest::LocationHeader).toUrl())};
    }
    // `path` is from the server root, query included.
    Reply callJson(const QByteArray& method, const QString& path, const QJsonObject& body, const QString& bearer = {})
    {
        return send(url(path), method, QJsonDocument(body).toJson(QJsonDocument::Compact), bearer);
    }

    // A session of a seeded user, as a sign-in in the browser would give, from the server at `root`
    // ("http://127.0.0.1:PORT"); a negative time to live yields an already expired access token.
    static Tokens signIn(const QString& root, const QString& email, int accessTtlSeconds = 900)
    {
        const QJsonObject body{{"email", email}, {"access_ttl", accessTtlSeconds}};
        const QJsonObject o =
            send(QUrl(root + QStringLiteral("/admin/tokens")), "POST", QJsonDocument(body).toJson()).json();
        return Tokens{o.value("access_token").toString(), o.value("refresh_token").toString(),
                      o.value("account_id").toString(), o.value("auth_user_id").toString()};
    }
    Tokens signIn(const QString& email, int accessTtlSeconds = 900)
    {
        return signIn(url().toString(), email, accessTtlSeconds);
    }

    // Fault switches: {"pattern": "/notes/v1/sync/*", "action": "status"|"drop"|"delay"|"hang"|"malformed"|
    // "max_body", "status": 503, "delay_ms": 500, "max_body": 1024, "after": true, "times": 1, "method": "POST"}.
    int addFault(const QJsonObject& fault)
    {
        const Reply r = callJson("POST", QStringLiteral("/admin/faults"), fault);
        return r.status == 201 ? r.json().value("id").toInt() : 0;
    }
    // The same as "METHOD pattern action" ("*": any method; a number as the action: answer with that
    // status), further switches in `more`.
    int addFault(const QString& line, QJsonObject more = {})
    {
        const QStringList p = line.split(QLatin1Char(' '));
        bool isStatus = false;
        const int status = p.value(2).toInt(&isStatus);
        if (p[0] != QLatin1String("*"))
            more.insert("method", p[0]);
        more.insert("pattern", p.value(1));
        more.insert("action", isStatus ? QStringLiteral("status") : p.value(2));
        if (isStatus)
            more.insert("status", status);
        return addFault(more);
    }
    bool clearFaults()
    {
        return send(url(QStringLiteral("/admin/faults")), "DELETE").status == 204;
    }

    // The request log: method, path, query and status of every request, headers with secrets blanked.
    QJsonArray requests(const QString& pathPrefix = QString())
    {
        const QString query = QString::fromLatin1(QUrl::toPercentEncoding(pathPrefix));
        return send(url(QStringLiteral("/admin/requests?path=") + query), "GET").json().value("requests").toArray();
    }
    bool clearRequests()
    {
        return send(url(QStringLiteral("/admin/requests")), "DELETE").status == 204;
    }

    // Files of the update service, e.g. publish("notes/stable/latest.json", bytes); "{{server}}" inside .json
    // and .md files is served as this server's root URL.
    bool publish(const QString& path, const QByteArray& data)
    {
        return send(url(QStringLiteral("/admin/updates/") + path), "PUT", data, {}, "application/octet-stream")
                   .status == 204;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
