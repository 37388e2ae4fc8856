#include "AppState.h"
#include "NoteRepository.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"

#include <QStandardPaths>
#include <QtTest>

class tst_AppState : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        qputenv("NOTES_DATA_DIR", m_dir->path().toUtf8());
    }

    void welcomeNotesOnceOnFirstStart();
    void setCurrent_data();
    void setCurrent();
    void noteWindowRegistry();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_AppState::welcomeNotesOnceOnFirstStart()
{
    {
        AppState first;
        QVERIFY(first.initialize());
        const QList<Note> notes = first.notes()->allNotes();
        QCOMPARE(notes.size(), 3);
        QVERIFY(first.notes()->moveToTrash(notes.first().id));
    }
    // Nothing new on the next start, and a deleted welcome note does not come back.
    AppState second;
    QVERIFY(second.initialize());
    QCOMPARE(second.notes()->allNotes().size(), 2);
    QCOMPARE(second.notes()->trashedNotes().size(), 1);
}

void tst_AppState::setCurrent_data()
{
    QTest::addColumn<bool>("notebook"); // false: the current note
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("next");
    QTest::addColumn<bool>("changes");

    // clang-format off
    QTest::newRow("note, same id") << false << "n-1" << "n-1" << false;
    QTest::newRow("note, new id") << false << "n-1" << "n-2" << true;
    QTest::newRow("note, cleared") << false << "n-1" << "" << true;
    QTest::newRow("notebook, back to all notes") << true << "nb-1" << "" << true;
    // clang-format on
}

void tst_AppState::setCurrent()
{
    QFETCH(bool, notebook);
    QFETCH(QString, initial);
    QFETCH(QString, next);
    QFETCH(bool, changes);

    AppState state;
    QVERIFY(state.initialize());
    const auto set = [&](const QString& id) {
        notebook ? state.setCurrentNotebook(id) : state.setCurrentNote(id);
    };
    const QString key = notebook ? PrefKey::LastNotebookId : PrefKey::LastNoteId;
    set(initial);

    QSignalSpy written(state.preferences(), &PreferencesRepository::changed);
    QSignalSpy notebookSpy(&state, &AppState::currentNotebookChanged);
    QSignalSpy noteSpy(&state, &AppState::currentNoteChanged);
    set(next);

    QCOMPARE(notebook ? state.currentNotebookId() : state.currentNoteId(), next);
    QSignalSpy& changed = notebook ? notebookSpy : noteSpy;
    QCOMPARE((notebook ? noteSpy : notebookSpy).count(), 0);
    QCOMPARE(changed.count(), changes ? 1 : 0);
    QCOMPARE(written.count(), changes ? 1 : 0);
    QCOMPARE(state.preferences()->value(key), std::optional<QString>(changes ? next : initial));

    // The next start comes back to it without announcing a change.
    AppState restarted;
    QSignalSpy notebookAgain(&restarted, &AppState::currentNotebookChanged);
    QSignalSpy noteAgain(&restarted, &AppState::currentNoteChanged);
    QVERIFY(restarted.initialize());
    QCOMPARE(notebook ? restarted.currentNotebookId() : restarted.currentNoteId(), next);
    QCOMPARE(notebookAgain.count() + noteAgain.count(), 0);
}

void tst_AppState::noteWindowRegistry()
{
    AppState state;
    QVERIFY(state.initialize());
    state.setCurrentNotebook(QStringLiteral("nb-1"));
    int built = 0;
    state.setNoteWindowFactory([&built](AppState*, const QString&) {
        ++built;
        auto* window = new QWidget;
        window->setAttribute(Qt::WA_DeleteOnClose);
        return window;
    });

    QWidget* a = state.openNoteWindow(QStringLiteral("a"));
    QCOMPARE(state.openNoteWindow(QStringLiteral("a")), a);
    QWidget* b = state.openNoteWindow(QStringLiteral("b"));
    QCOMPARE(built, 2);

    // A window that announces closing leaves the registry at once; its deletion later must not take
    // the entry of a new window for the same note.
    state.noteWindowClosed(QStringLiteral("b"));
    QWidget* newB = state.openNoteWindow(QStringLiteral("b"));
    QVERIFY(newB != b);
    QPointer<QWidget> watchB(b);
    b->close();
    QTRY_VERIFY(watchB.isNull());
    QCOMPARE(state.noteWindow(QStringLiteral("b")), newB);

    // A note made in a window is stored at once, in the notebook on screen, and registered too.
    QString id;
    QWidget* created = state.createNoteInWindow(&id);
    QCOMPARE(state.noteWindow(id), created);
    QCOMPARE(state.notes()->noteById(id)->notebookId, QStringLiteral("nb-1"));

    QPointer<QWidget> watchA(a);
    state.closeAllNoteWindows();
    QCOMPARE(state.openNoteWindowIds(), QStringList());
    QTRY_VERIFY(watchA.isNull());
}

QTEST_MAIN(tst_AppState)
#include "tst_AppState.moc"
