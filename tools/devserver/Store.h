#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <optional>

// One person as both services know them: the sign-in id ("auth id") and the account id differ on purpose.
struct Account
{
    QString authId;
    QString accountId;
    QString email;
    QString username;
    QString displayName;
    QString status;
    QString language;
    QString timezone;
    qint64 createdAt = 0;
};

struct SeedUser
{
    const char* authId;
    const char* accountId;
    const char* email;
    const char* username;
    const char* displayName;
    const char* password;
};

// The server's SQLite file inside the data directory, with small helpers around prepared statements.
class Store
{
public:
    static const QList<SeedUser>& seedUsers();

    bool open(const QString& dataDir, QString* error);
    QString dataDir() const { return m_dataDir; }

    bool exec(const QString& sql, const QVariantList& args = {});
    std::optional<QVariantMap> one(const QString& sql, const QVariantList& args = {});
    QList<QVariantMap> all(const QString& sql, const QVariantList& args = {});
    QVariant scalar(const QString& sql, const QVariantList& args = {});
    bool transaction() { return m_db.transaction(); }
    bool commit() { return m_db.commit(); }

    std::optional<Account> accountByAuthId(const QString& authId);
    std::optional<Account> accountByAccountId(const QString& accountId);
    std::optional<Account> accountByEmail(const QString& email);
    // Either identity: sharing requests may name a person by sign-in id or by account id.
    std::optional<Account> accountByEitherId(const QString& id);

    bool checkPassword(const QString& authId, const QString& password);
    bool setPassword(const QString& authId, const QString& password);

    QByteArray secret();
    QString groupOf(const QString& accountId); // empty when the account is in no group
    QString roleIn(const QString& accountId);  // "owner", "member" or empty
    QStringList groupMembers(const QString& groupId);

    // A strictly increasing stamp per stored change, delivered to one account.
    qint64 announce(const QString& accountId, const QString& kind, const QString& entityId);

private:
    bool createSchema();
    bool seed();
    std::optional<Account> accountWhere(const QString& column, const QString& value);

    QSqlDatabase m_db;
    QString m_dataDir;
};

qint64 nowMs();
QString isoMs(qint64 ms);
QString newId();
// Ids from clients become lookup keys only, never file names; this keeps them printable and short.
bool isValidId(const QString& id);
