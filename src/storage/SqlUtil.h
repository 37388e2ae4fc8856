#pragma once

#include "Records.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <optional>

// Binding and reading helpers shared by the repositories. Internal to the storage layer.
namespace SqlUtil {

// A null QString binds as SQL NULL; columns declared NOT NULL DEFAULT '' need the empty text instead.
inline QString nonNull(const QString& s)
{
    return s.isNull() ? QStringLiteral("") : s;
}

// Optional text columns (owner id, permission) keep NULL rather than '' for "nothing".
inline QVariant nullIfEmpty(const QString& s)
{
    return s.isEmpty() ? QVariant() : QVariant(s);
}

inline QVariant timestamp(const QDateTime& t)
{
    return toDbTimestamp(t);
}

inline QVariant optionalTimestamp(const std::optional<QDateTime>& t)
{
    return t ? QVariant(toDbTimestamp(*t)) : QVariant();
}

// NULL and the empty text both mean "absent".
inline std::optional<QDateTime> readOptionalTimestamp(const QVariant& v)
{
    const QString text = v.toString();
    if (text.isEmpty())
        return std::nullopt;
    return fromDbTimestamp(text);
}

// Column positions resolved once per result set; rows are then read by index, which matters when
// listing tens of thousands of notes. A column missing from the result reads as a default value.
struct NoteColumns
{
    explicit NoteColumns(const QSqlRecord& r);
    Note read(const QSqlQuery& q) const;

    int id, notebookId, body, createdAt, updatedAt, modifiedAt, deletedAt, version, opVersion, syncStatus, isSample,
        ownerId, isShared, permission;
};

struct NotebookColumns
{
    explicit NotebookColumns(const QSqlRecord& r);
    Notebook read(const QSqlQuery& q) const;

    int id, name, isDefault, isShared, ownerId, createdAt, updatedAt, deletedAt, version, syncStatus;
};

Snapshot readSnapshot(const QSqlQuery& q);
Attachment readAttachment(const QSqlQuery& q);

// Runs a prepared SELECT that yields records and maps each row.
QList<Note> readNotes(QSqlQuery& q);
QList<Notebook> readNotebooks(QSqlQuery& q);

} // namespace SqlUtil
