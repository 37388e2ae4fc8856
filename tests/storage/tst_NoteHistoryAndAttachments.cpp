#include "../TestLibrary.h"
#include "AttachmentRepository.h"
#include "Clock.h"
#include "NoteRepository.h"
#include "SnapshotRepository.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
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

Attachment makeAttachment(const QString& id, const QString& noteId)
{
    return {id, noteId, "photo.jpg", "image/jpeg", 1234, utc("2024-01-01T00:00:00.000Z"), SyncStatus::Pending};
}

} // namespace

// The history and the attachments of a note; every test starts with notes n1 and n2.
class tst_NoteHistoryAndAttachments : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void retention_data();
    void retention();
    void keptCopiesSurvive();
    void saveFileFailures_data();
    void saveFileFailures();
    void attachmentDeletions();

private:
    QString dir() const { return m_t->dir.filePath(QStringLiteral("attachments")); }
    QStringList files() const { return QDir(dir()).entryList(QDir::Files); }

    std::unique_ptr<TestDb> m_t;
    std::unique_ptr<SnapshotRepository> m_repo;
    std::unique_ptr<AttachmentRepository> m_attachments;
};

void tst_NoteHistoryAndAttachments::init()
{
    m_t = std::make_unique<TestDb>();
    QVERIFY(m_t->ok);
    NoteRepository notes(&m_t->database);
    QVERIFY(notes.insert(makeNote(QStringLiteral("n1"), QStringLiteral("x"))));
    QVERIFY(notes.insert(makeNote(QStringLiteral("n2"), QStringLiteral("y"))));
    m_repo = std::make_unique<SnapshotRepository>(&m_t->database);
    m_attachments = std::make_unique<AttachmentRepository>(&m_t->database, nullptr, dir());
}

void tst_NoteHistoryAndAttachments::cleanup()
{
    m_attachments.reset();
    m_repo.reset();
    m_t.reset();
}

void tst_NoteHistoryAndAttachments::retention_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("daysApart"); // between consecutive versions
    QTest::addColumn<int>("maxKept");
    QTest::addColumn<int>("lowest"); // the oldest version the history still reaches

    // Every recent version stays, and one of the older ones on the same day.
    QTest::newRow("a day of edits") << 60 << 0 << 21 << 40;
    // A version a day for a year: thinned with age, yet reaching back nearly the whole year.
    QTest::newRow("a year of daily edits") << 365 << 1 << 70 << 5;
    // Beyond what thinning can hold, the bound drops the oldest.
    QTest::newRow("years of monthly edits") << 150 << 31 << SnapshotRepository::kMaxSnapshotsPerNote << 51;
}

void tst_NoteHistoryAndAttachments::retention()
{
    QFETCH(int, count);
    QFETCH(int, daysApart);
    QFETCH(int, maxKept);
    QFETCH(int, lowest);
    const QDateTime now = utc("2026-06-17T10:30:00.000Z");
    Clock::Fixed clock(now);
    for (int v : {1, 2, 3})
        QVERIFY(m_repo->insert(snap(newId(), QStringLiteral("n2"), v)));
    QSignalSpy released(m_repo.get(), &SnapshotRepository::attachmentsReleased);
    for (int v = 1; v <= count; ++v) {
        // The first version refers to an attachment, so thinning it out announces it.
        const QString body = v == 1 ? QString::fromLatin1("[{\"insert\":{\"image\":\"norvane-notes:/"
                                                          "/attachment/pic-1\"}}]")
                                    : QStringLiteral("b%1").arg(v);
        QVERIFY(
            m_repo->insert({newId(), QStringLiteral("n1"), v, body, now.addDays(-qint64(daysApart) * (count - v))}));
    }

    const QList<int> stored = versions(m_repo->snapshotsForNote(QStringLiteral("n1")));
    QVERIFY2(stored.size() <= maxKept, qPrintable(QString::number(stored.size())));
    for (int v = count; v > count - SnapshotRepository::kKeptRecent; --v)
        QVERIFY(stored.contains(v));
    QCOMPARE(stored.last(), lowest);
    QCOMPARE(released.size(), 1);
    QCOMPARE(released.first().first().toStringList(), QStringList{QStringLiteral("pic-1")});
    // Another note's history is left alone.
    QCOMPARE(versions(m_repo->snapshotsForNote(QStringLiteral("n2"))), (QList<int>{3, 2, 1}));
}

// A body kept before a sync replaced it is neither replaced by a snapshot taken at the same note
// version nor removed by the retention, however much history follows.
void tst_NoteHistoryAndAttachments::keptCopiesSurvive()
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
    // The regular history was thinned meanwhile; the kept copies were not.
    QVERIFY2(regular < 60, qPrintable(QString::number(regular)));
}

void tst_NoteHistoryAndAttachments::saveFileFailures_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("dirBelowFile");
    QTest::newRow("directory below a regular file") << newId() << true;
    QTest::newRow("id climbing out") << "../escape" << false;
}

void tst_NoteHistoryAndAttachments::saveFileFailures()
{
    QFETCH(QString, id);
    QFETCH(bool, dirBelowFile);
    QString target = dir();
    if (dirBelowFile) {
        const QString blocker = m_t->dir.filePath(QStringLiteral("blocker"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        target = blocker + QStringLiteral("/attachments");
    }
    AttachmentRepository repo(&m_t->database, nullptr, target);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^AttachmentRepository::saveFile open failed: .+")));
    QVERIFY(!repo.saveFile(id, "data"));
    QVERIFY(!QFileInfo::exists(m_t->dir.filePath(QStringLiteral("escape"))));
}

void tst_NoteHistoryAndAttachments::attachmentDeletions()
{
    for (const QString& id : {QStringLiteral("a0"), QStringLiteral("a1"), QStringLiteral("other")}) {
        QVERIFY(m_attachments->saveFile(id, "x"));
        QVERIFY(m_attachments->insert(
            makeAttachment(id, id == QLatin1String("other") ? QStringLiteral("n2") : QStringLiteral("n1"))));
    }
    // A row whose file is already gone still deletes.
    QVERIFY(m_attachments->insert(makeAttachment(QStringLiteral("nofile"), QStringLiteral("n2"))));
    QSignalSpy changed(m_attachments.get(), &AttachmentRepository::attachmentsChanged);
    QVERIFY(m_attachments->deleteById(QStringLiteral("nofile")));
    QVERIFY(!m_attachments->attachmentById(QStringLiteral("nofile")));

    QVERIFY(m_attachments->deleteAllForNote(QStringLiteral("n1")));
    QCOMPARE(changed.count(), 3);
    QVERIFY(m_attachments->attachmentsForNote(QStringLiteral("n1")).isEmpty());
    QCOMPARE(files(), QStringList{"other"});
    const QList<Attachment> left = m_attachments->attachmentsForNote(QStringLiteral("n2"));
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first().id, QStringLiteral("other"));

    // Files of rows already gone: removed quietly, missing ones and ".." ignored.
    QVERIFY(m_attachments->saveFile(QStringLiteral("orphan"), "x"));
    m_attachments->removeFiles({QStringLiteral("orphan"), QStringLiteral("never-existed"), QStringLiteral("..")});
    QCOMPARE(files(), QStringList{"other"});
    QCOMPARE(changed.count(), 3);
}

QTEST_GUILESS_MAIN(tst_NoteHistoryAndAttachments)
#include "tst_NoteHistoryAndAttachments.moc"
