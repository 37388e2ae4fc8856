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
    // The local note as "status version/base body" ("-" when there is none), the remote one as
    // "version body"; then what to do, and whether the local body goes to the history.
    QTest::addColumn<QString>("local");
    QTest::addColumn<QString>("remote");
    QTest::addColumn<PullAction>("action");
    QTest::addColumn<bool>("keep");
    const auto row = [](const char* name, const char* local, const char* remote, PullAction action, bool keep) {
        QTest::newRow(name) << QString::fromLatin1(local) << QString::fromLatin1(remote) << action << keep;
    };
    using A = PullAction;
    row("synced, older remote", "synced 5/5 a", "4 r", A::Keep, false);
    row("edited here, server moved past our base: keep ours", "pending 4/3 mine", "4 theirs", A::Overwrite, true);
    row("edited here, remote is what we last saw", "pending 4/3 mine", "3 old", A::Keep, false);
    row("our push landed but its answer got lost", "pending 4/3 same", "4 same", A::Overwrite, false);
    row("pending after a full resync holds nothing new", "pending 4/4 old", "5 new", A::Overwrite, false);
    row("no known base, equal version: remote wins, ours kept", "pending 2/0 mine", "2 theirs", A::Overwrite, true);
    row("no known base, lower remote version", "pending 3/0 mine", "2 theirs", A::Keep, false);
    row("purged elsewhere, never here", "-", "4 PURGED", A::Nothing, false);
    row("purged elsewhere", "synced 3/3 a", "4 PURGED", A::Purge, false);
    row("purged elsewhere, edited here: sent again over it", "pending 4/3 mine", "4 PURGED", A::Rebase, false);
    row("purged elsewhere, seen newer here", "synced 6/6 a", "4 PURGED", A::Keep, false);
    row("blank local body is not worth a copy", "pending 4/3  ", "5 theirs", A::Overwrite, false);
}

void tst_SyncRules::decidePull()
{
    QFETCH(QString, local);
    QFETCH(QString, remote);
    QFETCH(PullAction, action);
    QFETCH(bool, keep);
    std::optional<Note> mine;
    if (local != QLatin1String("-")) {
        const QString versions = local.section(' ', 1, 1);
        mine = note(local.section(' ', 2), versions.section('/', 0, 0).toInt(), versions.section('/', 1).toInt(),
                    local.startsWith(QLatin1String("synced")) ? SyncStatus::Synced : SyncStatus::Pending);
    }
    const int remoteVersion = remote.section(' ', 0, 0).toInt();
    const bool purged = remote.endsWith(QLatin1String("PURGED"));
    Note theirs = note(purged ? SyncRules::kPurgedBody : remote.section(' ', 1), remoteVersion, remoteVersion,
                       SyncStatus::Synced);
    if (purged)
        theirs.deletedAt = at(2000);
    const PullDecision d = SyncRules::decidePull(mine, theirs);
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

    const auto row = [](const char* name, const char* json, bool accepted, int version = 0, const char* updated = "",
                        bool trashed = false) {
        QTest::newRow(name) << QByteArray(json) << accepted << version << QString::fromLatin1(updated) << trashed;
    };
    row("integer dates", R"({"id":"a","version":7,"updated_at":1700000000123})", true, 7, "2023-11-14T22:13:20.123Z");
    row("ISO dates", R"({"id":"a","updated_at":"2024-03-11T10:30:00.000+01:00"})", true, 0, "2024-03-11T09:30:00.000Z");
    row("null deletion is live", R"({"id":"a","deleted_at":null})", true);
    row("unreadable deletion still trashed", R"({"id":"a","deleted_at":"soon","modified_at":5})", true, 0, "", true);
    row("version of the wrong type", R"({"id":"a","version":"9","body":{"x":1}})", true);
    row("version beyond 32 bits", R"({"id":"a","version":1e300})", true);
    row("absurd date", R"({"id":"a","updated_at":1e300})", true);
    row("no id", R"({"body":"x"})", false);
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
    QCOMPARE(n->updatedAt.isValid() ? toDbTimestamp(n->updatedAt) : QString(), updated);
    QCOMPARE(n->isTrashed(), trashed);
}

// An attachment id names a file in the attachments folder: nothing may lead outside it.
void tst_SyncRules::attachmentIds()
{
    const auto withId = [](const char* id) {
        return QJsonObject{{"id", id}, {"note_id", "n"}};
    };
    QVERIFY(attachmentFromJson(withId("0f8fad5b-d9cb-469f-a165-70867728950e")));
    for (const char* id : {"../../etc/passwd", "a\\b", ".", ""})
        QVERIFY2(!attachmentFromJson(withId(id)), id);
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
