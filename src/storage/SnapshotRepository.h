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

private:
    Database* m_db;
};
