#include "AppState.h"
#include "Clock.h"
#include "Interaction.h"
#include "MainWindow.h"
#include "NoteEditor.h"
#include "NoteHeaderBar.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NoteWindow.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "Records.h"
#include "SnapshotRepository.h"
#include "UiTestLibrary.h"

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

const QDateTime kNow(QDate(2026, 6, 17), QTime(10, 30), Qt::UTC);

QString body(const QString& text)
{
    return QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
}

enum Outcome
{
    Kept,
    Trashed,
    Purged,
};

} // namespace

class tst_NoteWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void closingHandlesEmptyNotes_data();
    void closingHandlesEmptyNotes();
    void geometryRestoredOnReopen();
    void oneWindowPerNote();
    void editsReachRepositoryAndMainWindow();
    void closeAndTrashKeys_data();
    void closeAndTrashKeys();

private:
    Note addNote(const QString& text, SyncStatus status = SyncStatus::Synced, const QString& ownerId = QString(),
                 const QString& permission = QString());
    NoteWindow* open(const QString& noteId);

    UiTestLibrary m_library;
    std::unique_ptr<QTemporaryDir>& m_dir = m_library.dir;
    std::unique_ptr<Clock::Fixed>& m_clock = m_library.clock;
    std::unique_ptr<AppState>& m_state = m_library.state;
};

void tst_NoteWindow::initTestCase()
{
    UiTestLibrary::useTestSettings("tst_NoteWindow");
}

void tst_NoteWindow::init()
{
    QVERIFY(m_library.open(kNow));
    NoteWindow::install(m_state.get());
}

void tst_NoteWindow::cleanup()
{
    m_library.close();
}

Note tst_NoteWindow::addNote(const QString& text, SyncStatus status, const QString& ownerId, const QString& permission)
{
    Note note;
    note.id = newId();
    note.body = text.isNull() ? QStringLiteral(R"([{"insert":"\n"}])") : body(text);
    note.createdAt = note.updatedAt = note.modifiedAt = kNow.addDays(-1);
    note.syncStatus = status;
    note.ownerId = ownerId;
    note.permission = permission;
    if (!m_state->notes()->insert(note))
        qFatal("inserting a test note failed");
    return note;
}

NoteWindow* tst_NoteWindow::open(const QString& noteId)
{
    return qobject_cast<NoteWindow*>(m_state->openNoteWindow(noteId));
}

void tst_NoteWindow::closingHandlesEmptyNotes_data()
{
    QTest::addColumn<bool>("newInWindow");
    QTest::addColumn<QString>("text"); // null: blank body
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("permission"); // set: shared by someone else
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("emptied"); // everything deleted after the typing was saved
    QTest::addColumn<int>("outcome");

    const int synced = int(SyncStatus::Synced);
    const int pending = int(SyncStatus::Pending);
    // Only a note this window created that never held anything is removed outright.
    QTest::newRow("new note in window, untouched")
        << true << QString() << pending << QString() << QString() << false << int(Purged);
    QTest::newRow("new note in window, typed")
        << true << QString() << pending << QString() << "Idea" << false << int(Kept);
    QTest::newRow("new note in window, typed then emptied")
        << true << QString() << pending << QString() << "Idea" << true << int(Trashed);
    // Existing notes, even ones never synced (every note while signed out), go to the trash.
    QTest::newRow("synced empty note") << false << QString() << synced << QString() << QString() << false
                                       << int(Trashed);
    QTest::newRow("white space only, pending")
        << false << "   " << pending << QString() << QString() << false << int(Trashed);
    QTest::newRow("existing note emptied, pending")
        << false << "Groceries" << pending << QString() << QString() << true << int(Trashed);
    QTest::newRow("read-only shared, blank")
        << false << QString() << pending << "read" << QString() << false << int(Kept);
    QTest::newRow("editable shared, blank")
        << false << QString() << synced << "edit" << QString() << false << int(Trashed);
    QTest::newRow("note with text") << false << "Groceries" << pending << QString() << QString() << false << int(Kept);
}

void tst_NoteWindow::closingHandlesEmptyNotes()
{
    QFETCH(bool, newInWindow);
    QFETCH(QString, text);
    QFETCH(int, status);
    QFETCH(QString, permission);
    QFETCH(QString, typed);
    QFETCH(bool, emptied);
    QFETCH(int, outcome);

    QString id;
    NoteWindow* window = nullptr;
    if (newInWindow) {
        window = qobject_cast<NoteWindow*>(m_state->createNoteInWindow(&id));
    } else {
        const QString owner = permission.isEmpty() ? QString() : QStringLiteral("user-2");
        id = addNote(text, SyncStatus(status), owner, permission).id;
        window = open(id);
    }
    QVERIFY(window);
    QSignalSpy closed(window, &NoteWindow::windowClosed);
    if (!typed.isEmpty())
        QTest::keyClicks(window->editor(), typed);
    if (emptied) {
        QTRY_VERIFY(window->editor()->isSaved());
        // The history the note had goes to the trash with it.
        QVERIFY(m_state->snapshots()->insert({newId(), id, 1, window->editor()->bodyJson(), kNow}));
        window->editor()->selectAll();
        QTest::keyClick(window->editor(), Qt::Key_Delete);
    }

    QVERIFY(window->close());
    QCOMPARE(closed.size(), 1);
    QVERIFY(!m_state->noteWindow(id));

    const std::optional<Note> stored = m_state->notes()->noteById(id);
    QCOMPARE(!stored, outcome == Purged);
    if (stored) {
        QCOMPARE(stored->isTrashed(), outcome == Trashed);
        if (!typed.isEmpty() && !emptied)
            QCOMPARE(stored->title(), typed);
        if (emptied)
            QVERIFY(!m_state->snapshots()->snapshotsForNote(id).isEmpty());
    }
    // Only a window whose note stays keeps its place for the next time.
    QCOMPARE(m_state->preferences()->value(PrefKey::noteWindowGeometry(id)).has_value(), outcome == Kept);
}

void tst_NoteWindow::geometryRestoredOnReopen()
{
    const Note note = addNote(QStringLiteral("Trip"));
    NoteWindow* window = open(note.id);
    QCOMPARE(window->size(), QSize(960, 760));
    const QRect placed(120, 90, 700, 520);
    window->setGeometry(placed);
    QTRY_COMPARE(window->geometry(), placed);
    QVERIFY(window->close());

    window = open(note.id);
    QCOMPARE(window->geometry(), placed);
    QVERIFY(window->close());
}

void tst_NoteWindow::oneWindowPerNote()
{
    const Note note = addNote(QStringLiteral("Packing list"));
    const Note blank = addNote(QString());
    QWidget* first = m_state->openNoteWindow(note.id);
    QVERIFY(first);
    QCOMPARE(m_state->openNoteWindow(note.id), first);
    QCOMPARE(m_state->openNoteWindowIds(), QStringList{note.id});
    QCOMPARE(first->windowTitle(), QStringLiteral("Packing list — Norvane Notes"));

    QCOMPARE(m_state->openNoteWindow(blank.id)->windowTitle(), QStringLiteral("Untitled — Norvane Notes"));
    QCOMPARE(m_state->openNoteWindowIds().size(), 2);
}

void tst_NoteWindow::editsReachRepositoryAndMainWindow()
{
    const Note note = addNote(QStringLiteral("Draft"));
    m_state->setCurrentNote(note.id);
    MainWindow main(m_state.get());
    main.show();
    QCOMPARE(main.editor()->noteId(), note.id);
    NoteWindow* window = open(note.id);

    m_clock->advanceMs(60000);
    window->editor()->moveCursor(QTextCursor::EndOfBlock);
    QTest::keyClicks(window->editor(), QStringLiteral(" one"));
    QTRY_VERIFY(window->editor()->isSaved());
    std::optional<Note> stored = m_state->notes()->noteById(note.id);
    QCOMPARE(stored->version, 2);
    QCOMPARE(main.editor()->toPlainText(), QStringLiteral("Draft one"));

    // A save in the main window reloads this window only while nothing typed here is pending; the
    // held timer stands for a user still typing.
    window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(window->editor(), QStringLiteral("?"));
    window->editor()->autosaveTimer()->stop();
    main.editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(main.editor(), QStringLiteral("!"));
    QTRY_VERIFY(main.editor()->isSaved());
    QCOMPARE(m_state->notes()->noteById(note.id)->version, 3);
    QCOMPARE(window->editor()->toPlainText(), QStringLiteral("Draft one?"));
    window->editor()->autosaveTimer()->start();
    QTRY_VERIFY(window->editor()->isSaved());
    QCOMPARE(m_state->notes()->noteById(note.id)->version, 4);
    QCOMPARE(main.editor()->toPlainText(), QStringLiteral("Draft one?"));
    main.editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(main.editor(), QStringLiteral("&"));
    QTRY_COMPARE(window->editor()->toPlainText(), QStringLiteral("Draft one?&"));

    // And the main window keeps its own pending typing when this window saves.
    QTest::keyClicks(main.editor(), QStringLiteral("~"));
    main.editor()->autosaveTimer()->stop();
    window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(window->editor(), QStringLiteral("+"));
    QTRY_VERIFY(window->editor()->isSaved());
    QCOMPARE(m_state->notes()->noteById(note.id)->version, 6);
    QCOMPARE(main.editor()->toPlainText(), QStringLiteral("Draft one?&~"));
}

void tst_NoteWindow::closeAndTrashKeys_data()
{
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("trashed");
    QTest::addColumn<QString>("text"); // what the note reads afterwards

    // Ctrl+W, where the platform closes with it, is also the editor's delete-word key.
    const QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    const QKeySequence ctrlW(QStringLiteral("Ctrl+W"));
    const QKeySequence close = closeKeys.contains(ctrlW) ? ctrlW : closeKeys.value(0);
    QTest::newRow("close") << close << int(QMessageBox::NoButton) << true << false << "Memo text";
    QTest::newRow("trash, yes") << QKeySequence(QStringLiteral("Ctrl+D")) << int(QMessageBox::Yes) << true << true
                                << "Memo text";
    QTest::newRow("trash, no") << QKeySequence(QStringLiteral("Ctrl+D")) << int(QMessageBox::No) << false << false
                               << "Memo text";
    // In the editor Ctrl+Backspace is the word-deleting key it is everywhere else.
    QTest::newRow("delete word") << QKeySequence(QStringLiteral("Ctrl+Backspace")) << int(QMessageBox::NoButton)
                                 << false << false << "Memo ";
}

void tst_NoteWindow::closeAndTrashKeys()
{
    QFETCH(QKeySequence, key);
    QFETCH(int, answer);
    QFETCH(bool, closes);
    QFETCH(bool, trashed);
    QFETCH(QString, text);

    // The main window's selected note must not be what the keys act on.
    const Note selected = addNote(QStringLiteral("Selected"));
    m_state->setCurrentNote(selected.id);
    MainWindow main(m_state.get());
    main.show();
    const Note note = addNote(QStringLiteral("Memo"));
    NoteWindow* window = open(note.id);
    QSignalSpy closed(window, &NoteWindow::windowClosed);
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    window->editor()->setFocus();
    window->editor()->moveCursor(QTextCursor::EndOfBlock);
    QTest::keyClicks(window->editor(), QStringLiteral(" text"));

    Interaction::Script script;
    if (answer != QMessageBox::NoButton)
        script.answer(QMessageBox::StandardButton(answer));
    QTest::keySequence(window->editor(), key);

    QCOMPARE(closed.size(), closes ? 1 : 0);
    QCOMPARE(script.requests().size(), answer != QMessageBox::NoButton ? 1 : 0);
    const std::optional<Note> stored = m_state->notes()->noteById(note.id);
    QCOMPARE(stored->isTrashed(), trashed);
    QVERIFY(!m_state->notes()->noteById(selected.id)->isTrashed());
    // Nothing typed is lost.
    if (closes)
        QCOMPARE(stored->title(), text);
    else
        QCOMPARE(window->editor()->toPlainText(), text);
}

QTEST_MAIN(tst_NoteWindow)
#include "tst_NoteWindow.moc"
