#pragma once

#include <QString>
#include <optional>

class Database;

// Remembers which local note or notebook each item of an imported archive became, keyed by the
// kind of item ("jex-note", "nsx-notebook", ...) and the id the archive gave it.
struct ImportedSource
{
    QString localId;
    QString sourceUpdatedAt; // the item's update time as the archive gave it, in a stable text form
};

class ImportSourceRepository
{
public:
    explicit ImportSourceRepository(Database* db);

    std::optional<ImportedSource> find(const QString& kind, const QString& sourceId) const;
    // Replaces an earlier record of the same item.
    bool remember(const QString& kind, const QString& sourceId, const QString& localId, const QString& sourceUpdatedAt);

private:
    Database* m_db;
};
