#include "../update/UpdateTestSupport.h"
#include "AppState.h"
#include "Application.h"
#include "DataPaths.h"
#include "Database.h"
#include "Interaction.h"
#include "MainWindow.h"
#include "NoteRepository.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "ReleaseNotesFetcher.h"
#include "SingleInstance.h"
#include "TodosScreen.h"
#include "Version.h"
#include "WhatsNewDialog.h"

#include <QFile>
#include <QLocale>
#include <QMenuBar>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QUuid>
#include <algorithm>
#include <memory>

namespace {

Application* app()
{
    return static_cast<Application*>(QCoreApplication::instance());
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes preferences, and notes with the given ids (the trashed ones in the trash), into the database of the
// current data directory before the application opens it.
void seed(const QHash<QString, QString>& values, const QStringList& ids = {}, const QStringList& trashed = {})
{
    Database db;
    QVERIFY(db.open(databasePath()) && db.migrate());
    PreferencesRepository prefs(&db);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        prefs.setValue(it.key(), it.value());
    NoteRepository notes(&db);
    for (const QString& id : ids + trashed) {
        Note note;
        note.id = id;
        note.body = QStringLiteral(R"([{"insert":"%1\n"}])").arg(id);
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(notes.insert(note));
        QVERIFY(!trashed.contains(id) || notes.moveToTrash(id));
    }
}

// A run() that returns as soon as its event loop has started. exit() rather than quit(): quit()
// closes the windows, which would hide what start-up showed.
int runOnce(const QStringList& args = {QStringLiteral("norvane-notes")})
{
    QTimer::singleShot(0, app(), [] { QCoreApplication::exit(0); });
    return app()->run(args);
}

} // namespace

class tst_Application : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void databaseError_data();
    void databaseError();
    void runStartsUp_data();
    void runStartsUp();
    void whatsNewOncePerVersion_data();
    void whatsNewOncePerVersion();
    void startRequestsOpenNoteWindows_data();
    void startRequestsOpenNoteWindows();
    // Last: the locale it sets stays for the rest of the process.
    void startUpFollowsLocale_data();
    void startUpFollowsLocale();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_dataDir;
    UpdateService m_updates;
    bool m_updatesUp = false;
    int m_products = 0; // notes for the running version live beside the channel: one product per use
    QString uniqueProduct() { return QStringLiteral("app-product%1").arg(++m_products); }
};

void tst_Application::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_dataDir = m_dir->filePath(QStringLiteral("data"));
    qputenv("NOTES_DATA_DIR", m_dataDir.toUtf8());
    // Each run() listens on its own endpoint, so runs never turn each other away as second starts.
    qputenv("NORV_INSTANCE_KEY", ("norv-test-" + QUuid::createUuid().toString(QUuid::WithoutBraces)).toUtf8());
    // Start-up fetches release notes and checks for updates: never from the published service. A product
    // with nothing published answers 404 to both; without the server nothing answers at all.
    if (!m_updatesUp)
        m_updatesUp = m_updates.start();
    qputenv("UPDATE_BASE_URL", m_updatesUp ? m_updates.channelUrl(uniqueProduct(), "stable").toEncoded()
                                           : QByteArray("http://127.0.0.1:1/updates/notes/stable"));
}

void tst_Application::databaseError_data()
{
    QTest::addColumn<bool>("blocked");        // the data directory would lie below a regular file
    QTest::addColumn<QByteArray>("database"); // what lies at the database path
    // clang-format off
    QTest::newRow("data directory below a regular file") << true << QByteArray();
    QTest::newRow("plain text at the database path") << false << QByteArray("Shopping\n- milk\n").repeated(400);
    // clang-format on
}

void tst_Application::databaseError()
{
    QFETCH(bool, blocked);
    QFETCH(QByteArray, database);
    QString dataDir = m_dataDir;
    QString kept = m_dir->filePath(QStringLiteral("blocker"));
    if (blocked) {
        QVERIFY(writeFile(kept, "a file where a directory should be\n"));
        dataDir = kept + QStringLiteral("/data");
        qputenv("NOTES_DATA_DIR", dataDir.toUtf8());
    } else {
        QVERIFY(QDir().mkpath(m_dataDir));
        kept = databasePath();
        QVERIFY(writeFile(kept, database));
    }
    const QByteArray before = readFile(kept);

    Interaction::Script script;
    script.answer(QMessageBox::Ok);
    QCOMPARE(app()->run(), 1);
    QCOMPARE(script.requests().size(), 1);
    QCOMPARE(script.requests()[0].kind, Interaction::Kind::Critical);
    QVERIFY2(script.requests()[0].text.contains(dataDir), qPrintable(script.requests()[0].text));
    QCOMPARE(app()->mainWindow(), nullptr);
    // Whatever was there is still there, byte for byte.
    QCOMPARE(readFile(kept), before);
}

void tst_Application::runStartsUp_data()
{
    QTest::addColumn<QString>("startMinimized"); // null: not stored
    QTest::addColumn<bool>("visible");

    // clang-format off
    QTest::newRow("first start") << QString() << true;
    // Hidden only where a tray icon can bring the window back.
    QTest::newRow("start minimized") << "1" << !QSystemTrayIcon::isSystemTrayAvailable();
    // clang-format on
}

void tst_Application::runStartsUp()
{
    QFETCH(QString, startMinimized);
    QFETCH(bool, visible);

    // Only notes that still exist outside the trash come back, in the order they were stored.
    QHash<QString, QString> values{
        {PrefKey::RestoreNoteWindows, QStringLiteral("id-2,,id-4,id-3,id-1")},
        {PrefKey::RestoreTodosWindow, QStringLiteral("1")},
    };
    if (!startMinimized.isNull())
        values.insert(PrefKey::StartMinimized, startMinimized);
    seed(values, {QStringLiteral("id-1"), QStringLiteral("id-2")}, {QStringLiteral("id-3")});
    const QString dbPath = databasePath();

    Interaction::Script script; // start-up asks nothing
    QCOMPARE(runOnce(), 0);
    QCOMPARE(script.requests().size(), 0);

    QCOMPARE(app()->state()->database()->path(), dbPath);
    MainWindow* window = app()->mainWindow();
    QCOMPARE(window->isVisible(), visible);

    PreferencesRepository* prefs = app()->state()->preferences();
    // Remembered windows are restored once only: both live notes' windows (the empty part, the
    // missing and the trashed note are no window) and the to-do window.
    QCOMPARE(app()->state()->openNoteWindowIds(), (QStringList{"id-2", "id-1"}));
    QVERIFY(window->todosScreen() && window->todosScreen()->isVisible());
    QCOMPARE(prefs->value(PrefKey::RestoreNoteWindows), std::nullopt);
    QCOMPARE(prefs->value(PrefKey::RestoreTodosWindow), std::nullopt);
    app()->state()->closeAllNoteWindows();
}

void tst_Application::whatsNewOncePerVersion_data()
{
    QTest::addColumn<QString>("shownBefore");  // "whats_new_shown_version"; null: not stored
    QTest::addColumn<QString>("legacyBefore"); // "last_whats_new_version"; null: not stored
    QTest::addColumn<bool>("notesPublished");
    QTest::addColumn<bool>("shown");

    // clang-format off
    // Older builds stored the old key without showing anything; that must not hide this version's notes.
    QTest::newRow("old key stored, never shown") << QString() << "1.1.1" << true << true;
    QTest::newRow("this version shown") << "1.1.1" << "1.1.1" << true << false;
    QTest::newRow("notes missing") << QString() << QString() << false << false;
    // clang-format on
}

void tst_Application::whatsNewOncePerVersion()
{
    QFETCH(QString, shownBefore);
    QFETCH(QString, legacyBefore);
    QFETCH(bool, notesPublished);
    QFETCH(bool, shown);

    if (!m_updatesUp)
        QSKIP(qPrintable("devserver unavailable: " + m_updates.errorString()));
    const auto fetchers = [] {
        return app()->findChildren<NorvUpdate::ReleaseNotesFetcher*>().size();
    };
    QTRY_COMPARE(fetchers(), 0);
    // Notes for the running version live beside the channel folder, so each row gets a product of its own.
    const QString product = uniqueProduct();
    if (notesPublished)
        m_updates.publishNotes(QStringLiteral("1.1.1"), QString(), "# 1.1.1\n\nWhat changed.", product);
    qputenv("UPDATE_BASE_URL", m_updates.channelUrl(product, "stable").toEncoded());
    QHash<QString, QString> values;
    if (!shownBefore.isNull())
        values.insert(PrefKey::WhatsNewShownVersion, shownBefore);
    if (!legacyBefore.isNull())
        values.insert(PrefKey::LastWhatsNewVersion, legacyBefore);
    seed(values);

    QCOMPARE(runOnce(), 0);
    PreferencesRepository* prefs = app()->state()->preferences();
    const auto dialog = [] {
        return app()->mainWindow()->findChild<NorvUpdate::WhatsNewDialog*>();
    };
    if (shown) {
        QTRY_VERIFY(dialog() && dialog()->isVisible());
        QVERIFY(dialog()->notesBrowser()->toPlainText().contains("What changed."));
        QCOMPARE(prefs->value(PrefKey::WhatsNewShownVersion), std::optional<QString>("1.1.1"));
        delete dialog();
    } else {
        QTRY_COMPARE(fetchers(), 0);
        QVERIFY(!dialog());
        QCOMPARE(prefs->value(PrefKey::WhatsNewShownVersion),
                 shownBefore.isNull() ? std::nullopt : std::optional<QString>(shownBefore));
    }
    // Still written for older builds reading the same library.
    const QString legacyAfter = compareVersions(legacyBefore, "1.1.1") > 0 ? legacyBefore : "1.1.1";
    QCOMPARE(prefs->value(PrefKey::LastWhatsNewVersion), std::optional<QString>(legacyAfter));
}

void tst_Application::startRequestsOpenNoteWindows_data()
{
    QTest::addColumn<bool>("second");       // the message of a second start, else the command line of a first one
    QTest::addColumn<QStringList>("input"); // "welcome" stands for the id of a welcome note
    QTest::addColumn<bool>("mainVisible");
    QTest::addColumn<int>("newNotes");
    QTest::addColumn<QString>("windowFor"); // "new": the created note; empty: no window

    // clang-format off
    QTest::newRow("--new-note") << false << QStringList{"norvane-notes", "--new-note"} << false << 1 << "new";
    QTest::newRow("--note id") << false << QStringList{"norvane-notes", "--note", "welcome"} << false << 0 << "welcome";
    QTest::newRow("trailing --note ignored") << false << QStringList{"norvane-notes", "--note"} << true << 0 << QString();
    // The closed connection brings the main window forward after whatever the message opened.
    QTest::newRow("second: focus") << true << QStringList{"focus"} << true << 0 << QString();
    QTest::newRow("second: nothing written") << true << QStringList{""} << true << 0 << QString();
    QTest::newRow("second: new note") << true << QStringList{"new-note"} << true << 1 << "new";
    QTest::newRow("second: note id") << true << QStringList{"note:welcome"} << true << 0 << "welcome";
    QTest::newRow("second: note prefix is case-sensitive") << true << QStringList{"NOTE:welcome"} << true << 0 << QString();
    // clang-format on
}

void tst_Application::startRequestsOpenNoteWindows()
{
    QFETCH(bool, second);
    QFETCH(QStringList, input);
    QFETCH(bool, mainVisible);
    QFETCH(int, newNotes);
    QFETCH(QString, windowFor);

    // A first run creates the welcome notes, so the library is not empty for the id case.
    QCOMPARE(runOnce(), 0);
    const QList<Note> before = app()->state()->notes()->allNotes();
    const QString welcomeId = before.last().id;
    input.replaceInStrings(QStringLiteral("welcome"), welcomeId);
    if (second) {
        app()->mainWindow()->hide(); // as in the tray
        // The guard keeps listening after the loop returned; a second start reaches the handler.
        SingleInstance other(Application::instanceKey());
        QVERIFY(!other.tryRun(input.first()));
        QTRY_VERIFY(app()->mainWindow()->isVisible());
    } else {
        QCOMPARE(runOnce(input), 0);
    }
    AppState* state = app()->state();
    QCOMPARE(app()->mainWindow()->isVisible(), mainVisible);
    QCOMPARE(state->notes()->allNotes().size(), before.size() + newNotes);
    const QStringList windows = state->openNoteWindowIds();
    QCOMPARE(windows.size(), windowFor.isEmpty() ? 0 : 1);
    if (windowFor == QLatin1String("new"))
        QVERIFY(std::none_of(before.begin(), before.end(), [&](const Note& n) { return n.id == windows.first(); }));
    else if (!windowFor.isEmpty())
        QCOMPARE(windows.first(), welcomeId);
    if (!windows.isEmpty())
        QVERIFY(state->noteWindow(windows.first())->isVisible());
    state->closeAllNoteWindows();
}

// The language of the interface follows the locale through the real start-up: German menus for a German user,
// English for everyone the program has no translation for, and counted texts in the right plural either way.
void tst_Application::startUpFollowsLocale_data()
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

void tst_Application::startUpFollowsLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, fileMenu);
    QFETCH(QString, one);
    QFETCH(QString, two);

    QLocale::setDefault(QLocale(locale));
    QCOMPARE(runOnce(), 0);
    QVERIFY(app()->mainWindow());
    if (locale.startsWith(QLatin1String("de")) && !QFile::exists(QStringLiteral(":/i18n/norvane_de.qm")))
        QSKIP("built without Qt's Linguist tools: no translations compiled in");
    QCOMPARE(app()->mainWindow()->menuBar()->actions().value(0)->text(), fileMenu);
    QCOMPARE(QCoreApplication::translate("MainWindow", "Marked %n note(s) for re-sync.", nullptr, 1), one);
    QCOMPARE(QCoreApplication::translate("MainWindow", "Marked %n note(s) for re-sync.", nullptr, 2), two);
}

int main(int argc, char** argv)
{
    QStandardPaths::setTestModeEnabled(true);
    Application application(argc, argv);
    tst_Application tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_Application.moc"
