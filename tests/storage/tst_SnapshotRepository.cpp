#include "../TestLibrary.h"
#include "NoteRepository.h"
#include "SnapshotRepository.h"

#include <QRegularExpression>
#include <QTest>

namespace {

Snapshot snap(const QString& id, const QString& noteId, int version, const QString& body = QStringLiteral("b"))
{
    return {id, noteId, version, body, utc("2024-03-01T10:00:00.250Z")};
}

QList<int> versions(const QList<Snapshot>& list)
{
    QList<int> out;
    for (const Snapshot& s : list)
        out << s.version;
    return out;
}

} // namespace

class tst_SnapshotRepository : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void roundTrip();
    void replaceOnConflictKeepsSecond();
    void descendingOrder();
    void unknownNoteRefused();
    void retention_data();
    void retention();
    void keptCopiesSurvive();

private:
    std::unique_ptr<TestDb> m_t;
    std::unique_ptr<SnapshotRepository> m_repo;
};

void tst_SnapshotRepository::init()
{
    m_t = std::make_unique<TestDb>();
    QVERIFY(m_t->ok);
    NoteRepository notes(&m_t->database);
    QVERIFY(notes.insert(makeNote(QStringLiteral("n1"), QStringLiteral("x"))));
    QVERIFY(notes.insert(makeNote(QStringLiteral("n2"), QStringLiteral("y"))));
    m_repo = std::make_unique<SnapshotRepository>(&m_t->database);
}

void tst_SnapshotRepository::cleanup()
{
    m_repo.reset();
    m_t.reset();
}

void tst_SnapshotRepository::roundTrip()
{
    const Snapshot s = snap(QStringLiteral("s1"), QStringLiteral("n1"), 3, QStringLiteral(R"([{"insert":"v3\n"}])"));
    QVERIFY(m_repo->insert(s));
    const auto back = m_repo->snapshotById(QStringLiteral("s1"));
    QVERIFY(back);
    QCOMPARE(back->noteId, s.noteId);
    QCOMPARE(back->version, 3);
    QCOMPARE(back->body, s.body);
    QCOMPARE(toDbTimestamp(back->createdAt), QStringLiteral("2024-03-01T10:00:00.250Z"));
    QVERIFY(!m_repo->snapshotById(QStringLiteral("nope")));
}

void tst_SnapshotRepository::replaceOnConflictKeepsSecond()
{
    QVERIFY(m_repo->insert(snap(QStringLiteral("first"), QStringLiteral("n1"), 1, QStringLiteral("old"))));
    QVERIFY(m_repo->insert(snap(QStringLiteral("second"), QStringLiteral("n1"), 1, QStringLiteral("new"))));
    const QList<Snapshot> list = m_repo->snapshotsForNote(QStringLiteral("n1"));
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().id, QStringLiteral("second"));
    QCOMPARE(list.first().body, QStringLiteral("new"));
    QVERIFY(!m_repo->snapshotById(QStringLiteral("first")));
}

void tst_SnapshotRepository::descendingOrder()
{
    for (int v : {2, 7, 1, 5})
        QVERIFY(m_repo->insert(snap(newId(), QStringLiteral("n1"), v)));
    QVERIFY(m_repo->insert(snap(newId(), QStringLiteral("n2"), 9)));
    QCOMPARE(versions(m_repo->snapshotsForNote(QStringLiteral("n1"))), (QList<int>{7, 5, 2, 1}));
    QCOMPARE(versions(m_repo->snapshotsForNote(QStringLiteral("none"))), QList<int>());
}

void tst_SnapshotRepository::unknownNoteRefused()
{
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^SnapshotRepository::insert failed: .*FOREIGN KEY")));
    QVERIFY(!m_repo->insert(snap(QStringLiteral("s"), QStringLiteral("ghost"), 1)));
    QVERIFY(!m_repo->snapshotById(QStringLiteral("s")));
}

void tst_SnapshotRepository::retention_data()
{
    QTest::addColumn<QList<int>>("inserted");
    QTest::addColumn<int>("kept");
    QTest::addColumn<int>("highest");
    QTest::addColumn<int>("lowest");
    QList<int> upTo50, upTo51, reversed;
    for (int v = 1; v <= 60; ++v) {
        if (v <= 50)
            upTo50 << v;
        if (v <= 51)
            upTo51 << v;
        reversed.prepend(v);
    }
    QTest::newRow("exactly the limit") << upTo50 << 50 << 50 << 1;
    QTest::newRow("one over drops the oldest") << upTo51 << 50 << 51 << 2;
    // Storing an old version below the newest fifty keeps the newest fifty.
    QTest::newRow("old versions arriving last") << reversed << 50 << 60 << 11;
}

void tst_SnapshotRepository::retention()
{
    QFETCH(QList<int>, inserted);
    QFETCH(int, kept);
    QFETCH(int, highest);
    QFETCH(int, lowest);
    for (int v : {1, 2, 3})
        QVERIFY(m_repo->insert(snap(newId(), QStringLiteral("n2"), v)));
    for (int v : inserted)
        QVERIFY(m_repo->insert(snap(newId(), QStringLiteral("n1"), v)));

    const QList<int> stored = versions(m_repo->snapshotsForNote(QStringLiteral("n1")));
    QCOMPARE(stored.size(), kept);
    QCOMPARE(stored.first(), highest);
    QCOMPARE(stored.last(), lowest);
    // Another note's history is left alone.
    QCOMPARE(versions(m_repo->snapshotsForNote(QStringLiteral("n2"))), (QList<int>{3, 2, 1}));
}

// A body kept before a sync replaced it is neither replaced by a snapshot taken at the same note
// version nor removed by the retention, however much history follows.
void tst_SnapshotRepository::keptCopiesSurvive()
{
    QVERIFY(m_repo->insertKept(QStringLiteral("n1"), QStringLiteral("first kept")));
    QVERIFY(m_repo->insert(snap(newId(), QStringLiteral("n1"), 1, QStringLiteral("regular v1"))));
    QVERIFY(m_repo->insertKept(QStringLiteral("n1"), QStringLiteral("second kept")));
    for (int v = 1; v <= 60; ++v)
        QVERIFY(m_repo->insert(snap(newId(), QStringLiteral("n1"), v)));

    const QList<Snapshot> all = m_repo->snapshotsForNote(QStringLiteral("n1"));
    QStringList keptBodies;
    int regular = 0;
    for (const Snapshot& s : all) {
        if (SnapshotRepository::isKept(s))
            keptBodies << s.body;
        else
            ++regular;
    }
    QCOMPARE(keptBodies, (QStringList{QStringLiteral("first kept"), QStringLiteral("second kept")}));
    QCOMPARE(regular, SnapshotRepository::kMaxSnapshotsPerNote);
}

QTEST_GUILESS_MAIN(tst_SnapshotRepository)
#include "tst_SnapshotRepository.moc"
