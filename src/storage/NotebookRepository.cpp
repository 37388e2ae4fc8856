#include "NotebookRepository.h"

#include "Clock.h"
#include "Database.h"
#include "SqlUtil.h"
#include "StorageLog.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace SqlUtil;

NotebookRepository::NotebookRepository(Database* db, QObject* parent)
    : QObject(parent)
    , m_db(db)
{}

QList<Notebook> NotebookRepository::allNotebooks() const
{
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT * FROM notebooks WHERE deleted_at IS NULL ORDER BY is_default DESC, name ASC"));
    return readNotebooks(q);
}

QList<Notebook> NotebookRepository::pendingNotebooks() const
{
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT * FROM notebooks WHERE sync_status = 'pending'"));
    return readNotebooks(q);
}

std::optional<Notebook> NotebookRepository::notebookById(const QString& id) const
{
    QSqlQuery q(m_db->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT * FROM notebooks WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return NotebookColumns(q.record()).read(q);
}

bool NotebookRepository::insert(const Notebook& notebook)
{
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("INSERT INTO notebooks (id, name, is_default, is_shared, owner_id, created_at, "
                             "updated_at, deleted_at, version, sync_status) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(notebook.id);
    q.addBindValue(nonNull(notebook.name));
    q.addBindValue(notebook.isDefault ? 1 : 0);
    q.addBindValue(notebook.isShared ? 1 : 0);
    q.addBindValue(nullIfEmpty(notebook.ownerId));
    q.addBindValue(timestamp(notebook.createdAt));
    q.addBindValue(timestamp(notebook.updatedAt));
    q.addBindValue(optionalTimestamp(notebook.deletedAt));
    q.addBindValue(notebook.version);
    q.addBindValue(syncStatusToString(notebook.syncStatus));
    if (!q.exec()) {
        qCWarning(lcStorage).noquote() << "NotebookRepository::insert failed:" << q.lastError().text();
        return false;
    }
    emit notebooksChanged();
    return true;
}

bool NotebookRepository::update(const Notebook& notebook)
{
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("UPDATE notebooks SET name=?, is_default=?, is_shared=?, owner_id=?, updated_at=?, "
                             "deleted_at=?, version=?, sync_status=? WHERE id=?"));
    q.addBindValue(nonNull(notebook.name));
    q.addBindValue(notebook.isDefault ? 1 : 0);
    q.addBindValue(notebook.isShared ? 1 : 0);
    q.addBindValue(nullIfEmpty(notebook.ownerId));
    q.addBindValue(timestamp(notebook.updatedAt));
    q.addBindValue(optionalTimestamp(notebook.deletedAt));
    q.addBindValue(notebook.version);
    q.addBindValue(syncStatusToString(notebook.syncStatus));
    q.addBindValue(notebook.id);
    if (!q.exec()) {
        qCWarning(lcStorage).noquote() << "NotebookRepository::update failed:" << q.lastError().text();
        return false;
    }
    emit notebooksChanged();
    return true;
}

bool NotebookRepository::markDeleted(const QString& id)
{
    QSqlQuery q(m_db->db());
    q.prepare(QStringLiteral("UPDATE notebooks SET deleted_at=?, sync_status='pending' WHERE id=?"));
    q.addBindValue(timestamp(Clock::nowUtc()));
    q.addBindValue(id);
    if (!q.exec())
        return false;
    emit notebooksChanged();
    return true;
}

int NotebookRepository::markAllPending()
{
    QSqlQuery q(m_db->db());
    if (!q.exec(QStringLiteral(
            "UPDATE notebooks SET sync_status='pending' WHERE deleted_at IS NULL AND sync_status != 'pending'")))
        return 0;
    return q.numRowsAffected();
}
