#include "../TestLibrary.h"
#include "AttachmentRepository.h"
#include "NoteRepository.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

Attachment makeAttachment(const QString& id, const QString& noteId, const char* created = "2024-01-01T00:00:00.000Z",
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
    void saveFileFailures_data();
    void saveFileFailures();
    void deletions();

private:
    QString dir() const { return m_t->dir.filePath(QStringLiteral("attachments")); }
    QStringList files() const { return QDir(dir()).entryList(QDir::Files); }

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

void tst_AttachmentRepository::saveFileFailures_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("dirBelowFile");
    QTest::newRow("directory below a regular file") << newId() << true;
    QTest::newRow("id climbing out") << "../escape" << false;
}

void tst_AttachmentRepository::saveFileFailures()
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

void tst_AttachmentRepository::deletions()
{
    for (const QString& id : {QStringLiteral("a0"), QStringLiteral("a1"), QStringLiteral("other")}) {
        QVERIFY(m_repo->saveFile(id, "x"));
        QVERIFY(m_repo->insert(
            makeAttachment(id, id == QLatin1String("other") ? QStringLiteral("n2") : QStringLiteral("n1"))));
    }
    // A row whose file is already gone still deletes.
    QVERIFY(m_repo->insert(makeAttachment(QStringLiteral("nofile"), QStringLiteral("n2"))));
    QSignalSpy changed(m_repo.get(), &AttachmentRepository::attachmentsChanged);
    QVERIFY(m_repo->deleteById(QStringLiteral("nofile")));
    QVERIFY(!m_repo->attachmentById(QStringLiteral("nofile")));

    QVERIFY(m_repo->deleteAllForNote(QStringLiteral("n1")));
    QCOMPARE(changed.count(), 3);
    QVERIFY(m_repo->attachmentsForNote(QStringLiteral("n1")).isEmpty());
    QCOMPARE(files(), QStringList{"other"});
    QCOMPARE(attachmentIds(m_repo->attachmentsForNote(QStringLiteral("n2"))), QStringList{"other"});

    // Files of rows already gone: removed quietly, missing ones and ".." ignored.
    QVERIFY(m_repo->saveFile(QStringLiteral("orphan"), "x"));
    m_repo->removeFiles({QStringLiteral("orphan"), QStringLiteral("never-existed"), QStringLiteral("..")});
    QCOMPARE(files(), QStringList{"other"});
    QCOMPARE(changed.count(), 3);
}

QTEST_GUILESS_MAIN(tst_AttachmentRepository)
#include "tst_AttachmentRepository.moc"
