#include "SingleInstance.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

// "--version" and "--help" are answered by the started program itself, even while another instance runs, and
// neither hands anything over nor touches the data directory.
class tst_ProgramOptions : public QObject
{
    Q_OBJECT

private slots:
    void answeredWithoutHandOver_data();
    void answeredWithoutHandOver();
};

void tst_ProgramOptions::answeredWithoutHandOver_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expectedStart");

    QTest::newRow("version") << QStringList{"--version"} << "Norvane Notes 1.";
    QTest::newRow("help") << QStringList{"--help"} << "Usage: norvane-notes";
    QTest::newRow("help wins over new note") << QStringList{"--new-note", "-h"} << "Usage: norvane-notes";
}

void tst_ProgramOptions::answeredWithoutHandOver()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expectedStart);

    const QString key = QStringLiteral("norv-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    SingleInstance primary(key);
    QVERIFY(primary.tryRun(QStringLiteral("focus")));
    QSignalSpy spy(&primary, &SingleInstance::messageReceived);

    QTemporaryDir dataDir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NOTES_DATA_DIR"), dataDir.path());
    env.insert(QStringLiteral("NORV_INSTANCE_KEY"), key);
    // No display at all: the answer must not need one.
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));

    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(NORV_BINARY_DIR "/src/app/norvane-notes"), args);
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning, 60000);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(QString::fromLocal8Bit(program.readAllStandardOutput()).startsWith(expectedStart),
             qPrintable(expectedStart));

    QTest::qWait(100);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(QDir(dataDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

QTEST_GUILESS_MAIN(tst_ProgramOptions)
#include "tst_ProgramOptions.moc"
