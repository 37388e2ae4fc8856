#include "AppState.h"
#include "UiTestLibrary.h"
#include "Clock.h"
#include "Interaction.h"
#include "MainWindow.h"
#include "NoteEditor.h"
#include "NoteListWidget.h"
#include "NoteWindow.h"
#include "NoteRepository.h"
#include "NotebookListWidget.h"
#include "NotebookRepository.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "Records.h"
#include "SettingsDialog.h"
#include "SnapshotRepository.h"
#include "TodosScreen.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QFileInfo>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {

const QDateTime kNow(QDate(2026, 6, 17), QTime(10, 30), Qt::UTC);

QString body(const QString& text)
{
    return QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
}

QStringList listedTitles(const NoteListWidget* list)
{
    QStringList titles;
    for (int row = 0; row < list->count(); ++row)
        titles << list->model()->index(row, 0).data(NoteListRole::Title).toString();
    return titles;
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void typingAutosavesNewVersion();
    void switchingSnapshotsOnlyChangedBodies_data();
    void switchingSnapshotsOnlyChangedBodies();
    void trashSelectsNextRow_data();
    void trashSelectsNextRow();
    void searchIsDebouncedAndRanked();
    void stenoOrderOnlyWithoutSearch_data();
    void stenoOrderOnlyWithoutSearch();
    void deletingNotebookMovesNotesToAllNotes_data();
    void deletingNotebookMovesNotesToAllNotes();
    void layoutModesPersist();
    void focusModeSplitterSizes_data();
    void focusModeSplitterSizes();
    void trashingLastNoteShowsWelcomePage();
    void quitRemembersOpenWindows();
    void trayFollowsPreferences();
    void settingsApplyAtOnce();
    void savedNoteMovesToHead_data();
    void savedNoteMovesToHead();
    void newNotesJoinTheHead_data();
    void newNotesJoinTheHead();
    void noteContextMenu_data();
    void noteContextMenu();
    void backupThenLocalRestore();
    void failedRestoreSaysWhy();

private:
    // Stores a note whose update time lies `minutesAgo` before kNow.
    Note addNote(const QString& text, int minutesAgo, const QString& notebookId = QString());

    UiTestLibrary m_library;
    std::unique_ptr<QTemporaryDir>& m_dir = m_library.dir;
    std::unique_ptr<Clock::Fixed>& m_clock = m_library.clock;
    std::unique_ptr<AppState>& m_state = m_library.state;
};

void tst_MainWindow::initTestCase()
{
    UiTestLibrary::useTestSettings("tst_MainWindow");
}

void tst_MainWindow::init()
{
    QVERIFY(m_library.open(kNow));
}

void tst_MainWindow::cleanup()
{
    m_library.close();
}

Note tst_MainWindow::addNote(const QString& text, int minutesAgo, const QString& notebookId)
{
    Note note;
    note.id = newId();
    note.notebookId = notebookId;
    note.body = body(text);
    note.createdAt = kNow.addSecs(-60 * minutesAgo);
    note.updatedAt = note.createdAt;
    note.modifiedAt = note.createdAt;
    note.syncStatus = SyncStatus::Synced;
    if (!m_state->notes()->insert(note))
        qFatal("inserting a test note failed");
    return note;
}

void tst_MainWindow::typingAutosavesNewVersion()
{
    MainWindow window(m_state.get());
    window.show();

    window.createNote();
    const QString id = window.editor()->noteId();
    QCOMPARE(window.noteList()->selectedNoteId(), id);
    QCOMPARE(m_state->currentNoteId(), id);
    std::optional<Note> stored = m_state->notes()->noteById(id);
    QVERIFY(stored);
    QCOMPARE(stored->version, 1);
    QCOMPARE(stored->body, QStringLiteral(R"([{"insert":"\n"}])"));

    m_clock->advanceMs(5000);
    QTest::keyClicks(window.editor(), QStringLiteral("Shopping list"));
    QVERIFY(!window.editor()->isSaved());
    QTRY_VERIFY(window.editor()->isSaved());

    stored = m_state->notes()->noteById(id);
    QCOMPARE(stored->version, 2);
    QCOMPARE(stored->syncStatus, SyncStatus::Pending);
    QCOMPARE(stored->title(), QStringLiteral("Shopping list"));
    QCOMPARE(stored->updatedAt, kNow.addMSecs(5000));
    QCOMPARE(stored->modifiedAt, kNow.addMSecs(5000));
    QCOMPARE(stored->createdAt, kNow);
    QCOMPARE(listedTitles(window.noteList()), QStringList{"Shopping list"});
    // Autosave alone keeps no history.
    QCOMPARE(m_state->snapshots()->snapshotsForNote(id).size(), 0);
}

void tst_MainWindow::switchingSnapshotsOnlyChangedBodies_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("snapshots");
    QTest::addColumn<int>("version");

    QTest::newRow("edited") << QStringLiteral(" and more") << 1 << 2;
    QTest::newRow("untouched") << QString() << 0 << 1;
}

void tst_MainWindow::switchingSnapshotsOnlyChangedBodies()
{
    QFETCH(QString, typed);
    QFETCH(int, snapshots);
    QFETCH(int, version);

    const Note first = addNote(QStringLiteral("First"), 1);
    const Note second = addNote(QStringLiteral("Second"), 2);
    MainWindow window(m_state.get());
    window.show();

    window.noteList()->selectNote(first.id);
    QCOMPARE(window.editor()->noteId(), first.id);
    if (!typed.isEmpty()) {
        window.editor()->moveCursor(QTextCursor::EndOfBlock);
        QTest::keyClicks(window.editor(), typed);
    }
    // Switch before the autosave runs: the switch itself writes the note back.
    window.noteList()->selectNote(second.id);
    QCOMPARE(window.editor()->noteId(), second.id);
    QCOMPARE(m_state->currentNoteId(), second.id);

    const std::optional<Note> stored = m_state->notes()->noteById(first.id);
    QCOMPARE(stored->version, version);
    QCOMPARE(stored->title(), QStringLiteral("First") + typed);
    const QList<Snapshot> taken = m_state->snapshots()->snapshotsForNote(first.id);
    QCOMPARE(taken.size(), snapshots);
    if (snapshots == 1) {
        QCOMPARE(taken[0].body, stored->body);
        QCOMPARE(taken[0].version, 2);
        QCOMPARE(taken[0].createdAt, kNow);
    }
    QCOMPARE(m_state->snapshots()->snapshotsForNote(second.id).size(), 0);
}

void tst_MainWindow::trashSelectsNextRow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<QString>("opened");

    const QStringList all{"Newest", "Middle", "Oldest"};
    QTest::newRow("middle") << 1 << false << 0 << QStringList{"Newest", "Oldest"} << QStringLiteral("Oldest");
    QTest::newRow("bottom") << 2 << false << 0 << QStringList{"Newest", "Middle"} << QStringLiteral("Middle");
    QTest::newRow("top") << 0 << false << 0 << QStringList{"Middle", "Oldest"} << QStringLiteral("Middle");
    QTest::newRow("confirmed") << 1 << true << int(QMessageBox::Yes) << QStringList{"Newest", "Oldest"}
                               << QStringLiteral("Oldest");
    QTest::newRow("declined") << 1 << true << int(QMessageBox::No) << all << QStringLiteral("Middle");
}

void tst_MainWindow::trashSelectsNextRow()
{
    QFETCH(int, row);
    QFETCH(bool, confirm);
    QFETCH(int, answer);
    QFETCH(QStringList, remaining);
    QFETCH(QString, opened);

    addNote(QStringLiteral("Oldest"), 30);
    addNote(QStringLiteral("Middle"), 20);
    addNote(QStringLiteral("Newest"), 10);
    MainWindow window(m_state.get());
    window.show();
    QCOMPARE(listedTitles(window.noteList()), (QStringList{"Newest", "Middle", "Oldest"}));

    window.noteList()->setCurrentRow(row);
    Interaction::Script script;
    if (confirm)
        script.answer(QMessageBox::StandardButton(answer));
    window.moveCurrentNoteToTrash(confirm);

    QCOMPARE(listedTitles(window.noteList()), remaining);
    const QString openId = window.editor()->noteId();
    QCOMPARE(m_state->notes()->noteById(openId)->title(), opened);
    QCOMPARE(window.noteList()->selectedNoteId(), openId);
    QCOMPARE(m_state->currentNoteId(), openId);
    if (confirm) {
        QCOMPARE(script.requests().size(), 1);
        QCOMPARE(script.requests()[0].title, QStringLiteral("Move to Trash"));
        QCOMPARE(script.requests()[0].text, QStringLiteral("Move \"Middle\" to Trash?"));
        QCOMPARE(script.requests()[0].defaultButton, QMessageBox::No);
    } else {
        QCOMPARE(script.requests().size(), 0);
    }
    QCOMPARE(m_state->notes()->trashedNotes().size(), 3 - remaining.size());
}

void tst_MainWindow::searchIsDebouncedAndRanked()
{
    addNote(QStringLiteral("Garden plans with one mention of tomatoes and a lot of other words about soil"), 1);
    addNote(QStringLiteral("Tomatoes tomatoes tomatoes"), 30);
    addNote(QStringLiteral("Unrelated errand"), 2);
    MainWindow window(m_state.get());
    window.show();
    const QStringList unfiltered{"Garden plans with one mention of tomatoes and a lot of other words about soil",
                                 "Unrelated errand", "Tomatoes tomatoes tomatoes"};
    QCOMPARE(listedTitles(window.noteList()), unfiltered);

    QTest::keyClicks(window.searchEdit(), QStringLiteral("  tomatoes "));
    // Nothing is searched while the user is still typing.
    QCOMPARE(window.searchTimer()->interval(), 300);
    QVERIFY(window.searchTimer()->isSingleShot());
    QVERIFY(window.searchTimer()->isActive());
    QCOMPARE(listedTitles(window.noteList()), unfiltered);

    const QStringList ranked{"Tomatoes tomatoes tomatoes",
                             "Garden plans with one mention of tomatoes and a lot of other words about soil"};
    QTRY_COMPARE(listedTitles(window.noteList()), ranked);

    window.searchEdit()->clear();
    QTRY_COMPARE(listedTitles(window.noteList()), unfiltered);
}

void tst_MainWindow::stenoOrderOnlyWithoutSearch_data()
{
    QTest::addColumn<bool>("steno");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("normal") << false << QString() << QStringList{"Note three", "Note two", "Note one"};
    QTest::newRow("steno") << true << QString() << QStringList{"Note one", "Note two", "Note three"};
    QTest::newRow("steno with search") << true << QStringLiteral("two") << QStringList{"Note two"};
    QTest::newRow("steno keeps ranking") << true << QStringLiteral("note")
                                         << QStringList{"Note three", "Note two", "Note one"};
}

void tst_MainWindow::stenoOrderOnlyWithoutSearch()
{
    QFETCH(bool, steno);
    QFETCH(QString, search);
    QFETCH(QStringList, expected);

    addNote(QStringLiteral("Note one"), 30);
    addNote(QStringLiteral("Note two"), 20);
    addNote(QStringLiteral("Note three"), 10);
    // Equal matches rank by recency, which the steno order must not turn around.
    const QList<Note> byRank = m_state->notes()->search(QStringLiteral("note"));
    QStringList rankTitles;
    for (const Note& note : byRank)
        rankTitles << note.title();
    if (search == QLatin1String("note"))
        expected = rankTitles;

    MainWindow window(m_state.get());
    window.show();
    m_state->preferences()->setBool(PrefKey::StenoMode, steno);
    window.searchEdit()->setText(search);
    window.refreshNoteList();
    QCOMPARE(listedTitles(window.noteList()), expected);
}

void tst_MainWindow::deletingNotebookMovesNotesToAllNotes_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("deleted");

    QTest::newRow("yes") << int(QMessageBox::Yes) << true;
    QTest::newRow("no") << int(QMessageBox::No) << false;
}

void tst_MainWindow::deletingNotebookMovesNotesToAllNotes()
{
    QFETCH(int, answer);
    QFETCH(bool, deleted);

    Notebook notebook;
    notebook.id = newId();
    notebook.name = QStringLiteral("Recipes");
    notebook.createdAt = kNow;
    notebook.updatedAt = kNow;
    QVERIFY(m_state->notebooks()->insert(notebook));
    const Note soup = addNote(QStringLiteral("Soup"), 5, notebook.id);
    const Note bread = addNote(QStringLiteral("Bread"), 6, notebook.id);
    addNote(QStringLiteral("Loose"), 7);

    MainWindow window(m_state.get());
    window.show();
    m_state->setCurrentNotebook(notebook.id);
    window.refreshNoteList();
    QCOMPARE(listedTitles(window.noteList()), (QStringList{"Soup", "Bread"}));

    Interaction::Script script;
    script.answer(QMessageBox::StandardButton(answer));
    window.deleteNotebook(notebook.id);
    QCOMPARE(script.requests().size(), 1);
    QCOMPARE(script.requests()[0].title, QStringLiteral("Delete Notebook"));
    QCOMPARE(script.requests()[0].text, QStringLiteral("Delete \"Recipes\"? Its notes will move to All Notes."));

    const QString expectedNotebook = deleted ? QString() : notebook.id;
    QCOMPARE(m_state->notes()->noteById(soup.id)->notebookId, expectedNotebook);
    QCOMPARE(m_state->notes()->noteById(bread.id)->notebookId, expectedNotebook);
    QCOMPARE(m_state->notebooks()->allNotebooks().size(), deleted ? 0 : 1);
    QCOMPARE(m_state->currentNotebookId(), expectedNotebook);
    const QStringList expectedTitles =
        deleted ? QStringList{"Soup", "Bread", "Loose"} : QStringList{"Soup", "Bread"};
    QCOMPARE(listedTitles(window.noteList()), expectedTitles);
}

void tst_MainWindow::layoutModesPersist()
{
    {
        MainWindow window(m_state.get());
        window.show();
        QCOMPARE(window.size(), QSize(1280, 1024).boundedTo(window.screen()->availableGeometry().size()));
        QVERIFY(!window.focusMode());
        QVERIFY(window.sidebarVisible());
        window.setSidebarVisible(false);
        window.setFocusMode(true);
        QCOMPARE(window.splitter()->sizes()[0], 0);
        QCOMPARE(window.splitter()->sizes()[1], 0);
    }
    QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("mainWindow/focusMode")).toBool(), true);
    QCOMPARE(settings.value(QStringLiteral("mainWindow/notebookSidebarVisible")).toBool(), false);

    MainWindow reopened(m_state.get());
    QVERIFY(reopened.focusMode());
    QVERIFY(!reopened.sidebarVisible());
}


// The signed-out backup and restore flows: the archive holds the library, and a local restore
// brings back what is missing without touching what is there.
void tst_MainWindow::backupThenLocalRestore()
{
    const Note kept = addNote(QStringLiteral("Kept"), 5);
    const Note lost = addNote(QStringLiteral("Lost"), 6);
    MainWindow window(m_state.get());
    window.show();
    const QString archive = m_dir->filePath(QStringLiteral("library.zip"));

    {
        Interaction::Script script;
        script.answerText(archive);
        window.backupDatabase();
        QCOMPARE(script.requests().size(), 1);
        QCOMPARE(script.requests()[0].title, QStringLiteral("Save Backup"));
        QCOMPARE(script.requests()[0].filter, QStringLiteral("ZIP Archive (*.zip)"));
    }
    QVERIFY(QFileInfo(archive).size() > 0);

    QVERIFY(m_state->notes()->purge(lost.id));
    QVERIFY(m_state->notes()->update([&] {
        Note n = *m_state->notes()->noteById(kept.id);
        n.body = body(QStringLiteral("Kept, edited after the backup"));
        return n;
    }()));

    Interaction::Script script;
    script.answerText(archive);
    script.answer(QMessageBox::Yes);
    script.answer(QMessageBox::Ok);
    window.restoreDatabase();
    QCOMPARE(script.requests().size(), 3);
    QCOMPARE(script.requests()[0].title, QStringLiteral("Select Backup"));
    QCOMPARE(script.requests()[1].title, QStringLiteral("Restore Backup"));
    QCOMPARE(script.requests()[1].text,
             QStringLiteral("Import notes from backup? Existing notes with the same ID will be skipped."));
    QCOMPARE(script.requests()[1].defaultButton, QMessageBox::No);
    QCOMPARE(script.requests()[2].title, QStringLiteral("Restore Complete"));
    QCOMPARE(script.requests()[2].text, QStringLiteral("Imported: 1\nSkipped: 1\nErrors: 0"));

    QCOMPARE(m_state->notes()->noteById(lost.id)->body, lost.body);
    QCOMPARE(m_state->notes()->noteById(kept.id)->body, body(QStringLiteral("Kept, edited after the backup")));
    QTRY_COMPARE(listedTitles(window.noteList()).size(), 2);
}

void tst_MainWindow::failedRestoreSaysWhy()
{
    const QString notAnArchive = m_dir->filePath(QStringLiteral("notes.txt"));
    QFile file(notAnArchive);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("plain text, not a backup") > 0);
    file.close();
    MainWindow window(m_state.get());
    Interaction::Script script;
    script.answerText(notAnArchive);
    script.answer(QMessageBox::Yes);
    script.answer(QMessageBox::Ok);
    window.restoreDatabase();
    QCOMPARE(script.requests().size(), 3);
    QCOMPARE(script.requests()[2].title, QStringLiteral("Restore Failed"));
    QCOMPARE(script.requests()[2].text, QStringLiteral("Failed to extract backup: not a backup archive"));
}

void tst_MainWindow::focusModeSplitterSizes_data()
{
    QTest::addColumn<QString>("stored"); // "normalSplitterSizes" in the settings
    QTest::addColumn<QList<int>>("normal");

    QTest::newRow("defaults") << QString() << QList<int>{200, 260, 440};
    QTest::newRow("remembered widths") << "150,300,450" << QList<int>{150, 300, 450};
    QTest::newRow("malformed ignored") << "150,-3,450" << QList<int>{200, 260, 440};
    QTest::newRow("two values ignored") << "150,300" << QList<int>{200, 260, 440};
}

void tst_MainWindow::focusModeSplitterSizes()
{
    QFETCH(QString, stored);
    QFETCH(QList<int>, normal);
    if (!stored.isEmpty())
        QSettings().setValue(QStringLiteral("mainWindow/normalSplitterSizes"), stored);

    MainWindow window(m_state.get());
    window.resize(900, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.setFocusMode(true);
    // The splitter drops the handles of hidden panes once it lays itself out again.
    QTRY_COMPARE(window.splitter()->sizes(), (QList<int>{0, 0, 900}));
    window.setFocusMode(false);
    QTRY_COMPARE(window.splitter()->sizes(), normal);
}

void tst_MainWindow::trashingLastNoteShowsWelcomePage()
{
    addNote(QStringLiteral("Only note"), 5);
    MainWindow window(m_state.get());
    window.show();
    window.noteList()->setCurrentRow(0);
    QVERIFY(!window.welcomePageShown());

    window.moveCurrentNoteToTrash(false);
    QCOMPARE(window.noteList()->count(), 0);
    QVERIFY(window.editor()->noteId().isEmpty());
    QVERIFY(window.welcomePageShown());

    // Find in the note has nothing to search while the welcome page shows.
    QTest::keySequence(&window, QKeySequence::Find);
    QVERIFY(!window.findChild<QWidget*>(QStringLiteral("findBar"))->isVisible());

    // "Continue Without an Account" goes to the (empty) editor; a new note keeps it there.
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("continueButton")), Qt::LeftButton);
    QVERIFY(!window.welcomePageShown());
    window.createNote();
    QVERIFY(!window.welcomePageShown());
}

void tst_MainWindow::quitRemembersOpenWindows()
{
    const Note first = addNote(QStringLiteral("First"), 5);
    const Note second = addNote(QStringLiteral("Second"), 6);
    NoteWindow::install(m_state.get());
    MainWindow window(m_state.get());
    window.show();
    QVERIFY(m_state->openNoteWindow(first.id));
    QVERIFY(m_state->openNoteWindow(second.id));
    window.showTodosScreen();

    window.quitApplication();
    QStringList remembered = m_state->preferences()->stringValue(PrefKey::RestoreNoteWindows).split(',');
    remembered.sort();
    QStringList expected{first.id, second.id};
    expected.sort();
    QCOMPARE(remembered, expected);
    QVERIFY(m_state->preferences()->boolValue(PrefKey::RestoreTodosWindow));
    QVERIFY(m_state->openNoteWindowIds().isEmpty());
    // Closing the windows took nothing with them: both notes had text.
    QVERIFY(m_state->notes()->noteById(first.id));
    QVERIFY(m_state->notes()->noteById(second.id));
}

void tst_MainWindow::trayFollowsPreferences()
{
    MainWindow window(m_state.get());
    window.show();
    QVERIFY(!window.closesToTray());
    m_state->preferences()->setBool(PrefKey::CloseToTray, true);
    // Hiding into a tray that is not there would strand the window; closing then quits.
    QCOMPARE(window.closesToTray(), QSystemTrayIcon::isSystemTrayAvailable());

    QMenu* menu = window.trayMenu();
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("—") : action->text());
    // The first entry offers what the window's state allows.
    QCOMPARE(texts, (QStringList{"Hide Norvane Notes", "—", "New Note", "Search…", "To-Dos", "—", "Quit"}));
    window.hide();
    emit menu->aboutToShow();
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("Show Norvane Notes"));
}

void tst_MainWindow::settingsApplyAtOnce()
{
    addNote(QStringLiteral("Older"), 20);
    addNote(QStringLiteral("Newer"), 10);
    MainWindow window(m_state.get());
    window.show();
    QCOMPARE(listedTitles(window.noteList()), (QStringList{"Newer", "Older"}));

    SettingsDialog* settings = window.openSettings();
    QVERIFY(settings && !settings->isModal());
    QCOMPARE(window.openSettings(), settings); // one preferences window at a time
    auto* steno = settings->findChild<QCheckBox*>(QStringLiteral("stenoCheck"));
    QVERIFY(steno);
    steno->click();
    QCOMPARE(listedTitles(window.noteList()), (QStringList{"Older", "Newer"}));

    auto* theme = settings->findChild<QComboBox*>(QStringLiteral("themeCombo"));
    theme->setCurrentIndex(theme->findData(QStringLiteral("dark")));
    QVERIFY(qApp->palette().color(QPalette::Window).lightness() < 60);
    theme->setCurrentIndex(theme->findData(QStringLiteral("light")));
    QVERIFY(qApp->palette().color(QPalette::Window).lightness() > 200);

    settings->close();
    QTRY_VERIFY(!window.findChild<SettingsDialog*>());
}

void tst_MainWindow::savedNoteMovesToHead_data()
{
    QTest::addColumn<bool>("steno");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<int>("minutesLater"); // the saved update time, relative to now
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("middle note to the top") << false << "Beta" << 1 << QStringList{"Beta 2", "Alpha", "Gamma"};
    QTest::newRow("top note stays on top") << false << "Alpha" << 1 << QStringList{"Alpha 2", "Beta", "Gamma"};
    QTest::newRow("steno: to the bottom") << true << "Beta" << 1 << QStringList{"Gamma", "Alpha", "Beta 2"};
    // A save that keeps an old update time (as a synced copy can) keeps the note in its place.
    QTest::newRow("older time keeps its place") << false << "Gamma" << -25 << QStringList{"Alpha", "Beta", "Gamma 2"};
}

void tst_MainWindow::savedNoteMovesToHead()
{
    QFETCH(bool, steno);
    QFETCH(QString, edited);
    QFETCH(int, minutesLater);
    QFETCH(QStringList, titles);

    m_state->preferences()->setBool(PrefKey::StenoMode, steno);
    QHash<QString, Note> notes;
    notes.insert(QStringLiteral("Gamma"), addNote(QStringLiteral("Gamma"), 30));
    notes.insert(QStringLiteral("Beta"), addNote(QStringLiteral("Beta"), 20));
    notes.insert(QStringLiteral("Alpha"), addNote(QStringLiteral("Alpha"), 10));
    MainWindow window(m_state.get());
    window.show();
    window.noteList()->selectNote(notes.value(edited).id);

    Note note = notes.value(edited);
    note.body = body(edited + QStringLiteral(" 2"));
    note.updatedAt = kNow.addSecs(60 * minutesLater);
    note.version += 1;
    QVERIFY(m_state->notes()->update(note));

    QStringList expected = titles;
    QCOMPARE(listedTitles(window.noteList()), expected);
    QCOMPARE(window.noteList()->selectedNoteId(), note.id);
    QCOMPARE(window.editor()->toPlainText(), edited + QStringLiteral(" 2"));
}

void tst_MainWindow::newNotesJoinTheHead_data()
{
    QTest::addColumn<bool>("steno");
    QTest::addColumn<bool>("otherNotebook"); // the note is stored into a notebook the view does not show
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("top of the list") << false << false << QStringList{"Untitled", "Newer", "Older"};
    QTest::newRow("steno: the bottom") << true << false << QStringList{"Older", "Newer", "Untitled"};
    QTest::newRow("other notebook: not listed") << false << true << QStringList{"Newer", "Older"};
}

void tst_MainWindow::newNotesJoinTheHead()
{
    QFETCH(bool, steno);
    QFETCH(bool, otherNotebook);
    QFETCH(QStringList, titles);

    m_state->preferences()->setBool(PrefKey::StenoMode, steno);
    QString shown;
    if (otherNotebook) {
        Notebook notebook;
        notebook.id = shown = newId();
        notebook.name = QStringLiteral("Shown");
        notebook.createdAt = notebook.updatedAt = kNow;
        QVERIFY(m_state->notebooks()->insert(notebook));
        m_state->setCurrentNotebook(shown);
    }
    addNote(QStringLiteral("Older"), 20, shown);
    addNote(QStringLiteral("Newer"), 10, shown);
    MainWindow window(m_state.get());
    window.show();

    QString createdId;
    if (otherNotebook) {
        addNote(QStringLiteral("Elsewhere"), 1);
    } else {
        window.createNote();
        createdId = window.editor()->noteId();
        QCOMPARE(window.noteList()->selectedNoteId(), createdId);
    }
    QCOMPARE(listedTitles(window.noteList()), titles);
    auto* status = window.findChild<QLabel*>(QStringLiteral("statusListLabel"));
    QCOMPARE(status->text(), QStringLiteral("%1 (%2 notes)").arg(otherNotebook ? "Shown" : "All Notes").arg(titles.size()));

    // The sidebar counts the new note: All Notes always, its notebook when it has one.
    QHash<int, int> counts; // kind -> count of the first row of that kind
    for (int row = window.notebookList()->count() - 1; row >= 0; --row) {
        const QListWidgetItem* item = window.notebookList()->item(row);
        counts.insert(item->data(NotebookListRole::Kind).toInt(), item->data(NotebookListRole::Count).toInt());
    }
    QCOMPARE(counts.value(NotebookRowKind::AllNotes), 3);
    if (otherNotebook)
        QCOMPARE(counts.value(NotebookRowKind::Notebook), 2);
}

void tst_MainWindow::noteContextMenu_data()
{
    QTest::addColumn<QString>("choice"); // entry text, "Move to Notebook/<name>" for the sub-menu
    QTest::addColumn<QString>("notebookAfter");
    QTest::addColumn<bool>("trashed");

    QTest::newRow("move to another notebook") << "Move to Notebook/Work" << "Work" << false;
    QTest::newRow("current notebook is a no-op") << "Move to Notebook/Home" << "Home" << false;
    QTest::newRow("trash asks first") << "Move to Trash" << "Home" << true;
}

void tst_MainWindow::noteContextMenu()
{
    QFETCH(QString, choice);
    QFETCH(QString, notebookAfter);
    QFETCH(bool, trashed);

    QHash<QString, QString> notebookIds;
    for (const QString& name : {QStringLiteral("Home"), QStringLiteral("Work")}) {
        Notebook notebook;
        notebook.id = newId();
        notebook.name = name;
        notebook.createdAt = notebook.updatedAt = kNow;
        QVERIFY(m_state->notebooks()->insert(notebook));
        notebookIds.insert(name, notebook.id);
    }
    const Note note = addNote(QStringLiteral("Groceries"), 5, notebookIds.value(QStringLiteral("Home")));
    MainWindow window(m_state.get());
    window.show();

    Interaction::Script script;
    script.answer(QMessageBox::Yes);
    QStringList seen;
    QTimer::singleShot(0, &window, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        for (QAction* action : menu->actions())
            seen << action->text();
        QStringList path = choice.split(QLatin1Char('/'));
        QAction* target = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->text() == path.first())
                target = action;
        }
        QVERIFY(target);
        if (path.size() == 2) {
            for (QAction* entry : target->menu()->actions()) {
                if (entry->text() == path.last()) {
                    QCOMPARE(entry->isChecked(), path.last() == QLatin1String("Home"));
                    target = entry;
                }
            }
        }
        target->trigger();
        menu->close();
    });
    const QRect row = window.noteList()->visualRect(window.noteList()->model()->index(0, 0));
    emit window.noteList()->noteContextMenuRequested(note.id, window.noteList()->viewport()->mapToGlobal(row.center()));

    // No sharing without an account: open, move and trash only.
    QCOMPARE(seen, (QStringList{"Open in New Window", "Move to Notebook", QString(), "Move to Trash"}));
    const Note after = *m_state->notes()->noteById(note.id);
    QCOMPARE(after.notebookId, notebookIds.value(notebookAfter));
    QCOMPARE(after.isTrashed(), trashed);
    QCOMPARE(script.requests().size(), trashed ? 1 : 0);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_MainWindow.moc"
