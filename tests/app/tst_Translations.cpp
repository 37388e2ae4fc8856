#include "Application.h"
#include "MainWindow.h"

#include <QFile>
#include <QLocale>
#include <QMenuBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>

// The language of the interface follows the locale through the real start-up: German menus for a German user,
// English for everyone the program has no translation for, and counted texts in the right plural either way.
class tst_Translations : public QObject
{
    Q_OBJECT

private slots:
    void startUpFollowsLocale_data();
    void startUpFollowsLocale();
};

void tst_Translations::startUpFollowsLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("fileMenu");
    QTest::addColumn<QString>("one");
    QTest::addColumn<QString>("two");

    // clang-format off
    QTest::newRow("German") << "de_DE" << "&Datei" << "1 Notiz zum erneuten Synchronisieren markiert." << "2 Notizen zum erneuten Synchronisieren markiert.";
    // After German in the same process: the earlier translation must be gone.
    QTest::newRow("English") << "en_US" << "&File" << "Marked 1 note for re-sync." << "Marked 2 notes for re-sync.";
    QTest::newRow("no translation") << "fr_FR" << "&File" << "Marked 1 note for re-sync." << "Marked 2 notes for re-sync.";
    // clang-format on
}

void tst_Translations::startUpFollowsLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, fileMenu);
    QFETCH(QString, one);
    QFETCH(QString, two);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("NOTES_DATA_DIR", dir.filePath(QStringLiteral("data")).toUtf8());
    qputenv("NORV_INSTANCE_KEY", ("norv-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces)).toUtf8());
    // Start-up asks for release notes; nothing may answer.
    qputenv("UPDATE_BASE_URL", "http://127.0.0.1:1/updates/notes/stable");
    QLocale::setDefault(QLocale(locale));

    auto* app = static_cast<Application*>(QCoreApplication::instance());
    QTimer::singleShot(0, app, [] { QCoreApplication::exit(0); });
    QCOMPARE(app->run({QStringLiteral("norvane-notes")}), 0);

    QVERIFY(app->mainWindow());
    if (locale.startsWith(QLatin1String("de")) && !QFile::exists(QStringLiteral(":/i18n/norvane_de.qm")))
        QSKIP("built without Qt's Linguist tools: no translations compiled in");
    QCOMPARE(app->mainWindow()->menuBar()->actions().value(0)->text(), fileMenu);
    QCOMPARE(QCoreApplication::translate("MainWindow", "Marked %n note(s) for re-sync.", nullptr, 1), one);
    QCOMPARE(QCoreApplication::translate("MainWindow", "Marked %n note(s) for re-sync.", nullptr, 2), two);
}

int main(int argc, char** argv)
{
    QStandardPaths::setTestModeEnabled(true);
    Application application(argc, argv);
    tst_Translations tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_Translations.moc"
