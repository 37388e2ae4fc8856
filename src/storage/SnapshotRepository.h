#pragma once

#include "Records.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <optional>

class Database;

// Local version history of note bodies: at most one snapshot per note and version.
class SnapshotRepository : public QObject
{
    Q_OBJECT

public:
    // Retention, applied whenever a snapshot is stored: the newest kKeptRecent versions stay; of the
    // older ones the newest per day stays while they are under 30 days old, per week under 180
    // days, per 30 days beyond. The history thins out with age instead of ending at a fixed count,
    // and kMaxSnapshotsPerNote still bounds it, dropping the oldest first.
    static constexpr int kKeptRecent = 20;
    static constexpr int kMaxSnapshotsPerNote = 100;

    explicit SnapshotRepository(Database* db, QObject* parent = nullptr);

    std::optional<Snapshot> snapshotById(const QString& id) const;
    // Highest version first.
    QList<Snapshot> snapshotsForNote(const QString& noteId) const;
    // Replaces an existing snapshot of the same note and version, then thins the note's history.
    bool insert(const Snapshot& snapshot);
    // Keeps a body that a sync is about to replace (an edit made on this device that another device's
    // change wins over). Such copies take their own negative version numbers, below every regular
    // one, so no later snapshot replaces them and the retention never removes them.
    bool insertKept(const QString& noteId, const QString& body);
    static bool isKept(const Snapshot& snapshot) { return snapshot.version < 0; }

    // The attachment ids a body refers to, by URL or as a bare attachment embed.
    static QStringList attachmentIdsIn(const QString& body);

signals:
    // Snapshots were thinned out; these attachments were referred to by what went, and may now be
    // referred to by nothing.
    void attachmentsReleased(const QStringList& attachmentIds);

private:
    void thin(const QString& noteId);

    Database* m_db;
};
