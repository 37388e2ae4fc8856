#include "KeychainTokenStore.h"

#include "AccountLog.h"

#include <QTimer>
#include <qt6keychain/keychain.h>

namespace NorvAccount {

KeychainTokenStore::KeychainTokenStore(const QString& service, QObject* parent)
    : QObject(parent)
    , m_service(service)
    , m_guard(new QTimer(this))
{
    m_guard->setSingleShot(true);
    m_guard->setInterval(kAnswerTimeoutMs);
    connect(m_guard, &QTimer::timeout, this, [this] { becomeSessionOnly(QStringLiteral("no answer")); });
}

KeychainTokenStore::~KeychainTokenStore() = default;

std::optional<QString> KeychainTokenStore::load(const QString& key)
{
    const auto it = m_cache.constFind(key);
    if (it == m_cache.constEnd())
        return std::nullopt;
    return *it;
}

bool KeychainTokenStore::save(const QString& key, const QString& value)
{
    m_cache.insert(key, value);
    m_touched.insert(key);
    if (!m_sessionOnly)
        enqueue({Operation::Write, key, value});
    return true;
}

bool KeychainTokenStore::remove(const QString& key)
{
    m_cache.remove(key);
    m_touched.insert(key);
    if (!m_sessionOnly)
        enqueue({Operation::Delete, key, QString()});
    return true;
}

void KeychainTokenStore::prepare(std::function<void()> ready)
{
    if (m_prepared || m_sessionOnly) {
        ready();
        return;
    }
    m_ready.push_back(std::move(ready));
    if (m_prepareStarted)
        return;
    m_prepareStarted = true;
    m_pendingReads = 2;
    enqueue({Operation::Read, QString::fromLatin1(kAccessTokenKey), QString()});
    enqueue({Operation::Read, QString::fromLatin1(kRefreshTokenKey), QString()});
}

void KeychainTokenStore::enqueue(Operation operation)
{
    m_queue.append(std::move(operation));
    if (!m_running)
        startNext();
}

void KeychainTokenStore::startNext()
{
    if (m_queue.isEmpty()) {
        m_running = false;
        emit idle();
        return;
    }
    m_running = true;
    m_current = m_queue.takeFirst();
    const quint64 generation = ++m_generation;

    QKeychain::Job* job = nullptr;
    switch (m_current->kind) {
    case Operation::Read:
        job = new QKeychain::ReadPasswordJob(m_service);
        break;
    case Operation::Write: {
        auto* write = new QKeychain::WritePasswordJob(m_service);
        write->setTextData(m_current->value);
        job = write;
        break;
    }
    case Operation::Delete:
        job = new QKeychain::DeletePasswordJob(m_service);
        break;
    }
    // Jobs have no parent and delete themselves when done: the keyring's answer may arrive after
    // this store is gone, and then it must find the job still there.
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(m_current->key);
    connect(job, &QKeychain::Job::finished, this, [this, generation](QKeychain::Job* finished) {
        if (generation != m_generation)
            return;
        QString value;
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished))
            value = read->textData();
        finishRunning(finished->error(), finished->errorString(), value);
    });
    m_guard->start();
    job->start();
}

void KeychainTokenStore::finishRunning(int error, const QString& errorText, const QString& readValue)
{
    m_guard->stop();
    const Operation operation = *m_current;
    m_current.reset();

    const bool missing = error == QKeychain::EntryNotFound;
    if (error != QKeychain::NoError && !(missing && operation.kind != Operation::Write)) {
        becomeSessionOnly(errorText);
        return;
    }
    if (operation.kind == Operation::Read) {
        if (!missing && !m_touched.contains(operation.key))
            m_cache.insert(operation.key, readValue);
        if (--m_pendingReads == 0)
            finishPrepare();
    }
    startNext();
}

void KeychainTokenStore::becomeSessionOnly(const QString& reason)
{
    if (m_sessionOnly)
        return;
    qCWarning(lcAccount).noquote() << "No keyring is available (" + reason +
                                          "); tokens last until the application quits";
    m_sessionOnly = true;
    ++m_generation; // a late answer from the keyring is ignored
    m_guard->stop();
    m_queue.clear();
    m_current.reset();
    m_running = false;
    reportUnavailable();
    finishPrepare();
    emit idle();
}

void KeychainTokenStore::finishPrepare()
{
    m_prepared = true;
    m_pendingReads = 0;
    auto ready = std::move(m_ready);
    m_ready.clear();
    for (auto& callback : ready)
        callback();
}

} // namespace NorvAccount
