#include "../TestLibrary.h"
#include "Clock.h"
#include "NotebookRepository.h"

#include <QSignalSpy>
#include <QTest>

namespace {

Notebook makeNotebook(const QString& id, const QString& name, SyncStatus status = SyncStatus::Pending)
{
    Notebook nb;
    nb.id = id;
    nb.name = name;
    nb.createdAt = utc("2024-01-01T00:00:00.000Z");
    nb.updatedAt = utc("2024-01-01T00:00:00.000Z");
    nb.syncStatus = status;
    return nb;
}

QStringList names(const QList<Notebook>& list)
{
    QStringList out;
    for (const Notebook& nb : list)
        out << nb.name;
    return out;
}

QStringList describe(const Notebook& nb)
{
    return {nb.id,
            nb.name,
            QString::number(nb.isDefault),
            QString::number(nb.isShared),
            nb.ownerId,
            toDbTimestamp(nb.createdAt),
            toDbTimestamp(nb.updatedAt),
            nb.deletedAt ? toDbTimestamp(*nb.deletedAt) : QStringLiteral("<none>"),
            QString::number(nb.version),
            syncStatusToString(nb.syncStatus)};
}

} // namespace

class tst_NotebookRepository : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void markDeletedAndAllPending();
};

void tst_NotebookRepository::roundTrip()
{
    TestDb t;
    QVERIFY(t.ok);
    NotebookRepository repo(&t.database);
    QSignalSpy changed(&repo, &NotebookRepository::notebooksChanged);
    Notebook nb = makeNotebook(QStringLiteral("nb"), QStringLiteral("Recipes"), SyncStatus::Synced);
    nb.isShared = true;
    nb.ownerId = QStringLiteral("owner-1");
    nb.version = 5;
    nb.createdAt = utc("2023-02-03T04:05:06.789Z");
    QVERIFY(repo.insert(nb));
    QCOMPARE(describe(*repo.notebookById(QStringLiteral("nb"))), describe(nb));
    const QString ownerIsNull = QStringLiteral("SELECT owner_id IS NULL FROM notebooks");
    QCOMPARE(scalar(t.db(), ownerIsNull).toInt(), 0);

    Notebook changedNb = nb;
    changedNb.name = QStringLiteral("Cooking");
    changedNb.createdAt = utc("2030-01-01T00:00:00.000Z"); // never written by update
    changedNb.updatedAt = utc("2024-09-09T09:09:09.009Z");
    changedNb.deletedAt = utc("2024-09-10T00:00:00.001Z");
    changedNb.isShared = false;
    changedNb.ownerId.clear();
    changedNb.version = 6;
    changedNb.syncStatus = SyncStatus::Conflict;
    QVERIFY(repo.update(changedNb));
    Notebook expected = changedNb;
    expected.createdAt = nb.createdAt;
    QCOMPARE(describe(*repo.notebookById(QStringLiteral("nb"))), describe(expected));
    QCOMPARE(scalar(t.db(), ownerIsNull).toInt(), 1); // no owner is NULL, not an empty text
    QCOMPARE(changed.count(), 2);
    QVERIFY(!repo.notebookById(QStringLiteral("missing")));
}

void tst_NotebookRepository::markDeletedAndAllPending()
{
    TestDb t;
    QVERIFY(t.ok);
    NotebookRepository repo(&t.database);
    QVERIFY(repo.insert(makeNotebook(QStringLiteral("s"), QStringLiteral("S"), SyncStatus::Synced)));
    QVERIFY(repo.insert(makeNotebook(QStringLiteral("c"), QStringLiteral("C"), SyncStatus::Conflict)));
    QVERIFY(repo.insert(makeNotebook(QStringLiteral("p"), QStringLiteral("P"), SyncStatus::Pending)));
    QVERIFY(repo.insert(makeNotebook(QStringLiteral("gone"), QStringLiteral("Gone"), SyncStatus::Synced)));
    QSignalSpy changed(&repo, &NotebookRepository::notebooksChanged);

    Clock::Fixed clock(utc("2024-04-04T04:04:04.404Z"));
    QVERIFY(repo.markDeleted(QStringLiteral("gone")));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(names(repo.allNotebooks()), (QStringList{"C", "P", "S"}));
    const auto gone = repo.notebookById(QStringLiteral("gone"));
    QCOMPARE(gone->deletedAt ? toDbTimestamp(*gone->deletedAt) : QString(), QStringLiteral("2024-04-04T04:04:04.404Z"));
    QCOMPARE(gone->syncStatus, SyncStatus::Pending);
    QCOMPARE(repo.notebookById(QStringLiteral("s"))->syncStatus, SyncStatus::Synced);

    // Marking all pending skips deleted notebooks and is not announced.
    QVERIFY(exec(t.db(), QStringLiteral("UPDATE notebooks SET sync_status = 'synced' WHERE id = 'gone'")));
    QCOMPARE(repo.markAllPending(), 2);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(repo.notebookById(QStringLiteral("c"))->syncStatus, SyncStatus::Pending);
    QCOMPARE(repo.notebookById(QStringLiteral("gone"))->syncStatus, SyncStatus::Synced);
}

QTEST_GUILESS_MAIN(tst_NotebookRepository)
#include "tst_NotebookRepository.moc"
