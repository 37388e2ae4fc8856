#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <optional>

// Plain value records, one per table row. Columns are read by name, so rows from
// "SELECT *" and joins returning "n.*" both map.

enum class SyncStatus {
    Pending = 0,
    Synced = 1,
    Conflict = 2,
};

// "synced" and "conflict" map exactly; any other text reads as Pending.
SyncStatus syncStatusFromString(const QString& text);
// Any value outside the three writes "pending".
QString syncStatusToString(SyncStatus status);

struct Note
{
    QString id;
    QString notebookId; // empty: in no notebook
    QString body;       // Delta JSON
    QDateTime createdAt;
    QDateTime updatedAt;  // last content change; lists are ordered by it
    QDateTime modifiedAt; // last local change of any kind
    std::optional<QDateTime> deletedAt; // set while in the trash
    int version = 1;
    int opVersion = 0;
    SyncStatus syncStatus = SyncStatus::Pending;
    bool isSample = false;
    QString ownerId; // empty for the user's own notes
    bool isShared = false;
    QString permission;

    bool isTrashed() const { return deletedAt.has_value(); }
    // See noteTitle().
    QString title() const;
};

struct Notebook
{
    QString id;
    QString name;
    bool isDefault = false;
    bool isShared = false;
    QString ownerId;
    QDateTime createdAt;
    QDateTime updatedAt;
    std::optional<QDateTime> deletedAt;
    int version = 1;
    SyncStatus syncStatus = SyncStatus::Pending;
};

struct Snapshot
{
    QString id;
    QString noteId;
    int version = 0;
    QString body;
    QDateTime createdAt;
};

struct Attachment
{
    QString id;
    QString noteId;
    QString filename;
    QString mimeType;
    qint64 sizeBytes = 0;
    QDateTime createdAt;
    SyncStatus syncStatus = SyncStatus::Pending;
};

// Database timestamps: UTC, ISO 8601 with milliseconds ("2024-03-11T09:30:00.000Z").
QString toDbTimestamp(const QDateTime& t);
// Unparsable or empty text gives an invalid date-time.
QDateTime fromDbTimestamp(const QString& text);

// The derived title of a body: its plain text (the text inserts of a Delta array, in order; a body
// that is not a JSON array counts as plain text) cut before the first line break and trimmed.
QString noteTitle(const QString& body);

// A new random id: a UUID without braces, 36 lower-case characters.
QString newId();

Q_DECLARE_METATYPE(Note)
Q_DECLARE_METATYPE(Notebook)
