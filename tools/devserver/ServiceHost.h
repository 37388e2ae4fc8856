#pragma once

#include "HttpLayer.h"
#include "Store.h"

#include <QObject>
#include <QSet>

// Who is calling, as proven by a bearer token.
struct Caller
{
    Account account;
    QString sessionId;
};

struct ServerOptions
{
    QString dataDir;
    quint16 port = 0;
    QString autoLoginEmail;
    QString realm = QStringLiteral("norvane");
    int accessTtlSeconds = 900;
    bool verbose = false;
};

struct TokenPair
{
    QString accessToken;
    QString refreshToken;
};

// Plays the sign-in service, the account API, the notes service and the update service on one port.
class ServiceHost : public QObject
{
public:
    explicit ServiceHost(ServerOptions options, QObject* parent = nullptr);

    // Opens the data directory and starts listening; returns the port, or 0 with an error.
    quint16 start(QString* error);
    QString rootUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

private:
    void registerAuthRoutes();
    void registerAccountRoutes();
    void registerNotesRoutes();
    void registerShareRoutes();
    void registerUpdateRoutes();
    void registerAdminRoutes();

    // Tokens and sessions
    QString createSession(const Account& account, const Request& request);
    TokenPair issueTokens(const Account& account, const QString& sessionId, int accessTtlSeconds,
                          const QString& predecessorHash = QString());
    QString accessToken(const Account& account, const QString& sessionId, int ttlSeconds);
    std::optional<Caller> authenticate(const Request& request, Response* refusal);
    void registerDevice(const Caller& caller, const Request& request, bool syncing);
    void revokeSession(const QString& sessionId);

    // Notes, shares and who sees what
    QString permissionFor(const QString& accountId, const QVariantMap& note);
    QString notebookPermissionFor(const QString& accountId, const QString& notebookId);
    QSet<QString> audience(const QString& noteId);
    void announceNote(const QString& noteId, const QSet<QString>& extra = {});
    // ownShared, when given, says the note is the caller's own and whether anyone else can see it.
    QJsonObject noteJson(const QVariantMap& note, const QString& accountId, qint64 revokedAt,
                         std::optional<bool> ownShared = std::nullopt);
    QJsonObject notebookJson(const QVariantMap& notebook, const QString& accountId);
    QJsonObject attachmentJson(const QVariantMap& attachment);
    QJsonObject shareJson(const QVariantMap& share);
    QJsonObject ownerShareJson(const QString& ownerAccountId, qint64 createdAt);
    QString attachmentPath(const QString& fileKey) const;
    void dropSharesBetween(const QString& accountId, const QStringList& others);

    // Account
    QJsonObject groupSummary(const QString& accountId);
    QJsonObject invitationJson(const QVariantMap& invitation);

    QString updatesDir() const { return m_store.dataDir() + QStringLiteral("/updates"); }
    void seedUpdates();

    ServerOptions m_options;
    Store m_store;
    HttpLayer* m_http = nullptr;
    quint16 m_port = 0;
};

// A JWT-shaped token: base64url header and payload, HMAC-SHA256 signature.
namespace Jwt {
QString sign(const QJsonObject& payload, const QByteArray& secret);
std::optional<QJsonObject> verify(const QString& token, const QByteArray& secret);
} // namespace Jwt
