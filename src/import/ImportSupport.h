#pragma once

#include "ImportResult.h"
#include "ImportSourceRepository.h"
#include "Records.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

class QIODevice;

// Pieces shared by the JEX and NSX importers.

// The last path component of a name taken from an archive, for an attachment's display name; other
// parts (exports, drag and drop) turn it into a file name, so it must not carry a path. The fallback
// when nothing usable is left.
QString plainAttachmentName(const QString& name, const QString& fallback);

// Calls the caller's progress callback, when there is one.
void reportProgress(const ImportProgress& progress, int current, int total, const QString& message);

// Marks the run as failed with its one fatal error and returns the result to hand back.
ImportResult failImport(ImportResult& result, const QString& error);

// True for a name that can only denote a file directly inside a folder.
bool isPlainFileName(const QString& name);

// One import run against the library: the repositories' signals are held and the writes share a
// transaction, so the lists refresh once at the end instead of once per note, and a large import
// does not wait for the disk after every row.
class ImportSession
{
public:
    explicit ImportSession(const LibraryRepositories& library);
    ~ImportSession();
    ImportSession(const ImportSession&) = delete;
    ImportSession& operator=(const ImportSession&) = delete;

    // Stores the file, then the row; false (and nothing left behind) when either fails.
    bool storeAttachment(const Attachment& attachment, const QByteArray& data);
    // The same with the bytes streamed from a device (its current position, `size` bytes).
    bool storeAttachment(const Attachment& attachment, QIODevice& source, qint64 size);

    // The note an earlier import made of this archive item, when that note is still here (trash
    // included) and the item has not changed since; empty otherwise.
    QString importedNote(const QString& kind, const QString& sourceId, const QString& sourceUpdatedAt) const;
    // The notebook an earlier import made of this archive folder, when it is still here.
    QString importedNotebook(const QString& kind, const QString& sourceId) const;
    void remember(const QString& kind, const QString& sourceId, const QString& localId,
                  const QString& sourceUpdatedAt = QString());

    // Commits and announces the changes. On a failed commit the attachment files written during the
    // session are removed again and the database's error text is returned.
    QString finish(bool changed);

private:
    LibraryRepositories m_library;
    QSqlDatabase m_db;
    bool m_inTransaction = false;
    bool m_finished = false;
    bool m_blocked[3] = {false, false, false};
    QStringList m_storedFiles;
    std::optional<ImportSourceRepository> m_sources;
};
