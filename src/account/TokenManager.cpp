#include "TokenManager.h"

#include "AccountLog.h"
#include "Clock.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>

namespace NorvAccount {

qint64 tokenExpiry(const QString& token)
{
    const QStringList parts = token.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() < 2)
        return 0;
    const auto decoded = QByteArray::fromBase64Encoding(
        parts.at(1).toLatin1(), QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return 0;
    const QJsonDocument doc = QJsonDocument::fromJson(*decoded);
    if (!doc.isObject())
        return 0;
    const QJsonValue exp = doc.object().value(QLatin1String("exp"));
    if (!exp.isDouble())
        return 0;
    return exp.toInteger(0);
}

TokenManager::TokenManager(std::unique_ptr<TokenStore> store, QObject* parent)
    : QObject(parent)
    , m_store(std::move(store))
{
    m_store->setUnavailableHandler([this] { emit storeUnavailable(); });
}

TokenManager::~TokenManager()
{
    m_store->setUnavailableHandler({});
}

void TokenManager::loadTokens(std::function<void()> done)
{
    m_store->prepare([this, done = std::move(done)] {
        m_accessToken = m_store->load(QString::fromLatin1(TokenStore::kAccessTokenKey)).value_or(QString());
        m_refreshToken = m_store->load(QString::fromLatin1(TokenStore::kRefreshTokenKey)).value_or(QString());
        if (done)
            done();
    });
}

void TokenManager::setTokens(const QString& accessToken, const QString& refreshToken)
{
    m_accessToken = accessToken;
    m_refreshToken = refreshToken;
    m_store->save(QString::fromLatin1(TokenStore::kAccessTokenKey), accessToken);
    m_store->save(QString::fromLatin1(TokenStore::kRefreshTokenKey), refreshToken);
}

QString TokenManager::accessToken() const
{
    const qint64 expiry = tokenExpiry(m_accessToken);
    if (expiry == 0 || Clock::nowMs() / 1000 >= expiry - kExpiryMarginSeconds)
        return QString();
    return m_accessToken;
}

bool TokenManager::needsRefresh() const
{
    return accessToken().isEmpty() && !m_refreshToken.isEmpty();
}

bool TokenManager::isRefreshing() const
{
    QMutexLocker lock(&m_mutex);
    return m_refreshing;
}

void TokenManager::refresh(RefreshCallback callback)
{
    QMutexLocker lock(&m_mutex);
    if (callback)
        m_waiting.append(std::move(callback));
    if (m_refreshing)
        return;
    if (m_refreshToken.isEmpty() || !m_handler) {
        const QList<RefreshCallback> waiting = takeWaiting();
        lock.unlock();
        for (const RefreshCallback& cb : waiting)
            cb(RefreshResult::Rejected);
        return;
    }
    m_refreshing = true;
    const quint64 generation = m_generation;
    const QString token = m_refreshToken;
    lock.unlock();

    m_handler(
        token,
        [this, generation](const QString& accessToken, const QString& refreshToken) {
            bool stale = false;
            {
                QMutexLocker guard(&m_mutex);
                stale = generation != m_generation;
            }
            if (stale) {
                qCInfo(lcAccount) << "Dropping a token refresh that answered after sign-out";
                emit staleRefreshDropped();
                return;
            }
            setTokens(accessToken, refreshToken);
            finishRefresh(generation, RefreshResult::Success);
        },
        [this, generation](bool rejected) {
            finishRefresh(generation, rejected ? RefreshResult::Rejected : RefreshResult::TransientFailure);
        });
}

void TokenManager::finishRefresh(quint64 generation, RefreshResult result)
{
    QMutexLocker lock(&m_mutex);
    if (generation != m_generation)
        return;
    m_refreshing = false;
    const QList<RefreshCallback> waiting = takeWaiting();
    lock.unlock();
    for (const RefreshCallback& cb : waiting)
        cb(result);
}

QList<TokenManager::RefreshCallback> TokenManager::takeWaiting()
{
    QList<RefreshCallback> waiting;
    waiting.swap(m_waiting);
    return waiting;
}

void TokenManager::clear()
{
    QMutexLocker lock(&m_mutex);
    ++m_generation;
    m_refreshing = false;
    const QList<RefreshCallback> waiting = takeWaiting();
    lock.unlock();

    m_accessToken.clear();
    m_refreshToken.clear();
    m_store->clear();
    for (const RefreshCallback& cb : waiting)
        cb(RefreshResult::Rejected);
}

void TokenManager::setRefreshHandler(RefreshHandler handler)
{
    m_handler = std::move(handler);
}

} // namespace NorvAccount
