#include "BackupArchive.h"

#include "AttachmentRepository.h"
#include "Clock.h"
#include "Database.h"
#include "ImportLog.h"
#include "ImportSupport.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "ZipArchive.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSet>
#include <QSignalBlocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTemporaryDir>
#include <QUrl>
#include <limits>

namespace {

const QString kManifest = QStringLiteral("manifest.json");
const QString kNotebooksDir = QStringLiteral("notebooks");
const QString kNotesDir = QStringLiteral("notes");
const QString kAttachmentsDir = QStringLiteral("attachments");
const QString kAttachmentRecordsDir = QStringLiteral("attachmentRecords");

QByteArray indented(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<QJsonObject> objectWithId(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    QJsonObject object = doc.object();
    if (object.value(QLatin1String("id")).toString().isEmpty())
        return std::nullopt;
    return object;
}

QDateTime timeValue(const QJsonObject& object, QLatin1String key)
{
    return fromDbTimestamp(object.value(key).toString());
}

std::optional<QDateTime> deletedValue(const QJsonObject& object)
{
    const QDateTime t = timeValue(object, QLatin1String("deletedAt"));
    if (!t.isValid())
        return std::nullopt; // absent, empty or unreadable: not deleted
    return t;
}

// A version one above `base`, without running past the largest int a hostile archive might hold.
int nextVersion(int base)
{
    return base == std::numeric_limits<int>::max() ? base : base + 1;
}

// Holds the repositories' signals during a restore and gives back their previous state.
class SignalHold
{
public:
    SignalHold(QObject* a, QObject* b)
        : m_a(a)
        , m_b(b)
        , m_wasA(a->blockSignals(true))
        , m_wasB(b->blockSignals(true))
    {}
    ~SignalHold()
    {
        m_a->blockSignals(m_wasA);
        m_b->blockSignals(m_wasB);
    }
    SignalHold(const SignalHold&) = delete;
    SignalHold& operator=(const SignalHold&) = delete;

private:
    QObject* m_a;
    QObject* m_b;
    bool m_wasA;
    bool m_wasB;
};

// Item documents are small and read once, so they stay in memory; attachments go to disk.
bool isItemDocument(const QString& path)
{
    return path == kManifest || path.startsWith(kNotebooksDir + QLatin1Char('/')) ||
           path.startsWith(kNotesDir + QLatin1Char('/')) || path.startsWith(kAttachmentRecordsDir + QLatin1Char('/'));
}

// The "*.json" files directly inside one archive folder, in name order.
QList<QByteArray> itemDocuments(const QMap<QString, QByteArray>& files, const QString& folder)
{
    QList<QByteArray> out;
    const QString prefix = folder + QLatin1Char('/');
    for (auto it = files.lowerBound(prefix); it != files.constEnd() && it.key().startsWith(prefix); ++it) {
        const QString name = it.key().mid(prefix.size());
        if (!name.contains(QLatin1Char('/')) && name.endsWith(QLatin1String(".json")))
            out.append(it.value());
    }
    return out;
}

void count(RestoreResult& result, bool written, const char* what)
{
    if (written) {
        ++result.imported;
    } else {
        qCWarning(lcImport) << "Restore could not write a" << what;
        ++result.skipped;
    }
}

void restoreNotebook(Notebook notebook, NotebookRepository& repo, RestoreMode mode, bool force, RestoreResult& result)
{
    const std::optional<Notebook> local = repo.notebookById(notebook.id);
    notebook.syncStatus = SyncStatus::Pending;
    if (force) {
        if (local && local->name == notebook.name && local->deletedAt.has_value() == notebook.deletedAt.has_value()) {
            ++result.skipped;
        } else if (local) {
            notebook.version = local->version;
            count(result, repo.update(notebook), "notebook");
        } else {
            count(result, repo.insert(notebook), "notebook");
        }
        return;
    }
    if (!local)
        count(result, repo.insert(notebook), "notebook");
    else if (mode == RestoreMode::Overwrite)
        count(result, repo.update(notebook), "notebook");
    else if (mode == RestoreMode::OverwriteIfNewer && local->updatedAt < notebook.updatedAt)
        count(result, repo.update(notebook), "notebook");
    else
        ++result.skipped;
}

void restoreNote(Note note, NoteRepository& repo, RestoreMode mode, bool force, RestoreResult& result)
{
    const std::optional<Note> local = repo.noteById(note.id);
    note.syncStatus = SyncStatus::Pending;
    if (force) {
        if (local) {
            note.version = nextVersion(qMax(local->version, note.version));
            count(result, repo.update(note), "note");
        } else {
            note.version = qMax(nextVersion(note.version), 1);
            count(result, repo.insert(note), "note");
        }
        return;
    }
    if (!local)
        count(result, repo.insert(note), "note");
    else if (mode == RestoreMode::Overwrite)
        count(result, repo.update(note), "note");
    else if (mode == RestoreMode::OverwriteIfNewer && note.updatedAt > local->updatedAt)
        count(result, repo.update(note), "note");
    else
        ++result.skipped;
}

// Copies the archived attachment files that are not here yet; the names of the copies are added to
// `copied`, so a restore that fails afterwards can take them back.
void copyMissingAttachments(const QString& fromDir, const QString& toDir, QStringList& copied)
{
    const QFileInfoList files = QDir(fromDir).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
    if (files.isEmpty())
        return;
    QDir().mkpath(toDir);
    for (const QFileInfo& file : files) {
        const QString target = toDir + QLatin1Char('/') + file.fileName();
        // A file already present is the user's own copy; the archived one never replaces it.
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
            continue;
        if (QFile::copy(file.filePath(), target))
            copied.append(target);
        else
            qCWarning(lcImport).noquote() << "Restore could not copy attachment file" << file.fileName();
    }
}

// Which note refers to each attachment id, from the bodies of the archived notes.
QHash<QString, QString> attachmentOwners(const QList<Note>& notes)
{
    static const QRegularExpression url(QStringLiteral("norvane-notes://attachment/([A-Za-z0-9_.-]+)"));
    QHash<QString, QString> owners;
    for (const Note& note : notes) {
        QRegularExpressionMatchIterator it = url.globalMatch(note.body);
        while (it.hasNext()) {
            const QString id = it.next().captured(1);
            if (!owners.contains(id))
                owners.insert(id, note.id);
        }
    }
    return owners;
}

// A record for a file of an archive that carried none: what the file holds decides its type and
// its name, the note that shows it owns it.
Attachment recordForFile(const QFileInfo& file, const QString& noteId)
{
    static const QMimeDatabase mimeDatabase;
    const QMimeType type = mimeDatabase.mimeTypeForFile(file.filePath(), QMimeDatabase::MatchContent);
    Attachment a;
    a.id = file.fileName();
    a.noteId = noteId;
    a.mimeType = type.isValid() ? type.name() : QStringLiteral("application/octet-stream");
    const QString stem =
        a.mimeType.startsWith(QLatin1String("image/")) ? QStringLiteral("image") : QStringLiteral("attachment");
    const QString suffix = type.preferredSuffix();
    a.filename = suffix.isEmpty() ? stem : QStringLiteral("%1.%2").arg(stem, suffix);
    a.sizeBytes = file.size();
    a.createdAt = file.lastModified().isValid() ? file.lastModified().toUTC() : Clock::nowUtc();
    a.syncStatus = SyncStatus::Pending;
    return a;
}

QString extractionFailure(const ZipExtractResult& extracted)
{
    switch (extracted.failure) {
    case ZipFailure::NotAnArchive:
        return QCoreApplication::translate("BackupArchive", "Failed to extract backup: not a backup archive");
    case ZipFailure::TooLarge:
        return QCoreApplication::translate("BackupArchive", "Failed to extract backup: too large (%1)")
            .arg(extracted.error);
    case ZipFailure::Damaged:
        return extracted.failedEntry.isEmpty()
                   ? QCoreApplication::translate("BackupArchive", "Failed to extract backup: damaged archive (%1)")
                         .arg(extracted.error)
                   : QCoreApplication::translate("BackupArchive", "Failed to extract backup: damaged at entry %1")
                         .arg(extracted.failedEntry);
    case ZipFailure::WriteFailed:
    case ZipFailure::None:
        break;
    }
    return QCoreApplication::translate("BackupArchive", "Failed to extract backup: %1").arg(extracted.error);
}

} // namespace

QString backupFileStem(const QString& id)
{
    // UUIDs pass unchanged; '/', '\\' and '.' are encoded so an id can never form a path.
    const QString stem = QString::fromLatin1(QUrl::toPercentEncoding(id, QByteArray(), QByteArrayLiteral(".")));
    return stem.isEmpty() ? QStringLiteral("_") : stem;
}

QJsonObject backupManifest(int noteCount, int notebookCount, const QDateTime& exportedAt, int attachmentCount)
{
    QJsonObject manifest{
        {QStringLiteral("version"), 1},
        {QStringLiteral("exportedAt"), toDbTimestamp(exportedAt)},
        {QStringLiteral("noteCount"), noteCount},
        {QStringLiteral("notebookCount"), notebookCount},
    };
    if (attachmentCount >= 0)
        manifest.insert(QStringLiteral("attachmentCount"), attachmentCount);
    return manifest;
}

QJsonObject attachmentToBackupJson(const Attachment& attachment)
{
    return QJsonObject{
        {QStringLiteral("id"), attachment.id},
        {QStringLiteral("noteId"), attachment.noteId},
        {QStringLiteral("filename"), attachment.filename},
        {QStringLiteral("mimeType"), attachment.mimeType},
        {QStringLiteral("sizeBytes"), attachment.sizeBytes},
        {QStringLiteral("createdAt"), toDbTimestamp(attachment.createdAt)},
    };
}

std::optional<Attachment> attachmentFromBackupJson(const QByteArray& json)
{
    const std::optional<QJsonObject> o = objectWithId(json);
    if (!o)
        return std::nullopt;
    Attachment a;
    a.id = o->value(QLatin1String("id")).toString();
    a.noteId = o->value(QLatin1String("noteId")).toString();
    if (a.noteId.isEmpty())
        return std::nullopt;
    a.filename = o->value(QLatin1String("filename")).toString();
    if (a.filename.isEmpty())
        a.filename = a.id;
    a.mimeType = o->value(QLatin1String("mimeType")).toString();
    if (a.mimeType.isEmpty())
        a.mimeType = QStringLiteral("application/octet-stream");
    a.sizeBytes = qMax<qint64>(0, qint64(o->value(QLatin1String("sizeBytes")).toDouble()));
    a.createdAt = timeValue(*o, QLatin1String("createdAt"));
    if (!a.createdAt.isValid())
        a.createdAt = Clock::nowUtc();
    a.syncStatus = SyncStatus::Pending;
    return a;
}

QJsonObject noteToBackupJson(const Note& note)
{
    QJsonObject o{
        {QStringLiteral("id"), note.id},
        {QStringLiteral("notebookId"), note.notebookId.isNull() ? QString(QLatin1String("")) : note.notebookId},
        {QStringLiteral("body"), note.body},
        {QStringLiteral("createdAt"), toDbTimestamp(note.createdAt)},
        {QStringLiteral("updatedAt"), toDbTimestamp(note.updatedAt)},
        {QStringLiteral("modifiedAt"), toDbTimestamp(note.modifiedAt)},
        {QStringLiteral("version"), note.version},
    };
    if (note.deletedAt)
        o.insert(QStringLiteral("deletedAt"), toDbTimestamp(*note.deletedAt));
    return o;
}

QJsonObject notebookToBackupJson(const Notebook& notebook)
{
    QJsonObject o{
        {QStringLiteral("id"), notebook.id},
        {QStringLiteral("name"), notebook.name},
        {QStringLiteral("isDefault"), notebook.isDefault},
        {QStringLiteral("isShared"), notebook.isShared},
        {QStringLiteral("ownerId"), notebook.ownerId.isNull() ? QString(QLatin1String("")) : notebook.ownerId},
        {QStringLiteral("createdAt"), toDbTimestamp(notebook.createdAt)},
        {QStringLiteral("updatedAt"), toDbTimestamp(notebook.updatedAt)},
        {QStringLiteral("version"), notebook.version},
    };
    if (notebook.deletedAt)
        o.insert(QStringLiteral("deletedAt"), toDbTimestamp(*notebook.deletedAt));
    return o;
}

std::optional<Note> noteFromBackupJson(const QByteArray& json)
{
    const std::optional<QJsonObject> o = objectWithId(json);
    if (!o)
        return std::nullopt;
    Note note;
    note.id = o->value(QLatin1String("id")).toString();
    note.notebookId = o->value(QLatin1String("notebookId")).toString(QLatin1String(""));
    note.body = o->value(QLatin1String("body")).toString(QLatin1String(""));
    // Timestamps the archive lacks or garbled are filled in, so no row is written without them.
    note.createdAt = timeValue(*o, QLatin1String("createdAt"));
    if (!note.createdAt.isValid())
        note.createdAt = Clock::nowUtc();
    note.updatedAt = timeValue(*o, QLatin1String("updatedAt"));
    if (!note.updatedAt.isValid())
        note.updatedAt = note.createdAt;
    note.modifiedAt = timeValue(*o, QLatin1String("modifiedAt"));
    if (!note.modifiedAt.isValid())
        note.modifiedAt = note.updatedAt;
    note.deletedAt = deletedValue(*o);
    note.version = o->value(QLatin1String("version")).toInt(1);
    note.syncStatus = SyncStatus::Pending;
    return note;
}

std::optional<Notebook> notebookFromBackupJson(const QByteArray& json)
{
    const std::optional<QJsonObject> o = objectWithId(json);
    if (!o)
        return std::nullopt;
    Notebook notebook;
    notebook.id = o->value(QLatin1String("id")).toString();
    notebook.name = o->value(QLatin1String("name")).toString(QLatin1String(""));
    notebook.isDefault = o->value(QLatin1String("isDefault")).toBool(false);
    notebook.isShared = o->value(QLatin1String("isShared")).toBool(false);
    notebook.ownerId = o->value(QLatin1String("ownerId")).toString();
    notebook.createdAt = timeValue(*o, QLatin1String("createdAt"));
    if (!notebook.createdAt.isValid())
        notebook.createdAt = Clock::nowUtc();
    notebook.updatedAt = timeValue(*o, QLatin1String("updatedAt"));
    if (!notebook.updatedAt.isValid())
        notebook.updatedAt = notebook.createdAt;
    notebook.deletedAt = deletedValue(*o);
    notebook.version = o->value(QLatin1String("version")).toInt(1);
    notebook.syncStatus = SyncStatus::Pending;
    return notebook;
}

BackupResult createBackup(const QString& destinationPath, const LibraryRepositories& library)
{
    BackupResult result;
    auto fail = [&result](const QString& detail) {
        result.failed = true;
        result.error = QCoreApplication::translate("BackupArchive", "Failed to create ZIP: %1").arg(detail);
        result.noteCount = 0;
        return result;
    };
    if (!library.isComplete())
        return fail(QCoreApplication::translate("BackupArchive", "no library to back up"));

    const QList<Notebook> notebooks = library.notebooks->allNotebooks();
    QList<Note> notes = library.notes->allNotes();
    notes += library.notes->trashedNotes();

    ZipWriter zip(destinationPath);
    if (!zip.open() || !zip.addDirectory(kNotebooksDir) || !zip.addDirectory(kNotesDir) ||
        !zip.addDirectory(kAttachmentsDir) || !zip.addDirectory(kAttachmentRecordsDir)) {
        return fail(zip.errorString());
    }
    for (const Notebook& notebook : notebooks) {
        const QString name = kNotebooksDir + QLatin1Char('/') + backupFileStem(notebook.id) + QStringLiteral(".json");
        if (!zip.addFile(name, indented(notebookToBackupJson(notebook))))
            return fail(zip.errorString());
    }
    for (const Note& note : notes) {
        const QString name = kNotesDir + QLatin1Char('/') + backupFileStem(note.id) + QStringLiteral(".json");
        if (!zip.addFile(name, indented(noteToBackupJson(note))))
            return fail(zip.errorString());
    }

    const QList<Attachment> records = library.attachments->allAttachments();
    for (const Attachment& record : records) {
        const QString name =
            kAttachmentRecordsDir + QLatin1Char('/') + backupFileStem(record.id) + QStringLiteral(".json");
        if (!zip.addFile(name, indented(attachmentToBackupJson(record))))
            return fail(zip.errorString());
    }

    const QDir attachments(library.attachments->directory());
    if (attachments.exists()) {
        // Links are left out: whatever they point at is not part of the library.
        const QFileInfoList files =
            attachments.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name);
        for (const QFileInfo& info : files) {
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly)) {
                qCWarning(lcImport).noquote() << "Backup skipped unreadable attachment file" << info.fileName();
                continue;
            }
            if (!zip.addFileFromDevice(kAttachmentsDir + QLatin1Char('/') + info.fileName(), file))
                return fail(zip.errorString());
        }
    }

    const QJsonObject manifest =
        backupManifest(int(notes.size()), int(notebooks.size()), Clock::nowUtc(), int(records.size()));
    if (!zip.addFile(kManifest, indented(manifest)) || !zip.finish())
        return fail(zip.errorString());
    result.noteCount = qint32(notes.size());
    return result;
}

RestoreResult restoreBackup(const QString& archivePath, const LibraryRepositories& library, RestoreMode mode,
                            bool forceToAccount)
{
    RestoreResult result;
    auto fail = [&result](const QString& error) {
        result.imported = 0;
        result.errors = 1;
        result.error = error;
        return result;
    };
    if (!library.isComplete())
        return fail(QCoreApplication::translate("BackupArchive", "Failed to extract backup"));

    QTemporaryDir temp;
    if (!temp.isValid())
        return fail(QCoreApplication::translate("BackupArchive", "Failed to create temp directory"));
    const ZipExtractResult extracted = extractZipArchive(archivePath, temp.path(), ZipLimits(), isItemDocument);
    if (!extracted.ok()) {
        qCWarning(lcImport).noquote() << "Backup extraction failed:" << extracted.error;
        return fail(extractionFailure(extracted));
    }
    for (const QString& skipped : extracted.skipped)
        qCWarning(lcImport).noquote() << "Backup entry left out:" << skipped;

    if (!extracted.inMemory.contains(kManifest))
        return fail(QCoreApplication::translate("BackupArchive", "No manifest.json found"));

    NoteRepository& notes = *library.notes;
    NotebookRepository& notebooks = *library.notebooks;
    AttachmentRepository& attachments = *library.attachments;
    QStringList copied;
    bool attachmentsAdded = false;
    {
        SignalHold hold(&notes, &notebooks);
        const QSignalBlocker holdAttachments(&attachments);
        // One transaction: thousands of single-row commits would each wait for the disk.
        QSqlDatabase db = notes.database() ? notes.database()->db() : QSqlDatabase();
        const bool inTransaction = db.isValid() && db.transaction();

        for (const QByteArray& json : itemDocuments(extracted.inMemory, kNotebooksDir)) {
            if (std::optional<Notebook> notebook = notebookFromBackupJson(json))
                restoreNotebook(*notebook, notebooks, mode, forceToAccount, result);
            else
                qCWarning(lcImport) << "Restore skipped a notebook file that is not a notebook object";
        }
        QList<Note> archivedNotes;
        for (const QByteArray& json : itemDocuments(extracted.inMemory, kNotesDir)) {
            if (std::optional<Note> note = noteFromBackupJson(json)) {
                archivedNotes.append(*note);
                restoreNote(*note, notes, mode, forceToAccount, result);
            } else {
                qCWarning(lcImport) << "Restore skipped a note file that is not a note object";
            }
        }

        // Records first from the archive; files it holds without one are matched to the notes
        // that show them. A record is only written for a note that is here and a file that is.
        const QString archivedFiles = temp.filePath(kAttachmentsDir);
        copyMissingAttachments(archivedFiles, attachments.directory(), copied);
        auto restoreRecord = [&](const Attachment& record) {
            if (!isPlainFileName(record.id) || attachments.attachmentById(record.id) || !notes.noteById(record.noteId))
                return;
            if (!QFileInfo::exists(attachments.filePath(record.id)))
                return;
            if (attachments.insert(record))
                attachmentsAdded = true;
        };
        QSet<QString> recorded;
        for (const QByteArray& json : itemDocuments(extracted.inMemory, kAttachmentRecordsDir)) {
            if (std::optional<Attachment> record = attachmentFromBackupJson(json)) {
                recorded.insert(record->id);
                restoreRecord(*record);
            }
        }
        const QHash<QString, QString> owners = attachmentOwners(archivedNotes);
        for (const QFileInfo& file : QDir(archivedFiles).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
            const QString owner = owners.value(file.fileName());
            if (!recorded.contains(file.fileName()) && !owner.isEmpty())
                restoreRecord(recordForFile(file, owner));
        }

        if (inTransaction && !db.commit()) {
            const QString reason = db.lastError().text();
            qCWarning(lcImport).noquote() << "Restore could not commit:" << reason;
            db.rollback();
            for (const QString& path : copied)
                QFile::remove(path);
            return fail(QCoreApplication::translate("BackupArchive", "Failed to save restored items: %1").arg(reason));
        }
    }
    if (result.imported > 0) {
        emit notes.notesChanged();
        emit notebooks.notebooksChanged();
    }
    if (attachmentsAdded)
        emit attachments.attachmentsChanged();
    return result;
}
