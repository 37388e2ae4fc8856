#include "NoteRepository.h"

#include "Clock.h"
#include "Database.h"
#include "SqlUtil.h"
#include "StorageLog.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

using namespace SqlUtil;

NoteRepository::NoteRepository(Database* db, QObject* parent)
    : QObject(parent)
    , m_db(db)
{}

QList<Note> NoteRepository::list(const QString& sql) const
{
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return {};
    return readNotes(q);
}

QList<Note> NoteRepository::allNotes() const
{
    return list(QStringLiteral("SELECT * FROM notes WHERE deleted_at IS NULL ORDER BY updated_at DESC"));
}

namespace {

// Every column but the body, for lists that fetch bodies row by row when they show them.
const QString kListedColumns = QStringLiteral(
    "id, notebook_id, created_at, updated_at, modified_at, deleted_at, version, op_version, sync_status, is_sample, "
    "owner_id, is_shared, permission");

} // namespace

QList<Note> NoteRepository::listedNotes(const QString& notebookId) const
{
    static const QString kColumns = QStringLiteral("SELECT ") + kListedColumns + QStringLiteral(" FROM notes ");
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    if (notebookId.isEmpty()) {
        q.prepare(kColumns + QStringLiteral("WHERE deleted_at IS NULL ORDER BY updated_at DESC"));
    } else {
        q.prepare(kColumns + QStringLiteral("WHERE notebook_id=? AND deleted_at IS NULL ORDER BY updated_at DESC"));
        q.addBindValue(notebookId);
    }
    return readNotes(q);
}

std::optional<Note> NoteRepository::noteById(const QString& id) const
{
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT * FROM notes WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return NoteColumns(q.record()).read(q);
}

QList<Note> NoteRepository::notesInNotebook(const QString& notebookId) const
{
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT * FROM notes WHERE notebook_id=? AND deleted_at IS NULL ORDER BY updated_at DESC"));
    q.addBindValue(nonNull(notebookId));
    return readNotes(q);
}

QList<Note> NoteRepository::trashedNotes() const
{
    return list(QStringLiteral("SELECT * FROM notes WHERE deleted_at IS NOT NULL ORDER BY deleted_at DESC"));
}

QList<Note> NoteRepository::pendingNotes() const
{
    return list(QStringLiteral("SELECT * FROM notes WHERE sync_status = 'pending'"));
}

QList<Note> NoteRepository::sharedByMe() const
{
    return list(QStringLiteral("SELECT * FROM notes WHERE is_shared = 1 AND (owner_id IS NULL OR owner_id = '') "
                               "AND deleted_at IS NULL ORDER BY updated_at DESC"));
}

QList<Note> NoteRepository::sharedWithMe() const
{
    return list(QStringLiteral("SELECT * FROM notes WHERE owner_id IS NOT NULL AND owner_id != '' "
                               "AND deleted_at IS NULL ORDER BY updated_at DESC"));
}

namespace {

// Each word of the query as a phrase of its own, the last one as a prefix. What people type
// ("e-ink", "don't", "C++") is often no valid full-text expression; quoted, every word is found
// the way the index splits it.
QString quotedWords(const QString& query)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    QStringList words = query.split(space, Qt::SkipEmptyParts);
    for (QString& word : words)
        word = QLatin1Char('"') + word.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    return words.join(QLatin1Char(' ')) + QLatin1Char('*');
}

} // namespace

template <typename Read> bool NoteRepository::runMatch(const QString& sql, const QString& query, Read read) const
{
    // The text goes to FTS5 as typed first, so the power user keeps the operators, with "*" so the
    // last word matches as a prefix while it is still being typed. Only when that is no valid
    // expression are the words searched for as they stand.
    for (const QString& expression : {QString(query + QLatin1Char('*')), quotedWords(query)}) {
        QSqlQuery q(m_db->db());
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            return false;
        q.addBindValue(expression);
        if (!q.exec())
            continue;
        read(q);
        return true;
    }
    return false;
}

QList<Note> NoteRepository::matching(const QString& columns, const QString& query) const
{
    QList<Note> result;
    const QString sql = QStringLiteral("SELECT ") + columns +
                        QStringLiteral(" FROM notes n JOIN notes_fts f ON n.rowid = f.rowid "
                                       "WHERE notes_fts MATCH ? AND n.deleted_at IS NULL ORDER BY rank");
    runMatch(sql, query, [&](QSqlQuery& q) {
        const NoteColumns cols(q.record());
        while (q.next())
            result.append(cols.read(q));
    });
    return result;
}

QList<qint64> NoteRepository::listRowids(ListScope scope, const QString& notebookId) const
{
    QString where;
    switch (scope) {
    case ListScope::AllNotes:
        where = QStringLiteral("deleted_at IS NULL ORDER BY updated_at DESC");
        break;
    case ListScope::Notebook:
        where = QStringLiteral("notebook_id=? AND deleted_at IS NULL ORDER BY updated_at DESC");
        break;
    case ListScope::Trash:
        where = QStringLiteral("deleted_at IS NOT NULL ORDER BY deleted_at DESC");
        break;
    case ListScope::SharedByMe:
        where = QStringLiteral("is_shared = 1 AND (owner_id IS NULL OR owner_id = '') AND deleted_at IS NULL "
                               "ORDER BY updated_at DESC");
        break;
    case ListScope::SharedWithMe:
        where = QStringLiteral("owner_id IS NOT NULL AND owner_id != '' AND deleted_at IS NULL "
                               "ORDER BY updated_at DESC");
        break;
    }
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT rowid FROM notes WHERE ") + where))
        return {};
    if (scope == ListScope::Notebook)
        q.addBindValue(nonNull(notebookId));
    if (!q.exec())
        return {};
    QList<qint64> rowids;
    while (q.next())
        rowids.append(q.value(0).toLongLong());
    return rowids;
}

QList<qint64> NoteRepository::searchRowids(const QString& query) const
{
    if (query.trimmed().isEmpty())
        return listRowids(ListScope::AllNotes);
    // The ranking needs the full-text index alone. Joining the notes table for the ids would read
    // each match's row, body first and its overflow pages with it, for matches nobody scrolls to;
    // the trash is left out through the deleted_at index instead, which holds the row ids and is
    // small. The ids are read with the rows that are shown.
    QSet<qint64> trashed;
    {
        QSqlQuery q(m_db->db());
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT rowid FROM notes WHERE deleted_at IS NOT NULL")))
            return {};
        while (q.next())
            trashed.insert(q.value(0).toLongLong());
    }
    QList<qint64> rowids;
    runMatch(QStringLiteral("SELECT rowid FROM notes_fts WHERE notes_fts MATCH ? ORDER BY rank"), query,
             [&](QSqlQuery& q) {
                 while (q.next()) {
                     const qint64 rowid = q.value(0).toLongLong();
                     if (!trashed.contains(rowid))
                         rowids.append(rowid);
                 }
             });
    return rowids;
}

QList<NoteListRow> NoteRepository::listRows(const QStringList& ids, const QList<qint64>& rowids) const
{
    // A screenful at a time in practice; longer lists go in slices that stay well below SQLite's
    // limit on bound parameters.
    constexpr qsizetype kSlice = 500;
    QList<NoteListRow> rows;
    auto read = [&](const QString& column, const QVariantList& values) {
        for (qsizetype from = 0; from < values.size(); from += kSlice) {
            const qsizetype n = std::min(kSlice, values.size() - from);
            QString placeholders = QStringLiteral("?");
            placeholders += QStringLiteral(",?").repeated(n - 1);
            QSqlQuery q(m_db->db());
            q.setForwardOnly(true);
            if (!q.prepare(QStringLiteral("SELECT id, rowid, notebook_id, body, updated_at, version, sync_status, "
                                          "is_shared FROM notes WHERE ") +
                           column + QStringLiteral(" IN (") + placeholders + QLatin1Char(')')))
                return false;
            for (qsizetype i = from; i < from + n; ++i)
                q.addBindValue(values.at(i));
            if (!q.exec())
                return false;
            while (q.next()) {
                NoteListRow row;
                row.id = q.value(0).toString();
                row.rowid = q.value(1).toLongLong();
                row.notebookId = q.value(2).toString();
                row.body = q.value(3).toString();
                row.updatedAt = fromDbTimestamp(q.value(4).toString());
                row.version = q.value(5).toInt();
                row.syncStatus = syncStatusFromString(q.value(6).toString());
                row.isShared = q.value(7).toInt() != 0;
                rows.append(row);
            }
        }
        return true;
    };
    QVariantList values;
    for (const QString& id : ids)
        values.append(id);
    if (!read(QStringLiteral("id"), values))
        return rows;
    values.clear();
    for (const qint64 rowid : rowids)
        values.append(rowid);
    read(QStringLiteral("rowid"), values);
    return rows;
}

QList<Note> NoteRepository::search(const QString& query) const
{
    if (query.trimmed().isEmpty())
        return allNotes();
    return matching(QStringLiteral("n.*"), query);
}

QList<Note> NoteRepository::listedSearch(const QString& query) const
{
    if (query.trimmed().isEmpty())
        return listedNotes();
    static const QString kColumns = [] {
        QStringList columns = kListedColumns.split(QStringLiteral(", "));
        for (QString& column : columns)
            column.prepend(QStringLiteral("n."));
        return columns.join(QStringLiteral(", "));
    }();
    return matching(kColumns, query);
}

QHash<QString, int> NoteRepository::noteCountsByNotebook() const
{
    QHash<QString, int> counts;
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral(
            "SELECT notebook_id, COUNT(*) AS c FROM notes WHERE deleted_at IS NULL GROUP BY notebook_id")))
        return counts;
    const int idCol = q.record().indexOf(QStringLiteral("notebook_id"));
    const int countCol = q.record().indexOf(QStringLiteral("c"));
    int total = 0;
    while (q.next()) {
        const int c = q.value(countCol).toInt();
        counts.insert(nonNull(q.value(idCol).toString()), c);
        total += c;
    }
    // The empty key means "all notes" to the sidebar, so it replaces the no-notebook group.
    counts.insert(QStringLiteral(""), total);
    return counts;
}

int NoteRepository::trashedCount() const
{
    QSqlQuery q(m_db->db());
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM notes WHERE deleted_at IS NOT NULL")) || !q.next())
        return 0;
    return q.value(0).toInt();
}

namespace {

// Binds every stored column of a note in table order, for the inserts that write whole rows.
void bindNoteColumns(QSqlQuery& q, const Note& note)
{
    q.addBindValue(note.id);
    q.addBindValue(nonNull(note.notebookId));
    q.addBindValue(nonNull(note.body));
    q.addBindValue(timestamp(note.createdAt));
    q.addBindValue(timestamp(note.updatedAt));
    q.addBindValue(timestamp(note.modifiedAt));
    q.addBindValue(optionalTimestamp(note.deletedAt));
    q.addBindValue(note.version);
    q.addBindValue(note.opVersion);
    q.addBindValue(syncStatusToString(note.syncStatus));
    q.addBindValue(note.isSample ? 1 : 0);
    q.addBindValue(nullIfEmpty(note.ownerId));
    q.addBindValue(note.isShared ? 1 : 0);
    q.addBindValue(nullIfEmpty(note.permission));
}

} // namespace

bool NoteRepository::insert(const Note& note)
{
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("INSERT INTO notes (id, notebook_id, body, created_at, updated_at, modified_at, "
                             "deleted_at, version, op_version, sync_status, is_sample, owner_id, is_shared, "
                             "permission) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    bindNoteColumns(q, note);
    if (!q.exec()) {
        qCWarning(lcStorage).noquote() << "NoteRepository::insert failed:" << q.lastError().text();
        return false;
    }
    emit noteWritten(note.id);
    emit notesChanged();
    return true;
}

bool NoteRepository::update(const Note& note)
{
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("UPDATE notes SET notebook_id=?, body=?, updated_at=?, modified_at=?, deleted_at=?, "
                             "version=?, op_version=?, sync_status=?, is_sample=?, owner_id=?, is_shared=?, "
                             "permission=? WHERE id=?"));
    q.addBindValue(nonNull(note.notebookId));
    q.addBindValue(nonNull(note.body));
    q.addBindValue(timestamp(note.updatedAt));
    q.addBindValue(timestamp(note.modifiedAt));
    q.addBindValue(optionalTimestamp(note.deletedAt));
    q.addBindValue(note.version);
    q.addBindValue(note.opVersion);
    q.addBindValue(syncStatusToString(note.syncStatus));
    q.addBindValue(note.isSample ? 1 : 0);
    q.addBindValue(nullIfEmpty(note.ownerId));
    q.addBindValue(note.isShared ? 1 : 0);
    q.addBindValue(nullIfEmpty(note.permission));
    q.addBindValue(note.id);
    if (!q.exec()) {
        qCWarning(lcStorage).noquote() << "NoteRepository::update failed:" << q.lastError().text();
        return false;
    }
    emit noteWritten(note.id);
    emit notesChanged();
    return true;
}

bool NoteRepository::execWithId(const QString& sql, const QString& id, const QVariantList& leading)
{
    QSqlQuery q(m_db->db());
    if (!q.prepare(sql))
        return false;
    for (const QVariant& v : leading)
        q.addBindValue(v);
    q.addBindValue(id);
    return q.exec();
}

bool NoteRepository::moveToNotebook(const QString& id, const QString& notebookId)
{
    // Only modified_at moves: updated_at orders the lists, and a move must not reorder them. Like
    // trash and restore, a move raises the version as an edit does, so the server takes it as newer
    // than its copy instead of a pull undoing it.
    if (!execWithId(QStringLiteral("UPDATE notes SET notebook_id=?, modified_at=?, version=version+1, "
                                   "sync_status='pending' WHERE id=?"),
                    id, {nonNull(notebookId), timestamp(Clock::nowUtc())}))
        return false;
    emit notesChanged();
    return true;
}

bool NoteRepository::moveToTrash(const QString& id)
{
    if (!execWithId(
            QStringLiteral("UPDATE notes SET deleted_at=?, version=version+1, sync_status='pending' WHERE id=?"), id,
            {timestamp(Clock::nowUtc())}))
        return false;
    emit noteDeleted(id);
    emit notesChanged();
    return true;
}

bool NoteRepository::restore(const QString& id)
{
    if (!execWithId(
            QStringLiteral("UPDATE notes SET deleted_at=NULL, version=version+1, sync_status='pending' WHERE id=?"),
            id))
        return false;
    emit notesChanged();
    return true;
}

bool NoteRepository::purge(const QString& id)
{
    // The dependent tables reference notes(id) without a delete action, so with foreign keys on the
    // note row can only go once they are empty. Everything goes in one unit so a failure leaves the
    // note whole. A savepoint (rather than BEGIN) also nests inside a caller's open transaction.
    QSqlDatabase db = m_db->db();
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SAVEPOINT note_purge"))) {
        qCWarning(lcStorage).noquote() << "NoteRepository::purge failed:" << q.lastError().text();
        return false;
    }

    QStringList attachmentIds;
    QString error;
    q.prepare(QStringLiteral("SELECT id FROM attachments WHERE note_id = ?"));
    q.addBindValue(id);
    if (q.exec()) {
        while (q.next())
            attachmentIds.append(q.value(0).toString());
        q.finish();
    } else {
        error = q.lastError().text();
    }

    // Whether the server holds this note, and the version of it this device last saw there.
    int serverVersion = 0;
    if (error.isEmpty()) {
        q.prepare(QStringLiteral("SELECT op_version, version, sync_status FROM notes WHERE id = ?"));
        q.addBindValue(id);
        if (q.exec() && q.next()) {
            const int opVersion = q.value(0).toInt();
            const bool synced = syncStatusFromString(q.value(2).toString()) == SyncStatus::Synced;
            serverVersion = opVersion > 0 ? opVersion : (synced ? q.value(1).toInt() : 0);
        }
        q.finish();
    }

    const char* const deletes[] = {
        "DELETE FROM note_snapshots WHERE note_id = ?", "DELETE FROM note_task_settings WHERE note_id = ?",
        "DELETE FROM tasks WHERE note_id = ?",          "DELETE FROM note_operations WHERE note_id = ?",
        "DELETE FROM attachments WHERE note_id = ?",    "DELETE FROM notes WHERE id=?",
    };
    for (const char* sql : deletes) {
        if (!error.isEmpty())
            break;
        q.prepare(QString::fromLatin1(sql));
        q.addBindValue(id);
        if (!q.exec())
            error = q.lastError().text();
    }

    if (error.isEmpty() && !q.exec(QStringLiteral("RELEASE SAVEPOINT note_purge")))
        error = q.lastError().text();
    if (!error.isEmpty()) {
        qCWarning(lcStorage).noquote() << "NoteRepository::purge failed:" << error;
        q.exec(QStringLiteral("ROLLBACK TO SAVEPOINT note_purge"));
        q.exec(QStringLiteral("RELEASE SAVEPOINT note_purge"));
        return false;
    }

    if (!attachmentIds.isEmpty())
        emit attachmentsOrphaned(attachmentIds);
    if (serverVersion > 0)
        emit syncedNotePurged(id, serverVersion);
    emit notePurged(id);
    emit notesChanged();
    return true;
}

bool NoteRepository::markSynced(const QString& id, int version)
{
    return execWithId(QStringLiteral("UPDATE notes SET sync_status='synced', version=? WHERE id=?"), id, {version});
}

bool NoteRepository::markPushed(const QString& id, int sentVersion, int serverVersion)
{
    // The server's version becomes the base of the next push either way. Only when the row still
    // holds the version that was sent is it in step with the server; an edit made while the push was
    // on its way keeps the note pending with its own, higher version.
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("UPDATE notes SET op_version=?, "
                             "sync_status = CASE WHEN version=? THEN 'synced' ELSE sync_status END, "
                             "version = CASE WHEN version=? THEN ? ELSE version END WHERE id=?"));
    q.addBindValue(serverVersion);
    q.addBindValue(sentVersion);
    q.addBindValue(sentVersion);
    q.addBindValue(serverVersion);
    q.addBindValue(id);
    return q.exec();
}

QHash<QString, Note> NoteRepository::notesByIds(const QStringList& ids) const
{
    QHash<QString, Note> result;
    constexpr qsizetype kChunk = 500;
    for (qsizetype from = 0; from < ids.size(); from += kChunk) {
        const QStringList chunk = ids.mid(from, kChunk);
        QStringList marks(chunk.size(), QStringLiteral("?"));
        QSqlQuery q(m_db->db());
        q.setForwardOnly(true);
        if (!q.prepare(QStringLiteral("SELECT * FROM notes WHERE id IN (%1)").arg(marks.join(QLatin1Char(',')))))
            continue;
        for (const QString& id : chunk)
            q.addBindValue(id);
        for (const Note& n : readNotes(q))
            result.insert(n.id, n);
    }
    return result;
}

QStringList NoteRepository::storeNotes(const QList<Note>& notes)
{
    static const QString kColumns = QStringLiteral(
        "id, notebook_id, body, created_at, updated_at, modified_at, deleted_at, version, op_version, sync_status, "
        "is_sample, owner_id, is_shared, permission");
    // The creation time stays the local one, as update() leaves it.
    static const QString kUpsert = QStringLiteral(
        " ON CONFLICT(id) DO UPDATE SET notebook_id=excluded.notebook_id, body=excluded.body, "
        "updated_at=excluded.updated_at, modified_at=excluded.modified_at, deleted_at=excluded.deleted_at, "
        "version=excluded.version, op_version=excluded.op_version, sync_status=excluded.sync_status, "
        "is_sample=excluded.is_sample, owner_id=excluded.owner_id, is_shared=excluded.is_shared, "
        "permission=excluded.permission");
    static const QString kValues = QStringLiteral(" VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    if (notes.isEmpty())
        return {};

    // The rows gather in a table of this connection's own first and reach the notes in one statement.
    QSqlQuery q(m_db->db());
    bool staged = q.exec(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS staged_notes AS SELECT %1 FROM notes WHERE 0")
                             .arg(kColumns)) &&
                  q.exec(QStringLiteral("DELETE FROM temp.staged_notes")) &&
                  q.prepare(QStringLiteral("INSERT INTO temp.staged_notes (%1)").arg(kColumns) + kValues);
    for (qsizetype i = 0; staged && i < notes.size(); ++i) {
        bindNoteColumns(q, notes.at(i));
        staged = q.exec();
    }
    QStringList written;
    if (staged &&
        q.exec(QStringLiteral("INSERT INTO notes (%1) SELECT %1 FROM temp.staged_notes WHERE true").arg(kColumns) +
               kUpsert)) {
        for (const Note& n : notes)
            written.append(n.id);
    } else {
        qCWarning(lcStorage).noquote() << "NoteRepository::storeNotes failed:" << q.lastError().text();
        QSqlQuery row(m_db->db());
        if (row.prepare(QStringLiteral("INSERT INTO notes (%1)").arg(kColumns) + kValues + kUpsert)) {
            for (const Note& n : notes) {
                bindNoteColumns(row, n);
                if (row.exec())
                    written.append(n.id);
                else
                    qCWarning(lcStorage).noquote() << "NoteRepository::storeNotes failed:" << row.lastError().text();
            }
        }
    }
    q.exec(QStringLiteral("DELETE FROM temp.staged_notes"));
    if (!written.isEmpty())
        emit notesChanged();
    return written;
}

int NoteRepository::markAllPending()
{
    QSqlQuery q(m_db->db());
    if (!q.exec(QStringLiteral(
            "UPDATE notes SET sync_status='pending' WHERE deleted_at IS NULL AND sync_status != 'pending'")))
        return 0;
    return q.numRowsAffected();
}

bool NoteRepository::includeInTodos(const QString& noteId) const
{
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT include_in_todos FROM note_task_settings WHERE note_id = ?"));
    q.addBindValue(noteId);
    if (!q.exec() || !q.next())
        return true;
    return q.value(0).toInt() != 0;
}

bool NoteRepository::setIncludeInTodos(const QString& noteId, bool include)
{
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("INSERT INTO note_task_settings (note_id, include_in_todos) VALUES (?, ?) "
                             "ON CONFLICT(note_id) DO UPDATE SET include_in_todos = excluded.include_in_todos"));
    q.addBindValue(noteId);
    q.addBindValue(include ? 1 : 0);
    if (!q.exec())
        return false;
    emit includeInTodosChanged(noteId);
    return true;
}
