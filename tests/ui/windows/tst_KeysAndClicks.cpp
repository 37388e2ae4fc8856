#include "Interaction.h"
#include "MainWindow.h"
#include "NoteEditor.h"
#include "NoteWindow.h"
#include "NotebookListWidget.h"
#include "SearchScreen.h"
#include "TodosScreen.h"
#include "TrashScreen.h"
#include "UiTestLibrary.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QtTest>

namespace {

// Records the addresses handed to the desktop instead of opening them.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

} // namespace

class tst_KeysAndClicks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { UiTestLibrary::useTestSettings("tst_KeysAndClicks"); }
    void init()
    {
        QVERIFY(m_library.open());
        NoteWindow::install(m_state.get());
    }
    void cleanup()
    {
        m_state->closeAllNoteWindows();
        m_library.close();
    }

    void keysActOnWhatHasFocus_data();
    void keysActOnWhatHasFocus();
    void everyShortcutIsUnique();
    void screenClickOpensNoteInMainWindow();
    void screensFollowChanges();
    void ctrlClickOnLinks_data();
    void ctrlClickOnLinks();

private:
    Note addNote(const QString& text, int minutesAgo) { return m_library.addNote(text, minutesAgo); }

    UiTestLibrary m_library;
    std::unique_ptr<AppState>& m_state = m_library.state;
};

void tst_KeysAndClicks::keysActOnWhatHasFocus_data()
{
    QTest::addColumn<bool>("inNoteWindow");
    QTest::addColumn<QString>("focus"); // in the main window: "search", "editor" or "list"
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<int>("answer"); // NoButton: nothing asked
    QTest::addColumn<bool>("trashed");
    QTest::addColumn<QString>("text"); // what the focused field, or a note that left the screen, reads afterwards

    const QKeySequence ctrlBackspace(QStringLiteral("Ctrl+Backspace"));
    const QKeySequence ctrlD(QStringLiteral("Ctrl+D"));
    // Ctrl+W, where the platform closes with it, is also the editor's delete-word key.
    const QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    const QKeySequence ctrlW(QStringLiteral("Ctrl+W"));
    const QKeySequence close = closeKeys.contains(ctrlW) ? ctrlW : closeKeys.value(0);
    const int none = QMessageBox::NoButton;
    // clang-format off
    QTest::newRow("search box deletes a word") << false << "search" << ctrlBackspace << none << false << "alpha ";
    QTest::newRow("editor deletes a word") << false << "editor" << ctrlBackspace << none << false << "Memo ";
    QTest::newRow("note list trashes, typing kept") << false << "list" << ctrlBackspace << none << true << "Memo text";
    QTest::newRow("note window closes, typing kept") << true << "editor" << close << none << false << "Memo text";
    QTest::newRow("note window trashes, yes") << true << "editor" << ctrlD << int(QMessageBox::Yes) << true << "Memo text";
    // clang-format on
}

void tst_KeysAndClicks::keysActOnWhatHasFocus()
{
    QFETCH(bool, inNoteWindow);
    QFETCH(QString, focus);
    QFETCH(QKeySequence, key);
    QFETCH(int, answer);
    QFETCH(bool, trashed);
    QFETCH(QString, text);
    // The main window's selected note is another one when a note window has the keys.
    const Note memo = addNote(QStringLiteral("Memo"), 1);
    const Note other = addNote(QStringLiteral("Other"), 2);
    m_state->setCurrentNote(inNoteWindow ? other.id : memo.id);
    MainWindow main(m_state.get());
    activate(&main);
    auto* noteWindow = inNoteWindow ? qobject_cast<NoteWindow*>(m_state->openNoteWindow(memo.id)) : nullptr;
    if (noteWindow)
        activate(noteWindow);
    NoteEditor* editor = noteWindow ? noteWindow->editor() : main.editor();
    editor->setFocus();
    editor->moveCursor(QTextCursor::EndOfBlock);
    QTest::keyClicks(editor, QStringLiteral(" text")); // not saved yet
    if (focus == QLatin1String("search"))
        QTest::keyClicks(main.searchEdit(), QStringLiteral("alpha beta"));
    QWidget* target = focus == QLatin1String("search") ? static_cast<QWidget*>(main.searchEdit())
                      : focus == QLatin1String("list") ? static_cast<QWidget*>(main.noteList())
                                                       : static_cast<QWidget*>(editor);
    target->setFocus();

    Interaction::Script script;
    if (answer != QMessageBox::NoButton)
        script.answer(QMessageBox::StandardButton(answer));
    QTest::keySequence(target, key);

    QCOMPARE(script.requests().size(), answer != QMessageBox::NoButton ? 1 : 0);
    const bool closed = inNoteWindow && !m_state->noteWindow(memo.id);
    QCOMPARE(closed, inNoteWindow && (trashed || QKeySequence::keyBindings(QKeySequence::Close).contains(key)));
    const Note stored = *m_state->notes()->noteById(memo.id);
    QCOMPARE(stored.isTrashed(), trashed);
    QVERIFY(!m_state->notes()->noteById(other.id)->isTrashed());
    // Nothing typed is lost.
    if (trashed || closed)
        QCOMPARE(stored.title(), text);
    else
        QCOMPARE(focus == QLatin1String("search") ? main.searchEdit()->text() : editor->toPlainText(), text);
}

// Two actions on one key in reach of a window make Qt fire neither ("Ambiguous shortcut overload").
void tst_KeysAndClicks::everyShortcutIsUnique()
{
    const Note memo = addNote(QStringLiteral("Memo"), 1);
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

void tst_KeysAndClicks::screenClickOpensNoteInMainWindow()
{
    const Note open = addNote(QStringLiteral("Alpha plans"), 1);
    const Note wanted = addNote(QStringLiteral("Beta plans"), 2);
    m_state->setCurrentNote(open.id);
    MainWindow window(m_state.get());
    window.show();
    window.showSearchScreen();
    QTest::keyClicks(window.searchScreen()->searchEdit(), QStringLiteral("plans"));
    NoteListWidget* list = window.searchScreen()->noteList();
    QTRY_COMPARE(list->count(), 2);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(list->rowOfNote(wanted.id), 0)).center());
    QCOMPARE(window.editor()->noteId(), wanted.id);
    QCOMPARE(m_state->currentNoteId(), wanted.id);
}

void tst_KeysAndClicks::screensFollowChanges()
{
    const Note tasks =
        addNote(QStringLiteral(R"([{"insert":"Buy milk"},{"attributes":{"list":"unchecked"},"insert":"\n"}])"), 1);
    const Note other = addNote(QStringLiteral("Other"), 2);
    MainWindow window(m_state.get());
    window.show();
    clickRow(window.notebookList(), sidebarRow(window.notebookList(), NotebookListRole::Kind, NotebookRowKind::Trash));
    QVERIFY(window.trashScreen() && window.trashScreen()->isVisible());
    window.showTodosScreen();
    QCOMPARE(window.trashScreen()->noteList()->count(), 0);
    QCOMPARE(window.todosScreen()->todoList()->count(), 1);

    QVERIFY(m_state->notes()->moveToTrash(other.id));
    QTRY_COMPARE(window.trashScreen()->noteList()->count(), 1);
    QVERIFY(m_state->notes()->setIncludeInTodos(tasks.id, false));
    QTRY_COMPARE(window.todosScreen()->todoList()->count(), 0);

    // Empty Trash deletes what it shows, not a note trashed elsewhere that it has yet to show.
    window.showTrashScreen();
    QVERIFY(m_state->notes()->moveToTrash(tasks.id));
    Interaction::Script script;
    script.answer(QMessageBox::Yes);
    QTest::mouseClick(window.trashScreen()->findChild<QPushButton*>(QStringLiteral("emptyTrashButton")),
                      Qt::LeftButton);
    QCOMPARE(script.requests().size(), 1);
    QVERIFY(!m_state->notes()->noteById(other.id));
    QVERIFY(m_state->notes()->noteById(tasks.id)->isTrashed());
}

void tst_KeysAndClicks::ctrlClickOnLinks_data()
{
    QTest::addColumn<QString>("url"); // %1: the id of another note
    QTest::addColumn<int>("answer");  // NoButton: nothing asked
    QTest::addColumn<bool>("opened");
    // clang-format off
    QTest::newRow("https") << "https://example.org/a?b=c" << int(QMessageBox::NoButton) << true;
    QTest::newRow("file, declined") << "file:///etc/passwd" << int(QMessageBox::No) << false;
    QTest::newRow("smb, accepted") << "smb://server/share/setup.exe" << int(QMessageBox::Yes) << true;
    QTest::newRow("another note") << "norvane-notes://note/%1" << int(QMessageBox::NoButton) << false;
    // clang-format on
}

void tst_KeysAndClicks::ctrlClickOnLinks()
{
    QFETCH(QString, url);
    QFETCH(int, answer);
    QFETCH(bool, opened);
    const Note target = addNote(QStringLiteral("Target"), 2);
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
    QCOMPARE(recorder.urls.size(), opened ? 1 : 0);
    QCOMPARE(window.editor()->noteId(), url.startsWith(QLatin1String("norvane-notes:")) ? target.id : note.id);
}

QTEST_MAIN(tst_KeysAndClicks)
#include "tst_KeysAndClicks.moc"
