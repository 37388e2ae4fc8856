#pragma once

#include "Records.h"

#include <QList>
#include <QObject>
#include <optional>

class Database;

// The only way into the notebooks table. Deleting only marks a row, so the deletion can still be
// pushed to the server.
class NotebookRepository : public QObject
{
    Q_OBJECT

public:
    explicit NotebookRepository(Database* db, QObject* parent = nullptr);

    Database* database() const { return m_db; }

    // Live notebooks, a legacy default one first, then by name (binary collation: "A" before "a").
    QList<Notebook> allNotebooks() const;
    // Deleted ones included, so a deletion reaches the server.
    QList<Notebook> pendingNotebooks() const;
    // Finds deleted notebooks too.
    std::optional<Notebook> notebookById(const QString& id) const;

    bool insert(const Notebook& notebook);
    bool update(const Notebook& notebook);
    bool markDeleted(const QString& id);
    int markAllPending();

signals:
    void notebooksChanged();

private:
    Database* m_db;
};
