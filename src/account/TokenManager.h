#pragma once

#include "AccountTypes.h"
#include "TokenStore.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <memory>

namespace NorvAccount {

// Seconds since the epoch from the token's own "exp" claim, read as a 64-bit number; 0 when the
// token is not shaped like a JWT, its payload is not a JSON object, or it carries no usable "exp".
qint64 tokenExpiry(const QString& token);

// The signed-in user's two tokens, in memory and in the token store. It decides from the access
// token's expiry whether it is still usable and runs one refresh at a time for however many callers
// need it; the sign-in client installs the function that talks to the service.
class TokenManager : public QObject
{
    Q_OBJECT
public:
    using RefreshCallback = std::function<void(RefreshResult)>;
    using RefreshSuccess = std::function<void(const QString& accessToken, const QString& refreshToken)>;
    using RefreshFailure = std::function<void(bool rejected)>;
    using RefreshHandler =
        std::function<void(const QString& refreshToken, RefreshSuccess success, RefreshFailure failure)>;

    // An access token this close to its expiry already counts as expired.
    static constexpr qint64 kExpiryMarginSeconds = 30;

    explicit TokenManager(std::unique_ptr<TokenStore> store, QObject* parent = nullptr);
    ~TokenManager() override;

    // Reads both tokens from the store; done runs once they are in memory (the store may have to
    // ask a keyring first).
    void loadTokens(std::function<void()> done = {});
    void setTokens(const QString& accessToken, const QString& refreshToken);
    // The access token while it is valid, else empty.
    QString accessToken() const;
    QString refreshToken() const { return m_refreshToken; }
    bool needsRefresh() const;
    // Runs a refresh or joins the one running; every callback gets the outcome, in call order.
    void refresh(RefreshCallback callback);
    // Signs out of the tokens: memory and store. A refresh still on its way is dropped when it
    // answers, and whoever waited on it hears Rejected now.
    void clear();
    void setRefreshHandler(RefreshHandler handler);

    bool isRefreshing() const;
    TokenStore* store() const { return m_store.get(); }

signals:
    // The store cannot keep the tokens past this run.
    void storeUnavailable();
    // A refresh answered after sign-out; its tokens were thrown away.
    void staleRefreshDropped();

private:
    QList<RefreshCallback> takeWaiting();
    void finishRefresh(quint64 generation, RefreshResult result);

    std::unique_ptr<TokenStore> m_store;
    QString m_accessToken;
    QString m_refreshToken;
    RefreshHandler m_handler;

    mutable QMutex m_mutex;
    bool m_refreshing = false;
    // Bumped by clear(): a refresh started before it belongs to a session that no longer exists.
    quint64 m_generation = 0;
    QList<RefreshCallback> m_waiting;
};

} // namespace NorvAccount
