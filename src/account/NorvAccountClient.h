#pragma once

#include "AccountTypes.h"

#include <QObject>
#include <memory>

namespace NorvAccount {

class AccountClient;
class ApiClient;
class AuthClient;
class TokenManager;
class TokenStore;

// Derives the platform name from the running kernel unless one is configured.
QString platformName(const QString& configured);

// The account facade: owns the token manager, one request layer per service (sign-in, account API,
// notes API) and the sign-in client, and relays the authentication state to the application.
class Client : public QObject
{
    Q_OBJECT
public:
    // store: where the tokens persist; empty means the platform's credential store.
    explicit Client(const ClientConfig& config, std::unique_ptr<TokenStore> store = {}, QObject* parent = nullptr);
    ~Client() override;

    // Restores the session from the token store.
    void initialize();
    bool isAuthenticated() const;
    AuthState state() const;

    // Whether the tokens outlive this run; false when no credential service answered.
    bool tokensPersist() const;

    const ClientConfig& config() const { return m_config; }
    TokenManager* tokenManager() const { return m_tokens; }
    ApiClient* authApi() const { return m_authApi; }
    ApiClient* accountApi() const { return m_accountApi; }
    ApiClient* notesApi() const { return m_notesApi; }
    AuthClient* auth() const { return m_auth; }
    AccountClient* accountClient() const { return m_accountClient; }

signals:
    void authStateChanged(NorvAccount::AuthState state);
    // Once per run, when the user is signed in and the tokens cannot be kept past quitting.
    void sessionOnlyTokens();

private:
    void checkPersistence();

    ClientConfig m_config;
    TokenManager* m_tokens = nullptr;
    ApiClient* m_authApi = nullptr;
    ApiClient* m_accountApi = nullptr;
    ApiClient* m_notesApi = nullptr;
    AuthClient* m_auth = nullptr;
    AccountClient* m_accountClient = nullptr;
    bool m_sessionOnlyReported = false;
};

} // namespace NorvAccount
