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

QStringList titles(const QList<Note>& notes)
{
    QStringList result;
    for (const Note& note : notes)
        result << note.title();
    return result;
}

// The "\n" inserts of a body with the given line attribute, by the text of their line.
QStringList linesWith(const QString& body, const QString& key, const QJsonValue& value)
{
    QStringList lines;
    QString line;
    for (const DeltaOp& op : parseDelta(body)) {
        if (op.kind != DeltaOp::InsertText)
            continue;
        if (op.text == QLatin1String("\n")) {
            if (op.attributes.value(key) == value)
                lines << line;
            line.clear();
        } else {
            line += op.text;
        }
    }
    return lines;
}

} // namespace

class tst_AppState : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstStartCreatesWelcomeNotes();
    void welcomeNotesOnlyOnce();
    void setCurrentNoteWithSameIdIsSilent();
    void loadSampleNotes();
    void appliesStoredTheme_data();
    void appliesStoredTheme();
    void canShareStaysOffWithoutAccount();
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

void tst_AppState::firstStartCreatesWelcomeNotes()
{
    Clock::Fixed clock(kNow);
    AppState state;
    QVERIFY(state.initialize());

    const QList<Note> notes = state.notes()->allNotes();
    QCOMPARE(titles(notes), (QStringList{"Welcome to Norvane Notes", "Getting Started", "Trip Packing List"}));
    const qint64 offsets[] = {200, 100, 0};
    for (int i = 0; i < notes.size(); ++i) {
        const Note& note = notes[i];
        QCOMPARE(note.updatedAt, kNow.addMSecs(offsets[i]));
        QCOMPARE(note.createdAt, note.updatedAt);
        QCOMPARE(note.modifiedAt, note.updatedAt);
        QCOMPARE(note.syncStatus, SyncStatus::Synced);
        QVERIFY(note.isSample);
        QCOMPARE(note.notebookId, QString());
        QCOMPARE(linesWith(note.body, QStringLiteral("header"), 1), QStringList{note.title()});
    }
    QVERIFY(state.preferences()->boolValue(PrefKey::HasSeenWelcome));
    QVERIFY(titles(state.notes()->search(QStringLiteral("welcome"))).contains("Welcome to Norvane Notes"));
}

void tst_AppState::welcomeNotesOnlyOnce()
{
    QString trashedId;
    {
        AppState first;
        QVERIFY(first.initialize());
        trashedId = first.notes()->allNotes().constFirst().id;
        QVERIFY(first.notes()->moveToTrash(trashedId));
    }
    AppState second;
    QVERIFY(second.initialize());
    // Nothing new, and a deleted welcome note does not come back.
    QCOMPARE(second.notes()->allNotes().size(), 2);
    QCOMPARE(second.notes()->trashedNotes().size(), 1);
}

void tst_AppState::setCurrentNoteWithSameIdIsSilent()
{
    AppState state;
    QVERIFY(state.initialize());
    state.setCurrentNote(QStringLiteral("n-1"));

    QSignalSpy changed(&state, &AppState::currentNoteChanged);
    QSignalSpy written(state.preferences(), &PreferencesRepository::changed);
    state.setCurrentNote(QStringLiteral("n-1"));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(written.count(), 0);

    state.setCurrentNote(QStringLiteral("n-2"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(state.preferences()->value(PrefKey::LastNoteId), std::optional<QString>(QStringLiteral("n-2")));
}

void tst_AppState::loadSampleNotes()
{
    Clock::Fixed clock(kNow);
    AppState state;
    QVERIFY(state.initialize());
    QSignalSpy changed(&state, &AppState::notesChanged);

    QCOMPARE(state.loadSampleNotes(), 7);
    QCOMPARE(changed.count(), 7);

    const struct
    {
        const char* title;
        int days;
    } expected[] = {
        {"Things to Remember", 0},
        {"Weekly Team Sync - Project Atlas", 1},
        {"Weekly Journal - Friday Check-In", 2},
        {"Clipped Article - New Noise-Canceling Headphones Reviewed", 8},
        {"Gadget Notes - Portable E-Ink Tablet", 14},
        {"Dinner Recipe - Sheet Pan Lemon Chicken", 21},
        {"Book Draft - Chapter 4: The Cost of Convenience", 28},
    };
    QList<Note> samples;
    for (const Note& note : state.notes()->allNotes()) {
        if (note.syncStatus == SyncStatus::Pending)
            samples << note;
    }
    QCOMPARE(samples.size(), 7);
    for (const auto& entry : expected) {
        const QString title = QString::fromUtf8(entry.title);
        auto it = std::find_if(samples.cbegin(), samples.cend(), [&](const Note& n) { return n.title() == title; });
        QVERIFY2(it != samples.cend(), entry.title);
        const Note& note = *it;
        QVERIFY(note.isSample);
        QCOMPARE(note.notebookId, QString());
        QCOMPARE(note.createdAt, note.updatedAt);
        QCOMPARE(note.modifiedAt, note.updatedAt);
        // The heading survives the Markdown conversion as a level-2 title line.
        QCOMPARE(linesWith(note.body, QStringLiteral("header"), 2), QStringList{title});
        // entry.days back, minus a whole number of hours from 0 to 11.
        const qint64 extra = note.createdAt.secsTo(kNow) - qint64(entry.days) * 86400;
        QVERIFY2(extra >= 0 && extra <= 11 * 3600 && extra % 3600 == 0, entry.title);
    }

    // Check lists arrive as check-list lines: the To-Dos screen lists them and can tick them.
    const auto first = std::find_if(samples.cbegin(), samples.cend(),
                                    [](const Note& n) { return n.title() == QLatin1String("Things to Remember"); });
    QStringList tasks;
    for (const TodoItem& todo : extractTodos(first->id, first->body, first->updatedAt)) {
        QCOMPARE(todo.kind, int(TodoItem::ChecklistTodo));
        tasks << (todo.done ? QStringLiteral("x ") : QStringLiteral("o ")) + todo.text;
    }
    QCOMPARE(tasks, (QStringList{"o Pay the electricity bill", "o Order a birthday present for Sam",
                                 "x Book the hotel for the conference"}));
}

void tst_AppState::appliesStoredTheme_data()
{
    QTest::addColumn<QString>("stored"); // null: nothing stored
    QTest::addColumn<int>("theme");
    QTest::addColumn<QString>("persisted");

    QTest::newRow("default") << QString() << int(ThemeManager::System) << "system";
    QTest::newRow("dark") << "dark" << int(ThemeManager::Dark) << "dark";
}

void tst_AppState::appliesStoredTheme()
{
    QFETCH(QString, stored);
    QFETCH(int, theme);
    QFETCH(QString, persisted);

    if (!stored.isNull()) {
        Database db;
        QVERIFY(db.open(databasePath()));
        QVERIFY(db.migrate());
        PreferencesRepository(&db).setValue(PrefKey::ThemeMode, stored);
    }
    AppState state;
    QVERIFY(state.initialize());
    QCOMPARE(int(state.theme()->theme()), theme);
    QCOMPARE(state.preferences()->stringValue(PrefKey::ThemeMode), persisted);
    if (theme == ThemeManager::Dark)
        QCOMPARE(QApplication::palette().color(QPalette::Base), QColor(QStringLiteral("#252525")));
}

void tst_AppState::canShareStaysOffWithoutAccount()
{
    AppState state;
    QVERIFY(state.initialize());
    QSignalSpy changed(&state, &AppState::canShareChanged);
    state.refreshCanShare();
    QCOMPARE(state.canShare(), false);
    QCOMPARE(changed.count(), 0);
}

void tst_AppState::noteWindowRegistry()
{
    AppState state;
    QVERIFY(state.initialize());
    QCOMPARE(state.openNoteWindow(QStringLiteral("a")), nullptr); // nothing can build windows yet

    int built = 0;
    state.setNoteWindowFactory([&built](AppState*, const QString& noteId) {
        ++built;
        auto* window = new QWidget;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setObjectName(noteId);
        return window;
    });

    QWidget* a = state.openNoteWindow(QStringLiteral("a"));
    QCOMPARE(state.openNoteWindow(QStringLiteral("a")), a);
    QCOMPARE(built, 1);
    QWidget* b = state.openNoteWindow(QStringLiteral("b"));
    QCOMPARE(built, 2);

    // Closing a window removes its entry, so the next open builds a new one.
    QPointer<QWidget> watchA(a);
    a->close();
    QTRY_VERIFY(watchA.isNull());
    QCOMPARE(state.openNoteWindowIds(), QStringList{"b"});
    QWidget* again = state.openNoteWindow(QStringLiteral("a"));
    QCOMPARE(built, 3);
    QCOMPARE(state.noteWindow(QStringLiteral("a")), again);

    // A window that announces closing without being deleted leaves the registry as well.
    state.noteWindowClosed(QStringLiteral("b"));
    QCOMPARE(state.openNoteWindowIds(), QStringList{"a"});
    // Its deletion later must not take the entry of a new window for the same note.
    QWidget* newB = state.openNoteWindow(QStringLiteral("b"));
    QCOMPARE(built, 4);
    QVERIFY(newB != b);
    QPointer<QWidget> watchB(b);
    b->close();
    QTRY_VERIFY(watchB.isNull());
    QCOMPARE(state.noteWindow(QStringLiteral("b")), newB);

    QPointer<QWidget> watchAgain(again);
    QPointer<QWidget> watchNewB(newB);
    state.closeAllNoteWindows();
    QCOMPARE(state.openNoteWindowIds(), QStringList());
    QTRY_VERIFY(watchAgain.isNull() && watchNewB.isNull());
}

void tst_AppState::createNoteInWindow()
{
    Clock::Fixed clock(kNow);
    AppState state;
    QVERIFY(state.initialize());
    state.setCurrentNotebook(QStringLiteral("nb-1"));
    QStringList opened;
    state.setNoteWindowFactory([&opened](AppState*, const QString& noteId) {
        opened << noteId;
        auto* window = new QWidget;
        window->setAttribute(Qt::WA_DeleteOnClose);
        return window;
    });

    QString id;
    QWidget* window = state.createNoteInWindow(&id);
    QVERIFY(window);
    QCOMPARE(opened, QStringList{id});
    QCOMPARE(state.noteWindow(id), window);

    const std::optional<Note> note = state.notes()->noteById(id);
    QVERIFY(note);
    QCOMPARE(note->notebookId, QStringLiteral("nb-1"));
    QCOMPARE(note->body, QStringLiteral(R"([{"insert":"\n"}])"));
    QCOMPARE(note->createdAt, kNow);
    QCOMPARE(note->updatedAt, kNow);
    QCOMPARE(note->version, 1);
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
