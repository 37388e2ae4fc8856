#include "SyncRules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace SyncRules;

Q_DECLARE_METATYPE(SyncRules::PullAction)

class tst_SyncRules : public QObject
{
    Q_OBJECT
private slots:
    void decidePull_data();
    void decidePull();
    void hostileNotes_data();
    void hostileNotes();
    void attachmentIds_data();
    void attachmentIds();
    void pullAnswers_data();
    void pullAnswers();
};

namespace {

QDateTime at(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

Note note(const QString& body, int version, int opVersion, SyncStatus status)
{
    Note n;
    n.id = QStringLiteral("n1");
    n.body = body;
    n.createdAt = n.updatedAt = n.modifiedAt = at(1000);
    n.version = version;
    n.opVersion = opVersion;
    n.syncStatus = status;
    return n;
}

} // namespace

void tst_SyncRules::decidePull_data()
{
    QTest::addColumn<bool>("hasLocal");
    QTest::addColumn<int>("localStatus");
    QTest::addColumn<int>("localVersion");
    QTest::addColumn<int>("localBase");
    QTest::addColumn<QString>("localBody");
    QTest::addColumn<int>("remoteVersion");
    QTest::addColumn<QString>("remoteBody");
    QTest::addColumn<PullAction>("action");
    QTest::addColumn<bool>("keep");

    const int synced = int(SyncStatus::Synced);
    const int pending = int(SyncStatus::Pending);
    QTest::newRow("synced, older remote") << true << synced << 5 << 5 << "a" << 4 << "r" << PullAction::Keep << false;
    QTest::newRow("edited here, server moved past our base: keep ours in history")
        << true << pending << 4 << 3 << "mine" << 4 << "theirs" << PullAction::Overwrite << true;
    QTest::newRow("edited here, remote is what we last saw")
        << true << pending << 4 << 3 << "mine" << 3 << "old" << PullAction::Keep << false;
    QTest::newRow("our push landed but its answer got lost: settle without a copy")
        << true << pending << 4 << 3 << "same" << 4 << "same" << PullAction::Overwrite << false;
    QTest::newRow("pending after a full resync holds nothing new")
        << true << pending << 4 << 4 << "old" << 5 << "new" << PullAction::Overwrite << false;
    QTest::newRow("no known base, equal version: remote wins, ours kept")
        << true << pending << 2 << 0 << "mine" << 2 << "theirs" << PullAction::Overwrite << true;
    QTest::newRow("no known base, lower remote version")
        << true << pending << 3 << 0 << "mine" << 2 << "theirs" << PullAction::Keep << false;
    const QString purged = SyncRules::kPurgedBody;
    QTest::newRow("purged elsewhere, never here")
        << false << synced << 0 << 0 << "" << 4 << purged << PullAction::Nothing << false;
    QTest::newRow("purged elsewhere") << true << synced << 3 << 3 << "a" << 4 << purged << PullAction::Purge << false;
    QTest::newRow("purged elsewhere, edited here: sent again over it")
        << true << pending << 4 << 3 << "mine" << 4 << purged << PullAction::Rebase << false;
    QTest::newRow("purged elsewhere, seen newer here")
        << true << synced << 6 << 6 << "a" << 4 << purged << PullAction::Keep << false;
    QTest::newRow("blank local body is not worth a copy")
        << true << pending << 4 << 3 << " " << 5 << "theirs" << PullAction::Overwrite << false;
}

void tst_SyncRules::decidePull()
{
    QFETCH(bool, hasLocal);
    QFETCH(int, localStatus);
    QFETCH(int, localVersion);
    QFETCH(int, localBase);
    QFETCH(QString, localBody);
    QFETCH(int, remoteVersion);
    QFETCH(QString, remoteBody);
    QFETCH(PullAction, action);
    QFETCH(bool, keep);

    std::optional<Note> local;
    if (hasLocal)
        local = note(localBody, localVersion, localBase, SyncStatus(localStatus));
    Note remote = note(remoteBody, remoteVersion, remoteVersion, SyncStatus::Synced);
    if (remoteBody == SyncRules::kPurgedBody)
        remote.deletedAt = at(2000);
    const PullDecision d = SyncRules::decidePull(local, remote);
    QCOMPARE(d.action, action);
    QCOMPARE(d.keepLocalBody, keep);
}

void tst_SyncRules::hostileNotes_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("updated");
    QTest::addColumn<bool>("trashed");

    QTest::newRow("integer dates") << QByteArray(R"({"id":"a","version":7,"updated_at":1700000000123})") << true << 7
                                   << "2023-11-14T22:13:20.123Z" << false;
    QTest::newRow("ISO dates") << QByteArray(R"({"id":"a","updated_at":"2024-03-11T10:30:00.000+01:00"})") << true << 0
                               << "2024-03-11T09:30:00.000Z" << false;
    QTest::newRow("null deletion is live") << QByteArray(R"({"id":"a","deleted_at":null})") << true << 0 << "" << false;
    QTest::newRow("unreadable deletion still trashed")
        << QByteArray(R"({"id":"a","deleted_at":"soon","modified_at":5})") << true << 0 << "" << true;
    QTest::newRow("version of the wrong type")
        << QByteArray(R"({"id":"a","version":"9","body":{"x":1}})") << true << 0 << "" << false;
    QTest::newRow("version beyond 32 bits") << QByteArray(R"({"id":"a","version":1e300})") << true << 0 << "" << false;
    QTest::newRow("absurd date") << QByteArray(R"({"id":"a","updated_at":1e300})") << true << 0 << "" << false;
    QTest::newRow("no id") << QByteArray(R"({"body":"x"})") << false << 0 << "" << false;
    QTest::newRow("id not text") << QByteArray(R"({"id":42})") << false << 0 << "" << false;
}

void tst_SyncRules::hostileNotes()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, accepted);
    QFETCH(int, version);
    QFETCH(QString, updated);
    QFETCH(bool, trashed);

    const auto n = noteFromJson(QJsonDocument::fromJson(json).object());
    QCOMPARE(n.has_value(), accepted);
    if (!n)
        return;
    QCOMPARE(n->version, version);
    QCOMPARE(n->opVersion, version);
    QCOMPARE(n->syncStatus, SyncStatus::Synced);
    QCOMPARE(n->updatedAt.isValid() ? toDbTimestamp(n->updatedAt) : QString(), updated);
    QCOMPARE(n->isTrashed(), trashed);
}

void tst_SyncRules::attachmentIds_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("uuid") << "0f8fad5b-d9cb-469f-a165-70867728950e" << true;
    QTest::newRow("parent folder") << "../../etc/passwd" << false;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("empty") << "" << false;
}

void tst_SyncRules::attachmentIds()
{
    QFETCH(QString, id);
    QFETCH(bool, accepted);
    QJsonObject o{{QStringLiteral("id"), id}, {QStringLiteral("note_id"), QStringLiteral("n")}};
    QCOMPARE(attachmentFromJson(o).has_value(), accepted);
}

void tst_SyncRules::pullAnswers_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("changes"); // -1: refused as a whole
    QTest::addColumn<qint64>("timestamp");
    QTest::newRow("two changes") << QByteArray(
                                        R"({"changes":[{"id":"a"},{"id":"b","body":"[\"]}\\\""}],"timestamp":42})")
                                 << 2 << qint64(42);
    QTest::newRow("escaped key, spaces") << QByteArray(" {\"tim\\u0065stamp\" : 7 , \"changes\" : [ ] } ") << 0
                                         << qint64(7);
    QTest::newRow("no timestamp") << QByteArray(R"({"changes":[1]})") << 1 << qint64(0);
    QTest::newRow("truncated") << QByteArray(R"({"changes":[{"id":"a"},{"id":"b")") << -1 << qint64(0);
    QTest::newRow("trailing garbage") << QByteArray(R"({"changes":[]} x)") << -1 << qint64(0);
    QTest::newRow("changes not a list") << QByteArray(R"({"changes":{"id":"a"}})") << -1 << qint64(0);
    QTest::newRow("no changes") << QByteArray(R"({"timestamp":3})") << -1 << qint64(0);
    QTest::newRow("crossed brackets") << QByteArray(R"({"changes":[{"id":"a"]}]})") << -1 << qint64(0);
    QTest::newRow("not an object") << QByteArray("[]") << -1 << qint64(0);
}

void tst_SyncRules::pullAnswers()
{
    QFETCH(QByteArray, json);
    QFETCH(int, changes);
    QFETCH(qint64, timestamp);
    const auto envelope = splitPullAnswer(json);
    QCOMPARE(envelope.has_value(), changes >= 0);
    if (!envelope)
        return;
    QCOMPARE(envelope->changes.size(), changes);
    QCOMPARE(envelope->timestamp, timestamp);
    for (const auto& [offset, length] : envelope->changes)
        QVERIFY(!QJsonDocument::fromJson("[" + json.mid(offset, length) + "]").isNull());
}

QTEST_GUILESS_MAIN(tst_SyncRules)
#include "tst_SyncRules.moc"
