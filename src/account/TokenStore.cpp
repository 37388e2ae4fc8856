#include "TokenStore.h"

#include "AccountLog.h"
#include "CredentialManagerTokenStore.h"

#include <QStandardPaths>

#ifdef NORV_HAVE_KEYCHAIN
#include "KeychainTokenStore.h"
#endif

namespace NorvAccount {

void TokenStore::clear()
{
    remove(QString::fromLatin1(kAccessTokenKey));
    remove(QString::fromLatin1(kRefreshTokenKey));
}

std::optional<QString> MemoryTokenStore::load(const QString& key)
{
    const auto it = m_vault->constFind(key);
    if (it == m_vault->constEnd())
        return std::nullopt;
    return *it;
}

bool MemoryTokenStore::save(const QString& key, const QString& value)
{
    m_vault->insert(key, value);
    return true;
}

bool MemoryTokenStore::remove(const QString& key)
{
    m_vault->remove(key);
    return true;
}

std::unique_ptr<TokenStore> createPlatformTokenStore(const QString& appId)
{
    // Tests (test mode, or NORV_TOKEN_STORE=memory as ctest sets for every test program) never reach
    // the user's own vault.
    if (QStandardPaths::isTestModeEnabled() || qEnvironmentVariable("NORV_TOKEN_STORE") == QLatin1String("memory"))
        return std::make_unique<MemoryTokenStore>();
#if defined(Q_OS_WIN)
    return std::make_unique<CredentialManagerTokenStore>(appId);
#elif defined(NORV_HAVE_KEYCHAIN)
    return std::make_unique<KeychainTokenStore>(appId);
#else
    qCWarning(lcAccount) << "No credential store is built in; sign-ins last until the application quits";
    Q_UNUSED(appId);
    return std::make_unique<MemoryTokenStore>(std::make_shared<MemoryTokenStore::Vault>(), false);
#endif
}

} // namespace NorvAccount
