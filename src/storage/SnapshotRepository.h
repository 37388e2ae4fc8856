#pragma once

#include "Records.h"

#include <QList>
#include <QObject>
#include <optional>

class Database;

// Local version history of note bodies: at most one snapshot per note and version.
class SnapshotRepository : public QObject
{
    Q_OBJECT

public:
    // Older versions beyond this many are dropped when a snapshot is stored, so the history of a
    // long-lived note cannot grow without bound.
    static constexpr int kMaxSnapshotsPerNote = 50;

    explicit SnapshotRepository(Database* db, QObject* parent = nullptr);

    std::optional<Snapshot> snapshotById(const QString& id) const;
    // Highest version first.
    QList<Snapshot> snapshotsForNote(const QString& noteId) const;
    // Replaces an existing snapshot of the same note and version.
    bool insert(const Snapshot& snapshot);
    // Keeps a body that a sync is about to replace (an edit made on this device that another device's
    // change wins over). Such copies take their own negative version numbers, below every regular
    // one, so no later snapshot replaces them and the retention never removes them.
    bool insertKept(const QString& noteId, const QString& body);
    static bool isKept(const Snapshot& snapshot) { return snapshot.version < 0; }

private:
    Database* m_db;
};
