#include "Store.h"

#include <QDateTime>
#include <QDir>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTextStream>
#include <QUuid>

namespace {

// Few rounds: the passwords are published test passwords and every test run starts a fresh server.
constexpr int Pbkdf2Rounds = 2000;

const char* const schema[] = {
    "CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value BLOB)",
    "CREATE TABLE IF NOT EXISTS users (auth_id TEXT PRIMARY KEY, account_id TEXT UNIQUE NOT NULL,"
    " email TEXT UNIQUE NOT NULL, username TEXT NOT NULL, display_name TEXT NOT NULL, salt BLOB NOT NULL,"
    " password_hash BLOB NOT NULL, status TEXT NOT NULL DEFAULT 'active', language TEXT NOT NULL DEFAULT 'en',"
    " timezone TEXT NOT NULL DEFAULT 'UTC', created_at INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS groups (id TEXT PRIMARY KEY, name TEXT NOT NULL, max_seats INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS group_members (account_id TEXT PRIMARY KEY, group_id TEXT NOT NULL,"
    " role TEXT NOT NULL, joined_at INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS invitations (id TEXT PRIMARY KEY, group_id TEXT NOT NULL, invited_email TEXT"
    " NOT NULL DEFAULT '', invite_code TEXT UNIQUE NOT NULL, status TEXT NOT NULL, created_at INTEGER NOT NULL,"
    " expires_at INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS sessions (id TEXT PRIMARY KEY, auth_id TEXT NOT NULL, user_agent TEXT NOT NULL,"
    " ip_address TEXT NOT NULL, created_at INTEGER NOT NULL, last_active_at INTEGER NOT NULL,"
    " revoked INTEGER NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS refresh_tokens (hash TEXT PRIMARY KEY, session_id TEXT NOT NULL,"
    " predecessor TEXT, successor TEXT, used INTEGER NOT NULL DEFAULT 0, revoked INTEGER NOT NULL DEFAULT 0,"
    " created_at INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS devices (id TEXT PRIMARY KEY, account_id TEXT NOT NULL, session_id TEXT UNIQUE"
    " NOT NULL, device_name TEXT NOT NULL, platform TEXT NOT NULL, app_id TEXT NOT NULL, app_version TEXT NOT"
    " NULL, fingerprint TEXT NOT NULL, last_sync_at INTEGER, created_at INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS notebooks (id TEXT PRIMARY KEY, owner TEXT NOT NULL, name TEXT NOT NULL,"
    " is_default INTEGER NOT NULL DEFAULT 0, version INTEGER NOT NULL, created_at INTEGER NOT NULL,"
    " updated_at INTEGER NOT NULL, deleted_at INTEGER)",
    "CREATE TABLE IF NOT EXISTS notes (id TEXT PRIMARY KEY, owner TEXT NOT NULL, notebook_id TEXT NOT NULL,"
    " body TEXT NOT NULL, version INTEGER NOT NULL, created_at INTEGER NOT NULL, updated_at INTEGER NOT NULL,"
    " modified_at INTEGER NOT NULL, deleted_at INTEGER)",
    "CREATE TABLE IF NOT EXISTS note_versions (note_id TEXT NOT NULL, version INTEGER NOT NULL, body TEXT NOT"
    " NULL, notebook_id TEXT NOT NULL, deleted_at INTEGER, author TEXT NOT NULL, stored_at INTEGER NOT NULL,"
    " PRIMARY KEY (note_id, version))",
    "CREATE TABLE IF NOT EXISTS attachments (id TEXT PRIMARY KEY, note_id TEXT NOT NULL, owner TEXT NOT NULL,"
    " filename TEXT NOT NULL, mime_type TEXT NOT NULL, size_bytes INTEGER NOT NULL, created_at INTEGER NOT NULL,"
    " file_key TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS note_shares (id TEXT PRIMARY KEY, note_id TEXT NOT NULL, recipient TEXT NOT NULL,"
    " permission TEXT NOT NULL, created_at INTEGER NOT NULL, UNIQUE (note_id, recipient))",
    "CREATE TABLE IF NOT EXISTS notebook_shares (id TEXT PRIMARY KEY, notebook_id TEXT NOT NULL, recipient TEXT"
    " NOT NULL, permission TEXT NOT NULL, created_at INTEGER NOT NULL, UNIQUE (notebook_id, recipient))",
    "CREATE TABLE IF NOT EXISTS feed (stamp INTEGER PRIMARY KEY AUTOINCREMENT, account_id TEXT NOT NULL,"
    " kind TEXT NOT NULL, entity_id TEXT NOT NULL, created_at INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS idx_feed_account ON feed(account_id, kind, stamp)",
};

QByteArray derive(const QString& password, const QByteArray& salt)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, Pbkdf2Rounds, 32);
}

QByteArray randomBytes(int n)
{
    QByteArray bytes(n, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()), n / 4);
    return bytes;
}

// A null text binds as SQL NULL; the columns that take text want the empty text instead.
QVariant bindable(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        return QString(QLatin1String(""));
    return value;
}

} // namespace

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString isoMs(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

bool isValidId(const QString& id)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9_-]{1,100}$"));
    return pattern.match(id).hasMatch();
}

const QList<SeedUser>& Store::seedUsers()
{
    static const QList<SeedUser> users{
        {"1d000000-0000-4000-8000-00000000000a", "ac000000-0000-4000-8000-00000000000a", "ada@example.com", "ada",
         "Ada Lovelace", "ada-secret-1"},
        {"1d000000-0000-4000-8000-00000000000b", "ac000000-0000-4000-8000-00000000000b", "ben@example.com", "ben",
         "Ben Okafor", "ben-secret-1"},
        {"1d000000-0000-4000-8000-00000000000c", "ac000000-0000-4000-8000-00000000000c", "cleo@example.com", "cleo",
         "Cleo Marsh", "cleo-secret-1"},
    };
    return users;
}

bool Store::open(const QString& dataDir, QString* error)
{
    m_dataDir = QDir(dataDir).absolutePath();
    if (!QDir().mkpath(m_dataDir) || !QDir().mkpath(m_dataDir + QStringLiteral("/attachments"))) {
        *error = QStringLiteral("cannot create data directory %1").arg(m_dataDir);
        return false;
    }
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("devserver"));
    m_db.setDatabaseName(m_dataDir + QStringLiteral("/devserver.sqlite"));
    if (!m_db.open()) {
        *error = m_db.lastError().text();
        return false;
    }
    exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    if (!createSchema() || !seed()) {
        *error = QStringLiteral("cannot prepare the database");
        return false;
    }
    return true;
}

bool Store::createSchema()
{
    for (const char* sql : schema) {
        if (!exec(QString::fromLatin1(sql)))
            return false;
    }
    return true;
}

bool Store::seed()
{
    if (scalar(QStringLiteral("SELECT COUNT(*) FROM users")).toInt() > 0)
        return true;
    const qint64 now = nowMs();
    transaction();
    for (const SeedUser& u : seedUsers()) {
        const QByteArray salt = randomBytes(16);
        exec(QStringLiteral("INSERT INTO users (auth_id, account_id, email, username, display_name, salt,"
                            " password_hash, created_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
             {QString::fromLatin1(u.authId), QString::fromLatin1(u.accountId), QString::fromLatin1(u.email),
              QString::fromLatin1(u.username), QString::fromUtf8(u.displayName), salt,
              derive(QString::fromLatin1(u.password), salt), now});
    }
    const QString group = QStringLiteral("9e000000-0000-4000-8000-000000000001");
    exec(QStringLiteral("INSERT INTO groups (id, name, max_seats) VALUES (?, 'Lovelace Lab', 5)"), {group});
    exec(QStringLiteral("INSERT INTO group_members VALUES (?, ?, 'owner', ?)"),
         {QString::fromLatin1(seedUsers()[0].accountId), group, now});
    exec(QStringLiteral("INSERT INTO group_members VALUES (?, ?, 'member', ?)"),
         {QString::fromLatin1(seedUsers()[1].accountId), group, now});
    exec(QStringLiteral("INSERT INTO meta (key, value) VALUES ('secret', ?)"), {randomBytes(32)});
    return commit();
}

bool Store::exec(const QString& sql, const QVariantList& args)
{
    QSqlQuery q(m_db);
    if (!q.prepare(sql)) {
        QTextStream(stderr) << "devserver: prepare failed: " << q.lastError().text() << Qt::endl;
        return false;
    }
    for (const QVariant& a : args)
        q.addBindValue(bindable(a));
    if (!q.exec()) {
        QTextStream(stderr) << "devserver: statement failed: " << q.lastError().text() << Qt::endl;
        return false;
    }
    return true;
}

QList<QVariantMap> Store::all(const QString& sql, const QVariantList& args)
{
    QList<QVariantMap> rows;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(sql)) {
        QTextStream(stderr) << "devserver: prepare failed: " << q.lastError().text() << Qt::endl;
        return rows;
    }
    for (const QVariant& a : args)
        q.addBindValue(bindable(a));
    if (!q.exec())
        return rows;
    while (q.next()) {
        QVariantMap row;
        const QSqlRecord r = q.record();
        for (int i = 0; i < r.count(); ++i)
            row.insert(r.fieldName(i), q.value(i));
        rows.append(row);
    }
    return rows;
}

std::optional<QVariantMap> Store::one(const QString& sql, const QVariantList& args)
{
    const auto rows = all(sql, args);
    if (rows.isEmpty())
        return std::nullopt;
    return rows.first();
}

QVariant Store::scalar(const QString& sql, const QVariantList& args)
{
    const auto row = one(sql, args);
    return row && !row->isEmpty() ? row->first() : QVariant();
}

std::optional<Account> Store::accountWhere(const QString& column, const QString& value)
{
    const auto row = one(QStringLiteral("SELECT * FROM users WHERE %1 = ?").arg(column), {value});
    if (!row)
        return std::nullopt;
    Account a;
    a.authId = row->value("auth_id").toString();
    a.accountId = row->value("account_id").toString();
    a.email = row->value("email").toString();
    a.username = row->value("username").toString();
    a.displayName = row->value("display_name").toString();
    a.status = row->value("status").toString();
    a.language = row->value("language").toString();
    a.timezone = row->value("timezone").toString();
    a.createdAt = row->value("created_at").toLongLong();
    return a;
}

std::optional<Account> Store::accountByAuthId(const QString& authId)
{
    return accountWhere(QStringLiteral("auth_id"), authId);
}

std::optional<Account> Store::accountByAccountId(const QString& accountId)
{
    return accountWhere(QStringLiteral("account_id"), accountId);
}

std::optional<Account> Store::accountByEmail(const QString& email)
{
    return accountWhere(QStringLiteral("email"), email.trimmed().toLower());
}

std::optional<Account> Store::accountByEitherId(const QString& id)
{
    if (auto a = accountByAuthId(id))
        return a;
    return accountByAccountId(id);
}

bool Store::checkPassword(const QString& authId, const QString& password)
{
    const auto row = one(QStringLiteral("SELECT salt, password_hash FROM users WHERE auth_id = ?"), {authId});
    if (!row)
        return false;
    const QByteArray expected = row->value("password_hash").toByteArray();
    const QByteArray actual = derive(password, row->value("salt").toByteArray());
    // Compare every byte so the time taken says nothing about where they differ.
    if (expected.size() != actual.size())
        return false;
    int diff = 0;
    for (qsizetype i = 0; i < expected.size(); ++i)
        diff |= expected[i] ^ actual[i];
    return diff == 0;
}

bool Store::setPassword(const QString& authId, const QString& password)
{
    const QByteArray salt = randomBytes(16);
    return exec(QStringLiteral("UPDATE users SET salt = ?, password_hash = ? WHERE auth_id = ?"),
                {salt, derive(password, salt), authId});
}

QByteArray Store::secret()
{
    return scalar(QStringLiteral("SELECT value FROM meta WHERE key = 'secret'")).toByteArray();
}

QString Store::groupOf(const QString& accountId)
{
    return scalar(QStringLiteral("SELECT group_id FROM group_members WHERE account_id = ?"), {accountId}).toString();
}

QString Store::roleIn(const QString& accountId)
{
    return scalar(QStringLiteral("SELECT role FROM group_members WHERE account_id = ?"), {accountId}).toString();
}

QStringList Store::groupMembers(const QString& groupId)
{
    QStringList ids;
    for (const auto& row : all(QStringLiteral("SELECT account_id FROM group_members WHERE group_id = ?"
                                              " ORDER BY joined_at, account_id"),
                               {groupId}))
        ids.append(row.value("account_id").toString());
    return ids;
}

qint64 Store::announce(const QString& accountId, const QString& kind, const QString& entityId)
{
    exec(QStringLiteral("INSERT INTO feed (account_id, kind, entity_id, created_at) VALUES (?, ?, ?, ?)"),
         {accountId, kind, entityId, nowMs()});
    return scalar(QStringLiteral("SELECT last_insert_rowid()")).toLongLong();
}
