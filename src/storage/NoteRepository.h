#pragma once

#include "Records.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <optional>

class Database;

// What a list row shows, read only for the rows on screen.
struct NoteListRow
{
    QString id;
    QString notebookId;
    QString body;
    QDateTime updatedAt;
    int version = 1;
    SyncStatus syncStatus = SyncStatus::Pending;
    bool isShared = false;
    qint64 rowid = 0;
};

// The only way into the notes table, its full-text index and the per-note to-do setting.
// No cache: every call runs its statement on the shared connection.
class NoteRepository : public QObject
{
    Q_OBJECT

public:
    explicit NoteRepository(Database* db, QObject* parent = nullptr);

    Database* database() const { return m_db; }

    QList<Note> allNotes() const;
    std::optional<Note> noteById(const QString& id) const;
    // The empty id lists the notes in no notebook.
    QList<Note> notesInNotebook(const QString& notebookId) const;
    // The notes of allNotes() (empty notebookId) or of notesInNotebook(), in the same order, with
    // every column but the body: what a list of the whole library needs, at a fraction of the
    // memory and time. The bodies read empty.
    QList<Note> listedNotes(const QString& notebookId = QString()) const;
    // search() without the bodies, in the same rank order.
    QList<Note> listedSearch(const QString& query) const;
    QList<Note> trashedNotes() const;

    // The lists' keys in their order: what allNotes(), notesInNotebook() (the empty id: notes in no
    // notebook), trashedNotes(), sharedByMe() and sharedWithMe() list, without reading the notes.
    enum class ListScope
    {
        AllNotes,
        Notebook,
        Trash,
        SharedByMe,
        SharedWithMe,
    };
    // A list is its notes' row ids alone: a hundred thousand of them are read from an index in a few
    // milliseconds and take under a megabyte, where their ids and dates as text would cost several
    // times that in conversions and memory. What a row shows is read with listRows() when it is shown.
    QList<qint64> listRowids(ListScope scope, const QString& notebookId = QString()) const;
    // search()'s result in the same rank order; a blank query lists all notes.
    QList<qint64> searchRowids(const QString& query) const;
    // The rows of these notes, by id and by row id, in no particular order; notes that are gone are
    // left out.
    QList<NoteListRow> listRows(const QStringList& ids, const QList<qint64>& rowids = {}) const;
    // Trashed notes included, so a move to the trash reaches the server.
    QList<Note> pendingNotes() const;
    QList<Note> sharedByMe() const;
    QList<Note> sharedWithMe() const;
    // Full-text search, best match first; the last word matches as a prefix. A blank query lists
    // all notes; one that is no valid full-text expression is searched for word by word.
    QList<Note> search(const QString& query) const;
    // Notebook id -> live note count; the empty key holds the count of all live notes.
    QHash<QString, int> noteCountsByNotebook() const;
    // How many notes the trash holds, without loading them: the sidebar asks on every change.
    int trashedCount() const;

    bool insert(const Note& note);
    bool update(const Note& note);
    // Move, trash and restore raise the version like an edit and make the note pending.
    bool moveToNotebook(const QString& id, const QString& notebookId);
    bool moveToTrash(const QString& id);
    bool restore(const QString& id);
    // Deletes the note for good together with its snapshots, to-do setting, tasks, operations and
    // attachment rows; the attachment files are announced through attachmentsOrphaned.
    bool purge(const QString& id);

    bool markSynced(const QString& id, int version);
    // The server accepted the note as sent at sentVersion and stores it as serverVersion; see the
    // definition for an edit made meanwhile. Silent, like markSynced.
    bool markPushed(const QString& id, int sentVersion, int serverVersion);
    int markAllPending();

    // For applying many notes at once (a sync pull): the stored notes of these ids, in one query.
    QHash<QString, Note> notesByIds(const QStringList& ids) const;
    // Writes each note whole: new ids are inserted, existing rows overwritten as update() does. All
    // rows go in one statement, because the full-text index writes out its pending terms once per
    // statement; when that fails the rows are tried one by one, so a bad row costs only itself.
    // Returns the ids written. Emits notesChanged once (no noteWritten) when anything was written.
    QStringList storeNotes(const QList<Note>& notes);

    bool includeInTodos(const QString& noteId) const;
    bool setIncludeInTodos(const QString& noteId, bool include);

signals:
    void notesChanged();
    // After insert() or update() wrote one note, just before notesChanged: lets a list refresh that
    // one row instead of reading the whole library again.
    void noteWritten(const QString& noteId);
    void noteDeleted(const QString& noteId);
    void notePurged(const QString& noteId);
    // Before notePurged, for a purged note the sync service holds: serverVersion is the version of it
    // this device last saw there.
    void syncedNotePurged(const QString& noteId, int serverVersion);
    void attachmentsOrphaned(const QStringList& attachmentIds);
    // setIncludeInTodos stored a note's to-do setting; the note itself is unchanged.
    void includeInTodosChanged(const QString& noteId);

private:
    QList<Note> list(const QString& sql) const;
    QList<Note> matching(const QString& columns, const QString& query) const;
    // Runs the full-text statement with each of the query's expressions until one is valid.
    template <typename Read> bool runMatch(const QString& sql, const QString& query, Read read) const;
    bool execWithId(const QString& sql, const QString& id, const QVariantList& leading = {});

    Database* m_db;
};
