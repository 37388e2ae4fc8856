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

} // namespace

class tst_SingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void staleEndpointIsReplaced();
    void failureToListenStillRuns();
    void startedProgram_data();
    void startedProgram();
};

void tst_SingleInstance::initTestCase()
{
    QVERIFY2(QFileInfo(programPath()).isExecutable(), qPrintable(programPath()));
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

void tst_SingleInstance::startedProgram_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("display");
    QTest::addColumn<QString>("output"); // how its standard output starts; empty: not read
    QTest::addColumn<QStringList>("handedOver");
    // A note id that is not ASCII must arrive as it was given, then the empty message of the closed connection.
    const QString noteId = QString::fromUtf8("caf\u00e9-\u6587");
    // clang-format off
    QTest::newRow("second start") << QStringList{"--note", noteId} << true << QString() << QStringList{"note:" + noteId, ""};
    // Answered by the started program itself, and without a display: the answer must not need one.
    QTest::newRow("version") << QStringList{"--version"} << false << "Norvane Notes 1." << QStringList();
    QTest::newRow("help wins over new note") << QStringList{"--new-note", "-h"} << false << "Usage: norvane-notes" << QStringList();
    // clang-format on
}

// This process is the primary; the built program starts while it runs, hands over only what it is
// there for, and never touches the data directory.
void tst_SingleInstance::startedProgram()
{
    QFETCH(QStringList, args);
    QFETCH(bool, display);
    QFETCH(QString, output);
    QFETCH(QStringList, handedOver);
    const QString key = uniqueKey();
    SingleInstance primary(key);
    QVERIFY(primary.tryRun(QStringLiteral("focus")));
    QVERIFY(primary.isListening());
    QSignalSpy spy(&primary, &SingleInstance::messageReceived);

    QTemporaryDir dataDir;
    QVERIFY(dataDir.isValid());
    QProcess program;
    ProcessGuard guard{program};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NOTES_DATA_DIR"), dataDir.path());
    env.insert(QStringLiteral("NORV_INSTANCE_KEY"), key);
    if (display) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    } else {
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
    }
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(programPath(), args);
    QVERIFY(program.waitForStarted());
    // The primary must keep its event loop turning while the program writes.
    QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, kProcessTimeoutMs);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    if (!output.isEmpty())
        QVERIFY2(QString::fromLocal8Bit(program.readAllStandardOutput()).startsWith(output), qPrintable(output));
    if (handedOver.isEmpty())
        QTest::qWait(100);
    QTRY_COMPARE(spy.count(), handedOver.size());
    for (qsizetype i = 0; i < handedOver.size(); ++i)
        QCOMPARE(spy.at(i).at(0).toString(), handedOver.at(i));
    QCOMPARE(QDir(dataDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_SingleInstance.moc"
