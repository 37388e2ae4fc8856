#include "BackupArchive.h"

#include "AttachmentRepository.h"
#include "Clock.h"
#include "Database.h"
#include "ImportLog.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "ZipArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
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
           path.startsWith(kNotesDir + QLatin1Char('/'));
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

void copyMissingAttachments(const QString& fromDir, const QString& toDir)
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
        if (!QFile::copy(file.filePath(), target))
            qCWarning(lcImport).noquote() << "Restore could not copy attachment file" << file.fileName();
    }
}

} // namespace

QString backupFileStem(const QString& id)
{
    // UUIDs pass unchanged; '/', '\\' and '.' are encoded so an id can never form a path.
    const QString stem = QString::fromLatin1(QUrl::toPercentEncoding(id, QByteArray(), QByteArrayLiteral(".")));
    return stem.isEmpty() ? QStringLiteral("_") : stem;
}

QJsonObject backupManifest(int noteCount, int notebookCount, const QDateTime& exportedAt)
{
    return QJsonObject{
        {QStringLiteral("version"), 1},
        {QStringLiteral("exportedAt"), toDbTimestamp(exportedAt)},
        {QStringLiteral("noteCount"), noteCount},
        {QStringLiteral("notebookCount"), notebookCount},
    };
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
        result.error = QStringLiteral("Failed to create ZIP: %1").arg(detail);
        result.noteCount = 0;
        return result;
    };
    if (!library.isComplete())
        return fail(QStringLiteral("no library to back up"));

    const QList<Notebook> notebooks = library.notebooks->allNotebooks();
    QList<Note> notes = library.notes->allNotes();
    notes += library.notes->trashedNotes();

    ZipWriter zip(destinationPath);
    if (!zip.open() || !zip.addDirectory(kNotebooksDir) || !zip.addDirectory(kNotesDir) ||
        !zip.addDirectory(kAttachmentsDir)) {
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

    const QJsonObject manifest = backupManifest(int(notes.size()), int(notebooks.size()), Clock::nowUtc());
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
        result.errors = 1;
        result.error = error;
        return result;
    };
    if (!library.isComplete())
        return fail(QStringLiteral("Failed to extract backup"));

    QTemporaryDir temp;
    if (!temp.isValid())
        return fail(QStringLiteral("Failed to create temp directory"));
    const ZipExtractResult extracted = extractZipArchive(archivePath, temp.path(), ZipLimits(), isItemDocument);
    if (!extracted.ok()) {
        qCWarning(lcImport).noquote() << "Backup extraction failed:" << extracted.error;
        return fail(QStringLiteral("Failed to extract backup"));
    }
    for (const QString& skipped : extracted.skipped)
        qCWarning(lcImport).noquote() << "Backup entry left out:" << skipped;

    if (!extracted.inMemory.contains(kManifest))
        return fail(QStringLiteral("No manifest.json found"));

    NoteRepository& notes = *library.notes;
    NotebookRepository& notebooks = *library.notebooks;
    {
        SignalHold hold(&notes, &notebooks);
        // One transaction: thousands of single-row commits would each wait for the disk.
        QSqlDatabase db = notes.database() ? notes.database()->db() : QSqlDatabase();
        const bool inTransaction = db.isValid() && db.transaction();

        for (const QByteArray& json : itemDocuments(extracted.inMemory, kNotebooksDir)) {
            if (std::optional<Notebook> notebook = notebookFromBackupJson(json))
                restoreNotebook(*notebook, notebooks, mode, forceToAccount, result);
            else
                qCWarning(lcImport) << "Restore skipped a notebook file that is not a notebook object";
        }
        for (const QByteArray& json : itemDocuments(extracted.inMemory, kNotesDir)) {
            if (std::optional<Note> note = noteFromBackupJson(json))
                restoreNote(*note, notes, mode, forceToAccount, result);
            else
                qCWarning(lcImport) << "Restore skipped a note file that is not a note object";
        }

        if (inTransaction && !db.commit()) {
            qCWarning(lcImport).noquote() << "Restore could not commit:" << db.lastError().text();
            db.rollback();
            result.skipped += result.imported;
            result.imported = 0;
        }
    }
    if (result.imported > 0) {
        emit notes.notesChanged();
        emit notebooks.notebooksChanged();
    }

    copyMissingAttachments(temp.filePath(kAttachmentsDir), library.attachments->directory());
    return result;
}
