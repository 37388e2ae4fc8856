#include "AuthClient.h"

#include "AccountLog.h"
#include "ApiClient.h"
#include "TokenManager.h"
#include "WebAuthHandler.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QUrlQuery>

namespace NorvAccount {

namespace {

QDateTime isoDate(const QJsonValue& value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

QString newState()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(words), sizeof words)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace

User User::fromJson(const QJsonObject& json)
{
    User user;
    user.id = json.value(QLatin1String("id")).toString();
    user.email = json.value(QLatin1String("email")).toString();
    user.displayName = json.value(QLatin1String("display_name")).toString();
    user.username = json.value(QLatin1String("username")).toString();
    user.avatarUrl = json.value(QLatin1String("avatar_url")).toString();
    user.createdAt = isoDate(json.value(QLatin1String("created_at")));
    return user;
}

Session Session::fromJson(const QJsonObject& json)
{
    Session session;
    session.id = json.value(QLatin1String("id")).toString();
    session.userAgent = json.value(QLatin1String("user_agent")).toString();
    session.ipAddress = json.value(QLatin1String("ip_address")).toString();
    session.createdAt = isoDate(json.value(QLatin1String("created_at")));
    session.lastActiveAt = isoDate(json.value(QLatin1String("last_active_at")));
    session.isCurrent = json.value(QLatin1String("is_current")).toBool(false);
    return session;
}

AuthClient::AuthClient(const QString& baseUrl, const QString& realm, const QString& clientId, ApiClient* api,
                       TokenManager* tokens, QObject* parent)
    : QObject(parent)
    , m_baseUrl(baseUrl)
    , m_realm(realm)
    , m_clientId(clientId)
    , m_api(api)
    , m_tokens(tokens)
    , m_callbackPort(WebAuthHandler::kDefaultPort)
    , m_loginTimeLimitMs(WebAuthHandler::kDefaultTimeLimitMs)
    , m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    setupRefreshCallback();
}

AuthClient::~AuthClient()
{
    m_tokens->setRefreshHandler({});
}

void AuthClient::setupRefreshCallback()
{
    QPointer<ApiClient> api(m_api);
    m_tokens->setRefreshHandler(
        [api](const QString& refreshToken, TokenManager::RefreshSuccess success, TokenManager::RefreshFailure failure) {
            if (!api) {
                failure(false);
                return;
            }
            api->postPublic(QStringLiteral("/auth/token/refresh"),
                            QJsonObject{{QStringLiteral("refresh_token"), refreshToken}},
                            [success, failure](bool ok, int status, const QJsonObject& body) {
                                if (ok) {
                                    success(body.value(QLatin1String("access_token")).toString(),
                                            body.value(QLatin1String("refresh_token")).toString());
                                    return;
                                }
                                failure(status >= 400 && status <= 499);
                            });
        });
}

void AuthClient::setState(AuthState state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void AuthClient::initialize()
{
    QPointer<AuthClient> self(this);
    m_tokens->loadTokens([self] {
        if (!self)
            return;
        if (!self->m_tokens->accessToken().isEmpty()) {
            self->setState(AuthState::Authenticated);
            return;
        }
        if (self->m_tokens->refreshToken().isEmpty()) {
            self->setState(AuthState::Unauthenticated);
            return;
        }
        self->m_tokens->refresh([self](RefreshResult result) {
            if (!self)
                return;
            if (result == RefreshResult::Rejected) {
                // A sign-out while this refresh ran has already cleared everything.
                if (!self->m_tokens->refreshToken().isEmpty())
                    self->m_tokens->clear();
                self->setState(AuthState::Unauthenticated);
                return;
            }
            // Offline at start: the session stays, and the next request refreshes again.
            self->setState(AuthState::Authenticated);
        });
    });
}

QUrl AuthClient::loginUrl(const QString& redirectUri, const QString& state) const
{
    return QUrl(QStringLiteral("%1/%2/account/login?client_id=%3&redirect_uri=%4&state=%5")
                    .arg(m_baseUrl, m_realm, QString::fromLatin1(QUrl::toPercentEncoding(m_clientId)),
                         QString::fromLatin1(QUrl::toPercentEncoding(redirectUri)),
                         QString::fromLatin1(QUrl::toPercentEncoding(state))),
                QUrl::StrictMode);
}

void AuthClient::login()
{
    // A second sign-in replaces the first: one listener, one state value at a time.
    if (m_handler) {
        m_handler->cancel();
        dropHandler();
    }
    const QString state = newState();
    auto* handler = new WebAuthHandler(state, m_callbackPort, this);
    handler->setTimeLimit(m_loginTimeLimitMs);
    const QString redirectUri = handler->start();
    if (redirectUri.isEmpty()) {
        handler->deleteLater();
        emit loginFailed(QStringLiteral("Failed to start local auth server"));
        return;
    }
    m_handler = handler;
    connect(handler, &WebAuthHandler::callbackReceived, this, [this](const QUrl& url) {
        dropHandler();
        handleCallback(url);
    });
    connect(handler, &WebAuthHandler::timedOut, this, [this] {
        dropHandler();
        emit loginFailed(QStringLiteral("The browser did not come back within 5 minutes."));
    });
    emit loginPendingChanged(true);
    m_openUrl(loginUrl(redirectUri, state));
}

void AuthClient::cancelLogin()
{
    if (!m_handler)
        return;
    m_handler->cancel();
    dropHandler();
    emit loginFailed(QStringLiteral("Sign-in cancelled"));
}

void AuthClient::dropHandler()
{
    if (!m_handler)
        return;
    m_handler->deleteLater();
    m_handler.clear();
    emit loginPendingChanged(false);
}

void AuthClient::handleCallback(const QUrl& url)
{
    const QUrlQuery fragment(url.fragment(QUrl::FullyEncoded));
    QString access = fragment.queryItemValue(QStringLiteral("access_token"), QUrl::FullyDecoded);
    QString refresh = fragment.queryItemValue(QStringLiteral("refresh_token"), QUrl::FullyDecoded);
    if (access.isEmpty()) {
        // Browsers never send a fragment to a server, so the service puts the tokens in the query.
        const QUrlQuery query(url);
        access = query.queryItemValue(QStringLiteral("access_token"), QUrl::FullyDecoded);
        refresh = query.queryItemValue(QStringLiteral("refresh_token"), QUrl::FullyDecoded);
    }
    if (access.isEmpty() || refresh.isEmpty()) {
        qCWarning(lcAccount) << "Sign-in callback arrived without both tokens";
        emit loginFailed(QStringLiteral("No tokens received"));
        return;
    }
    m_tokens->setTokens(access, refresh);
    setState(AuthState::Authenticated);
    qCInfo(lcAccount) << "Signed in";
    emit loginSucceeded();
}

void AuthClient::logout()
{
    // The service hears of it with the session's own tokens, taken before they are dropped here; an
    // expired access token is renewed for that one call without being kept.
    const QString access = m_tokens->accessToken();
    const QString refresh = m_tokens->refreshToken();
    QPointer<ApiClient> api(m_api);
    const auto ignore = [](bool, int, const QJsonObject&) {
    };
    if (!access.isEmpty()) {
        m_api->sendWithToken("POST", QStringLiteral("/auth/logout"), QJsonObject(), access, ignore);
    } else if (!refresh.isEmpty()) {
        m_api->postPublic(
            QStringLiteral("/auth/token/refresh"), QJsonObject{{QStringLiteral("refresh_token"), refresh}},
            [api, ignore](bool ok, int, const QJsonObject& body) {
                const QString fresh = body.value(QLatin1String("access_token")).toString();
                if (ok && api && !fresh.isEmpty())
                    api->sendWithToken("POST", QStringLiteral("/auth/logout"), QJsonObject(), fresh, ignore);
            });
    }

    m_signingOut = true;
    m_tokens->clear();
    m_signingOut = false;
    m_user = User();
    setState(AuthState::Unauthenticated);
    qCInfo(lcAccount) << "Signed out";
    emit logoutCompleted();
}

void AuthClient::endRejectedSession()
{
    if (m_state != AuthState::Authenticated || m_signingOut)
        return;
    qCWarning(lcAccount) << "The service refused the session's refresh token; signing out";
    m_tokens->clear();
    m_user = User();
    setState(AuthState::Unauthenticated);
    emit sessionEnded(QStringLiteral("Your session has ended. Please sign in again."));
}

void AuthClient::refreshToken(std::function<void(bool ok)> callback)
{
    QPointer<AuthClient> self(this);
    m_tokens->refresh([self, callback = std::move(callback)](RefreshResult result) {
        if (self && result == RefreshResult::Rejected) {
            self->m_tokens->clear();
            self->m_user = User();
            self->setState(AuthState::Unauthenticated);
        }
        if (callback)
            callback(result == RefreshResult::Success);
    });
}

void AuthClient::fetchCurrentUser(std::function<void(const User&)> callback)
{
    QPointer<AuthClient> self(this);
    m_api->get(QStringLiteral("/users/me"), [self, callback](bool ok, int, const QJsonObject& body) {
        if (!self)
            return;
        if (ok)
            self->m_user = User::fromJson(body);
        if (callback)
            callback(self->m_user);
    });
}

void AuthClient::updateProfile(const QString& displayName, std::function<void(const User&)> callback)
{
    QPointer<AuthClient> self(this);
    m_api->patch(QStringLiteral("/users/me"), QJsonObject{{QStringLiteral("display_name"), displayName}},
                 [self, callback](bool ok, int, const QJsonObject& body) {
                     if (!self)
                         return;
                     if (ok)
                         self->m_user = User::fromJson(body);
                     if (callback)
                         callback(self->m_user);
                 });
}

void AuthClient::changePassword(const QString& currentPassword, const QString& newPassword,
                                std::function<void(bool ok)> callback)
{
    m_api->post(QStringLiteral("/users/me/password"),
                QJsonObject{{QStringLiteral("current_password"), currentPassword},
                            {QStringLiteral("new_password"), newPassword}},
                [callback](bool ok, int, const QJsonObject&) {
                    if (callback)
                        callback(ok);
                });
}

void AuthClient::listSessions(std::function<void(const QList<Session>&, int count)> callback)
{
    m_api->get(QStringLiteral("/users/me/sessions"), [callback](bool ok, int, const QJsonObject& body) {
        QList<Session> sessions;
        if (ok) {
            const QJsonArray array = body.value(QLatin1String("sessions")).toArray();
            for (const QJsonValue& value : array)
                sessions.append(Session::fromJson(value.toObject()));
        }
        if (callback)
            callback(sessions, int(sessions.size()));
    });
}

void AuthClient::revokeSession(const QString& id)
{
    // The id becomes a path segment; one that would step into another path is not a session id.
    if (id.isEmpty() || id.contains(QLatin1Char('/')) || id.contains(QLatin1Char('?')) ||
        id.startsWith(QLatin1Char('.')))
        return;
    m_api->deleteResource(QStringLiteral("/users/me/sessions/%1").arg(id), [](bool, int, const QJsonObject&) {});
}

} // namespace NorvAccount
