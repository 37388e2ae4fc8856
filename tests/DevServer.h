#pragma once

// Starts the loopback service stand-in (tools/devserver) for one test: a fresh data directory, a free port,
// base URLs for the app's configuration, and the admin calls that switch faults on and read the request log.
// Register the test with norv_use_devserver(<test>) so that NORV_DEVSERVER_PATH is defined.

#include <QByteArray>
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
    struct User
    {
        const char *email, *password;
    };
    // Seeded people: Ada owns the group "Lovelace Lab", Ben is a member, Cleo is in no group.
    static constexpr User Ada{"ada@example.com", "ada-secret-1"};
    static constexpr User Ben{"ben@example.com", "ben-secret-1"};
    static constexpr User Cleo{"cleo@example.com", "cleo-secret-1"};

    struct Reply
    {
        int status = 0; // 0 when no HTTP answer arrived
        QByteArray body;
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
    quint16 port() const
    {
        return m_port;
    }
    QUrl url(const QString& path = QString()) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    }
    QUrl authBaseUrl() const
    {
        return url(QStringLiteral("/auth"));
    }
    QUrl accountApiUrl() const
    {
        return url(QStringLiteral("/account/v1"));
    }
    QUrl syncApiUrl() const
    {
        return url(QStringLiteral("/notes/v1"));
    }

    // One request, waited for (tests only). `path` is from the server root, query included.
    Reply call(const QByteArray& method, const QString& path, const QByteArray& body = QByteArray(),
               const QString& bearer = QString(), const QByteArray& contentType = "application/json",
               const QList<QPair<QByteArray, QByteArray>>& headers = {}, int timeoutMs = 20000)
    {
        QNetworkRequest request(url(path));
        request.setTransferTimeout(timeoutMs);
        for (const auto& [name, value] : headers)
            request.setRawHeader(name, value);
        if (!body.isEmpty())
            request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
        if (!bearer.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + bearer.toUtf8());
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        std::unique_ptr<QNetworkReply> reply(m_network.sendCustomRequest(request, method, body));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!reply->isFinished())
            finished.wait(30000);
        return Reply{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                     reply->isOpen() ? reply->readAll() : QByteArray()};
    }
    Reply callJson(const QByteArray& method, const QString& path, const QJsonObject& body, const QString& bearer = {})
    {
        return call(method, path, QJsonDocument(body).toJson(QJsonDocument::Compact), bearer);
    }

    // Signs a seeded user in without the browser; a negative access_ttl yields an already expired token.
    Tokens signIn(const User& user, int accessTtlSeconds = 900)
    {
        const QJsonObject o =
            callJson("POST", QStringLiteral("/admin/tokens"), {{"email", user.email}, {"access_ttl", accessTtlSeconds}})
                .json();
        return Tokens{o.value("access_token").toString(), o.value("refresh_token").toString(),
                      o.value("account_id").toString(), o.value("auth_user_id").toString()};
    }

    // Fault switches: {"pattern": "/notes/v1/sync/*", "action": "status"|"drop"|"delay"|"hang"|"malformed"|
    // "max_body", "status": 503, "delay_ms": 500, "max_body": 1024, "after": true, "times": 1, "method": "POST"}.
    int addFault(const QJsonObject& fault)
    {
        const Reply r = callJson("POST", QStringLiteral("/admin/faults"), fault);
        return r.status == 201 ? r.json().value("id").toInt() : 0;
    }
    bool clearFaults()
    {
        return call("DELETE", QStringLiteral("/admin/faults")).status == 204;
    }

    // The request log: method, path, query and status of every request, headers with secrets blanked.
    QJsonArray requests(const QString& pathPrefix = QString())
    {
        return call("GET",
                    QStringLiteral("/admin/requests?path=") + QString::fromLatin1(QUrl::toPercentEncoding(pathPrefix)))
            .json()
            .value("requests")
            .toArray();
    }
    bool clearRequests()
    {
        return call("DELETE", QStringLiteral("/admin/requests")).status == 204;
    }

    // Every version of a note the server accepted, oldest first: {"version", "body", "author", "stored_at"}.
    QJsonArray noteVersions(const QString& noteId)
    {
        return call("GET", QStringLiteral("/admin/notes/%1/versions").arg(noteId)).json().value("versions").toArray();
    }

    // Files of the update service, e.g. publish("notes/stable/latest.json", bytes); "{{server}}" inside .json
    // and .md files is served as this server's root URL.
    bool publish(const QString& path, const QByteArray& data)
    {
        return call("PUT", QStringLiteral("/admin/updates/") + path, data, {}, "application/octet-stream").status ==
               204;
    }
    bool unpublish(const QString& path)
    {
        return call("DELETE", QStringLiteral("/admin/updates/") + path).status == 204;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QNetworkAccessManager m_network;
    quint16 m_port = 0;
    QString m_error;
};

#define NORV_REQUIRE_DEVSERVER(server)                                                                                 \
    do {                                                                                                               \
        if (!(server).isRunning())                                                                                     \
            QSKIP(qPrintable(QStringLiteral("devserver unavailable: ") + (server).errorString()));                     \
    } while (false)
