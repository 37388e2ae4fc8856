#include "ImportSourceRepository.h"

#include "Clock.h"
#include "Database.h"
#include "Records.h"
#include "StorageLog.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

ImportSourceRepository::ImportSourceRepository(Database* db)
    : m_db(db)
{}

std::optional<ImportedSource> ImportSourceRepository::find(const QString& kind, const QString& sourceId) const
{
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT local_id, source_updated_at FROM import_sources WHERE kind = ? AND source_id = ?"));
    q.addBindValue(kind);
    q.addBindValue(sourceId);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return ImportedSource{q.value(0).toString(), q.value(1).toString()};
}

bool ImportSourceRepository::remember(const QString& kind, const QString& sourceId, const QString& localId,
                                      const QString& sourceUpdatedAt)
{
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO import_sources (kind, source_id, local_id, source_updated_at, "
                             "imported_at) VALUES (?, ?, ?, ?, ?)"));
    q.addBindValue(kind);
    q.addBindValue(sourceId);
    q.addBindValue(localId);
    q.addBindValue(sourceUpdatedAt.isNull() ? QString(QLatin1String("")) : sourceUpdatedAt);
    q.addBindValue(toDbTimestamp(Clock::nowUtc()));
    if (!q.exec()) {
        qCWarning(lcStorage).noquote() << "ImportSourceRepository::remember failed:" << q.lastError().text();
        return false;
    }
    return true;
}
