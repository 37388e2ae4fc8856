#include "Interaction.h"
#include "SearchScreen.h"
#include "SharedScreen.h"
#include "TodosScreen.h"
#include "TrashScreen.h"
#include "UiTestLibrary.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

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

QStringList itemTexts(const QListWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

} // namespace

class tst_Screens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { UiTestLibrary::useTestSettings("tst_Screens"); }
    void init() { QVERIFY(m_library.open()); }
    void cleanup() { m_library.close(); }

    void screensListTheirNotes_data();
    void screensListTheirNotes();
    void trashActions_data();
    void trashActions();
    void emptyTrashRereadsTrash();
    void todosFilterSortAndCompleted_data();
    void todosFilterSortAndCompleted();
    void tickingTasks_data();
    void tickingTasks();

private:
    void addTrashedNotes();
    Note addNote(const QString& text, int minutesAgo) { return m_library.addNote(text, minutesAgo); }

    UiTestLibrary m_library;
    std::unique_ptr<Clock::Fixed>& m_clock = m_library.clock;
    std::unique_ptr<AppState>& m_state = m_library.state;
};

// "Live" stays; "First trashed" goes to the trash a minute before "Last trashed".
void tst_Screens::addTrashedNotes()
{
    addNote(QStringLiteral("Live"), 1);
    const Note first = addNote(QStringLiteral("First trashed"), 2);
    const Note last = addNote(QStringLiteral("Last trashed"), 3);
    QVERIFY(m_state->notes()->moveToTrash(first.id));
    m_clock->advanceMs(60000);
    QVERIFY(m_state->notes()->moveToTrash(last.id));
}

void tst_Screens::screensListTheirNotes_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("search") << "search"
                            << "app" << QStringList{"Apple pie recipe"};
    QTest::newRow("trash, last trashed first")
        << "trash" << QString() << QStringList{"Mine, shared, trashed", "Last trashed", "First trashed"};
    QTest::newRow("shared by me") << "by me" << QString() << QStringList{"Mine, shared recently", "Mine, shared"};
    QTest::newRow("shared with me") << "with me" << QString() << QStringList{"From a friend"};
}

void tst_Screens::screensListTheirNotes()
{
    QFETCH(QString, screen);
    QFETCH(QString, query);
    QFETCH(QStringList, titles);

    addTrashedNotes();
    addNote(QStringLiteral("Apple pie recipe"), 5);
    const auto store = [this](const QString& title, int minutesAgo, const QString& ownerId, bool trashed) {
        Note note = addNote(title, minutesAgo);
        note.isShared = true;
        note.ownerId = ownerId;
        QVERIFY(m_state->notes()->update(note));
        if (trashed)
            QVERIFY(m_state->notes()->moveToTrash(note.id));
    };
    m_clock->advanceMs(60000);
    store(QStringLiteral("Mine, shared"), 9, QString(), false);
    store(QStringLiteral("Mine, shared recently"), 2, QString(), false);
    store(QStringLiteral("Mine, shared, trashed"), 3, QString(), true);
    store(QStringLiteral("From a friend"), 4, QStringLiteral("user-2"), false);
    std::unique_ptr<QWidget> widget;
    NoteListWidget* list = nullptr;
    if (screen == QLatin1String("search")) {
        auto* search = new SearchScreen(m_state.get());
        widget.reset(search);
        search->show();
        QSignalSpy searches(search->searchTimer(), &QTimer::timeout);
        QTest::keyClicks(search->searchEdit(), query);
        QVERIFY(search->searchTimer()->isActive());
        QVERIFY(searches.wait());
        QCOMPARE(searches.count(), 1); // one search, 300 ms after the last key
        list = search->noteList();
    } else if (screen == QLatin1String("trash")) {
        auto* trash = new TrashScreen(m_state.get());
        widget.reset(trash);
        list = trash->noteList();
    } else {
        auto* shared = new SharedScreen(m_state.get(), screen == QLatin1String("by me"));
        widget.reset(shared);
        list = shared->noteList();
    }
    widget->show();
    QCOMPARE(listedTitles(list), titles);
}

void tst_Screens::trashActions_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer"); // NoButton: nothing asked
    QTest::addColumn<QStringList>("remaining");

    const QStringList first{QStringLiteral("First trashed")};
    QTest::newRow("restore") << "restoreButton" << int(QMessageBox::NoButton) << first;
    QTest::newRow("delete, yes") << "deletePermanentlyButton" << int(QMessageBox::Yes) << first;
    QTest::newRow("empty, yes") << "emptyTrashButton" << int(QMessageBox::Yes) << QStringList();
    QTest::newRow("empty, no") << "emptyTrashButton" << int(QMessageBox::No)
                               << QStringList{QStringLiteral("Last trashed"), QStringLiteral("First trashed")};
}

void tst_Screens::trashActions()
{
    QFETCH(QString, button);
    QFETCH(int, answer);
    QFETCH(QStringList, remaining);

    addTrashedNotes();
    TrashScreen screen(m_state.get());
    screen.show();
    NoteListWidget* list = screen.noteList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 0)).center());
    Interaction::Script script;
    script.answer(QMessageBox::StandardButton(answer));
    QTest::mouseClick(screen.findChild<QPushButton*>(button), Qt::LeftButton);

    // Nothing is deleted for good on a default answer.
    QCOMPARE(script.requests().size(), answer == QMessageBox::NoButton ? 0 : 1);
    if (answer != QMessageBox::NoButton)
        QCOMPARE(script.requests().first().defaultButton, QMessageBox::No);
    QCOMPARE(listedTitles(screen.noteList()), remaining);
    QCOMPARE(m_state->notes()->trashedNotes().size(), remaining.size());
    QCOMPARE(screen.findChild<QPushButton*>(QStringLiteral("emptyTrashButton"))->isEnabled(), !remaining.isEmpty());
    // Still selected when nothing was done.
    QCOMPARE(screen.findChild<QPushButton*>(QStringLiteral("restoreButton"))->isEnabled(), answer == QMessageBox::No);
}

void tst_Screens::emptyTrashRereadsTrash()
{
    const Note note = addNote(QStringLiteral("Gone"), 1);
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
    QTest::newRow("filter ignores case") << " MILK" << true << "updated" << QStringList{milk};
    QTest::newRow("completed too") << "" << true << "updated" << QStringList{ann, ship, milk, rent};
    QTest::newRow("alphabetical ignores case") << "" << true << "alpha" << QStringList{milk, ann, rent, ship};
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

void tst_Screens::tickingTasks_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("ticked"); // the body after ticking "eggs"; empty when the tick is refused

    const auto groceries = [](bool done) {
        return checklistBody(QStringLiteral("Groceries"),
                             {{QStringLiteral("milk"), false}, {QStringLiteral("eggs"), done}});
    };
    QTest::newRow("check-list task") << groceries(false) << groceries(true);
    QTest::newRow("markdown task") << R"([{"insert":"Shop\n- [ ] eggs\n"}])" << QString();
}

void tst_Screens::tickingTasks()
{
    QFETCH(QString, body);
    QFETCH(QString, ticked);
    const Note note = addNote(body, 5);
    m_clock->advanceMs(1000);

    TodosScreen screen(m_state.get());
    screen.show();
    QListWidget* list = screen.todoList();
    QListWidgetItem* item = list->findItems(QStringLiteral("eggs"), Qt::MatchStartsWith).value(0);
    QVERIFY(item);
    QSignalSpy announced(m_state.get(), &AppState::noteUpdatedExternally);
    list->setCurrentItem(item);
    QTest::keyClick(list, Qt::Key_Space);

    const std::optional<Note> stored = m_state->notes()->noteById(note.id);
    QCOMPARE(stored->body, ticked.isEmpty() ? body : ticked);
    QCOMPARE(stored->version, note.version + (ticked.isEmpty() ? 0 : 1));
    QCOMPARE(announced.count(), ticked.isEmpty() ? 0 : 1);
    if (ticked.isEmpty()) {
        QCOMPARE(item->checkState(), Qt::Unchecked);
        return;
    }
    QCOMPARE(stored->updatedAt, kTestNow.addMSecs(1000));
    // The write's change notice rebuilds the list; completed tasks are hidden.
    QTRY_COMPARE(itemTexts(list), QStringList{QStringLiteral("milk  — Groceries")});
}

QTEST_MAIN(tst_Screens)
#include "tst_Screens.moc"
