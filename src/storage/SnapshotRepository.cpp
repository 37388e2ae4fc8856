#include "SnapshotRepository.h"

#include "Clock.h"
#include "Database.h"
#include "SqlUtil.h"
#include "StorageLog.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <utility>

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

    thin(snapshot.noteId);
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

QStringList SnapshotRepository::attachmentIdsIn(const QString& body)
{
    static const QRegularExpression reference(QStringLiteral(
        R"re(norvane-notes://attachment/([A-Za-z0-9_.\-]+)|"norvane-notes-attachment"\s*:\s*"([^"/]+)")re"));
    QStringList ids;
    for (auto it = reference.globalMatch(body); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString id = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
        if (!ids.contains(id))
            ids << id;
    }
    return ids;
}

void SnapshotRepository::thin(const QString& noteId)
{
    // Kept copies (negative versions) are never thinned. A failed thinning leaves extra history behind, which is
    // harmless, so it never fails the insert.
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT id, created_at FROM note_snapshots WHERE note_id = ? AND version >= 0 "
                             "ORDER BY version DESC"));
    q.addBindValue(noteId);
    if (!q.exec()) {
        qCWarning(lcStorage).noquote() << "SnapshotRepository::insert thinning failed:" << q.lastError().text();
        return;
    }
    const QDateTime now = Clock::nowUtc();
    QStringList doomed;
    QSet<qint64> buckets;
    int kept = 0;
    for (int index = 0; q.next(); ++index) {
        const QString id = q.value(0).toString();
        bool keep = index < kKeptRecent;
        if (!keep) {
            const qint64 age = std::max<qint64>(fromDbTimestamp(q.value(1).toString()).daysTo(now), 0);
            const qint64 span = age < 30 ? 1 : age < 180 ? 7 : 30;
            // Spans never share a key: the span is part of it.
            keep = !buckets.contains(age / span * 64 + span);
            buckets.insert(age / span * 64 + span);
        }
        if (keep && kept < kMaxSnapshotsPerNote)
            ++kept;
        else
            doomed << id;
    }
    q.finish();
    if (doomed.isEmpty())
        return;

    QStringList released;
    QSqlQuery remove(m_db->db());
    for (const QString& id : std::as_const(doomed)) {
        remove.prepare(QStringLiteral("SELECT body FROM note_snapshots WHERE id = ?"));
        remove.addBindValue(id);
        if (remove.exec() && remove.next()) {
            for (const QString& attachment : attachmentIdsIn(remove.value(0).toString())) {
                if (!released.contains(attachment))
                    released << attachment;
            }
        }
        remove.finish();
        remove.prepare(QStringLiteral("DELETE FROM note_snapshots WHERE id = ?"));
        remove.addBindValue(id);
        if (!remove.exec())
            qCWarning(lcStorage).noquote()
                << "SnapshotRepository::insert thinning failed:" << remove.lastError().text();
    }
    if (!released.isEmpty())
        emit attachmentsReleased(released);
}
