#include "AttachmentRepository.h"
#include "Database.h"
#include "Interaction.h"
#include "MainWindow.h"
#include "NoteActions.h"
#include "NoteEditor.h"
#include "NoteWindow.h"
#include "NotebookListWidget.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "RecoveryFiles.h"
#include "SnapshotRepository.h"
#include "StatusBar.h"
#include "UiTestLibrary.h"

#include <QFile>
#include <QLineEdit>
#include <QMenuBar>
#include <QSqlQuery>
#include <QtTest>

namespace {

enum Outcome
{
    Kept,
    Trashed,
    Purged,
};

QString titleOf(const QString& body)
{
    Note note;
    note.body = body;
    return note.title();
}

} // namespace

// The ways a note's text could get lost: failed writes, an action landing on the wrong note, a
// history that never fills, an attachment that goes while something still refers to it, a window
// that closes or reloads over what was typed.
class tst_NothingLost : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        UiTestLibrary::useTestSettings("tst_NothingLost");
        QVERIFY(m_temp.isValid());
        // Recovery files that fall back to the temporary folder land in one of ours.
        qputenv("TMPDIR", m_temp.path().toLocal8Bit());
    }
    void init()
    {
        QVERIFY(m_library.open());
        NoteWindow::install(m_state.get());
    }
    void cleanup()
    {
        m_library.close();
        QDir(RecoveryFiles::temporaryDirectory()).removeRecursively();
    }

    void failedSaveKeepsText_data();
    void failedSaveKeepsText();
    void actionsHitNoteOnScreen_data();
    void actionsHitNoteOnScreen();
    void historyFillsUp_data();
    void historyFillsUp();
    void removedAttachmentStaysWhileReferenced_data();
    void removedAttachmentStaysWhileReferenced();
    void closingHandlesEmptyNotes_data();
    void closingHandlesEmptyNotes();
    void editsReachRepositoryAndMainWindow();

private:
    Note addNote(const QString& text, const QString& notebookId = QString())
    {
        return m_library.addNote(text, 24 * 60, notebookId);
    }
    QList<Snapshot> snapshots(const QString& noteId) const { return m_state->snapshots()->snapshotsForNote(noteId); }

    UiTestLibrary m_library;
    std::unique_ptr<AppState>& m_state = m_library.state;
    QTemporaryDir m_temp;
};

void tst_NothingLost::failedSaveKeepsText_data()
{
    QTest::addColumn<bool>("readOnly"); // else a lock held by another connection
    QTest::addColumn<bool>("inWindow"); // leave by closing a note window, else by switching notes

    // clang-format off
    QTest::newRow("held lock, switching notes") << false << false;
    QTest::newRow("read-only file, closing the note window") << true << true;
    // clang-format on
}

void tst_NothingLost::failedSaveKeepsText()
{
    QFETCH(bool, readOnly);
    QFETCH(bool, inWindow);

    const Note alpha = addNote(QStringLiteral("Alpha"));
    const Note beta = addNote(QStringLiteral("Beta"));
    m_state->setCurrentNote(alpha.id);
    MainWindow main(m_state.get());
    main.show();
    NoteWindow* window = inWindow ? qobject_cast<NoteWindow*>(m_state->openNoteWindow(alpha.id)) : nullptr;
    NoteEditor* editor = inWindow ? window->editor() : main.editor();
    StatusBar* bar = inWindow ? window->noteStatusBar() : main.mainStatusBar();
    QCOMPARE(editor->noteId(), alpha.id);

    QSqlDatabase db = m_state->database()->db();
    const QString path = m_state->database()->path();
    // Another program's connection to the same file.
    const QString holderName = newId();
    QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), holderName);
    const auto breakWrites = [&] {
        if (readOnly) {
            // Permissions alone do not stop a connection that is already open (nor the super-user),
            // so the connection is told as well; it then fails the way it does on a read-only file.
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("PRAGMA query_only=ON")));
        } else {
            holder.setDatabaseName(path);
            QVERIFY(holder.open());
            QVERIFY(QSqlQuery(holder).exec(QStringLiteral("BEGIN IMMEDIATE")));
            // The lock is never let go while we wait; waiting the full time out would only slow this.
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("PRAGMA busy_timeout=50")));
        }
    };
    const auto mendWrites = [&] {
        if (readOnly) {
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("PRAGMA query_only=OFF")));
        } else {
            QVERIFY(QSqlQuery(holder).exec(QStringLiteral("ROLLBACK")));
            holder.close();
        }
    };

    // A failed write is never "Saved": the text stays, the status bar says so, and a retry stores
    // it once the database takes writes again.
    breakWrites();
    editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(editor, QStringLiteral(" one"));
    QSignalSpy failed(editor, &NoteEditor::saveFailed);
    QVERIFY(failed.wait(5000));
    QVERIFY(!editor->isSaved());
    QVERIFY(bar->saveState() != StatusBar::Saved);
    QCOMPARE(bar->currentMessage(), NoteActions::saveFailedMessage());
    QCOMPARE(m_library.storedTitle(alpha.id), QStringLiteral("Alpha"));
    mendWrites();
    QTRY_VERIFY_WITH_TIMEOUT(editor->isSaved(), 5000);
    QCOMPARE(m_library.storedTitle(alpha.id), QStringLiteral("Alpha one"));
    QVERIFY(bar->currentMessage().isEmpty());

    // Leaving the note while it cannot be stored puts the text in a recovery file.
    breakWrites();
    QTest::keyClicks(editor, QStringLiteral(" two"));
    if (readOnly) {
        // Not even the folder beside the database takes it: the temporary folder does.
        QFile blocker(RecoveryFiles::directoryFor(path));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    if (inWindow) {
        QVERIFY(window->close());
        QVERIFY(!m_state->noteWindow(alpha.id));
    } else {
        main.noteList()->selectNote(beta.id);
        QCOMPARE(main.editor()->noteId(), beta.id);
    }
    QCOMPARE(m_library.storedTitle(alpha.id), QStringLiteral("Alpha one"));
    const QList<RecoveredText> kept = RecoveryFiles::pending(path);
    QCOMPARE(kept.size(), 1);
    QCOMPARE(QFileInfo(kept.first().path).absolutePath(),
             readOnly ? RecoveryFiles::temporaryDirectory() : RecoveryFiles::directoryFor(path));
    mendWrites();

    // At the next start it is offered back; taking it stores it and keeps what it replaced.
    Interaction::Script script;
    script.answer(QMessageBox::Yes);
    QCOMPARE(NoteActions::offerRecoveredText(&main, m_state.get()), 1);
    QCOMPARE(script.requests().size(), 1);
    QCOMPARE(m_library.storedTitle(alpha.id), QStringLiteral("Alpha one two"));
    QVERIFY(RecoveryFiles::pending(path).isEmpty());
    QCOMPARE(titleOf(snapshots(alpha.id).first().body), QStringLiteral("Alpha one"));
    QCOMPARE(NoteActions::offerRecoveredText(&main, m_state.get()), 0);
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase(holderName);
}

void tst_NothingLost::actionsHitNoteOnScreen_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("new note during a search") << "search";
    QTest::newRow("after switching notebooks") << "notebook";
}

void tst_NothingLost::actionsHitNoteOnScreen()
{
    QFETCH(QString, situation);

    const QString other = m_library.addNotebook(QStringLiteral("Other"));
    const Note apple = addNote(QStringLiteral("Apple pie"));
    const Note banana = addNote(QStringLiteral("Banana bread"), other);
    m_state->setCurrentNote(apple.id);
    MainWindow main(m_state.get());
    activate(&main);

    QString onScreen;
    if (situation == QLatin1String("search")) {
        QTest::keyClicks(main.searchEdit(), QStringLiteral("Apple"));
        QTRY_COMPARE(main.noteList()->count(), 1);
        main.noteList()->selectNote(apple.id);
        QTest::keySequence(&main, QKeySequence(QStringLiteral("Ctrl+N")));
        onScreen = main.editor()->noteId();
        QVERIFY(onScreen != apple.id);
        QTest::keyClicks(main.editor(), QStringLiteral("Fresh"));
        QCOMPARE(main.noteList()->selectedNoteId(), apple.id);
    } else {
        onScreen = apple.id;
        clickRow(main.notebookList(), sidebarRow(main.notebookList(), NotebookListRole::NotebookId, other));
        QTRY_COMPARE(main.noteList()->count(), 1);
        QCOMPARE(main.editor()->noteId(), apple.id);
    }

    Interaction::Script script;
    script.answer(QMessageBox::Yes);
    actionNamed(main.menuBar(), QStringLiteral("Move to Trash…"))->trigger();

    QVERIFY(m_state->notes()->noteById(onScreen)->isTrashed());
    for (const Note& bystander : {apple, banana}) {
        if (bystander.id != onScreen)
            QVERIFY2(!m_state->notes()->noteById(bystander.id)->isTrashed(), qPrintable(bystander.title()));
    }
    // What was typed last went to the trash with the note.
    if (situation == QLatin1String("search"))
        QCOMPARE(m_state->notes()->noteById(onScreen)->title(), QStringLiteral("Fresh"));
}

void tst_NothingLost::historyFillsUp_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("expected"); // snapshots of the first note afterwards

    // Save Snapshot stores one, and a second press with nothing new stores no other.
    // clang-format off
    QTest::newRow("Save Snapshot") << "key" << 1;
    // Switching writes the note back before the autosave would have, and snapshots what changed.
    QTest::newRow("switching before the autosave") << "unsaved" << 1;
    QTest::newRow("switching after another window changed it") << "window" << 1;
    QTest::newRow("switching unchanged") << "nothing" << 0;
    // clang-format on
}

void tst_NothingLost::historyFillsUp()
{
    QFETCH(QString, how);
    QFETCH(int, expected);

    const Note first = addNote(QStringLiteral("First"));
    const Note second = addNote(QStringLiteral("Second"));
    m_state->setCurrentNote(first.id);
    MainWindow main(m_state.get());
    activate(&main);
    NoteEditor* editor = main.editor();
    editor->setFocus();
    editor->moveCursor(QTextCursor::End);

    QString typed = QStringLiteral("First");
    if (how == QLatin1String("key")) {
        QTest::keyClicks(editor, QStringLiteral(" draft"));
        QTest::keySequence(editor, QKeySequence::Save);
        QTest::keySequence(editor, QKeySequence::Save);
        typed += QStringLiteral(" draft");
    } else if (how == QLatin1String("unsaved")) {
        QTest::keyClicks(editor, QStringLiteral(" draft"));
        typed += QStringLiteral(" draft");
    } else if (how == QLatin1String("window")) {
        auto* window = qobject_cast<NoteWindow*>(m_state->openNoteWindow(first.id));
        window->editor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(window->editor(), QStringLiteral(" elsewhere"));
        QTRY_VERIFY(window->editor()->isSaved());
        QCOMPARE(editor->toPlainText(), QStringLiteral("First elsewhere"));
        typed += QStringLiteral(" elsewhere");
    }
    if (how != QLatin1String("key"))
        main.noteList()->selectNote(second.id);

    QCOMPARE(m_library.storedTitle(first.id), typed);
    const QList<Snapshot> history = snapshots(first.id);
    QCOMPARE(history.size(), expected);
    if (expected)
        QCOMPARE(titleOf(history.first().body), typed);
}

void tst_NothingLost::removedAttachmentStaysWhileReferenced_data()
{
    QTest::addColumn<bool>("snapshotFirst"); // Ctrl+S while the attachment is in the note
    QTest::addColumn<bool>("undo");          // Ctrl+Z after removing it
    QTest::addColumn<bool>("keptAfterLeaving");

    // clang-format off
    QTest::newRow("nothing else refers to it") << false << false << false;
    QTest::newRow("a snapshot refers to it") << true << false << true;
    QTest::newRow("undone") << false << true << true;
    // clang-format on
}

void tst_NothingLost::removedAttachmentStaysWhileReferenced()
{
    QFETCH(bool, snapshotFirst);
    QFETCH(bool, undo);
    QFETCH(bool, keptAfterLeaving);

    const Note note = addNote(QStringLiteral("Pictures"));
    const Note other = addNote(QStringLiteral("Other"));
    m_state->setCurrentNote(note.id);
    MainWindow main(m_state.get());
    activate(&main);
    NoteEditor* editor = main.editor();
    editor->setFocus();
    editor->moveCursor(QTextCursor::End);

    const QString source = m_library.dir->filePath(QStringLiteral("photo.txt"));
    QVERIFY(writeFile(source, "bytes of a photo"));
    QVERIFY(editor->insertAttachmentFromPath(source));
    const QString id = m_state->attachments()->attachmentsForNote(note.id).value(0).id;
    const QString stored = m_state->attachments()->filePath(id);
    QTRY_VERIFY(editor->isSaved());
    if (snapshotFirst)
        QTest::keySequence(editor, QKeySequence::Save);

    editor->removeAttachmentAtCursor(id);
    QVERIFY(!editor->bodyJson().contains(id));
    QTRY_VERIFY(editor->isSaved());
    // Still there while the note is open: Ctrl+Z brings it back whole.
    QVERIFY(QFile::exists(stored));
    if (undo) {
        QTest::keySequence(editor, QKeySequence::Undo);
        QVERIFY(editor->bodyJson().contains(id));
    }

    main.noteList()->selectNote(other.id);
    QCOMPARE(QFile::exists(stored), keptAfterLeaving);
    QCOMPARE(m_state->attachments()->attachmentById(id).has_value(), keptAfterLeaving);
    if (!keptAfterLeaving)
        return;
    // Purging the note takes it with it.
    QVERIFY(m_state->notes()->purge(note.id));
    QTRY_VERIFY(!QFile::exists(stored));
}

void tst_NothingLost::closingHandlesEmptyNotes_data()
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
    QTest::newRow("white space only, pending") << false << "   " << pending << QString() << QString() << false << int(Trashed);
    QTest::newRow("read-only shared, blank") << false << QString() << pending << "read" << QString() << false << int(Kept);
    QTest::newRow("editable shared, blank") << false << QString() << synced << "edit" << QString() << false << int(Trashed);
    QTest::newRow("note with text") << false << "Groceries" << pending << QString() << QString() << false << int(Kept);
    // clang-format on
}

void tst_NothingLost::closingHandlesEmptyNotes()
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
        const auto sharedOrNot = [&](Note& note) {
            note.syncStatus = SyncStatus(status);
            note.ownerId = permission.isEmpty() ? QString() : QStringLiteral("user-2");
            note.permission = permission;
        };
        id = m_library.addNote(text, 60, QString(), sharedOrNot).id;
        window = qobject_cast<NoteWindow*>(m_state->openNoteWindow(id));
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

void tst_NothingLost::editsReachRepositoryAndMainWindow()
{
    const Note note = m_library.addNote(QStringLiteral("Draft"));
    m_state->setCurrentNote(note.id);
    MainWindow main(m_state.get());
    main.show();
    QCOMPARE(main.editor()->noteId(), note.id);
    auto* window = qobject_cast<NoteWindow*>(m_state->openNoteWindow(note.id));

    m_library.clock->advanceMs(60000);
    window->editor()->moveCursor(QTextCursor::EndOfBlock);
    QTest::keyClicks(window->editor(), QStringLiteral(" one"));
    QTRY_VERIFY(window->editor()->isSaved());
    QCOMPARE(m_state->notes()->noteById(note.id)->version, 2);
    QCOMPARE(main.editor()->toPlainText(), QStringLiteral("Draft one"));
    // An autosave alone keeps no history; it would bury the snapshots that matter.
    QVERIFY(snapshots(note.id).isEmpty());

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

    // And the main window keeps its own pending typing when this window saves.
    QTest::keyClicks(main.editor(), QStringLiteral("~"));
    main.editor()->autosaveTimer()->stop();
    window->editor()->moveCursor(QTextCursor::End);
    QTest::keyClicks(window->editor(), QStringLiteral("+"));
    QTRY_VERIFY(window->editor()->isSaved());
    QCOMPARE(main.editor()->toPlainText(), QStringLiteral("Draft one?~"));
}

QTEST_MAIN(tst_NothingLost)
#include "tst_NothingLost.moc"
