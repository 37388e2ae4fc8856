#include "AttachmentRepository.h"
#include "NoteRepository.h"
#include "../TestLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

Attachment makeAttachment(const QString& id, const QString& noteId, const char* created,
                          SyncStatus status = SyncStatus::Pending)
{
    return {id, noteId, QStringLiteral("photo.jpg"), QStringLiteral("image/jpeg"), 1234, utc(created), status};
}

QStringList attachmentIds(const QList<Attachment>& list)
{
    QStringList out;
    for (const Attachment& a : list)
        out << a.id;
    return out;
}

} // namespace

class tst_AttachmentRepository : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fileRoundTrip_data();
    void fileRoundTrip();
    void rowRoundTrip();
    void saveFileFailures_data();
    void saveFileFailures();
    void deleteByIdWithMissingFile();
    void pendingOldestFirst();
    void deleteAllForNote_data();
    void deleteAllForNote();
    void removeFiles();

private:
    QString dir() const { return m_t->dir.filePath(QStringLiteral("attachments")); }

    std::unique_ptr<TestDb> m_t;
    std::unique_ptr<AttachmentRepository> m_repo;
};

void tst_AttachmentRepository::init()
{
    m_t = std::make_unique<TestDb>();
    QVERIFY(m_t->ok);
    NoteRepository notes(&m_t->database);
    QVERIFY(notes.insert(makeNote(QStringLiteral("n1"), QStringLiteral("x"))));
    QVERIFY(notes.insert(makeNote(QStringLiteral("n2"), QStringLiteral("y"))));
    m_repo = std::make_unique<AttachmentRepository>(&m_t->database, nullptr, dir());
}

void tst_AttachmentRepository::cleanup()
{
    m_repo.reset();
    m_t.reset();
}

void tst_AttachmentRepository::fileRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary with NUL") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
}

void tst_AttachmentRepository::fileRoundTrip()
{
    QFETCH(QByteArray, bytes);
    const QString id = newId();
    QVERIFY(m_repo->saveFile(id, bytes));
    QCOMPARE(m_repo->filePath(id), dir() + QLatin1Char('/') + id);
    QCOMPARE(QDir(dir()).entryList(QDir::Files), QStringList{id});
    QCOMPARE(m_repo->fileData(id), bytes);

    // Saving again truncates.
    QVERIFY(m_repo->saveFile(id, "ab"));
    QCOMPARE(m_repo->fileData(id), QByteArray("ab"));
    QCOMPARE(m_repo->fileData(QStringLiteral("missing")), QByteArray());
}

void tst_AttachmentRepository::rowRoundTrip()
{
    QSignalSpy changed(m_repo.get(), &AttachmentRepository::attachmentsChanged);
    Attachment a = makeAttachment(QStringLiteral("a1"), QStringLiteral("n1"), "2024-02-02T02:02:02.002Z");
    a.sizeBytes = 5'000'000'000LL;
    QVERIFY(m_repo->insert(a));
    QCOMPARE(changed.count(), 1);
    auto back = m_repo->attachmentById(QStringLiteral("a1"));
    QVERIFY(back);
    QCOMPARE(back->noteId, QStringLiteral("n1"));
    QCOMPARE(back->filename, QStringLiteral("photo.jpg"));
    QCOMPARE(back->mimeType, QStringLiteral("image/jpeg"));
    QCOMPARE(back->sizeBytes, 5'000'000'000LL);
    QCOMPARE(toDbTimestamp(back->createdAt), QStringLiteral("2024-02-02T02:02:02.002Z"));
    QCOMPARE(back->syncStatus, SyncStatus::Pending);

    QVERIFY(m_repo->markSynced(QStringLiteral("a1")));
    QCOMPARE(m_repo->attachmentById(QStringLiteral("a1"))->syncStatus, SyncStatus::Synced);
    QCOMPARE(changed.count(), 1);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^AttachmentRepository::insert failed: .+")));
    QVERIFY(!m_repo->insert(makeAttachment(QStringLiteral("a2"), QStringLiteral("ghost"), "2024-01-01T00:00:00.000Z")));
    QCOMPARE(changed.count(), 1);
}

void tst_AttachmentRepository::saveFileFailures_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("dirBelowFile");
    QTest::addColumn<QString>("message");
    QTest::newRow("directory below a regular file")
        << newId() << true << "^AttachmentRepository::saveFile open failed: .+";
    QTest::newRow("id climbing out") << "../escape" << false << "^AttachmentRepository::saveFile open failed: .+";
    QTest::newRow("empty id") << "" << false << "^AttachmentRepository::saveFile open failed: .+";
}

void tst_AttachmentRepository::saveFileFailures()
{
    QFETCH(QString, id);
    QFETCH(bool, dirBelowFile);
    QFETCH(QString, message);
    QString target = dir();
    if (dirBelowFile) {
        const QString blocker = m_t->dir.filePath(QStringLiteral("blocker"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        target = blocker + QStringLiteral("/attachments");
    }
    AttachmentRepository repo(&m_t->database, nullptr, target);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(message));
    QVERIFY(!repo.saveFile(id, "data"));
    QVERIFY(!QFileInfo::exists(m_t->dir.filePath(QStringLiteral("escape"))));
}

void tst_AttachmentRepository::deleteByIdWithMissingFile()
{
    QVERIFY(m_repo->insert(makeAttachment(QStringLiteral("a1"), QStringLiteral("n1"), "2024-01-01T00:00:00.000Z")));
    QVERIFY(!QFile::exists(m_repo->filePath(QStringLiteral("a1"))));
    QSignalSpy changed(m_repo.get(), &AttachmentRepository::attachmentsChanged);
    QVERIFY(m_repo->deleteById(QStringLiteral("a1")));
    QCOMPARE(changed.count(), 1);
    QVERIFY(!m_repo->attachmentById(QStringLiteral("a1")));

    // With a file, both go.
    QVERIFY(m_repo->saveFile(QStringLiteral("a2"), "x"));
    QVERIFY(m_repo->insert(makeAttachment(QStringLiteral("a2"), QStringLiteral("n1"), "2024-01-01T00:00:00.000Z")));
    QVERIFY(m_repo->deleteById(QStringLiteral("a2")));
    QVERIFY(!QFile::exists(m_repo->filePath(QStringLiteral("a2"))));
    QVERIFY(!m_repo->attachmentById(QStringLiteral("a2")));
}

void tst_AttachmentRepository::pendingOldestFirst()
{
    QVERIFY(m_repo->insert(makeAttachment(QStringLiteral("mid"), QStringLiteral("n1"), "2024-02-01T00:00:00.000Z")));
    QVERIFY(m_repo->insert(makeAttachment(QStringLiteral("new"), QStringLiteral("n2"), "2024-03-01T00:00:00.000Z")));
    QVERIFY(m_repo->insert(makeAttachment(QStringLiteral("old"), QStringLiteral("n1"), "2024-01-01T00:00:00.000Z")));
    QVERIFY(m_repo->insert(
        makeAttachment(QStringLiteral("done"), QStringLiteral("n1"), "2023-01-01T00:00:00.000Z", SyncStatus::Synced)));
    QCOMPARE(attachmentIds(m_repo->pendingAttachments()), (QStringList{"old", "mid", "new"}));
    QCOMPARE(attachmentIds(m_repo->attachmentsForNote(QStringLiteral("n1"))), (QStringList{"done", "old", "mid"}));
}

void tst_AttachmentRepository::deleteAllForNote_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("two attachments") << 2;
}

void tst_AttachmentRepository::deleteAllForNote()
{
    QFETCH(int, count);
    for (int i = 0; i < count; ++i) {
        const QString id = QStringLiteral("a%1").arg(i);
        QVERIFY(m_repo->saveFile(id, "x"));
        QVERIFY(m_repo->insert(makeAttachment(id, QStringLiteral("n1"), "2024-01-01T00:00:00.000Z")));
    }
    QVERIFY(m_repo->saveFile(QStringLiteral("other"), "x"));
    QVERIFY(m_repo->insert(makeAttachment(QStringLiteral("other"), QStringLiteral("n2"), "2024-01-01T00:00:00.000Z")));
    QSignalSpy changed(m_repo.get(), &AttachmentRepository::attachmentsChanged);

    QVERIFY(m_repo->deleteAllForNote(QStringLiteral("n1")));
    QCOMPARE(changed.count(), count);
    QVERIFY(m_repo->attachmentsForNote(QStringLiteral("n1")).isEmpty());
    QCOMPARE(QDir(dir()).entryList(QDir::Files), QStringList{"other"});
    QCOMPARE(attachmentIds(m_repo->attachmentsForNote(QStringLiteral("n2"))), QStringList{"other"});
}

void tst_AttachmentRepository::removeFiles()
{
    QVERIFY(m_repo->saveFile(QStringLiteral("a"), "x"));
    QVERIFY(m_repo->saveFile(QStringLiteral("b"), "x"));
    QVERIFY(m_repo->saveFile(QStringLiteral("keep"), "x"));
    QSignalSpy changed(m_repo.get(), &AttachmentRepository::attachmentsChanged);
    m_repo->removeFiles({QStringLiteral("a"), QStringLiteral("never-existed"), QStringLiteral("b"),
                         QStringLiteral("..")});
    QCOMPARE(QDir(dir()).entryList(QDir::Files), QStringList{"keep"});
    QCOMPARE(changed.count(), 0);
}

QTEST_GUILESS_MAIN(tst_AttachmentRepository)
#include "tst_AttachmentRepository.moc"
