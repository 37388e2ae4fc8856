#include "MainWindow.h"
#include "NoteEditor.h"
#include "NoteWindow.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "SnapshotRepository.h"
#include "UiTestLibrary.h"

#include <QtTest>

namespace {

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
    void initTestCase() { UiTestLibrary::useTestSettings("tst_NoteWindow"); }
    void init()
    {
        QVERIFY(m_library.open());
        NoteWindow::install(m_state.get());
    }
    void cleanup() { m_library.close(); }

    void closingHandlesEmptyNotes_data();
    void closingHandlesEmptyNotes();
    void oneWindowPerNoteKeepsItsPlace();
    void editsReachRepositoryAndMainWindow();

private:
    NoteWindow* open(const QString& noteId) { return qobject_cast<NoteWindow*>(m_state->openNoteWindow(noteId)); }

    UiTestLibrary m_library;
    std::unique_ptr<AppState>& m_state = m_library.state;
};

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
    // clang-format off
    QTest::newRow("new note in window, untouched") << true << QString() << pending << QString() << QString() << false << int(Purged);
    QTest::newRow("new note in window, typed") << true << QString() << pending << QString() << "Idea" << false << int(Kept);
    QTest::newRow("new note in window, typed then emptied") << true << QString() << pending << QString() << "Idea" << true << int(Trashed);
    // Existing notes, even ones never synced (every note while signed out), go to the trash.
    QTest::newRow("synced empty note") << false << QString() << synced << QString() << QString() << false << int(Trashed);
    QTest::newRow("white space only, pending") << false << "   " << pending << QString() << QString() << false << int(Trashed);
    QTest::newRow("existing note emptied, pending") << false << "Groceries" << pending << QString() << QString() << true << int(Trashed);
    QTest::newRow("read-only shared, blank") << false << QString() << pending << "read" << QString() << false << int(Kept);
    QTest::newRow("editable shared, blank") << false << QString() << synced << "edit" << QString() << false << int(Trashed);
    QTest::newRow("note with text") << false << "Groceries" << pending << QString() << QString() << false << int(Kept);
    // clang-format on
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
        id = m_library
                 .addNote(text, 60, QString(),
                          [&](Note& note) {
                              note.syncStatus = SyncStatus(status);
                              note.ownerId = permission.isEmpty() ? QString() : QStringLiteral("user-2");
                              note.permission = permission;
                          })
                 .id;
        window = open(id);
    }
    QVERIFY(window);
    QSignalSpy closed(window, &NoteWindow::windowClosed);
    if (!typed.isEmpty())
        QTest::keyClicks(window->editor(), typed);
    if (emptied) {
        QTRY_VERIFY(window->editor()->isSaved());
        // The history the note had goes to the trash with it.
        QVERIFY(m_state->snapshots()->insert({newId(), id, 1, window->editor()->bodyJson(), kTestNow}));
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

void tst_NoteWindow::oneWindowPerNoteKeepsItsPlace()
{
    const Note note = m_library.addNote(QStringLiteral("Packing list"));
    NoteWindow* window = open(note.id);
    QCOMPARE(open(note.id), window);
    QCOMPARE(m_state->openNoteWindowIds(), QStringList{note.id});
    QCOMPARE(window->windowTitle(), QStringLiteral("Packing list — Norvane Notes"));
    QCOMPARE(window->size(), QSize(960, 760));
    const QRect placed(120, 90, 700, 520);
    window->setGeometry(placed);
    QTRY_COMPARE(window->geometry(), placed);
    QVERIFY(window->close());

    window = open(note.id);
    QCOMPARE(window->geometry(), placed);
    QVERIFY(window->close());
}

void tst_NoteWindow::editsReachRepositoryAndMainWindow()
{
    const Note note = m_library.addNote(QStringLiteral("Draft"));
    m_state->setCurrentNote(note.id);
    MainWindow main(m_state.get());
    main.show();
    QCOMPARE(main.editor()->noteId(), note.id);
    NoteWindow* window = open(note.id);

    m_library.clock->advanceMs(60000);
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

QTEST_MAIN(tst_NoteWindow)
#include "tst_NoteWindow.moc"
