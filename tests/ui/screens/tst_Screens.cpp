#include "AppState.h"
#include "UiTestLibrary.h"
#include "Clock.h"
#include "Interaction.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "Records.h"
#include "SearchScreen.h"
#include "SharedScreen.h"
#include "TodosScreen.h"
#include "TrashScreen.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {

const QDateTime kNow(QDate(2026, 6, 17), QTime(10, 30), Qt::UTC);

QString plainBody(const QString& text)
{
    return QStringLiteral(R"([{"insert":"%1\n"}])").arg(text);
}

// A title line followed by check-list lines; written the way the to-do toggle writes, so a tick
// changes nothing but the list state.
QString checklistBody(const QString& title, const QList<QPair<QString, bool>>& tasks)
{
    QString ops = QStringLiteral(R"({"insert":"%1\n"})").arg(title);
    for (const auto& [text, done] : tasks)
        ops += QStringLiteral(R"(,{"insert":"%1"},{"attributes":{"list":"%2"},"insert":"\n"})")
                   .arg(text, done ? QStringLiteral("checked") : QStringLiteral("unchecked"));
    return QLatin1Char('[') + ops + QLatin1Char(']');
}

QStringList listedTitles(const NoteListWidget* list)
{
    QStringList titles;
    for (int row = 0; row < list->count(); ++row)
        titles << list->item(row)->data(NoteListRole::Title).toString();
    return titles;
}

QStringList itemTexts(const QListWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

void clickRow(QListWidget* list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

QListWidgetItem* itemStartingWith(const QListWidget* list, const QString& text)
{
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->text().startsWith(text))
            return list->item(row);
    return nullptr;
}

} // namespace

class tst_Screens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void searchIsDebouncedAndOpensNotes();
    void trashRestoreAndButtonStates();
    void trashQuestions_data();
    void trashQuestions();
    void emptyTrashRereadsTrash();
    void sharedScreensListTheirNotes_data();
    void sharedScreensListTheirNotes();
    void todosFilterSortAndCompleted_data();
    void todosFilterSortAndCompleted();
    void tickingChecklistTaskWritesNote();
    void plainTextTasksRefuseTicks_data();
    void plainTextTasksRefuseTicks();

private:
    // Stores a note whose update time lies `minutesAgo` before kNow.
    Note addNote(const QString& body, int minutesAgo);
    void addTrashedNotes();

    UiTestLibrary m_library;
    std::unique_ptr<QTemporaryDir>& m_dir = m_library.dir;
    std::unique_ptr<Clock::Fixed>& m_clock = m_library.clock;
    std::unique_ptr<AppState>& m_state = m_library.state;
};

void tst_Screens::initTestCase()
{
    UiTestLibrary::useTestSettings("tst_Screens");
}

void tst_Screens::init()
{
    QVERIFY(m_library.open(kNow));
}

void tst_Screens::cleanup()
{
    m_library.close();
}

Note tst_Screens::addNote(const QString& body, int minutesAgo)
{
    Note note;
    note.id = newId();
    note.body = body;
    note.createdAt = kNow.addSecs(-60 * minutesAgo);
    note.updatedAt = note.createdAt;
    note.modifiedAt = note.createdAt;
    note.syncStatus = SyncStatus::Synced;
    if (!m_state->notes()->insert(note))
        qFatal("inserting a test note failed");
    return note;
}

// "Live" stays; "First trashed" goes to the trash a minute before "Last trashed".
void tst_Screens::addTrashedNotes()
{
    addNote(plainBody(QStringLiteral("Live")), 1);
    const Note first = addNote(plainBody(QStringLiteral("First trashed")), 2);
    const Note last = addNote(plainBody(QStringLiteral("Last trashed")), 3);
    QVERIFY(m_state->notes()->moveToTrash(first.id));
    m_clock->advanceMs(60000);
    QVERIFY(m_state->notes()->moveToTrash(last.id));
}

void tst_Screens::searchIsDebouncedAndOpensNotes()
{
    const Note pie = addNote(plainBody(QStringLiteral("Apple pie recipe")), 5);
    addNote(plainBody(QStringLiteral("Banana bread")), 1);
    QWidget noteWindow;
    QStringList opened;
    m_state->setNoteWindowFactory([&](AppState*, const QString& noteId) {
        opened << noteId;
        return &noteWindow;
    });

    SearchScreen screen(m_state.get());
    screen.show();
    QCOMPARE(screen.searchTimer()->interval(), 300);
    QSignalSpy searches(screen.searchTimer(), &QTimer::timeout);

    QTest::keyClicks(screen.searchEdit(), QStringLiteral("app"));
    QVERIFY(screen.searchTimer()->isActive());
    QCOMPARE(screen.noteList()->count(), 0);
    QVERIFY(searches.wait());
    QCOMPARE(searches.count(), 1);
    QCOMPARE(listedTitles(screen.noteList()), QStringList{QStringLiteral("Apple pie recipe")});

    clickRow(screen.noteList(), 0);
    QCOMPARE(m_state->currentNoteId(), pie.id);
    QTest::mouseDClick(screen.noteList()->viewport(), Qt::LeftButton, {},
                       screen.noteList()->visualItemRect(screen.noteList()->item(0)).center());
    QCOMPARE(opened, QStringList{pie.id});

    screen.searchEdit()->clear();
    QVERIFY(searches.wait());
    QCOMPARE(screen.noteList()->count(), 0);

    // Blank text after trimming lists nothing, not every note.
    QTest::keyClicks(screen.searchEdit(), QStringLiteral("   "));
    QVERIFY(searches.wait());
    QCOMPARE(screen.noteList()->count(), 0);
    m_state->setNoteWindowFactory({});
}

void tst_Screens::trashRestoreAndButtonStates()
{
    addTrashedNotes();
    Interaction::Script script;
    TrashScreen screen(m_state.get());
    screen.show();
    auto* restore = screen.findChild<QPushButton*>(QStringLiteral("restoreButton"));
    auto* purge = screen.findChild<QPushButton*>(QStringLiteral("deletePermanentlyButton"));
    auto* empty = screen.findChild<QPushButton*>(QStringLiteral("emptyTrashButton"));
    QVERIFY(restore && purge && empty);

    QCOMPARE(listedTitles(screen.noteList()),
             (QStringList{QStringLiteral("Last trashed"), QStringLiteral("First trashed")}));
    QVERIFY(!restore->isEnabled());
    QVERIFY(!purge->isEnabled());
    QVERIFY(empty->isEnabled());

    clickRow(screen.noteList(), 1);
    QVERIFY(restore->isEnabled());
    QVERIFY(purge->isEnabled());
    QTest::mouseClick(restore, Qt::LeftButton);
    QCOMPARE(listedTitles(screen.noteList()), QStringList{QStringLiteral("Last trashed")});

    clickRow(screen.noteList(), 0);
    QTest::mouseClick(restore, Qt::LeftButton);
    QCOMPARE(screen.noteList()->count(), 0);
    QVERIFY(!empty->isEnabled());
    QCOMPARE(m_state->notes()->allNotes().size(), 3);
    QVERIFY(script.requests().isEmpty());
}

void tst_Screens::trashQuestions_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("remaining");

    const QString deleteText = QStringLiteral("This note will be permanently deleted. This cannot be undone.");
    const QString emptyText = QStringLiteral("Permanently delete all 2 notes in trash? This cannot be undone.");
    const QStringList both{QStringLiteral("Last trashed"), QStringLiteral("First trashed")};
    QTest::newRow("delete, yes") << "Delete Permanently" << int(QMessageBox::Yes) << deleteText
                                 << QStringList{QStringLiteral("First trashed")};
    QTest::newRow("empty, yes") << "Empty Trash" << int(QMessageBox::Yes) << emptyText << QStringList();
    QTest::newRow("empty, no") << "Empty Trash" << int(QMessageBox::No) << emptyText << both;
}

void tst_Screens::trashQuestions()
{
    QFETCH(QString, button);
    QFETCH(int, answer);
    QFETCH(QString, text);
    QFETCH(QStringList, remaining);

    addTrashedNotes();
    TrashScreen screen(m_state.get());
    screen.show();
    clickRow(screen.noteList(), 0);

    Interaction::Script script;
    script.answer(QMessageBox::StandardButton(answer));
    QPushButton* pushButton = nullptr;
    for (QPushButton* candidate : screen.findChildren<QPushButton*>())
        if (candidate->text() == button)
            pushButton = candidate;
    QVERIFY(pushButton);
    QTest::mouseClick(pushButton, Qt::LeftButton);

    QCOMPARE(script.requests().size(), 1);
    const Interaction::Request request = script.requests().first();
    QCOMPARE(request.title, button);
    QCOMPARE(request.text, text);
    QCOMPARE(request.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(request.defaultButton, QMessageBox::No);

    QCOMPARE(listedTitles(screen.noteList()), remaining);
    QStringList stored;
    for (const Note& note : m_state->notes()->trashedNotes())
        stored << note.title();
    QCOMPARE(stored, remaining);
    QCOMPARE(m_state->notes()->allNotes().size(), 1);
    QCOMPARE(screen.findChild<QPushButton*>(QStringLiteral("emptyTrashButton"))->isEnabled(), !remaining.isEmpty());
}

void tst_Screens::emptyTrashRereadsTrash()
{
    const Note note = addNote(plainBody(QStringLiteral("Gone")), 1);
    QVERIFY(m_state->notes()->moveToTrash(note.id));
    TrashScreen screen(m_state.get());
    auto* empty = screen.findChild<QPushButton*>(QStringLiteral("emptyTrashButton"));
    QVERIFY(empty->isEnabled());

    // Purged elsewhere after the list was shown: the trash is empty now, so there is nothing to ask.
    QVERIFY(m_state->notes()->purge(note.id));
    Interaction::Script script;
    QTest::mouseClick(empty, Qt::LeftButton);
    QVERIFY(script.requests().isEmpty());
}

void tst_Screens::sharedScreensListTheirNotes_data()
{
    QTest::addColumn<bool>("byMe");
    QTest::addColumn<bool>("withNotes");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("emptyText");

    const QString byMeEmpty = QStringLiteral("You haven't shared any notes yet.");
    const QString withMeEmpty = QStringLiteral("No notes have been shared with you yet.");
    QTest::newRow("by me") << true << true
                           << QStringList{QStringLiteral("Mine, shared recently"), QStringLiteral("Mine, shared")}
                           << byMeEmpty;
    QTest::newRow("with me") << false << true << QStringList{QStringLiteral("From a friend")} << withMeEmpty;
    QTest::newRow("with me, none") << false << false << QStringList() << withMeEmpty;
}

void tst_Screens::sharedScreensListTheirNotes()
{
    QFETCH(bool, byMe);
    QFETCH(bool, withNotes);
    QFETCH(QStringList, titles);
    QFETCH(QString, emptyText);

    addNote(plainBody(QStringLiteral("Mine, private")), 1);
    if (withNotes) {
        const auto store = [this](const QString& title, int minutesAgo, const QString& ownerId, bool trashed) {
            Note note = addNote(plainBody(title), minutesAgo);
            note.isShared = true;
            note.ownerId = ownerId;
            QVERIFY(m_state->notes()->update(note));
            if (trashed)
                QVERIFY(m_state->notes()->moveToTrash(note.id));
        };
        store(QStringLiteral("Mine, shared"), 9, QString(), false);
        store(QStringLiteral("Mine, shared recently"), 2, QString(), false);
        store(QStringLiteral("Mine, shared, trashed"), 3, QString(), true);
        store(QStringLiteral("From a friend"), 4, QStringLiteral("user-2"), false);
    }

    SharedScreen screen(m_state.get(), byMe);
    screen.show();
    QCOMPARE(listedTitles(screen.noteList()), titles);
    auto* label = screen.findChild<QLabel*>(QStringLiteral("emptyLabel"));
    QVERIFY(label);
    QCOMPARE(label->text(), emptyText);
    QCOMPARE(label->isVisible(), titles.isEmpty());
    QCOMPARE(screen.noteList()->isVisible(), !titles.isEmpty());
}

void tst_Screens::todosFilterSortAndCompleted_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("showCompleted");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QStringList>("expected");

    const QString ann = QStringLiteral("Call Ann  — Work");
    const QString ship = QStringLiteral("ship release  — Work");
    const QString milk = QStringLiteral("buy Milk  — Home");
    const QString rent = QStringLiteral("pay rent  — Home");
    QTest::newRow("open tasks, newest note first") << "" << false << "updated" << QStringList{ann, milk};
    QTest::newRow("completed too") << "" << true << "updated" << QStringList{ann, ship, milk, rent};
    QTest::newRow("alphabetical ignores case") << "" << true << "alpha" << QStringList{milk, ann, rent, ship};
    QTest::newRow("filter is trimmed") << "  ann " << false << "updated" << QStringList{ann};
    QTest::newRow("filter hides completed") << "release" << false << "updated" << QStringList();
    QTest::newRow("filter on note title finds nothing") << "Home" << true << "updated" << QStringList();
}

void tst_Screens::todosFilterSortAndCompleted()
{
    QFETCH(QString, filter);
    QFETCH(bool, showCompleted);
    QFETCH(QString, order);
    QFETCH(QStringList, expected);

    addNote(checklistBody(QStringLiteral("Home"),
                          {{QStringLiteral("buy Milk"), false}, {QStringLiteral("pay rent"), true}}),
            30);
    addNote(QStringLiteral(R"([{"insert":"Work\nTODO: Call Ann\n- [x] ship release\n"}])"), 10);
    const Note hidden = addNote(checklistBody(QStringLiteral("Private"), {{QStringLiteral("buy a gift"), false}}), 1);
    QVERIFY(m_state->notes()->setIncludeInTodos(hidden.id, false));
    const Note trashed = addNote(checklistBody(QStringLiteral("Old"), {{QStringLiteral("buy stamps"), false}}), 2);
    QVERIFY(m_state->notes()->moveToTrash(trashed.id));

    TodosScreen screen(m_state.get());
    screen.show();
    screen.sortCombo()->setCurrentIndex(screen.sortCombo()->findData(order));
    if (showCompleted)
        QTest::mouseClick(screen.showCompletedCheck(), Qt::LeftButton);
    QCOMPARE(screen.showCompletedCheck()->isChecked(), showCompleted);
    QTest::keyClicks(screen.filterEdit(), filter);

    QCOMPARE(itemTexts(screen.todoList()), expected);
}

void tst_Screens::tickingChecklistTaskWritesNote()
{
    const QString original =
        checklistBody(QStringLiteral("Groceries"), {{QStringLiteral("milk"), false}, {QStringLiteral("eggs"), false}});
    const Note note = addNote(original, 5);
    m_clock->advanceMs(1000);

    TodosScreen screen(m_state.get());
    screen.show();
    QTest::mouseClick(screen.showCompletedCheck(), Qt::LeftButton);
    QListWidget* list = screen.todoList();
    QCOMPARE(itemTexts(list), (QStringList{QStringLiteral("milk  — Groceries"), QStringLiteral("eggs  — Groceries")}));
    QVERIFY(list->item(1)->flags() & Qt::ItemIsUserCheckable);

    QSignalSpy announced(m_state.get(), &AppState::noteUpdatedExternally);
    list->setCurrentItem(list->item(1));
    QTest::keyClick(list, Qt::Key_Space);

    QCOMPARE(announced.count(), 1);
    QCOMPARE(announced.first().at(0).toString(), note.id);
    const std::optional<Note> stored = m_state->notes()->noteById(note.id);
    QVERIFY(stored);
    QCOMPARE(stored->body, checklistBody(QStringLiteral("Groceries"),
                                         {{QStringLiteral("milk"), false}, {QStringLiteral("eggs"), true}}));
    QCOMPARE(stored->version, note.version + 1);
    QCOMPARE(stored->syncStatus, SyncStatus::Pending);
    QCOMPARE(stored->updatedAt, kNow.addMSecs(1000));
    QCOMPARE(stored->modifiedAt, kNow.addMSecs(1000));

    // The write's change notice rebuilds the list: the task shows as done.
    QTRY_VERIFY(list->item(1) && list->item(1)->font().strikeOut());
    QCOMPARE(list->item(1)->checkState(), Qt::Checked);
    QVERIFY(!list->item(0)->font().strikeOut());

    QTest::mouseClick(screen.showCompletedCheck(), Qt::LeftButton);
    QCOMPARE(itemTexts(list), QStringList{QStringLiteral("milk  — Groceries")});
}

void tst_Screens::plainTextTasksRefuseTicks_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("markdown task") << "- [ ] call bob";
    QTest::newRow("keyword task") << "TODO: call bob";
}

void tst_Screens::plainTextTasksRefuseTicks()
{
    QFETCH(QString, line);
    const Note note = addNote(QStringLiteral(R"([{"insert":"Calls\n%1\n"}])").arg(line), 5);

    TodosScreen screen(m_state.get());
    screen.show();
    QListWidget* list = screen.todoList();
    QListWidgetItem* item = itemStartingWith(list, QStringLiteral("call bob"));
    QVERIFY(item);
    QVERIFY(!(item->flags() & Qt::ItemIsUserCheckable));
    QSignalSpy announced(m_state.get(), &AppState::noteUpdatedExternally);

    list->setCurrentItem(item);
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(item->checkState(), Qt::Unchecked);
    // Even a programmatic tick is turned back.
    item->setCheckState(Qt::Checked);
    QCOMPARE(item->checkState(), Qt::Unchecked);

    QCOMPARE(announced.count(), 0);
    const std::optional<Note> stored = m_state->notes()->noteById(note.id);
    QCOMPARE(stored->body, note.body);
    QCOMPARE(stored->version, note.version);
    QCOMPARE(stored->syncStatus, SyncStatus::Synced);
}

QTEST_MAIN(tst_Screens)
#include "tst_Screens.moc"
