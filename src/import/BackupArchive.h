#pragma once

#include "ImportResult.h"
#include "Records.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

// The library's own backup: a ZIP with "manifest.json", "notebooks/<id>.json", "notes/<id>.json"
// (trash included), "attachmentRecords/<id>.json" (what each attachment is and which note holds it)
// and "attachments/<file>" copied from the attachments directory.

struct BackupResult
{
    qint32 noteCount = 0; // note files written
    bool failed = false;
    QString error;
};

struct RestoreResult
{
    qint32 imported = 0;
    qint32 skipped = 0;
    qint32 errors = 0; // 0 or 1
    QString error;
};

// What a restore does with an item that already exists locally (ignored when forcing to the account).
enum class RestoreMode
{
    SkipExisting = 0,
    Overwrite = 1,
    OverwriteIfNewer = 2, // only when the archived copy was updated later
};

// Writes every notebook not deleted, every note (trash included) and every attachment file. An
// existing file at destinationPath is replaced only once the new archive is complete.
BackupResult createBackup(const QString& destinationPath, const LibraryRepositories& library);

// Local import: restoreBackup(path, library, RestoreMode::SkipExisting, false).
// Restore to the account: restoreBackup(path, library, RestoreMode::Overwrite, true) — everything
// archived becomes Pending and notes get a version above both copies, so the next sync uploads it.
// Attachment files are copied only where no file of that name exists. Attachment records come back
// for notes that are here, Pending so they upload; an archive written before it carried records has
// its files matched to the notes whose bodies refer to them. When the final commit fails nothing is
// kept (copied files included) and the error names why; every failure carries its reason.
RestoreResult restoreBackup(const QString& archivePath, const LibraryRepositories& library, RestoreMode mode,
                            bool forceToAccount);

// The JSON documents of the archive, as pure functions.
QJsonObject backupManifest(int noteCount, int notebookCount, const QDateTime& exportedAt, int attachmentCount = -1);
QJsonObject noteToBackupJson(const Note& note);
QJsonObject notebookToBackupJson(const Notebook& notebook);
// Absent unless the bytes hold a JSON object with a non-empty "id". Fields the object does not carry
// take the values of a restored item: Pending, op version 0, no owner, not shared, not a sample.
std::optional<Note> noteFromBackupJson(const QByteArray& json);
std::optional<Notebook> notebookFromBackupJson(const QByteArray& json);
QJsonObject attachmentToBackupJson(const Attachment& attachment);
// Absent unless the object has a non-empty "id" and "noteId". Restored attachments are Pending.
std::optional<Attachment> attachmentFromBackupJson(const QByteArray& json);

// The file name (without ".json") an item id is stored under: the id itself for ordinary ids,
// percent-encoded when it holds characters that do not belong in a path.
QString backupFileStem(const QString& id);
