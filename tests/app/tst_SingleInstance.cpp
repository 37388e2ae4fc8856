#include "SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

namespace {

QString programPath()
{
    return QStringLiteral(NORV_BINARY_DIR "/src/app/norvane-notes");
}

// Unique per use, so parallel tests and a developer's running app never meet.
QString uniqueKey()
{
    return QStringLiteral("norv-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QProcessEnvironment programEnvironment(const QString& dataDir, const QString& key)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("NOTES_DATA_DIR"), dataDir);
    env.insert(QStringLiteral("NORV_INSTANCE_KEY"), key);
    return env;
}

// Kills the program when a test leaves early, so no instance outlives the test.
struct ProcessGuard
{
    QProcess& process;
    ~ProcessGuard()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
};

constexpr int kProcessTimeoutMs = 60000; // the sanitised program is slow to start; this only bounds a hang

bool startProgram(QProcess& process, const QString& dataDir, const QString& key, const QStringList& args = {})
{
    process.setProcessEnvironment(programEnvironment(dataDir, key));
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(programPath(), args);
    return process.waitForStarted();
}

} // namespace

class tst_SingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void secondStartHandsOverMessage();
    void staleEndpointIsReplaced();
    void failureToListenStillRuns();
    void optionsAnsweredWithoutHandOver_data();
    void optionsAnsweredWithoutHandOver();
};

void tst_SingleInstance::initTestCase()
{
    QVERIFY2(QFileInfo(programPath()).isExecutable(), qPrintable(programPath()));
}

// This process is the primary; the built program starts as the second instance, with a note id that
// is not ASCII, which must arrive as it was given.
void tst_SingleInstance::secondStartHandsOverMessage()
{
    const QString key = uniqueKey();
    QTemporaryDir dataDir;
    QVERIFY(dataDir.isValid());

    SingleInstance primary(key);
    QVERIFY(primary.tryRun(QStringLiteral("focus")));
    QVERIFY(primary.isListening());
    QSignalSpy spy(&primary, &SingleInstance::messageReceived);

    QProcess second;
    ProcessGuard guard{second};
    const QString noteId = QString::fromUtf8("caf\u00e9-\u6587");
    QVERIFY(startProgram(second, dataDir.path(), key, {QStringLiteral("--note"), noteId}));
    // The primary must keep its event loop turning while the second one writes.
    QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, kProcessTimeoutMs);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);

    // The message, then the empty message of the closed connection.
    QTRY_COMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("note:") + noteId);
    QCOMPARE(spy.at(1).at(0).toString(), QString());

    // A second instance stops before the data directory is touched.
    QCOMPARE(QDir(dataDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void tst_SingleInstance::staleEndpointIsReplaced()
{
    const QString key = uniqueKey();
    const QString endpoint = QDir::tempPath() + QLatin1Char('/') + key;
    QFile leftover(endpoint);
    QVERIFY(leftover.open(QIODevice::WriteOnly));
    leftover.close();

    SingleInstance next(key);
    QVERIFY(next.tryRun(QStringLiteral("focus")));
    // It really serves: a later start reaches it.
    QSignalSpy spy(&next, &SingleInstance::messageReceived);
    SingleInstance later(key);
    QVERIFY(!later.tryRun(QStringLiteral("new-note")));
    QTRY_VERIFY(spy.count() >= 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("new-note"));
}

void tst_SingleInstance::failureToListenStillRuns()
{
    // A full path into a directory that does not exist can be neither reached nor listened on.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString key = dir.filePath(QStringLiteral("missing/endpoint"));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^SingleInstance: failed to start server: \\S.*"));
    SingleInstance primary(key);
    QVERIFY(primary.tryRun(QStringLiteral("focus")));
    QVERIFY(!primary.isListening());
}

void tst_SingleInstance::optionsAnsweredWithoutHandOver_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expectedStart");
    // clang-format off
    QTest::newRow("version") << QStringList{"--version"} << "Norvane Notes 1.";
    QTest::newRow("help wins over new note") << QStringList{"--new-note", "-h"} << "Usage: norvane-notes";
    // clang-format on
}

// "--version" and "--help" are answered by the started program itself, even while another instance runs, and
// neither hands anything over nor touches the data directory.
void tst_SingleInstance::optionsAnsweredWithoutHandOver()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expectedStart);
    const QString key = uniqueKey();
    SingleInstance primary(key);
    QVERIFY(primary.tryRun(QStringLiteral("focus")));
    QSignalSpy spy(&primary, &SingleInstance::messageReceived);

    QTemporaryDir dataDir;
    QProcess program;
    ProcessGuard guard{program};
    QProcessEnvironment env = programEnvironment(dataDir.path(), key);
    // No display at all: the answer must not need one.
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(env);
    program.start(programPath(), args);
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, kProcessTimeoutMs);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(QString::fromLocal8Bit(program.readAllStandardOutput()).startsWith(expectedStart),
             qPrintable(expectedStart));
    QTest::qWait(100);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(QDir(dataDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_SingleInstance.moc"
