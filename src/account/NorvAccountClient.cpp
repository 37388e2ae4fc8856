#include "NorvAccountClient.h"

#include "AccountClient.h"
#include "ApiClient.h"
#include "AuthClient.h"
#include "TokenManager.h"
#include "TokenStore.h"

#include <QSysInfo>

namespace NorvAccount {

QString platformName(const QString& configured)
{
    if (!configured.isEmpty())
        return configured;
    const QString kernel = QSysInfo::kernelType().toLower();
    if (kernel == QLatin1String("darwin"))
        return QStringLiteral("macos");
    if (kernel == QLatin1String("winnt"))
        return QStringLiteral("windows");
    return kernel;
}

Client::Client(const ClientConfig& config, std::unique_ptr<TokenStore> store, QObject* parent)
    : QObject(parent)
    , m_config(config)
{
    if (!store)
        store = createPlatformTokenStore(m_config.appId);
    m_tokens = new TokenManager(std::move(store), this);
    m_authApi = new ApiClient(m_tokens, this);
    m_authApi->setBaseUrl(QUrl(QStringLiteral("%1/api/v1/realms/%2").arg(m_config.authBaseUrl, m_config.realm)));
    m_accountApi = new ApiClient(m_tokens, this);
    m_accountApi->setBaseUrl(QUrl(m_config.accountApiUrl));
    m_notesApi = new ApiClient(m_tokens, this);
    const QString platform = platformName(m_config.platform);
    for (ApiClient* api : {m_authApi, m_accountApi, m_notesApi})
        api->setAppInfo(m_config.appId, m_config.appVersion, platform);

    m_auth = new AuthClient(m_config.authBaseUrl, m_config.realm, m_config.clientId, m_authApi, m_tokens, this);
    connect(m_auth, &AuthClient::stateChanged, this, [this](AuthState state) {
        emit authStateChanged(state);
        // After everything that reacts to the sign-in itself, so this word is the last one shown.
        QMetaObject::invokeMethod(this, &Client::checkPersistence, Qt::QueuedConnection);
    });
    // A refresh token the service refuses ends the session instead of leaving every call failing.
    for (ApiClient* api : {m_authApi, m_accountApi, m_notesApi})
        connect(api, &ApiClient::authenticationRequired, m_auth, &AuthClient::endRejectedSession);
    connect(m_tokens, &TokenManager::storeUnavailable, this, &Client::checkPersistence);
    m_accountClient = new AccountClient(m_accountApi, m_auth, m_config, this);
}

Client::~Client()
{
    // Reverse order of creation: the sign-in client and the request layers use the token manager
    // until they are gone.
    delete m_accountClient;
    delete m_auth;
    delete m_notesApi;
    delete m_accountApi;
    delete m_authApi;
    delete m_tokens;
}

void Client::initialize()
{
    m_auth->initialize();
}

bool Client::isAuthenticated() const
{
    return m_auth->isAuthenticated();
}

AuthState Client::state() const
{
    return m_auth->state();
}

bool Client::tokensPersist() const
{
    return m_tokens->store()->isPersistent();
}

void Client::checkPersistence()
{
    if (m_sessionOnlyReported || !isAuthenticated() || tokensPersist())
        return;
    m_sessionOnlyReported = true;
    emit sessionOnlyTokens();
}

} // namespace NorvAccount
