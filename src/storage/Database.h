#pragma once

#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <utility>

// Owns the single SQLite connection: opens the file in WAL mode with foreign keys enforced and brings
// the schema up to the current version. Each instance registers its own connection name, so two
// Database objects never share a connection.
class Database : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSchemaVersion = 5;
    // How long a statement waits for a lock held by another connection before it fails.
    static constexpr int kBusyTimeoutMs = 1000;

    explicit Database(QObject* parent = nullptr);
    ~Database() override;

    bool open(const QString& path);
    bool migrate();

    // True while a transaction is open on the connection (one a caller began, or a savepoint).
    bool inTransaction() const;

    QSqlDatabase db() const;
    QString connectionName() const;
    QString path() const;

signals:
    void migrationApplied(int version, QString name);
    void migrationError(int version, QString error);

private:
    bool createInitialSchema();
    bool migrateToV2();
    bool migrateToV3();
    bool migrateToV4();
    bool migrateToV5();
    bool runSteps(const char* migration, const QList<std::pair<const char*, const char*>>& steps);
    bool storeVersion(int version);

    QString m_connectionName;
    QSqlDatabase m_db;
};
