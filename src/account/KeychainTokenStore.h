#pragma once

#include "TokenStore.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <vector>

class QTimer;

namespace NorvAccount {

// The tokens in the system keyring through QtKeychain (the Secret Service or KWallet on Linux, the
// Keychain on macOS). The keyring answers asynchronously while the token store is asked
// synchronously, so this store reads both entries once up front (prepare), then answers from that
// copy and writes through in call order. When no keyring answers, it keeps the tokens in memory for
// this run only and says so once; it never falls back to a plain file.
class KeychainTokenStore : public QObject, public TokenStore
{
    Q_OBJECT
public:
    // A keyring that has not answered within this time counts as absent.
    static constexpr int kAnswerTimeoutMs = 10000;

    explicit KeychainTokenStore(const QString& service, QObject* parent = nullptr);
    ~KeychainTokenStore() override;

    std::optional<QString> load(const QString& key) override;
    bool save(const QString& key, const QString& value) override;
    bool remove(const QString& key) override;
    void prepare(std::function<void()> ready) override;
    bool isPersistent() const override { return !m_sessionOnly; }

    // True when every write and delete has reached the keyring (or there is no keyring).
    bool isIdle() const { return !m_running && m_queue.isEmpty(); }

signals:
    void idle();

private:
    struct Operation
    {
        enum Kind
        {
            Read,
            Write,
            Delete
        } kind;
        QString key;
        QString value;
    };

    void enqueue(Operation operation);
    void startNext();
    void finishRunning(int error, const QString& errorText, const QString& readValue);
    void becomeSessionOnly(const QString& reason);
    void finishPrepare();

    QString m_service;
    QHash<QString, QString> m_cache;
    // Keys written or removed since the first read was queued; a late read must not undo them.
    QSet<QString> m_touched;
    QList<Operation> m_queue;
    bool m_running = false;
    std::optional<Operation> m_current;
    quint64 m_generation = 0;
    QTimer* m_guard;
    bool m_sessionOnly = false;
    bool m_prepareStarted = false;
    bool m_prepared = false;
    int m_pendingReads = 0;
    std::vector<std::function<void()>> m_ready;
};

} // namespace NorvAccount
