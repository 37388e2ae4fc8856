#include "SqlUtil.h"

namespace SqlUtil {

namespace {

QVariant at(const QSqlQuery& q, int index)
{
    return index < 0 ? QVariant() : q.value(index);
}

QVariant byName(const QSqlQuery& q, const char* name)
{
    return at(q, q.record().indexOf(QLatin1String(name)));
}

} // namespace

NoteColumns::NoteColumns(const QSqlRecord& r)
    : id(r.indexOf(QLatin1String("id")))
    , notebookId(r.indexOf(QLatin1String("notebook_id")))
    , body(r.indexOf(QLatin1String("body")))
    , createdAt(r.indexOf(QLatin1String("created_at")))
    , updatedAt(r.indexOf(QLatin1String("updated_at")))
    , modifiedAt(r.indexOf(QLatin1String("modified_at")))
    , deletedAt(r.indexOf(QLatin1String("deleted_at")))
    , version(r.indexOf(QLatin1String("version")))
    , opVersion(r.indexOf(QLatin1String("op_version")))
    , syncStatus(r.indexOf(QLatin1String("sync_status")))
    , isSample(r.indexOf(QLatin1String("is_sample")))
    , ownerId(r.indexOf(QLatin1String("owner_id")))
    , isShared(r.indexOf(QLatin1String("is_shared")))
    , permission(r.indexOf(QLatin1String("permission")))
{
}

Note NoteColumns::read(const QSqlQuery& q) const
{
    Note n;
    n.id = at(q, id).toString();
    n.notebookId = nonNull(at(q, notebookId).toString());
    n.body = at(q, body).toString();
    n.createdAt = fromDbTimestamp(at(q, createdAt).toString());
    n.updatedAt = fromDbTimestamp(at(q, updatedAt).toString());
    n.modifiedAt = fromDbTimestamp(at(q, modifiedAt).toString());
    n.deletedAt = readOptionalTimestamp(at(q, deletedAt));
    n.version = at(q, version).toInt();
    n.opVersion = at(q, opVersion).toInt();
    n.syncStatus = syncStatusFromString(at(q, syncStatus).toString());
    n.isSample = at(q, isSample).toInt() != 0;
    n.ownerId = at(q, ownerId).toString();
    n.isShared = at(q, isShared).toInt() != 0;
    n.permission = at(q, permission).toString();
    return n;
}

NotebookColumns::NotebookColumns(const QSqlRecord& r)
    : id(r.indexOf(QLatin1String("id")))
    , name(r.indexOf(QLatin1String("name")))
    , isDefault(r.indexOf(QLatin1String("is_default")))
    , isShared(r.indexOf(QLatin1String("is_shared")))
    , ownerId(r.indexOf(QLatin1String("owner_id")))
    , createdAt(r.indexOf(QLatin1String("created_at")))
    , updatedAt(r.indexOf(QLatin1String("updated_at")))
    , deletedAt(r.indexOf(QLatin1String("deleted_at")))
    , version(r.indexOf(QLatin1String("version")))
    , syncStatus(r.indexOf(QLatin1String("sync_status")))
{
}

Notebook NotebookColumns::read(const QSqlQuery& q) const
{
    Notebook nb;
    nb.id = at(q, id).toString();
    nb.name = at(q, name).toString();
    nb.isDefault = at(q, isDefault).toInt() != 0;
    nb.isShared = at(q, isShared).toInt() != 0;
    nb.ownerId = at(q, ownerId).toString();
    nb.createdAt = fromDbTimestamp(at(q, createdAt).toString());
    nb.updatedAt = fromDbTimestamp(at(q, updatedAt).toString());
    nb.deletedAt = readOptionalTimestamp(at(q, deletedAt));
    nb.version = at(q, version).toInt();
    nb.syncStatus = syncStatusFromString(at(q, syncStatus).toString());
    return nb;
}

Snapshot readSnapshot(const QSqlQuery& q)
{
    Snapshot s;
    s.id = byName(q, "id").toString();
    s.noteId = byName(q, "note_id").toString();
    s.version = byName(q, "version").toInt();
    s.body = byName(q, "body").toString();
    s.createdAt = fromDbTimestamp(byName(q, "created_at").toString());
    return s;
}

Attachment readAttachment(const QSqlQuery& q)
{
    Attachment a;
    a.id = byName(q, "id").toString();
    a.noteId = byName(q, "note_id").toString();
    a.filename = byName(q, "filename").toString();
    a.mimeType = byName(q, "mime_type").toString();
    a.sizeBytes = byName(q, "size_bytes").toLongLong();
    a.createdAt = fromDbTimestamp(byName(q, "created_at").toString());
    a.syncStatus = syncStatusFromString(byName(q, "sync_status").toString());
    return a;
}

QList<Note> readNotes(QSqlQuery& q)
{
    QList<Note> result;
    if (!q.exec())
        return result;
    const NoteColumns cols(q.record());
    while (q.next())
        result.append(cols.read(q));
    return result;
}

QList<Notebook> readNotebooks(QSqlQuery& q)
{
    QList<Notebook> result;
    if (!q.exec())
        return result;
    const NotebookColumns cols(q.record());
    while (q.next())
        result.append(cols.read(q));
    return result;
}

} // namespace SqlUtil
