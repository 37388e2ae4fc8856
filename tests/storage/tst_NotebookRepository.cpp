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

} // namespace

class tst_NotebookRepository : public QObject
{
    Q_OBJECT

private slots:
    void markDeletedAndAllPending();
};

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
