#include "SnapshotRepository.h"

#include "Clock.h"
#include "Database.h"
#include "SqlUtil.h"
#include "StorageLog.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace SqlUtil;

SnapshotRepository::SnapshotRepository(Database* db, QObject* parent)
    : QObject(parent)
    , m_db(db)
{}

std::optional<Snapshot> SnapshotRepository::snapshotById(const QString& id) const
{
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT * FROM note_snapshots WHERE id=?"));
    q.addBindValue(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return readSnapshot(q);
}

QList<Snapshot> SnapshotRepository::snapshotsForNote(const QString& noteId) const
{
    QList<Snapshot> result;
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT * FROM note_snapshots WHERE note_id=? ORDER BY version DESC"));
    q.addBindValue(noteId);
    if (!q.exec())
        return result;
    while (q.next())
        result.append(readSnapshot(q));
    return result;
}

bool SnapshotRepository::insert(const Snapshot& snapshot)
{
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO note_snapshots (id, note_id, version, body, created_at) VALUES (?, ?, ?, ?, ?)"));
    q.addBindValue(snapshot.id);
    q.addBindValue(snapshot.noteId);
    q.addBindValue(snapshot.version);
    q.addBindValue(nonNull(snapshot.body));
    q.addBindValue(timestamp(snapshot.createdAt));
    if (!q.exec()) {
        qCWarning(lcStorage).noquote() << "SnapshotRepository::insert failed:" << q.lastError().text();
        return false;
    }

    // Retention: kept copies (negative versions) never count and never go; everything below the kMaxSnapshotsPerNote-th
    // highest version goes. With fewer snapshots the sub-select is NULL and the comparison deletes nothing. A failed
    // prune leaves extra history behind, which is harmless, so it does not fail the insert.
    QSqlQuery prune(m_db->db());
    prune.prepare(QStringLiteral("DELETE FROM note_snapshots WHERE note_id = ? AND version >= 0 AND version < "
                                 "(SELECT version FROM note_snapshots WHERE note_id = ? AND version >= 0 "
                                 "ORDER BY version DESC LIMIT 1 OFFSET ?)"));
    prune.addBindValue(snapshot.noteId);
    prune.addBindValue(snapshot.noteId);
    prune.addBindValue(kMaxSnapshotsPerNote - 1);
    if (!prune.exec())
        qCWarning(lcStorage).noquote() << "SnapshotRepository::insert prune failed:" << prune.lastError().text();
    return true;
}

bool SnapshotRepository::insertKept(const QString& noteId, const QString& body)
{
    // One statement picks the next free negative version, so two kept copies never share a slot.
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("INSERT INTO note_snapshots (id, note_id, version, body, created_at) "
                             "SELECT ?, ?, MIN(0, IFNULL(MIN(version), 0)) - 1, ?, ? FROM note_snapshots "
                             "WHERE note_id = ?"));
    q.addBindValue(newId());
    q.addBindValue(noteId);
    q.addBindValue(nonNull(body));
    q.addBindValue(timestamp(Clock::nowUtc()));
    q.addBindValue(noteId);
    if (!q.exec()) {
        qCWarning(lcStorage).noquote() << "SnapshotRepository::insertKept failed:" << q.lastError().text();
        return false;
    }
    return true;
}
