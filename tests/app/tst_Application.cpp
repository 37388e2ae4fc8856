#include "AppState.h"
#include "Application.h"
#include "AttachmentRepository.h"
#include "Clock.h"
#include "DataPaths.h"
#include "Database.h"
#include "Interaction.h"
#include "MainWindow.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "Records.h"
#include "ReleaseNotesFetcher.h"
#include "SingleInstance.h"
#include "TodosScreen.h"
#include "Version.h"
#include "WhatsNewDialog.h"
#include "../update/UpdateTestSupport.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QIcon>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <memory>

namespace {

const QString kErrorText = QStringLiteral(
    "Failed to initialize the database.\n\nData directory: %1\n\nPlease check file permissions and try again.");

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

// Every file below root with its bytes, by relative path.
QMap<QString, QByteArray> fileTree(const QString& root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree.insert(QDir(root).relativeFilePath(path), readFile(path));
    }
    return tree;
}

// Writes preferences into the database of the current data directory before the application opens it.
void seedPreferences(const QHash<QString, QString>& values)
{
    Database db;
    QVERIFY(db.open(databasePath()));
    QVERIFY(db.migrate());
    PreferencesRepository prefs(&db);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        prefs.setValue(it.key(), it.value());
}

// Stores notes with the given ids in the database of the current data directory; the ones listed in
// trashed are in the trash.
void seedNotes(const QStringList& ids, const QStringList& trashed = {})
{
    Database db;
    QVERIFY(db.open(databasePath()));
    QVERIFY(db.migrate());
    NoteRepository notes(&db);
    for (const QString& id : ids + trashed) {
        Note note;
        note.id = id;
        note.body = QStringLiteral(R"([{"insert":"%1\n"}])").arg(id);
        note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
        QVERIFY(notes.insert(note));
        if (trashed.contains(id))
            QVERIFY(notes.moveToTrash(id));
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

    void resources_data();
    void resources();
    void fonts_data();
    void fonts();
    void identity();
    void scriptedInteraction();
    void unansweredInteractionShowsDialog();

    void databaseError_data();
    void databaseError();
    void runStartsUp_data();
    void runStartsUp();
    void whatsNewOncePerVersion_data();
    void whatsNewOncePerVersion();
    void commandLineOpensNoteWindows_data();
    void commandLineOpensNoteWindows();
    void handleMessage_data();
    void handleMessage();
    void secondStartBringsMainWindowForward();

    void initializeCreatesDatabase();
    void initializeFailsBeforeRepositories();
    void restoresSelectionSilently_data();
    void restoresSelectionSilently();
    void setCurrent_data();
    void setCurrent();
    void relaysRepositoryChanges();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_dataDir;
    UpdateService m_updates;
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
    if (!m_updates.isRunning())
        m_updates.start();
    qputenv("UPDATE_BASE_URL", m_updates.isRunning()
                                   ? m_updates.channelUrl(m_updates.uniqueProduct(), "stable").toEncoded()
                                   : QByteArray("http://127.0.0.1:1/updates/notes/stable"));
}

void tst_Application::resources_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("sans") << ":/fonts/IBMPlexSans.ttf";
    QTest::newRow("sans italic") << ":/fonts/IBMPlexSans-Italic.ttf";
    QTest::newRow("mono") << ":/fonts/IBMPlexMono-Medium.ttf";
    QTest::newRow("icons font") << ":/fonts/MaterialIcons-Regular.otf";
    QTest::newRow("app icon") << ":/icons/app-icon.png";
}

void tst_Application::resources()
{
    QFETCH(QString, path);
    QVERIFY(QFile::exists(path));
    QVERIFY(QFileInfo(path).size() > 1000);
}

void tst_Application::fonts_data()
{
    QTest::addColumn<QString>("family");
    QTest::newRow("sans") << "IBM Plex Sans";
    QTest::newRow("mono") << "IBM Plex Mono";
    QTest::newRow("icons") << "Material Icons";
}

void tst_Application::fonts()
{
    QFETCH(QString, family);
    QVERIFY2(QFontDatabase::families().contains(family), qPrintable(QFontDatabase::families().join(", ")));
}

void tst_Application::identity()
{
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Norvane"));
    QCOMPARE(QCoreApplication::organizationDomain(), QStringLiteral("norvane.app"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Notes"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.1.1"));
    QCOMPARE(QApplication::font().family(), QStringLiteral("IBM Plex Sans"));

    const QImage expected = QIcon(QStringLiteral(":/icons/app-icon.png")).pixmap(64, 64).toImage();
    QVERIFY(!expected.isNull());
    QCOMPARE(QApplication::windowIcon().pixmap(64, 64).toImage(), expected);
}

void tst_Application::scriptedInteraction()
{
    Interaction::Script script;
    script.answer(QMessageBox::Yes);
    script.answerText(QStringLiteral("/tmp/out.md"));
    script.cancel();
    script.answerText(QStringLiteral("Groceries"));

    QWidget parent;
    QCOMPARE(Interaction::question(&parent, QStringLiteral("Move to Trash"), QStringLiteral("Move \"a\" to Trash?")),
             QMessageBox::Yes);
    QCOMPARE(Interaction::getSaveFileName(nullptr, QStringLiteral("Export Note"), QStringLiteral("/tmp/a.md"),
                                          QStringLiteral("Markdown (*.md)")),
             QStringLiteral("/tmp/out.md"));
    QCOMPARE(Interaction::getOpenFileName(nullptr, QStringLiteral("Select Import File")), QString());
    bool ok = false;
    QCOMPARE(Interaction::getText(nullptr, QStringLiteral("Notebook"), QStringLiteral("Name:"),
                                  QStringLiteral("Old"), &ok),
             QStringLiteral("Groceries"));
    QVERIFY(ok);
    QCOMPARE(script.pendingAnswers(), 0);

    const QList<Interaction::Request> asked = script.requests();
    QCOMPARE(asked.size(), 4);
    QCOMPARE(asked[0].kind, Interaction::Kind::Question);
    QCOMPARE(asked[0].parent.data(), &parent);
    QCOMPARE(asked[0].title, QStringLiteral("Move to Trash"));
    QCOMPARE(asked[0].text, QStringLiteral("Move \"a\" to Trash?"));
    QCOMPARE(asked[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(asked[0].defaultButton, QMessageBox::No);
    QCOMPARE(asked[1].kind, Interaction::Kind::SaveFile);
    QCOMPARE(asked[1].text, QStringLiteral("/tmp/a.md"));
    QCOMPARE(asked[1].filter, QStringLiteral("Markdown (*.md)"));
    QCOMPARE(asked[2].kind, Interaction::Kind::OpenFile);
    QCOMPARE(asked[3].kind, Interaction::Kind::Text);
    QCOMPARE(asked[3].text, QStringLiteral("Name:"));
    QCOMPARE(asked[3].initialValue, QStringLiteral("Old"));

    // A nested script takes over and hands back to the outer one.
    {
        Interaction::Script inner;
        inner.cancel();
        QCOMPARE(Interaction::getText(nullptr, QStringLiteral("T"), QStringLiteral("L"), QString(), &ok), QString());
        QVERIFY(!ok);
        QCOMPARE(inner.requests().size(), 1);
    }
    script.answer(QMessageBox::No);
    QCOMPARE(Interaction::question(nullptr, QStringLiteral("Q"), QStringLiteral("?")), QMessageBox::No);
    QCOMPARE(script.requests().size(), 5);
}

void tst_Application::unansweredInteractionShowsDialog()
{
    Interaction::Script script; // records, but has no answer for this question
    bool sawBox = false;
    QTimer::singleShot(0, this, [&sawBox] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        sawBox = box->windowTitle() == QStringLiteral("Delete Permanently") && box->text() == QStringLiteral("Sure?");
        box->button(QMessageBox::Yes)->click();
    });
    QCOMPARE(Interaction::question(nullptr, QStringLiteral("Delete Permanently"), QStringLiteral("Sure?")),
             QMessageBox::Yes);
    QVERIFY(sawBox);
    QCOMPARE(script.requests().size(), 1);
}

enum class Damage {
    DataDirBelowFile,
    GarbageDatabase,
    TextDatabase,
    DirectoryAtDatabasePath,
};

void tst_Application::databaseError_data()
{
    QTest::addColumn<int>("damage");
    QTest::newRow("data directory below a regular file") << int(Damage::DataDirBelowFile);
    QTest::newRow("garbage bytes at the database path") << int(Damage::GarbageDatabase);
    QTest::newRow("plain text at the database path") << int(Damage::TextDatabase);
    QTest::newRow("directory at the database path") << int(Damage::DirectoryAtDatabasePath);
}

void tst_Application::databaseError()
{
    QFETCH(int, damage);

    const QString clientId = QStringLiteral("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0");
    const QString dbPath = m_dataDir + QStringLiteral("/norvane_notes_%1.db").arg(clientId);
    QString dataDir = m_dataDir;

    if (Damage(damage) == Damage::DataDirBelowFile) {
        const QString blocker = m_dir->filePath(QStringLiteral("blocker"));
        QVERIFY(writeFile(blocker, "a file where a directory should be\n"));
        dataDir = blocker + QStringLiteral("/data");
        qputenv("NOTES_DATA_DIR", dataDir.toUtf8());
    } else {
        QVERIFY(QDir().mkpath(m_dataDir));
        QVERIFY(writeFile(m_dataDir + QStringLiteral("/client_id"), clientId.toUtf8() + "\n"));
        QCOMPARE(databasePath(), dbPath);
        if (Damage(damage) == Damage::GarbageDatabase) {
            QByteArray garbage(8192, '\0');
            QRandomGenerator rng(42);
            for (char& c : garbage)
                c = char(rng.bounded(256));
            QVERIFY(writeFile(dbPath, garbage));
        } else if (Damage(damage) == Damage::TextDatabase) {
            QVERIFY(writeFile(dbPath, QByteArray("Shopping\n- milk\n- eggs\nCall the plumber on Monday.\n").repeated(40)));
        } else {
            QVERIFY(QDir().mkpath(dbPath));
            QVERIFY(writeFile(dbPath + QStringLiteral("/keep.txt"), "keep me"));
        }
    }
    const QMap<QString, QByteArray> before = fileTree(m_dir->path());

    Interaction::Script script;
    script.answer(QMessageBox::Ok);
    QCOMPARE(app()->run(), 1);

    QCOMPARE(script.pendingAnswers(), 0);
    const QList<Interaction::Request> asked = script.requests();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].kind, Interaction::Kind::Critical);
    QCOMPARE(asked[0].parent.data(), nullptr);
    QCOMPARE(asked[0].title, QStringLiteral("Database Error"));
    QCOMPARE(asked[0].text, kErrorText.arg(dataDir));
    QCOMPARE(asked[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(app()->mainWindow(), nullptr);

    // Whatever was there is still there, byte for byte.
    const QMap<QString, QByteArray> after = fileTree(m_dir->path());
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        QVERIFY2(after.contains(it.key()), qPrintable(it.key()));
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    }
}

void tst_Application::runStartsUp_data()
{
    QTest::addColumn<QString>("startMinimized"); // null: not stored
    QTest::addColumn<QString>("whatsNewBefore"); // null: not stored
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QString>("whatsNewAfter");

    QTest::newRow("first start") << QString() << QString() << true << "1.1.1";
    // Hidden only where a tray icon can bring the window back.
    QTest::newRow("start minimized") << "1" << QString() << !QSystemTrayIcon::isSystemTrayAvailable() << "1.1.1";
    QTest::newRow("start minimized off") << "0" << QString() << true << "1.1.1";
    QTest::newRow("empty version") << QString() << "" << true << "1.1.1";
    QTest::newRow("unreadable version") << QString() << "one.two" << true << "1.1.1";
    QTest::newRow("older 1.1.0") << QString() << "1.1.0" << true << "1.1.1";
    QTest::newRow("older 1.1") << QString() << "1.1" << true << "1.1.1";
    QTest::newRow("same version") << QString() << "1.1.1" << true << "1.1.1";
    QTest::newRow("newer 1.2 kept") << QString() << "1.2" << true << "1.2";
}

void tst_Application::runStartsUp()
{
    QFETCH(QString, startMinimized);
    QFETCH(QString, whatsNewBefore);
    QFETCH(bool, visible);
    QFETCH(QString, whatsNewAfter);

    // Only notes that still exist outside the trash come back, in the order they were stored.
    seedNotes({QStringLiteral("id-1"), QStringLiteral("id-2")}, {QStringLiteral("id-3")});
    QHash<QString, QString> seed{
        {PrefKey::RestoreNoteWindows, QStringLiteral("id-2,,id-4,id-3,id-1")},
        {PrefKey::RestoreTodosWindow, QStringLiteral("1")},
    };
    if (!startMinimized.isNull())
        seed.insert(PrefKey::StartMinimized, startMinimized);
    if (!whatsNewBefore.isNull())
        seed.insert(PrefKey::LastWhatsNewVersion, whatsNewBefore);
    seedPreferences(seed);
    const QString dbPath = databasePath();

    Interaction::Script script; // start-up asks nothing
    QCOMPARE(runOnce(), 0);
    QCOMPARE(script.requests().size(), 0);

    QVERIFY(app()->state());
    QCOMPARE(app()->state()->database()->path(), dbPath);
    QVERIFY(app()->singleInstance()->isListening());
    MainWindow* window = app()->mainWindow();
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("Norvane Notes"));
    QCOMPARE(window->isVisible(), visible);

    PreferencesRepository* prefs = app()->state()->preferences();
    QCOMPARE(prefs->value(PrefKey::LastWhatsNewVersion), std::optional<QString>(whatsNewAfter));
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
    QTest::addColumn<QString>("shownBefore"); // "whats_new_shown_version"; null: not stored
    QTest::addColumn<QString>("legacyBefore"); // "last_whats_new_version"; null: not stored
    QTest::addColumn<bool>("notesPublished");
    QTest::addColumn<bool>("shown");

    QTest::newRow("first start") << QString() << QString() << true << true;
    // Older builds stored the old key without showing anything; that must not hide this version's notes.
    QTest::newRow("old key stored, never shown") << QString() << "1.1.1" << true << true;
    QTest::newRow("older version shown") << "1.1.0" << "1.1.0" << true << true;
    QTest::newRow("this version shown") << "1.1.1" << "1.1.1" << true << false;
    QTest::newRow("newer version shown") << "1.2" << "1.2" << true << false;
    QTest::newRow("notes missing") << QString() << QString() << false << false;
}

void tst_Application::whatsNewOncePerVersion()
{
    QFETCH(QString, shownBefore);
    QFETCH(QString, legacyBefore);
    QFETCH(bool, notesPublished);
    QFETCH(bool, shown);

    if (!m_updates.isRunning())
        QSKIP(qPrintable("devserver unavailable: " + m_updates.errorString()));
    const auto fetchers = [] { return app()->findChildren<NorvUpdate::ReleaseNotesFetcher*>().size(); };
    QTRY_COMPARE(fetchers(), 0);
    // Notes for the running version live beside the channel folder, so each row gets a product of its own.
    const QString product = m_updates.uniqueProduct();
    if (notesPublished)
        m_updates.publishNotes(QStringLiteral("1.1.1"), QString(), "# 1.1.1\n\nWhat changed.", product);
    qputenv("UPDATE_BASE_URL", m_updates.channelUrl(product, "stable").toEncoded());
    QHash<QString, QString> seed;
    if (!shownBefore.isNull())
        seed.insert(PrefKey::WhatsNewShownVersion, shownBefore);
    if (!legacyBefore.isNull())
        seed.insert(PrefKey::LastWhatsNewVersion, legacyBefore);
    seedPreferences(seed);

    QCOMPARE(runOnce(), 0);
    PreferencesRepository* prefs = app()->state()->preferences();
    const auto dialog = [] { return app()->mainWindow()->findChild<NorvUpdate::WhatsNewDialog*>(); };
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

void tst_Application::commandLineOpensNoteWindows_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("mainVisible");
    QTest::addColumn<int>("newNotes");
    QTest::addColumn<QString>("windowFor"); // "new": the created note; empty: no window

    QTest::newRow("plain start") << QStringList{"norvane-notes"} << true << 0 << QString();
    QTest::newRow("--new-note") << QStringList{"norvane-notes", "--new-note"} << false << 1 << "new";
    QTest::newRow("--new-note wins over --note")
        << QStringList{"norvane-notes", "--note", "welcome", "--new-note"} << false << 1 << "new";
    QTest::newRow("--note id") << QStringList{"norvane-notes", "--note", "welcome"} << false << 0 << "welcome";
    QTest::newRow("trailing --note ignored") << QStringList{"norvane-notes", "--note"} << true << 0 << QString();
}

void tst_Application::commandLineOpensNoteWindows()
{
    QFETCH(QStringList, args);
    QFETCH(bool, mainVisible);
    QFETCH(int, newNotes);
    QFETCH(QString, windowFor);

    // A first run creates the welcome notes, so the library is not empty for the id case.
    QCOMPARE(runOnce(), 0);
    const QList<Note> before = app()->state()->notes()->allNotes();
    QCOMPARE(before.size(), 3);
    const QString welcomeId = before.last().id;
    for (QString& arg : args) {
        if (arg == QLatin1String("welcome"))
            arg = welcomeId;
    }

    QCOMPARE(runOnce(args), 0);
    AppState* state = app()->state();
    QCOMPARE(app()->mainWindow()->isVisible(), mainVisible);
    const QList<Note> after = state->notes()->allNotes();
    QCOMPARE(after.size(), before.size() + newNotes);
    const QStringList windows = state->openNoteWindowIds();
    if (windowFor.isEmpty()) {
        QVERIFY(windows.isEmpty());
    } else {
        QCOMPARE(windows.size(), 1);
        if (windowFor == QLatin1String("new"))
            QVERIFY(std::none_of(before.begin(), before.end(), [&](const Note& n) { return n.id == windows.first(); }));
        else
            QCOMPARE(windows.first(), welcomeId);
        QVERIFY(state->noteWindow(windows.first())->isVisible());
    }
    state->closeAllNoteWindows();
}

void tst_Application::handleMessage_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("shown");

    QTest::newRow("focus") << "focus" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("unknown") << "hello" << true;
    QTest::newRow("new note goes to a note window") << "new-note" << false;
    QTest::newRow("note id goes to a note window") << "note:abc" << false;
    QTest::newRow("note prefix is case-sensitive") << "NOTE:abc" << true;
    QTest::newRow("new-note must match exactly") << "new-note " << true;
    QTest::newRow("note without colon") << "note" << true;
}

void tst_Application::handleMessage()
{
    QFETCH(QString, message);
    QFETCH(bool, shown);

    QCOMPARE(runOnce(), 0);
    app()->mainWindow()->hide(); // as in the tray

    app()->handleMessage(message);
    QCOMPARE(app()->mainWindow()->isVisible(), shown);
}

void tst_Application::secondStartBringsMainWindowForward()
{
    QCOMPARE(runOnce(), 0);
    app()->mainWindow()->hide(); // as in the tray

    // The guard keeps listening after the loop returned; a second start reaches the handler.
    SingleInstance second(Application::instanceKey());
    QVERIFY(!second.tryRun(QStringLiteral("focus")));
    QTRY_VERIFY(app()->mainWindow()->isVisible());
}

void tst_Application::initializeCreatesDatabase()
{
    // A missing, nested data directory is created.
    const QString dataDir = m_dir->filePath(QStringLiteral("fresh/nested"));
    qputenv("NOTES_DATA_DIR", dataDir.toUtf8());
    const QString path = databasePath();
    QVERIFY(!QFileInfo::exists(path));

    AppState state;
    QSignalSpy ready(&state, &AppState::databaseReady);
    QTest::ignoreMessage(QtInfoMsg, qPrintable(QStringLiteral("Opening database at: ") + path));
    QVERIFY(state.initialize());

    QCOMPARE(ready.count(), 1);
    QVERIFY(QFileInfo(path).isFile());
    QCOMPARE(state.database()->path(), path);
    QCOMPARE(state.currentNotebookId(), QString());
    QCOMPARE(state.currentNoteId(), QString());
    QCOMPARE(state.canShare(), false);

    QStringList children;
    for (QObject* child : state.children())
        children << QString::fromLatin1(child->metaObject()->className());
    QCOMPARE(children, (QStringList{"Database", "NoteRepository", "NotebookRepository", "PreferencesRepository",
                                    "SnapshotRepository", "AttachmentRepository", "ThemeManager",
                                    "NorvAccount::Client", "NoteSharingService", "NoteSharingService",
                                    "SyncEngine"}));
}

void tst_Application::initializeFailsBeforeRepositories()
{
    const QString blocker = m_dir->filePath(QStringLiteral("blocker"));
    QVERIFY(writeFile(blocker, "x"));
    qputenv("NOTES_DATA_DIR", (blocker + QStringLiteral("/data")).toUtf8());

    AppState state;
    QSignalSpy ready(&state, &AppState::databaseReady);
    QVERIFY(!state.initialize());
    QCOMPARE(ready.count(), 0);
    QCOMPARE(state.notes(), nullptr);
    QCOMPARE(state.preferences(), nullptr);
    QCOMPARE(state.attachments(), nullptr);
    QCOMPARE(state.findChildren<NoteRepository*>().size(), 0);
    QCOMPARE(readFile(blocker), QByteArray("x"));
}

void tst_Application::restoresSelectionSilently_data()
{
    QTest::addColumn<QString>("notebookId"); // null: never set
    QTest::addColumn<QString>("noteId");

    QTest::newRow("both") << "nb-1" << "note-1";
    QTest::newRow("note only") << QString() << "note-2";
    QTest::newRow("neither") << QString() << QString();
}

void tst_Application::restoresSelectionSilently()
{
    QFETCH(QString, notebookId);
    QFETCH(QString, noteId);

    {
        AppState first;
        QVERIFY(first.initialize());
        if (!notebookId.isNull())
            first.setCurrentNotebook(notebookId);
        if (!noteId.isNull())
            first.setCurrentNote(noteId);
    }

    AppState state;
    QSignalSpy notebookSpy(&state, &AppState::currentNotebookChanged);
    QSignalSpy noteSpy(&state, &AppState::currentNoteChanged);
    QVERIFY(state.initialize());
    QCOMPARE(state.currentNotebookId(), notebookId.isNull() ? QString() : notebookId);
    QCOMPARE(state.currentNoteId(), noteId.isNull() ? QString() : noteId);
    QCOMPARE(notebookSpy.count(), 0);
    QCOMPARE(noteSpy.count(), 0);
}

void tst_Application::setCurrent_data()
{
    QTest::addColumn<bool>("notebook"); // false: the current note
    QTest::addColumn<QString>("initial"); // null: never set
    QTest::addColumn<QString>("next");
    QTest::addColumn<bool>("changes");

    QTest::newRow("note, same id") << false << "n-1" << "n-1" << false;
    QTest::newRow("note, new id") << false << "n-1" << "n-2" << true;
    QTest::newRow("note, cleared") << false << "n-1" << "" << true;
    QTest::newRow("note, first empty") << false << QString() << "" << false;
    QTest::newRow("notebook, same id") << true << "nb-1" << "nb-1" << false;
    QTest::newRow("notebook, new id") << true << "nb-1" << "nb-2" << true;
    QTest::newRow("notebook, back to all notes") << true << "nb-1" << "" << true;
}

void tst_Application::setCurrent()
{
    QFETCH(bool, notebook);
    QFETCH(QString, initial);
    QFETCH(QString, next);
    QFETCH(bool, changes);

    AppState state;
    QVERIFY(state.initialize());
    auto set = [&](const QString& id) {
        if (notebook)
            state.setCurrentNotebook(id);
        else
            state.setCurrentNote(id);
    };
    const QString key = notebook ? PrefKey::LastNotebookId : PrefKey::LastNoteId;
    if (!initial.isNull())
        set(initial);
    const std::optional<QString> storedBefore = state.preferences()->value(key);

    QSignalSpy written(state.preferences(), &PreferencesRepository::changed);
    QSignalSpy notebookSpy(&state, &AppState::currentNotebookChanged);
    QSignalSpy noteSpy(&state, &AppState::currentNoteChanged);
    set(next);

    QCOMPARE(notebook ? state.currentNotebookId() : state.currentNoteId(), next);
    QSignalSpy& changed = notebook ? notebookSpy : noteSpy;
    QSignalSpy& other = notebook ? noteSpy : notebookSpy;
    QCOMPARE(other.count(), 0);
    if (changes) {
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), next);
        QCOMPARE(written.count(), 1);
        QCOMPARE(written.at(0).at(0).toString(), key);
        QCOMPARE(state.preferences()->value(key), std::optional<QString>(next));
    } else {
        QCOMPARE(changed.count(), 0);
        QCOMPARE(written.count(), 0);
        QCOMPARE(state.preferences()->value(key), storedBefore);
    }
}

void tst_Application::relaysRepositoryChanges()
{
    AppState state;
    QVERIFY(state.initialize());
    QSignalSpy notesChanged(&state, &AppState::notesChanged);
    QSignalSpy notebooksChanged(&state, &AppState::notebooksChanged);
    QSignalSpy deleted(&state, &AppState::noteDeletedExternally);

    Notebook notebook;
    notebook.id = newId();
    notebook.name = QStringLiteral("Work");
    notebook.createdAt = notebook.updatedAt = Clock::nowUtc();
    QVERIFY(state.notebooks()->insert(notebook));
    QCOMPARE(notebooksChanged.count(), 1);
    QCOMPARE(notesChanged.count(), 0);

    Note note;
    note.id = newId();
    note.body = QStringLiteral(R"([{"insert":"Receipt\n"}])");
    note.createdAt = note.updatedAt = note.modifiedAt = Clock::nowUtc();
    QVERIFY(state.notes()->insert(note));
    QCOMPARE(notesChanged.count(), 1);

    QVERIFY(state.notes()->moveToTrash(note.id));
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(deleted.at(0).at(0).toString(), note.id);

    // Purging the note takes its attachment files with it.
    Attachment attachment;
    attachment.id = newId();
    attachment.noteId = note.id;
    attachment.filename = QStringLiteral("receipt.png");
    attachment.mimeType = QStringLiteral("image/png");
    attachment.sizeBytes = 3;
    attachment.createdAt = Clock::nowUtc();
    QVERIFY(state.attachments()->saveFile(attachment.id, "png"));
    QVERIFY(state.attachments()->insert(attachment));
    const QString file = state.attachments()->filePath(attachment.id);
    QVERIFY(QFileInfo::exists(file));

    QVERIFY(state.notes()->purge(note.id));
    QVERIFY(!QFileInfo::exists(file));
    QCOMPARE(state.attachments()->attachmentsForNote(note.id).size(), 0);
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
