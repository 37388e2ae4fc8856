#include "../../Fixtures.h"
#include "AppState.h"
#include "FindBar.h"
#include "ImportDialog.h"
#include "Interaction.h"
#include "MainWindow.h"
#include "NoteEditor.h"
#include "NoteListDelegate.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NoteWindow.h"
#include "NotebookListWidget.h"
#include "NotebookRepository.h"
#include "Records.h"
#include "SearchScreen.h"
#include "SharedScreen.h"
#include "TodosScreen.h"
#include "TrashScreen.h"
#include "UiTestLibrary.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QtTest>

namespace {

const QDateTime kNow(QDate(2026, 6, 17), QTime(10, 30), Qt::UTC);

QString body(const QString& text)
{
    return QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
}

void activate(QWidget* window)
{
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
}

void clickRow(QListWidget* list, QListWidgetItem* item)
{
    QVERIFY(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

// Records the addresses handed to the desktop instead of opening them.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// Remembers whether the progress bar was painted while the import was under way.
class ProgressWatcher : public QObject
{
public:
    bool paintedMidway = false;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const auto* bar = static_cast<QProgressBar*>(watched);
            paintedMidway = paintedMidway || (bar->maximum() > 0 && bar->value() < bar->maximum());
        }
        return false;
    }
};

} // namespace

class tst_KeysAndClicks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void ctrlBackspace_data();
    void ctrlBackspace();
    void everyShortcutIsUnique();
    void tooltipsNameExistingShortcuts();
    void screenClickOpensNoteInMainWindow_data();
    void screenClickOpensNoteInMainWindow();
    void returnInNoteListFocusesEditor();
    void sidebarTrashRowOpensTrashScreen();
    void newNotebookAsksForAName();
    void screensFollowChanges();
    void emptyTrashDeletesWhatItShows();
    void importShowsProgressAndRunsAgain();
    void importSummaryStaysReadable_data();
    void importSummaryStaysReadable();
    void findCountReadsAsEnglish_data();
    void findCountReadsAsEnglish();
    void noPendingMarkWhileSignedOut();
    void firstStartFitsTheScreen();
    void ctrlClickOnLinks_data();
    void ctrlClickOnLinks();
    void searchFindsWhatWasTyped();

private:
    Note addNote(const QString& bodyJson, int minutesAgo, SyncStatus status = SyncStatus::Synced, bool shared = false);

    UiTestLibrary m_library;
    std::unique_ptr<AppState>& m_state = m_library.state;
};

void tst_KeysAndClicks::initTestCase()
{
    UiTestLibrary::useTestSettings("tst_KeysAndClicks");
}

void tst_KeysAndClicks::init()
{
    QVERIFY(m_library.open(kNow));
    NoteWindow::install(m_state.get());
}

void tst_KeysAndClicks::cleanup()
{
    m_state->closeAllNoteWindows();
    m_library.close();
}

Note tst_KeysAndClicks::addNote(const QString& bodyJson, int minutesAgo, SyncStatus status, bool shared)
{
    Note note;
    note.id = newId();
    note.body = bodyJson;
    note.createdAt = kNow.addSecs(-60 * minutesAgo);
    note.updatedAt = note.createdAt;
    note.modifiedAt = note.createdAt;
    note.syncStatus = status;
    note.isShared = shared;
    if (!m_state->notes()->insert(note))
        qFatal("inserting a test note failed");
    return note;
}

void tst_KeysAndClicks::ctrlBackspace_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("trashed");
    QTest::newRow("search box deletes a word") << "search" << false;
    QTest::newRow("editor deletes a word") << "editor" << false;
    QTest::newRow("note list trashes, typing kept") << "list" << true;
}

void tst_KeysAndClicks::ctrlBackspace()
{
    QFETCH(QString, focus);
    QFETCH(bool, trashed);
    const Note memo = addNote(body(QStringLiteral("Memo")), 1);
    const Note other = addNote(body(QStringLiteral("Other")), 2);
    m_state->setCurrentNote(memo.id);
    MainWindow window(m_state.get());
    activate(&window);
    window.editor()->setFocus();
    window.editor()->moveCursor(QTextCursor::EndOfBlock);
    QTest::keyClicks(window.editor(), QStringLiteral(" draft")); // not saved yet
    if (focus == QLatin1String("search"))
        QTest::keyClicks(window.searchEdit(), QStringLiteral("alpha beta"));

    QWidget* target = focus == QLatin1String("search")   ? static_cast<QWidget*>(window.searchEdit())
                      : focus == QLatin1String("editor") ? static_cast<QWidget*>(window.editor())
                                                         : static_cast<QWidget*>(window.noteList());
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Backspace, Qt::ControlModifier);

    const std::optional<Note> stored = m_state->notes()->noteById(memo.id);
    QCOMPARE(stored->isTrashed(), trashed);
    QVERIFY(!m_state->notes()->noteById(other.id)->isTrashed());
    if (trashed)
        QCOMPARE(stored->title(), QStringLiteral("Memo draft"));
    else if (focus == QLatin1String("search"))
        QCOMPARE(window.searchEdit()->text(), QStringLiteral("alpha "));
    else
        QCOMPARE(window.editor()->toPlainText(), QStringLiteral("Memo "));
}

// Two actions on one key in reach of a window make Qt fire neither ("Ambiguous shortcut overload").
void tst_KeysAndClicks::everyShortcutIsUnique()
{
    const Note memo = addNote(body(QStringLiteral("Memo")), 1);
    MainWindow main(m_state.get());
    main.show();
    QWidget* noteWindow = m_state->openNoteWindow(memo.id);
    const QList<QWidget*> windows{&main, noteWindow};
    for (QWidget* window : windows) {
        QHash<QString, QStringList> owners;
        auto take = [&](const QString& owner, Qt::ShortcutContext context, const QList<QKeySequence>& keys, bool own) {
            // Widget-scoped keys never compete with the window's; other windows reach in application-wide.
            if (context == Qt::WidgetShortcut || context == Qt::WidgetWithChildrenShortcut ||
                (!own && context != Qt::ApplicationShortcut))
                return;
            for (const QKeySequence& key : keys)
                owners[key.toString(QKeySequence::PortableText)] << owner;
        };
        for (QWidget* source : windows) {
            for (const QAction* action : source->findChildren<QAction*>())
                take(action->text(), action->shortcutContext(), action->shortcuts(), source == window);
            for (const QShortcut* shortcut : source->findChildren<QShortcut*>())
                take(shortcut->objectName(), shortcut->context(), shortcut->keys(), source == window);
        }
        for (auto it = owners.cbegin(); it != owners.cend(); ++it) {
            QVERIFY2(it->size() == 1,
                     qPrintable(
                         QStringLiteral("%1: %2 is bound to %3").arg(window->objectName(), it.key(), it->join(", "))));
        }
    }
}

void tst_KeysAndClicks::tooltipsNameExistingShortcuts()
{
    const Note memo = addNote(body(QStringLiteral("Memo")), 1);
    m_state->setCurrentNote(memo.id);
    MainWindow main(m_state.get());
    main.show();
    QWidget* noteWindow = m_state->openNoteWindow(memo.id);
    static const QRegularExpression named(QStringLiteral("\\(([^()]+)\\)$"));
    for (QWidget* window : {static_cast<QWidget*>(&main), noteWindow}) {
        auto* editor = window->findChild<NoteEditor*>(QStringLiteral("noteEditor"));
        QVERIFY(editor && !editor->isReadOnly());
        QStringList tips;
        for (const QAction* action : window->findChildren<QAction*>())
            tips << action->toolTip();
        for (const QWidget* widget : window->findChildren<QWidget*>()) {
            if (widget->isVisibleTo(window))
                tips << widget->toolTip();
        }
        for (const QString& tip : std::as_const(tips)) {
            const QKeySequence key(named.match(tip).captured(1), QKeySequence::PortableText);
            if (key.isEmpty())
                continue;
            // The key works when the editor takes it or an action of the window has it.
            QKeyEvent override(QEvent::ShortcutOverride, key[0].key(), key[0].keyboardModifiers());
            override.ignore();
            QCoreApplication::sendEvent(editor, &override);
            bool exists = override.isAccepted();
            for (const QAction* action : window->findChildren<QAction*>())
                exists = exists || action->shortcuts().contains(key);
            QVERIFY2(exists, qPrintable(window->objectName() + QStringLiteral(": ") + tip));
        }
    }
}

void tst_KeysAndClicks::screenClickOpensNoteInMainWindow_data()
{
    QTest::addColumn<QString>("screen");
    QTest::newRow("search") << "search";
    QTest::newRow("shared by me") << "shared";
}

void tst_KeysAndClicks::screenClickOpensNoteInMainWindow()
{
    QFETCH(QString, screen);
    const Note open = addNote(body(QStringLiteral("Alpha plans")), 1);
    const Note wanted = addNote(body(QStringLiteral("Beta plans")), 2, SyncStatus::Synced, true);
    m_state->setCurrentNote(open.id);
    MainWindow window(m_state.get());
    window.show();
    NoteListWidget* list = nullptr;
    if (screen == QLatin1String("search")) {
        window.showSearchScreen();
        QTest::keyClicks(window.searchScreen()->searchEdit(), QStringLiteral("plans"));
        list = window.searchScreen()->noteList();
        QTRY_COMPARE(list->count(), 2);
    } else {
        window.showSharedScreen(true);
        list = window.sharedScreen(true)->noteList();
    }
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(list->rowOfNote(wanted.id), 0)).center());
    QCOMPARE(window.editor()->noteId(), wanted.id);
    QCOMPARE(m_state->currentNoteId(), wanted.id);
}

void tst_KeysAndClicks::returnInNoteListFocusesEditor()
{
    addNote(body(QStringLiteral("First")), 1);
    const Note second = addNote(body(QStringLiteral("Second")), 2);
    MainWindow window(m_state.get());
    activate(&window);
    window.noteList()->setFocus();
    window.noteList()->selectNote(second.id);
    QTest::keyClick(window.noteList(), Qt::Key_Return);
    QCOMPARE(window.editor()->noteId(), second.id);
    QTRY_VERIFY(window.editor()->hasFocus());
}

void tst_KeysAndClicks::sidebarTrashRowOpensTrashScreen()
{
    MainWindow window(m_state.get());
    window.show();
    NotebookListWidget* sidebar = window.notebookList();
    QListWidgetItem* trashRow = nullptr;
    for (int row = 0; row < sidebar->count(); ++row) {
        if (sidebar->item(row)->data(NotebookListRole::Kind).toInt() == NotebookRowKind::Trash)
            trashRow = sidebar->item(row);
    }
    clickRow(sidebar, trashRow);
    QVERIFY(window.trashScreen() && window.trashScreen()->isVisible());
}

void tst_KeysAndClicks::newNotebookAsksForAName()
{
    MainWindow window(m_state.get());
    window.show();
    NotebookListWidget* sidebar = window.notebookList();
    QString dialogName;
    bool blankAccepted = true;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialogName = dialog->objectName();
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("notebookNameEdit"));
        if (!edit) {
            dialog->reject();
            return;
        }
        QTest::keyClicks(edit, QStringLiteral("   "));
        QTest::keyClick(edit, Qt::Key_Return);
        blankAccepted = !dialog->isVisible();
        QTest::keyClicks(edit, QStringLiteral("Work"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    clickRow(sidebar, sidebar->item(sidebar->count() - 1)); // "New Notebook…"
    QCOMPARE(dialogName, QStringLiteral("notebookDialog"));
    QVERIFY(!blankAccepted);
    const QList<Notebook> notebooks = m_state->notebooks()->allNotebooks();
    QCOMPARE(notebooks.size(), 1);
    QCOMPARE(notebooks.first().name, QStringLiteral("Work"));
}

void tst_KeysAndClicks::screensFollowChanges()
{
    const Note tasks =
        addNote(QStringLiteral(R"([{"insert":"Buy milk"},{"attributes":{"list":"unchecked"},"insert":"\n"}])"), 1);
    const Note other = addNote(body(QStringLiteral("Other")), 2);
    MainWindow window(m_state.get());
    window.show();
    window.showTrashScreen();
    window.showTodosScreen();
    QCOMPARE(window.trashScreen()->noteList()->count(), 0);
    QCOMPARE(window.todosScreen()->todoList()->count(), 1);

    QVERIFY(m_state->notes()->moveToTrash(other.id));
    QTRY_COMPARE(window.trashScreen()->noteList()->count(), 1);
    QVERIFY(m_state->notes()->setIncludeInTodos(tasks.id, false));
    QTRY_COMPARE(window.todosScreen()->todoList()->count(), 0);
}

void tst_KeysAndClicks::emptyTrashDeletesWhatItShows()
{
    const Note shown = addNote(body(QStringLiteral("Shown")), 1);
    const Note late = addNote(body(QStringLiteral("Late")), 2);
    QVERIFY(m_state->notes()->moveToTrash(shown.id));
    MainWindow window(m_state.get());
    window.show();
    window.showTrashScreen();
    TrashScreen* trash = window.trashScreen();
    QCOMPARE(trash->noteList()->count(), 1);
    QVERIFY(m_state->notes()->moveToTrash(late.id)); // from elsewhere, not yet on screen

    Interaction::Script script;
    script.answer(QMessageBox::Yes);
    QTest::mouseClick(trash->findChild<QPushButton*>(QStringLiteral("emptyTrashButton")), Qt::LeftButton);
    QCOMPARE(script.requests().size(), 1);
    QCOMPARE(script.requests()[0].text,
             QStringLiteral("Permanently delete all 1 note in trash? This cannot be undone."));
    QVERIFY(!m_state->notes()->noteById(shown.id));
    QVERIFY(m_state->notes()->noteById(late.id)->isTrashed());
}

void tst_KeysAndClicks::importShowsProgressAndRunsAgain()
{
    NORV_REQUIRE_FIXTURES();
    const QString path = realWorldFixtures(QStringLiteral("jex/jimmy_flexicharger-webclip.jex"));
    const int notesBefore = m_state->notes()->allNotes().size();
    ImportDialog wizard(m_state.get());
    wizard.setAttribute(Qt::WA_DeleteOnClose, false);
    wizard.show();
    ProgressWatcher watcher;
    wizard.findChild<QProgressBar*>(QStringLiteral("importProgressBar"))->installEventFilter(&watcher);
    wizard.next();
    for (int run = 1; run <= 2; ++run) {
        QCOMPARE(wizard.currentId(), int(ImportDialog::FilePage));
        {
            Interaction::Script script;
            script.answerText(path);
            QTest::mouseClick(wizard.findChild<QPushButton*>(QStringLiteral("importBrowseButton")), Qt::LeftButton);
        }
        wizard.next();
        QTRY_COMPARE(wizard.currentId(), int(ImportDialog::CompletePage));
        // The second run finds the same archive already imported and skips its note.
        QCOMPARE(m_state->notes()->allNotes().size(), notesBefore + 1);
        QCOMPARE(wizard.findChild<QLabel*>(QStringLiteral("importSummaryLabel"))->text().contains(
                     QStringLiteral("Skipped: 1")),
                 run == 2);
        QVERIFY(watcher.paintedMidway);
        watcher.paintedMidway = false;
        // Back passes the finished import by, to the file page.
        QTest::mouseClick(wizard.button(QWizard::BackButton), Qt::LeftButton);
        QTRY_COMPARE(wizard.currentId(), int(ImportDialog::FilePage));
    }
}

void tst_KeysAndClicks::importSummaryStaysReadable_data()
{
    QTest::addColumn<int>("messages");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("last");
    QTest::newRow("all shown") << 3 << 5 << "problem 3";
    QTest::newRow("as many as fit") << ImportDialog::kSummaryMessages << ImportDialog::kSummaryMessages + 2
                                    << QStringLiteral("problem %1").arg(ImportDialog::kSummaryMessages);
    QTest::newRow("one more") << ImportDialog::kSummaryMessages + 1 << ImportDialog::kSummaryMessages + 3
                              << "…and 1 more.";
    QTest::newRow("thousands") << 5000 << ImportDialog::kSummaryMessages + 3
                               << QStringLiteral("…and %1 more.").arg(5000 - ImportDialog::kSummaryMessages);
}

void tst_KeysAndClicks::importSummaryStaysReadable()
{
    QFETCH(int, messages);
    QFETCH(int, lines);
    QFETCH(QString, last);
    ImportResult result;
    result.imported = 2;
    result.errors = messages;
    for (int i = 1; i <= messages; ++i)
        result.messages << QStringLiteral("problem %1").arg(i);
    const QStringList summary = ImportDialog::summaryFor(result).split(QLatin1Char('\n'));
    QCOMPARE(summary.size(), lines);
    QCOMPARE(summary.value(0), QStringLiteral("Imported: 2 notes"));
    QCOMPARE(summary.last(), last);
}

void tst_KeysAndClicks::findCountReadsAsEnglish_data()
{
    QTest::addColumn<QString>("term");
    QTest::addColumn<QString>("count");
    QTest::newRow("one") << "ban"
                         << "1 match";
    QTest::newRow("two") << "an"
                         << "2 matches";
}

void tst_KeysAndClicks::findCountReadsAsEnglish()
{
    QFETCH(QString, term);
    QFETCH(QString, count);
    const Note note = addNote(body(QStringLiteral("banana")), 1);
    m_state->setCurrentNote(note.id);
    MainWindow window(m_state.get());
    activate(&window);
    window.editor()->setFocus();
    QTest::keyClick(window.editor(), Qt::Key_F, Qt::ControlModifier);
    auto* find = window.findChild<FindBar*>(QStringLiteral("findBar"));
    QVERIFY(find->isVisible());
    QTest::keyClicks(find->field(), term);
    QTRY_COMPARE(find->countText(), count);
}

void tst_KeysAndClicks::noPendingMarkWhileSignedOut()
{
    addNote(body(QStringLiteral("Local edit")), 1, SyncStatus::Pending);
    MainWindow window(m_state.get());
    window.show();
    QCOMPARE(window.noteList()->count(), 1);
    QCOMPARE(NoteListDelegate::marks(window.noteList()->model()->index(0, 0)).size(), 0);
    window.showSearchScreen();
    QTest::keyClicks(window.searchScreen()->searchEdit(), QStringLiteral("local"));
    QTRY_COMPARE(window.searchScreen()->noteList()->count(), 1);
    QCOMPARE(NoteListDelegate::marks(window.searchScreen()->noteList()->model()->index(0, 0)).size(), 0);
}

void tst_KeysAndClicks::firstStartFitsTheScreen()
{
    MainWindow window(m_state.get());
    const QSize available = window.screen()->availableGeometry().size();
    QCOMPARE(window.size(), QSize(1280, 1024).boundedTo(available));
}

void tst_KeysAndClicks::ctrlClickOnLinks_data()
{
    QTest::addColumn<QString>("url"); // %1: the id of another note
    QTest::addColumn<int>("answer");  // NoButton: nothing asked
    QTest::addColumn<bool>("opened");
    QTest::newRow("https") << "https://example.org/a?b=c" << int(QMessageBox::NoButton) << true;
    QTest::newRow("mailto") << "mailto:someone@example.org" << int(QMessageBox::NoButton) << true;
    QTest::newRow("file, declined") << "file:///etc/passwd" << int(QMessageBox::No) << false;
    QTest::newRow("smb, accepted") << "smb://server/share/setup.exe" << int(QMessageBox::Yes) << true;
    QTest::newRow("javascript, declined") << "javascript:alert(1)" << int(QMessageBox::No) << false;
    QTest::newRow("made-up scheme, accepted") << "web+thing:payload" << int(QMessageBox::Yes) << true;
    QTest::newRow("another note") << "norvane-notes://note/%1" << int(QMessageBox::NoButton) << false;
}

void tst_KeysAndClicks::ctrlClickOnLinks()
{
    QFETCH(QString, url);
    QFETCH(int, answer);
    QFETCH(bool, opened);
    const Note target = addNote(body(QStringLiteral("Target")), 2);
    if (url.contains(QLatin1String("%1")))
        url = url.arg(target.id);
    const QString linked = QStringLiteral(R"([{"attributes":{"link":"%1"},"insert":"Link here"},{"insert":"\n"}])")
                               .arg(QString(url).replace(QLatin1Char('"'), QLatin1String("\\\"")));
    const Note note = addNote(linked, 1);
    m_state->setCurrentNote(note.id);
    MainWindow window(m_state.get());
    activate(&window);

    UrlRecorder recorder;
    const QString scheme = QUrl(url).scheme();
    QDesktopServices::setUrlHandler(scheme, &recorder, "open");
    Interaction::Script script;
    if (answer != QMessageBox::NoButton)
        script.answer(QMessageBox::StandardButton(answer));
    QTextCursor onLink(window.editor()->document());
    onLink.setPosition(3);
    QTest::mouseClick(window.editor()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      window.editor()->cursorRect(onLink).center());
    QDesktopServices::unsetUrlHandler(scheme);

    QCOMPARE(script.requests().size(), answer != QMessageBox::NoButton ? 1 : 0);
    if (answer != QMessageBox::NoButton)
        QVERIFY(script.requests()[0].text.contains(url));
    QCOMPARE(recorder.urls.size(), opened ? 1 : 0);
    QCOMPARE(window.editor()->noteId(), url.startsWith(QLatin1String("norvane-notes:")) ? target.id : note.id);
}

void tst_KeysAndClicks::searchFindsWhatWasTyped()
{
    addNote(body(QStringLiteral("My e-ink tablet")), 1);
    addNote(body(QStringLiteral("Shopping")), 2);
    MainWindow window(m_state.get());
    window.show();
    QTest::keyClicks(window.searchEdit(), QStringLiteral("e-ink"));
    QTRY_COMPARE(window.noteList()->count(), 1);
    QCOMPARE(window.noteList()->model()->index(0, 0).data(NoteListRole::Title).toString(), QStringLiteral("My e-ink tablet"));

    window.searchEdit()->clear();
    QTest::keyClicks(window.searchEdit(), QStringLiteral("e-paper"));
    QTRY_COMPARE(window.noteList()->count(), 0);
    QCOMPARE(window.noteList()->emptyText(), QStringLiteral("No notes match"));
}

QTEST_MAIN(tst_KeysAndClicks)
#include "tst_KeysAndClicks.moc"
