#include "ServiceHost.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>

namespace {

QByteArray base64Url(const QByteArray& data)
{
    return data.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QString refreshHash(const QString& token)
{
    return QString::fromLatin1(QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString randomToken()
{
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()), 8);
    return QString::fromLatin1(base64Url(bytes));
}

constexpr qint64 RefreshLifetimeMs = 30LL * 24 * 3600 * 1000;

} // namespace

namespace Jwt {

QString sign(const QJsonObject& payload, const QByteArray& secret)
{
    const QByteArray header = base64Url(R"({"alg":"HS256","typ":"JWT"})");
    const QByteArray body = base64Url(QJsonDocument(payload).toJson(QJsonDocument::Compact));
    const QByteArray input = header + '.' + body;
    const QByteArray mac = QMessageAuthenticationCode::hash(input, secret, QCryptographicHash::Sha256);
    return QString::fromLatin1(input + '.' + base64Url(mac));
}

std::optional<QJsonObject> verify(const QString& token, const QByteArray& secret)
{
    const QStringList parts = token.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return std::nullopt;
    const QByteArray input = parts[0].toLatin1() + '.' + parts[1].toLatin1();
    const QByteArray expected = base64Url(QMessageAuthenticationCode::hash(input, secret, QCryptographicHash::Sha256));
    const QByteArray given = parts[2].toLatin1();
    if (given.size() != expected.size())
        return std::nullopt;
    int diff = 0;
    for (qsizetype i = 0; i < given.size(); ++i)
        diff |= given[i] ^ expected[i];
    if (diff != 0)
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(parts[1].toLatin1(), QByteArray::Base64UrlEncoding);
    if (!decoded)
        return std::nullopt;
    return Json::parseObject(*decoded);
}

} // namespace Jwt

ServiceHost::ServiceHost(ServerOptions options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{}

quint16 ServiceHost::start(QString* error)
{
    if (!m_store.open(m_options.dataDir, error))
        return 0;
    if (!m_options.autoLoginEmail.isEmpty() && !m_store.accountByEmail(m_options.autoLoginEmail)) {
        *error = QStringLiteral("--auto-login: no user with the email %1").arg(m_options.autoLoginEmail);
        return 0;
    }
    seedUpdates();
    m_http = new HttpLayer(this);
    m_http->setVerbose(m_options.verbose);
    registerAuthRoutes();
    registerAccountRoutes();
    registerNotesRoutes();
    registerShareRoutes();
    registerUpdateRoutes();
    registerAdminRoutes();
    m_port = m_http->listenLoopback(m_options.port);
    if (m_port == 0)
        *error = QStringLiteral("cannot listen on 127.0.0.1:%1").arg(m_options.port);
    return m_port;
}

QString ServiceHost::createSession(const Account& account, const Request& request)
{
    const QString id = newId();
    const qint64 now = nowMs();
    m_store.exec(QStringLiteral("INSERT INTO sessions (id, auth_id, user_agent, ip_address, created_at,"
                                " last_active_at) VALUES (?, ?, ?, ?, ?, ?)"),
                 {id, account.authId, QString::fromUtf8(request.header("user-agent")).left(300),
                  request.remote.toString(), now, now});
    return id;
}

QString ServiceHost::accessToken(const Account& account, const QString& sessionId, int ttlSeconds)
{
    const qint64 now = nowMs() / 1000;
    const QString groupId = m_store.groupOf(account.accountId);
    const QString role = m_store.roleIn(account.accountId);
    const QJsonObject payload{
        {"iss", rootUrl() + QStringLiteral("/auth/realms/") + m_options.realm},
        {"sub", account.authId},
        {"sid", sessionId},
        {"email", account.email},
        {"iat", now},
        {"exp", now + ttlSeconds},
        {"custom", QJsonObject{{"nor", QJsonObject{{"role", role.isEmpty() ? QStringLiteral("none") : role},
                                                   {"account_id", account.accountId},
                                                   {"group_id", groupId}}}}},
    };
    return Jwt::sign(payload, m_store.secret());
}

TokenPair ServiceHost::issueTokens(const Account& account, const QString& sessionId, int accessTtlSeconds,
                                   const QString& predecessorHash)
{
    TokenPair pair;
    pair.accessToken = accessToken(account, sessionId, accessTtlSeconds);
    pair.refreshToken = randomToken();
    const QString hash = refreshHash(pair.refreshToken);
    m_store.exec(QStringLiteral("INSERT INTO refresh_tokens (hash, session_id, predecessor, created_at)"
                                " VALUES (?, ?, ?, ?)"),
                 {hash, sessionId, predecessorHash.isEmpty() ? QVariant() : QVariant(predecessorHash), nowMs()});
    if (!predecessorHash.isEmpty())
        m_store.exec(QStringLiteral("UPDATE refresh_tokens SET successor = ? WHERE hash = ?"), {hash, predecessorHash});
    return pair;
}

std::optional<Caller> ServiceHost::authenticate(const Request& request, Response* refusal)
{
    const auto refuse = [&](const QString& why) -> std::optional<Caller> {
        *refusal = Response::json(401, {{"error", "invalid_token"}, {"message", why}});
        refusal->addHeader("WWW-Authenticate", "Bearer error=\"invalid_token\"");
        return std::nullopt;
    };
    const QByteArray header = request.header("authorization");
    if (!header.toLower().startsWith("bearer "))
        return refuse(QStringLiteral("missing bearer token"));
    const auto claims = Jwt::verify(QString::fromLatin1(header.mid(7).trimmed()), m_store.secret());
    if (!claims)
        return refuse(QStringLiteral("malformed or forged token"));
    if (!Json::isInteger(claims->value("exp")) || claims->value("exp").toInteger() <= nowMs() / 1000)
        return refuse(QStringLiteral("token expired"));
    const QString sessionId = claims->value("sid").toString();
    const auto session = m_store.one(QStringLiteral("SELECT auth_id, revoked FROM sessions WHERE id = ?"), {sessionId});
    if (!session || session->value("revoked").toInt() != 0)
        return refuse(QStringLiteral("session ended"));
    const auto account = m_store.accountByAuthId(session->value("auth_id").toString());
    if (!account || account->authId != claims->value("sub").toString())
        return refuse(QStringLiteral("unknown user"));
    m_store.exec(QStringLiteral("UPDATE sessions SET last_active_at = ? WHERE id = ?"), {nowMs(), sessionId});
    Caller caller{*account, sessionId};
    registerDevice(caller, request, request.path.contains(QLatin1String("/sync/")));
    return caller;
}

void ServiceHost::registerDevice(const Caller& caller, const Request& request, bool syncing)
{
    const QString appId = QString::fromUtf8(request.header("x-app-id")).left(200);
    if (appId.isEmpty())
        return;
    const QString platform = QString::fromUtf8(request.header("x-platform")).left(50);
    const QString version = QString::fromUtf8(request.header("x-app-version")).left(50);
    const qint64 now = nowMs();
    const QString name = platform.isEmpty() ? QStringLiteral("Desktop") : QStringLiteral("Desktop (%1)").arg(platform);
    if (m_store.scalar(QStringLiteral("SELECT COUNT(*) FROM devices WHERE session_id = ?"), {caller.sessionId})
            .toInt() == 0) {
        const QString fingerprint = QString::fromLatin1(
            QCryptographicHash::hash((caller.sessionId + appId).toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
        m_store.exec(
            QStringLiteral("INSERT INTO devices (id, account_id, session_id, device_name, platform, app_id,"
                           " app_version, fingerprint, created_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {newId(), caller.account.accountId, caller.sessionId, name, platform, appId, version, fingerprint, now});
    } else {
        m_store.exec(QStringLiteral("UPDATE devices SET platform = ?, app_id = ?, app_version = ?, device_name = ?"
                                    " WHERE session_id = ?"),
                     {platform, appId, version, name, caller.sessionId});
    }
    if (syncing)
        m_store.exec(QStringLiteral("UPDATE devices SET last_sync_at = ? WHERE session_id = ?"),
                     {now, caller.sessionId});
}

void ServiceHost::revokeSession(const QString& sessionId)
{
    m_store.exec(QStringLiteral("UPDATE sessions SET revoked = 1 WHERE id = ?"), {sessionId});
    m_store.exec(QStringLiteral("UPDATE refresh_tokens SET revoked = 1 WHERE session_id = ?"), {sessionId});
    m_store.exec(QStringLiteral("DELETE FROM devices WHERE session_id = ?"), {sessionId});
}
