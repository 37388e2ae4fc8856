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
    void storeAndList();
    void retention_data();
    void retention();

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

void tst_SnapshotRepository::storeAndList()
{
    QVERIFY(
        m_repo->insert(snap(QStringLiteral("s1"), QStringLiteral("n1"), 3, QStringLiteral(R"([{"insert":"v3\n"}])"))));
    const auto back = m_repo->snapshotById(QStringLiteral("s1"));
    QVERIFY(back);
    QCOMPARE(back->noteId, QStringLiteral("n1"));
    QCOMPARE(back->version, 3);
    QCOMPARE(back->body, QStringLiteral(R"([{"insert":"v3\n"}])"));
    QCOMPARE(toDbTimestamp(back->createdAt), QStringLiteral("2024-03-01T10:00:00.250Z"));

    // A second snapshot of the same version replaces the first.
    QVERIFY(m_repo->insert(snap(QStringLiteral("s2"), QStringLiteral("n1"), 3, QStringLiteral("new"))));
    QVERIFY(!m_repo->snapshotById(QStringLiteral("s1")));
    QCOMPARE(m_repo->snapshotById(QStringLiteral("s2"))->body, QStringLiteral("new"));

    // Newest first, one note's only.
    for (int v : {2, 7, 1})
        QVERIFY(m_repo->insert(snap(newId(), QStringLiteral("n1"), v)));
    QVERIFY(m_repo->insert(snap(newId(), QStringLiteral("n2"), 9)));
    QCOMPARE(versions(m_repo->snapshotsForNote(QStringLiteral("n1"))), (QList<int>{7, 3, 2, 1}));

    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^SnapshotRepository::insert failed: .*FOREIGN KEY")));
    QVERIFY(!m_repo->insert(snap(QStringLiteral("s"), QStringLiteral("ghost"), 1)));
}

void tst_SnapshotRepository::retention_data()
{
    QTest::addColumn<QList<int>>("inserted");
    QTest::addColumn<int>("highest");
    QTest::addColumn<int>("lowest");
    QList<int> upTo51, reversed;
    for (int v = 1; v <= 60; ++v) {
        if (v <= 51)
            upTo51 << v;
        reversed.prepend(v);
    }
    QTest::newRow("one over the limit drops the oldest") << upTo51 << 51 << 2;
    // Storing an old version below the newest fifty keeps the newest fifty.
    QTest::newRow("old versions arriving last") << reversed << 60 << 11;
}

void tst_SnapshotRepository::retention()
{
    QFETCH(QList<int>, inserted);
    QFETCH(int, highest);
    QFETCH(int, lowest);
    for (int v : {1, 2, 3})
        QVERIFY(m_repo->insert(snap(newId(), QStringLiteral("n2"), v)));
    for (int v : inserted)
        QVERIFY(m_repo->insert(snap(newId(), QStringLiteral("n1"), v)));

    const QList<int> stored = versions(m_repo->snapshotsForNote(QStringLiteral("n1")));
    QCOMPARE(stored.size(), 50);
    QCOMPARE(stored.first(), highest);
    QCOMPARE(stored.last(), lowest);
    // Another note's history is left alone.
    QCOMPARE(versions(m_repo->snapshotsForNote(QStringLiteral("n2"))), (QList<int>{3, 2, 1}));
}

QTEST_GUILESS_MAIN(tst_SnapshotRepository)
#include "tst_SnapshotRepository.moc"
