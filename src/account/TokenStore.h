#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace NorvAccount {

// Where the two tokens outlive the process. Implementations keep the key names and these
// semantics; the token manager is the only caller.
class TokenStore
{
public:
    static constexpr const char* kAccessTokenKey = "norvane_access_token";
    static constexpr const char* kRefreshTokenKey = "norvane_refresh_token";

    virtual ~TokenStore() = default;
    // Nothing when there is no entry or it cannot be read.
    virtual std::optional<QString> load(const QString& key) = 0;
    virtual bool save(const QString& key, const QString& value) = 0;
    virtual bool remove(const QString& key) = 0;
    // Removes both token keys.
    virtual void clear();

    // Stores that talk to a service answer asynchronously; load() is good once ready runs. The
    // synchronous stores are ready at once.
    virtual void prepare(std::function<void()> ready) { ready(); }
    // False while tokens live only as long as this process (no credential service answered).
    virtual bool isPersistent() const { return true; }
    // Called once when the store finds it cannot persist after all.
    void setUnavailableHandler(std::function<void()> handler) { m_unavailable = std::move(handler); }

protected:
    void reportUnavailable()
    {
        if (m_unavailable)
            m_unavailable();
    }

private:
    std::function<void()> m_unavailable;
};

// Keeps the tokens in memory. Stores built on one shared map see each other's entries, which is
// how tests play a restart of the application against the "same" vault.
class MemoryTokenStore : public TokenStore
{
public:
    using Vault = QHash<QString, QString>;

    // persistent false: the session-only fallback, which says so through isPersistent().
    explicit MemoryTokenStore(std::shared_ptr<Vault> vault = std::make_shared<Vault>(), bool persistent = true)
        : m_vault(std::move(vault))
        , m_persistent(persistent)
    {}

    std::optional<QString> load(const QString& key) override;
    bool save(const QString& key, const QString& value) override;
    bool remove(const QString& key) override;

    bool isPersistent() const override { return m_persistent; }
    std::shared_ptr<Vault> vault() const { return m_vault; }

private:
    std::shared_ptr<Vault> m_vault;
    bool m_persistent;
};

// The store a production client uses for the application identifier: the Credential Manager on
// Windows, the system keyring through QtKeychain elsewhere, memory when neither is built in. Under
// QStandardPaths' test mode or with NORV_TOKEN_STORE=memory it is always memory, so tests never touch
// the user's own vault.
std::unique_ptr<TokenStore> createPlatformTokenStore(const QString& appId);

} // namespace NorvAccount
