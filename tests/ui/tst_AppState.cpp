#include "AppState.h"
#include "Clock.h"
#include "DataPaths.h"
#include "Database.h"
#include "DeltaFormat.h"
#include "NoteRepository.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "Records.h"
#include "ThemeManager.h"
#include "Todos.h"

#include <QApplication>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>
#include <memory>

namespace {

const QDateTime kNow(QDate(2026, 6, 17), QTime(10, 30), Qt::UTC);

// The text of the lines whose "\n" carries the given heading level.
QStringList headings(const QString& body, int level)
{
    QStringList lines;
    QString line;
    for (const DeltaOp& op : parseDelta(body)) {
        if (op.kind != DeltaOp::InsertText)
            continue;
        if (op.text != QLatin1String("\n")) {
            line += op.text;
            continue;
        }
        if (op.attributes.value(QStringLiteral("header")) == level)
            lines << line;
        line.clear();
    }
    return lines;
}

QWidget* deleteOnCloseWindow(AppState*, const QString& noteId)
{
    auto* window = new QWidget;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setObjectName(noteId);
    return window;
}

} // namespace

class tst_AppState : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void welcomeNotesOnceOnFirstStart();
    void loadSampleNotes();
    void appliesStoredTheme();
    void noteWindowRegistry();
    void createNoteInWindow();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QPalette m_initialPalette;
};

void tst_AppState::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("NOTES_DATA_DIR", m_dir->path().toUtf8());
    m_initialPalette = QApplication::palette();
}

void tst_AppState::cleanup()
{
    QApplication::setPalette(m_initialPalette);
}

void tst_AppState::welcomeNotesOnceOnFirstStart()
{
    {
        Clock::Fixed clock(kNow);
        AppState first;
        QVERIFY(first.initialize());
        const QList<Note> notes = first.notes()->allNotes();
        QStringList titles;
        for (const Note& note : notes) {
            titles << note.title();
            QCOMPARE(note.syncStatus, SyncStatus::Synced);
            QVERIFY(note.isSample);
            QCOMPARE(headings(note.body, 1), QStringList{note.title()});
        }
        // Spaced apart so the list shows them in this order.
        QCOMPARE(titles, (QStringList{"Welcome to Norvane Notes", "Getting Started", "Trip Packing List"}));
        QCOMPARE(notes.first().updatedAt, kNow.addMSecs(200));
        QCOMPARE(notes.last().updatedAt, kNow);
        QVERIFY(first.notes()->moveToTrash(notes.first().id));
    }
    // Nothing new on the next start, and a deleted welcome note does not come back.
    AppState second;
    QVERIFY(second.initialize());
    QCOMPARE(second.notes()->allNotes().size(), 2);
    QCOMPARE(second.notes()->trashedNotes().size(), 1);
}

void tst_AppState::loadSampleNotes()
{
    Clock::Fixed clock(kNow);
    AppState state;
    QVERIFY(state.initialize());
    QSignalSpy changed(&state, &AppState::notesChanged);
    QCOMPARE(state.loadSampleNotes(), 7);
    QCOMPARE(changed.count(), 7);

    int samples = 0;
    for (const Note& note : state.notes()->allNotes()) {
        if (note.syncStatus != SyncStatus::Pending)
            continue; // a welcome note
        ++samples;
        QVERIFY(note.isSample);
        // The heading survives the Markdown conversion as a level-2 title line.
        QCOMPARE(headings(note.body, 2), QStringList{note.title()});
        // Whole days and hours back, at most four weeks and eleven hours.
        const qint64 back = note.createdAt.secsTo(kNow);
        QVERIFY2(back >= 0 && back <= 28 * 86400 + 11 * 3600 && back % 3600 == 0, qPrintable(note.title()));
    }
    QCOMPARE(samples, 7);

    // Check lists arrive as check-list lines: the To-Dos screen lists them and can tick them.
    const QList<Note> all = state.notes()->allNotes();
    const auto first = std::find_if(all.cbegin(), all.cend(),
                                    [](const Note& n) { return n.title() == QLatin1String("Things to Remember"); });
    QVERIFY(first != all.cend());
    QStringList tasks;
    for (const TodoItem& todo : extractTodos(first->id, first->body, first->updatedAt)) {
        QCOMPARE(todo.kind, int(TodoItem::ChecklistTodo));
        tasks << (todo.done ? QStringLiteral("x ") : QStringLiteral("o ")) + todo.text;
    }
    QCOMPARE(tasks, (QStringList{"o Pay the electricity bill", "o Order a birthday present for Sam",
                                 "x Book the hotel for the conference"}));
}

void tst_AppState::appliesStoredTheme()
{
    {
        Database db;
        QVERIFY(db.open(databasePath()));
        QVERIFY(db.migrate());
        PreferencesRepository(&db).setValue(PrefKey::ThemeMode, QStringLiteral("dark"));
    }
    AppState state;
    QVERIFY(state.initialize());
    QCOMPARE(state.theme()->theme(), ThemeManager::Dark);
    QCOMPARE(QApplication::palette().color(QPalette::Base), ThemeManager::darkPalette().color(QPalette::Base));
}

void tst_AppState::noteWindowRegistry()
{
    AppState state;
    QVERIFY(state.initialize());
    QCOMPARE(state.openNoteWindow(QStringLiteral("a")), nullptr); // nothing can build windows yet
    int built = 0;
    state.setNoteWindowFactory([&built](AppState* s, const QString& noteId) {
        ++built;
        return deleteOnCloseWindow(s, noteId);
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

    QPointer<QWidget> watchA(a);
    state.closeAllNoteWindows();
    QCOMPARE(state.openNoteWindowIds(), QStringList());
    QTRY_VERIFY(watchA.isNull());
}

void tst_AppState::createNoteInWindow()
{
    Clock::Fixed clock(kNow);
    AppState state;
    QVERIFY(state.initialize());
    state.setCurrentNotebook(QStringLiteral("nb-1"));
    state.setNoteWindowFactory(deleteOnCloseWindow);

    QString id;
    QWidget* window = state.createNoteInWindow(&id);
    QVERIFY(window);
    QCOMPARE(window->objectName(), id);
    QCOMPARE(state.noteWindow(id), window);
    const std::optional<Note> note = state.notes()->noteById(id);
    QVERIFY(note);
    QCOMPARE(note->notebookId, QStringLiteral("nb-1"));
    QCOMPARE(note->syncStatus, SyncStatus::Pending);
    QVERIFY(!note->isSample);
    state.closeAllNoteWindows();
}

int main(int argc, char** argv)
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    tst_AppState tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_AppState.moc"
