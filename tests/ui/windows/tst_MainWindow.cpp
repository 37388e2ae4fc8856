#include "Interaction.h"
#include "MainWindow.h"
#include "NoteEditor.h"
#include "NoteWindow.h"
#include "NotebookListWidget.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "UiTestLibrary.h"

#include <QLineEdit>
#include <QMenu>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtTest>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { UiTestLibrary::useTestSettings("tst_MainWindow"); }
    void init() { QVERIFY(m_library.open()); }
    void cleanup() { m_library.close(); }

    void trashSelectsNextRow_data();
    void trashSelectsNextRow();
    void searchWaitsForTypingAndRanks();
    void deletingNotebookMovesNotesToAllNotes_data();
    void deletingNotebookMovesNotesToAllNotes();
    void windowsComeBackAsLeft();
    void listFollowsChanges_data();
    void listFollowsChanges();
    void noteContextMenu();
    void backupThenLocalRestore();

private:
    UiTestLibrary m_library;
    std::unique_ptr<AppState>& m_state = m_library.state;
};

void tst_MainWindow::trashSelectsNextRow_data()
{
    QTest::addColumn<QStringList>("notes"); // oldest first
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("answer"); // NoButton: not asked
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<QString>("opened");

    const QStringList three{"Oldest", "Middle", "Newest"};
    const int none = int(QMessageBox::NoButton);
    // clang-format off
    QTest::newRow("middle") << three << 1 << none << QStringList{"Newest", "Oldest"} << "Oldest";
    QTest::newRow("bottom") << three << 2 << none << QStringList{"Newest", "Middle"} << "Middle";
    QTest::newRow("declined") << three << 1 << int(QMessageBox::No) << QStringList{"Newest", "Middle", "Oldest"} << "Middle";
    QTest::newRow("the last note") << QStringList{"Only"} << 0 << none << QStringList() << QString();
    // clang-format on
}

void tst_MainWindow::trashSelectsNextRow()
{
    QFETCH(QStringList, notes);
    QFETCH(int, row);
    QFETCH(int, answer);
    QFETCH(QStringList, remaining);
    QFETCH(QString, opened);

    for (int i = 0; i < notes.size(); ++i)
        m_library.addNote(notes[i], 30 - 10 * i);
    MainWindow window(m_state.get());
    window.show();
    window.noteList()->setCurrentRow(row);
    Interaction::Script script;
    const bool confirm = answer != QMessageBox::NoButton;
    if (confirm)
        script.answer(QMessageBox::StandardButton(answer));
    window.moveCurrentNoteToTrash(confirm);

    QCOMPARE(listedTitles(window.noteList()), remaining);
    const QString openId = window.editor()->noteId();
    QCOMPARE(openId.isEmpty() ? QString() : m_library.storedTitle(openId), opened);
    QCOMPARE(window.noteList()->selectedNoteId(), openId);
    QCOMPARE(m_state->currentNoteId(), openId);
    QCOMPARE(script.requests().size(), confirm ? 1 : 0);
    QCOMPARE(m_state->notes()->trashedNotes().size(), notes.size() - remaining.size());
    // With nothing left the welcome page shows, and Find in the note has nothing to search.
    QCOMPARE(window.welcomePageShown(), remaining.isEmpty());
    if (!remaining.isEmpty())
        return;
    QTest::keySequence(&window, QKeySequence::Find);
    QVERIFY(!window.findChild<QWidget*>(QStringLiteral("findBar"))->isVisible());
    // A new note needs the editor, not the welcome page.
    window.createNote();
    QVERIFY(!window.welcomePageShown());
}

// Steno mode lists the newest note last, but never turns a search's ranking around.
void tst_MainWindow::searchWaitsForTypingAndRanks()
{
    const QString garden =
        QStringLiteral("Garden plans with one mention of tomatoes and a lot of other words about soil");
    m_library.addNote(garden, 1);
    m_library.addNote(QStringLiteral("Tomatoes tomatoes tomatoes"), 30);
    m_library.addNote(QStringLiteral("My e-ink tablet"), 2);
    m_state->preferences()->setBool(PrefKey::StenoMode, true);
    MainWindow window(m_state.get());
    window.show();
    const QStringList unfiltered{"Tomatoes tomatoes tomatoes", "My e-ink tablet", garden};
    QCOMPARE(listedTitles(window.noteList()), unfiltered);

    QTest::keyClicks(window.searchEdit(), QStringLiteral("  tomatoes "));
    // Nothing is searched while the user is still typing.
    QVERIFY(window.searchTimer()->isActive());
    QCOMPARE(listedTitles(window.noteList()), unfiltered);
    QTRY_COMPARE(listedTitles(window.noteList()), (QStringList{"Tomatoes tomatoes tomatoes", garden}));
    window.searchEdit()->clear();
    QTRY_COMPARE(listedTitles(window.noteList()), unfiltered);
}

void tst_MainWindow::deletingNotebookMovesNotesToAllNotes_data()
{
    QTest::addColumn<int>("answer");
    // clang-format off
    QTest::newRow("yes") << int(QMessageBox::Yes);
    QTest::newRow("no") << int(QMessageBox::No);
    // clang-format on
}

void tst_MainWindow::deletingNotebookMovesNotesToAllNotes()
{
    QFETCH(int, answer);
    const bool deleted = answer == QMessageBox::Yes;
    const QString notebook = m_library.addNotebook(QStringLiteral("Recipes"));
    const Note soup = m_library.addNote(QStringLiteral("Soup"), 5, notebook);
    const Note bread = m_library.addNote(QStringLiteral("Bread"), 6, notebook);
    m_library.addNote(QStringLiteral("Loose"), 7);
    MainWindow window(m_state.get());
    window.show();
    m_state->setCurrentNotebook(notebook);
    window.refreshNoteList();

    Interaction::Script script;
    script.answer(QMessageBox::StandardButton(answer));
    window.deleteNotebook(notebook);
    QCOMPARE(script.requests().size(), 1);

    const QString expected = deleted ? QString() : notebook;
    QCOMPARE(m_state->notes()->noteById(soup.id)->notebookId, expected);
    QCOMPARE(m_state->notes()->noteById(bread.id)->notebookId, expected);
    QCOMPARE(m_state->notebooks()->allNotebooks().size(), deleted ? 0 : 1);
    QCOMPARE(m_state->currentNotebookId(), expected);
    QCOMPARE(listedTitles(window.noteList()),
             (deleted ? QStringList{"Soup", "Bread", "Loose"} : QStringList{"Soup", "Bread"}));
}

// Focus mode, the sidebar, note windows where they were put and the to-do window all come back on
// the next start.
void tst_MainWindow::windowsComeBackAsLeft()
{
    const Note first = m_library.addNote(QStringLiteral("First"), 5);
    const Note second = m_library.addNote(QStringLiteral("Second"), 6);
    NoteWindow::install(m_state.get());
    QSettings().setValue(QStringLiteral("mainWindow/normalSplitterSizes"), QStringLiteral("150,300,450"));
    auto window = std::make_unique<MainWindow>(m_state.get());
    window->resize(900, 700);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->setFocusMode(true);
    // The splitter drops the handles of hidden panes once it lays itself out again.
    QTRY_COMPARE(window->splitter()->sizes(), (QList<int>{0, 0, 900}));
    window->setFocusMode(false);
    QTRY_COMPARE(window->splitter()->sizes(), (QList<int>{150, 300, 450}));
    window->setSidebarVisible(false);
    window->setFocusMode(true);

    const auto open = [&](const Note& note) {
        return qobject_cast<NoteWindow*>(m_state->openNoteWindow(note.id));
    };
    NoteWindow* noteWindow = open(first);
    const QRect placed(120, 90, 700, 520);
    noteWindow->setGeometry(placed);
    QTRY_COMPARE(noteWindow->geometry(), placed);
    QVERIFY(noteWindow->close());
    QCOMPARE(open(first)->geometry(), placed);
    QVERIFY(open(second));
    window->showTodosScreen();

    window->quitApplication();
    QStringList remembered = m_state->preferences()->stringValue(PrefKey::RestoreNoteWindows).split(',');
    remembered.sort();
    QStringList expected{first.id, second.id};
    expected.sort();
    QCOMPARE(remembered, expected);
    QVERIFY(m_state->preferences()->boolValue(PrefKey::RestoreTodosWindow));
    QVERIFY(m_state->openNoteWindowIds().isEmpty());
    // Closing the windows took nothing with them: both notes had text.
    QVERIFY(m_state->notes()->noteById(first.id) && m_state->notes()->noteById(second.id));

    window.reset();
    MainWindow reopened(m_state.get());
    QVERIFY(reopened.focusMode());
    QVERIFY(!reopened.sidebarVisible());
    // Hiding into a tray that is not there would strand the window; closing then quits.
    m_state->preferences()->setBool(PrefKey::CloseToTray, true);
    QCOMPARE(reopened.closesToTray(), QSystemTrayIcon::isSystemTrayAvailable());
}

void tst_MainWindow::listFollowsChanges_data()
{
    QTest::addColumn<bool>("steno");
    QTest::addColumn<QString>("change");   // a title: that note saved again; "new": a note made here; "elsewhere"
    QTest::addColumn<int>("minutesLater"); // the saved update time, relative to now
    QTest::addColumn<QStringList>("titles");

    // clang-format off
    QTest::newRow("middle note to the top") << false << "Beta" << 1 << QStringList{"Beta 2", "Alpha", "Gamma"};
    QTest::newRow("steno: to the bottom") << true << "Beta" << 1 << QStringList{"Gamma", "Alpha", "Beta 2"};
    // A save that keeps an old update time (as a synced copy can) keeps the note in its place.
    QTest::newRow("older time keeps its place") << false << "Gamma" << -25 << QStringList{"Alpha", "Beta", "Gamma 2"};
    QTest::newRow("new note on top") << false << "new" << 0 << QStringList{"Untitled", "Alpha", "Beta", "Gamma"};
    // Stored into no notebook while the view shows one.
    QTest::newRow("elsewhere: not listed") << false << "elsewhere" << 0 << QStringList{"Alpha", "Beta", "Gamma"};
    // clang-format on
}

void tst_MainWindow::listFollowsChanges()
{
    QFETCH(bool, steno);
    QFETCH(QString, change);
    QFETCH(int, minutesLater);
    QFETCH(QStringList, titles);

    m_state->preferences()->setBool(PrefKey::StenoMode, steno);
    const QString shown = change == QLatin1String("elsewhere") ? m_library.addNotebook(QStringLiteral("Shown")) : "";
    m_state->setCurrentNotebook(shown);
    QHash<QString, Note> notes;
    for (const auto& [title, minutesAgo] : {std::pair{"Gamma", 30}, std::pair{"Beta", 20}, std::pair{"Alpha", 10}})
        notes.insert(title, m_library.addNote(title, minutesAgo, shown));
    MainWindow window(m_state.get());
    window.show();

    if (change == QLatin1String("new")) {
        window.createNote();
        QCOMPARE(window.noteList()->selectedNoteId(), window.editor()->noteId());
    } else if (change == QLatin1String("elsewhere")) {
        m_library.addNote(QStringLiteral("Elsewhere"), 1);
    } else {
        window.noteList()->selectNote(notes.value(change).id);
        Note note = notes.value(change);
        note.body = textBody(change + QStringLiteral(" 2"));
        note.updatedAt = kTestNow.addSecs(60 * minutesLater);
        note.version += 1;
        QVERIFY(m_state->notes()->update(note));
        QCOMPARE(window.noteList()->selectedNoteId(), note.id);
        QCOMPARE(window.editor()->toPlainText(), change + QStringLiteral(" 2"));
    }
    QCOMPARE(listedTitles(window.noteList()), titles);

    // The sidebar counts every note: All Notes always, its notebook when it has one.
    QHash<int, int> counts; // kind -> count of the first row of that kind
    for (int row = window.notebookList()->count() - 1; row >= 0; --row) {
        const QListWidgetItem* item = window.notebookList()->item(row);
        counts.insert(item->data(NotebookListRole::Kind).toInt(), item->data(NotebookListRole::Count).toInt());
    }
    QCOMPARE(counts.value(NotebookRowKind::AllNotes), change == QLatin1String("new") || shown.size() ? 4 : 3);
    if (!shown.isEmpty())
        QCOMPARE(counts.value(NotebookRowKind::Notebook), 3);
}

// A row's menu acts on that row's note, which need not be the open one; without an account it
// offers no sharing.
void tst_MainWindow::noteContextMenu()
{
    const QString home = m_library.addNotebook(QStringLiteral("Home"));
    const QString work = m_library.addNotebook(QStringLiteral("Work"));
    const Note note = m_library.addNote(QStringLiteral("Groceries"), 5, home);
    const Note open = m_library.addNote(QStringLiteral("Open"), 1, home);
    m_state->setCurrentNote(open.id);
    MainWindow window(m_state.get());
    window.show();

    QStringList seen;
    QTimer::singleShot(0, &window, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        for (QAction* action : menu->actions())
            seen << action->text();
        actionNamed(actionNamed(menu, QStringLiteral("Move to Notebook"))->menu(), QStringLiteral("Work"))->trigger();
        menu->close();
    });
    NoteListWidget* list = window.noteList();
    const QRect row = list->visualRect(list->model()->index(list->rowOfNote(note.id), 0));
    emit list->noteContextMenuRequested(note.id, list->viewport()->mapToGlobal(row.center()));

    QCOMPARE(seen, (QStringList{"Open in New Window", "Move to Notebook", QString(), "Move to Trash"}));
    QCOMPARE(m_state->notes()->noteById(note.id)->notebookId, work);
    QCOMPARE(m_state->notes()->noteById(open.id)->notebookId, home);
}

// The signed-out backup and restore: the archive holds the library, and a local restore brings back
// what is missing without touching what is there.
void tst_MainWindow::backupThenLocalRestore()
{
    const Note kept = m_library.addNote(QStringLiteral("Kept"), 5);
    const Note lost = m_library.addNote(QStringLiteral("Lost"), 6);
    MainWindow window(m_state.get());
    window.show();
    const QString archive = m_library.dir->filePath(QStringLiteral("library.zip"));
    Interaction::Script script;
    script.answerText(archive);
    window.backupDatabase();

    QVERIFY(m_state->notes()->purge(lost.id));
    Note edited = *m_state->notes()->noteById(kept.id);
    edited.body = textBody(QStringLiteral("Kept, edited after the backup"));
    QVERIFY(m_state->notes()->update(edited));

    script.answerText(archive);
    script.answer(QMessageBox::Yes);
    script.answer(QMessageBox::Ok);
    window.restoreDatabase();
    QCOMPARE(script.requests().size(), 4);
    QCOMPARE(script.requests().last().text, QStringLiteral("Imported: 1\nSkipped: 1\nErrors: 0"));
    QCOMPARE(m_state->notes()->noteById(lost.id)->body, lost.body);
    QCOMPARE(m_state->notes()->noteById(kept.id)->body, edited.body);
    QTRY_COMPARE(listedTitles(window.noteList()).size(), 2);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_MainWindow.moc"
