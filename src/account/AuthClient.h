#pragma once

#include "AccountTypes.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

namespace NorvAccount {

class ApiClient;
class TokenManager;
class WebAuthHandler;

struct User
{
    QString id;
    QString email;
    QString displayName;
    QString username;
    QString avatarUrl;
    QDateTime createdAt;

    static User fromJson(const QJsonObject& json);
};

struct Session
{
    QString id;
    QString userAgent;
    QString ipAddress;
    QDateTime createdAt;
    QDateTime lastActiveAt;
    bool isCurrent = false;

    static Session fromJson(const QJsonObject& json);
};

// Browser sign-in and the authentication state: opens the service's login page, takes the tokens
// from the loopback callback, restores the session at start, refreshes tokens for the token
// manager and signs out. A session whose refresh the service rejects ends here, with a message.
class AuthClient : public QObject
{
    Q_OBJECT
public:
    using UrlOpener = std::function<void(const QUrl& url)>;

    AuthClient(const QString& baseUrl, const QString& realm, const QString& clientId, ApiClient* api,
               TokenManager* tokens, QObject* parent = nullptr);
    ~AuthClient() override;

    AuthState state() const { return m_state; }
    bool isAuthenticated() const { return m_state == AuthState::Authenticated; }
    // True from login() until the browser comes back, the user cancels or the time limit passes.
    bool isLoginPending() const { return !m_handler.isNull(); }
    User currentUser() const { return m_user; }

    void initialize();
    void login();
    void cancelLogin();
    void logout();
    void refreshToken(std::function<void(bool ok)> callback);
    void fetchCurrentUser(std::function<void(const User&)> callback);
    void updateProfile(const QString& displayName, std::function<void(const User&)> callback);
    void changePassword(const QString& currentPassword, const QString& newPassword,
                        std::function<void(bool ok)> callback);
    void listSessions(std::function<void(const QList<Session>&, int count)> callback);
    void revokeSession(const QString& id);

    // Ends the session after the service refused its refresh token: tokens gone, signed out, and
    // sessionEnded tells the user. Nothing happens when nobody is signed in.
    void endRejectedSession();

    // The sign-in port (0: chosen by the system, as tests do), the browser seam and the time limit.
    void setCallbackPort(quint16 port) { m_callbackPort = port; }
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    void setLoginTimeLimit(int milliseconds) { m_loginTimeLimitMs = milliseconds; }

    // The login page for a redirect URI and state value.
    QUrl loginUrl(const QString& redirectUri, const QString& state) const;
    // Handles the URL the browser came back with (normally from the listener).
    void handleCallback(const QUrl& url);

signals:
    void stateChanged(NorvAccount::AuthState state);
    void loginSucceeded();
    void loginFailed(const QString& error);
    void logoutCompleted();
    void loginPendingChanged(bool pending);
    void sessionEnded(const QString& message);

private:
    void setupRefreshCallback();
    void setState(AuthState state);
    void dropHandler();

    QString m_baseUrl;
    QString m_realm;
    QString m_clientId;
    ApiClient* m_api;
    TokenManager* m_tokens;
    AuthState m_state = AuthState::Unknown;
    // While logout() runs, requests that were waiting on a refresh fail; that is no rejected session.
    bool m_signingOut = false;
    User m_user;
    QPointer<WebAuthHandler> m_handler;
    quint16 m_callbackPort;
    int m_loginTimeLimitMs;
    UrlOpener m_openUrl;
};

} // namespace NorvAccount
