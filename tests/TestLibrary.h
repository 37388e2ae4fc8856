#pragma once

#include "Database.h"
#include "Records.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

// A migrated database in its own temporary directory. The Database is declared after the
// directory so it closes before the directory is removed.
struct TestDb
{
    QTemporaryDir dir;
    Database database;
    bool ok = false;

    TestDb() { ok = dir.isValid() && database.open(dir.filePath(QStringLiteral("test.db"))) && database.migrate(); }
    QSqlDatabase db() const { return database.db(); }
};

inline QDateTime utc(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toUTC();
}

inline Note makeNote(const QString& id, const QString& body, const QString& notebookId = QString(),
                     const QDateTime& at = utc("2024-03-11T09:30:00.000Z"))
{
    Note n;
    n.id = id;
    n.notebookId = notebookId;
    n.body = body;
    n.createdAt = at;
    n.updatedAt = at;
    n.modifiedAt = at;
    return n;
}

// Runs a statement (positional bindings) and returns the first column of the first row.
inline QVariant scalar(const QSqlDatabase& db, const QString& sql, const QVariantList& binds = {})
{
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& b : binds)
        q.addBindValue(b);
    if (!q.exec() || !q.next())
        return QVariant(QStringLiteral("<no row: %1>").arg(q.lastError().text()));
    return q.value(0);
}

inline bool exec(const QSqlDatabase& db, const QString& sql, const QVariantList& binds = {})
{
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& b : binds)
        q.addBindValue(b);
    return q.exec();
}

inline QStringList ids(const QList<Note>& notes)
{
    QStringList out;
    for (const Note& n : notes)
        out << n.id;
    return out;
}

// Every field in text form, so a mismatch shows which field differs.
inline QStringList describe(const Note& n)
{
    return {
        QStringLiteral("id=") + n.id,
        QStringLiteral("notebookId=") + n.notebookId,
        QStringLiteral("body=") + n.body,
        QStringLiteral("createdAt=") + toDbTimestamp(n.createdAt),
        QStringLiteral("updatedAt=") + toDbTimestamp(n.updatedAt),
        QStringLiteral("modifiedAt=") + toDbTimestamp(n.modifiedAt),
        QStringLiteral("deletedAt=") + (n.deletedAt ? toDbTimestamp(*n.deletedAt) : QStringLiteral("<none>")),
        QStringLiteral("version=%1").arg(n.version),
        QStringLiteral("opVersion=%1").arg(n.opVersion),
        QStringLiteral("syncStatus=") + syncStatusToString(n.syncStatus),
        QStringLiteral("isSample=%1").arg(n.isSample),
        QStringLiteral("ownerId=") + n.ownerId,
        QStringLiteral("isShared=%1").arg(n.isShared),
        QStringLiteral("permission=") + n.permission,
    };
}
