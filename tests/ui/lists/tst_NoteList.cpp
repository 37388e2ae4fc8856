#include "../../TestLibrary.h"
#include "Clock.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NotebookListWidget.h"
#include "RelativeDate.h"

#include <QLocale>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {

const QDateTime kNow(QDate(2026, 6, 1), QTime(9, 0), Qt::UTC);

// A synced note whose first line is `title`.
Note listed(const QString& id, const QString& title)
{
    Note note = makeNote(id, QStringLiteral(R"([{"insert":"%1\nbody\n"}])").arg(title), QString(), kNow);
    note.syncStatus = SyncStatus::Synced;
    return note;
}

// A library in a real database file: note i ("n<i>", title "Note <i>") was written i minutes
// before kNow; every third note is in notebook "b1".
struct Library
{
    Clock::Fixed clock{kNow};
    TestDb test;
    std::unique_ptr<NoteRepository> notes;
    qsizetype rowsLoaded = 0; // rows the list read, as the repository handed them out
    NoteListWidget list;

    bool open(int count)
    {
        if (!test.ok)
            return false;
        notes = std::make_unique<NoteRepository>(&test.database);
        test.db().transaction();
        for (int i = 0; i < count; ++i) {
            Note note = listed(QStringLiteral("n%1").arg(i), QStringLiteral("Note %1").arg(i));
            note.updatedAt = kNow.addSecs(-60 * i);
            note.notebookId = i % 3 == 0 ? QStringLiteral("b1") : QString();
            if (!notes->insert(note))
                return false;
        }
        list.setRowLoader([this](const QStringList& wanted, const QList<qint64>& rowids) {
            rowsLoaded += wanted.size() + rowids.size();
            return notes->listRows(wanted, rowids);
        });
        list.resize(300, 600);
        list.show();
        return test.db().commit() && QTest::qWaitForWindowExposed(&list);
    }
    void refresh()
    {
        list.setRowids(notes->listRowids(NoteRepository::ListScope::AllNotes));
        list.viewport()->repaint();
    }
};

} // namespace

class tst_NoteList : public QObject
{
    Q_OBJECT

private slots:
    void relativeDates_data();
    void relativeDates();
    void rowText_data();
    void rowText();
    void keysInListOrder_data();
    void keysInListOrder();
    void refreshReadsShownRowsAndKeepsPlace();
    void writtenNoteMovesToTheHead();
    void notebookNameAndDragData();
    void dropOnSidebar_data();
    void dropOnSidebar();
};

void tst_NoteList::relativeDates_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("expected");

    // Wednesday noon, local time, well away from any daylight-saving change.
    const QDateTime now(QDate(2026, 6, 17), QTime(12, 0), Qt::LocalTime);
    QTest::newRow("59 s") << now.addSecs(-59) << "just now";
    QTest::newRow("61 s") << now.addSecs(-61) << "1m ago";
    QTest::newRow("90000 s, previous day") << now.addSecs(-90000) << "Yesterday";
    QTest::newRow("7 days") << now.addDays(-7) << "Jun 10";
}

void tst_NoteList::relativeDates()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, expected);
    const QDateTime now(QDate(2026, 6, 17), QTime(12, 0), Qt::LocalTime);
    QCOMPARE(relativeDate(time, now), expected);
}

void tst_NoteList::rowText_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<bool>("derived");
    QTest::addColumn<QString>("search");

    const QString long130 = QString(130, QLatin1Char('x'));
    const QString filler = QStringLiteral("Some words about the weekend plans and the garden again and again");
    QTest::newRow("title and lines") << R"([{"insert":"Groceries"},{"insert":"\n"},{"insert":"milk\n eggs \n"}])"
                                     << "Groceries"
                                     << "milk  eggs" << false << QString();
    QTest::newRow("empty first line") << R"([{"insert":"\nBody text\nmore\n"}])"
                                      << "Body text more"
                                      << "" << true << QString();
    QTest::newRow("embed only") << R"([{"insert":{"divider":"hr"}},{"insert":"\n"}])"
                                << "Untitled"
                                << "" << true << QString();
    QTest::newRow("preview cut at 120") << QStringLiteral(R"([{"insert":"T\n%1\n"}])").arg(long130) << "T"
                                        << QString(120, QLatin1Char('x')) + "..." << false << QString();
    // Search results show the words around a match that lies beyond the opening of the preview.
    const QString deep = QStringLiteral(R"([{"insert":"Trip\n%1 %1 then Budget review at noon\n"}])").arg(filler);
    QTest::newRow("search: match deep in the body") << deep << "Trip"
                                                    << "…again then Budget review at noon" << false << "budget";
    QTest::newRow("search: match near the start") << R"([{"insert":"Trip\nBudget first\n"}])"
                                                  << "Trip"
                                                  << "Budget first" << false << "budget";
}

void tst_NoteList::rowText()
{
    QFETCH(QString, body);
    QFETCH(QString, title);
    QFETCH(QString, preview);
    QFETCH(bool, derived);
    QFETCH(QString, search);

    const NoteListText text = noteListText(body, searchTerms(search));
    QCOMPARE(text.title, title);
    QCOMPARE(text.preview, preview);
    QCOMPARE(text.titleMissing, derived);
}

void tst_NoteList::keysInListOrder_data()
{
    QTest::addColumn<int>("scope"); // NoteRepository::ListScope, or -1 for the search below
    QTest::addColumn<QString>("query");

    QTest::newRow("all notes") << int(NoteRepository::ListScope::AllNotes) << QString();
    QTest::newRow("notebook") << int(NoteRepository::ListScope::Notebook) << QString();
    QTest::newRow("trash") << int(NoteRepository::ListScope::Trash) << QString();
    QTest::newRow("search, prefix of the last word") << -1 << "note 1";
    QTest::newRow("search, ranked") << -1 << "zebra";
    QTest::newRow("search, a match in the trash") << -1 << "note 25";
    // No valid full-text expressions as typed: each word is searched for as it stands.
    QTest::newRow("search, hyphenated") << -1 << "e-ink";
    QTest::newRow("search, stray quote") << -1 << "zeb\"ra";
    QTest::newRow("search, blank") << -1 << "  ";
}

void tst_NoteList::keysInListOrder()
{
    QFETCH(int, scope);
    QFETCH(QString, query);

    Library library;
    QVERIFY(library.open(300));
    NoteRepository& notes = *library.notes;
    // Trashed a minute apart, the first one last in the trash; ranked words in three notes.
    for (const QString& id : {QStringLiteral("n7"), QStringLiteral("n3"), QStringLiteral("n250")}) {
        library.clock.advanceMs(60000);
        QVERIFY(notes.moveToTrash(id));
    }
    const QList<QPair<QString, QString>> words{{QStringLiteral("n20"), QStringLiteral("zebra")},
                                               {QStringLiteral("n21"), QStringLiteral("zebra zebra zebra e-ink")},
                                               {QStringLiteral("n22"), QStringLiteral("zebra zebra")}};
    for (const auto& [id, text] : words) {
        Note note = *notes.noteById(id);
        note.body = QStringLiteral(R"([{"insert":"Animals: %1\n"}])").arg(text);
        QVERIFY(notes.update(note));
    }

    // The keys list exactly what the note listings list, in their order.
    QList<Note> expected;
    if (scope < 0)
        expected = notes.search(query);
    else if (scope == int(NoteRepository::ListScope::AllNotes))
        expected = notes.allNotes();
    else if (scope == int(NoteRepository::ListScope::Notebook))
        expected = notes.notesInNotebook(QStringLiteral("b1"));
    else
        expected = notes.trashedNotes();
    const QStringList expectedIds = ids(expected);
    // Search results come as row ids; the list resolves them, rows never shown included.
    NoteListWidget& list = library.list;
    list.setRowids(scope < 0 ? notes.searchRowids(query)
                             : notes.listRowids(NoteRepository::ListScope(scope), QStringLiteral("b1")));
    if (!expectedIds.isEmpty())
        QCOMPARE(list.rowOfNote(expectedIds.last()), expectedIds.size() - 1);
    QCOMPARE(list.noteModel()->noteIds(), expectedIds);
    if (query == QLatin1String("zebra"))
        QCOMPARE(expectedIds, (QStringList{"n21", "n22", "n20"}));
}

void tst_NoteList::refreshReadsShownRowsAndKeepsPlace()
{
    Library library;
    QVERIFY(library.open(500));
    NoteListWidget& list = library.list;
    library.refresh();
    QCOMPARE(list.count(), 500);
    // About seven rows are on screen; one page around them is read, not the library.
    QVERIFY2(library.rowsLoaded >= 7 && library.rowsLoaded <= 60, qPrintable(QString::number(library.rowsLoaded)));
    QCOMPARE(list.model()->index(2, 0).data(NoteListRole::Title).toString(), QStringLiteral("Note 2"));

    const int rowHeight = list.visualRect(list.model()->index(0, 0)).height();
    list.selectNote(QStringLiteral("n120"));
    list.verticalScrollBar()->setValue(100 * rowHeight + 30);
    list.viewport()->repaint();
    QSignalSpy selected(&list, &NoteListWidget::noteSelected);

    // Two new notes arrive at the head of the list.
    for (const QString& id : {QStringLiteral("new1"), QStringLiteral("new2")}) {
        library.clock.advanceMs(1000);
        Note note = listed(id, id);
        note.updatedAt = Clock::nowUtc();
        QVERIFY(library.notes->insert(note));
    }
    library.rowsLoaded = 0;
    library.refresh();
    QVERIFY(library.rowsLoaded <= 60);
    QCOMPARE(selected.count(), 0);
    QCOMPARE(list.noteModel()->noteIdAt(0), QStringLiteral("new2"));
    QCOMPARE(list.selectedNoteId(), QStringLiteral("n120"));
    const QModelIndex top = list.indexAt(QPoint(0, 0));
    QCOMPARE(top.data(NoteListRole::NoteId).toString(), QStringLiteral("n100"));
    QCOMPARE(list.visualRect(top).top(), -30);

    // The selected note gone: nothing is current and nothing is announced.
    QVERIFY(library.notes->moveToTrash(QStringLiteral("n120")));
    library.refresh();
    QCOMPARE(selected.count(), 0);
    QCOMPARE(list.selectedNoteId(), QString());
}

void tst_NoteList::writtenNoteMovesToTheHead()
{
    Library library;
    QVERIFY(library.open(300));
    NoteListWidget& list = library.list;
    library.refresh();
    list.selectNote(QStringLiteral("n150"));
    QCOMPARE(list.model()->index(150, 0).data(NoteListRole::Title).toString(), QStringLiteral("Note 150"));
    QSignalSpy selected(&list, &NoteListWidget::noteSelected);

    // The same title length and a later time and version: the shown text must not be the old one.
    Note note = *library.notes->noteById(QStringLiteral("n150"));
    note.body = listed(note.id, QStringLiteral("Edit 150")).body;
    note.updatedAt = Clock::nowUtc().addSecs(5);
    note.version += 1;
    QVERIFY(library.notes->update(note));
    const qsizetype loaded = library.rowsLoaded;
    QVERIFY(list.replaceNote(note, 0));

    QCOMPARE(library.rowsLoaded, loaded); // the written note brings its own row
    QCOMPARE(list.model()->index(0, 0).data(NoteListRole::Title).toString(), QStringLiteral("Edit 150"));
    QCOMPARE(list.selectedNoteId(), QStringLiteral("n150"));
    QCOMPARE(selected.count(), 0);
    // The list is what a full refresh would read.
    QCOMPARE(list.noteModel()->noteIds(), ids(library.notes->allNotes()));

    // A new note goes in at the head; in steno order the head is the bottom row.
    library.clock.advanceMs(10000);
    Note fresh = listed(QStringLiteral("fresh"), QStringLiteral("Fresh"));
    list.insertNote(fresh, list.count());
    QCOMPARE(list.noteModel()->noteIdAt(300), QStringLiteral("fresh"));
    QCOMPARE(list.model()->index(300, 0).data(NoteListRole::Title).toString(), QStringLiteral("Fresh"));
}

void tst_NoteList::notebookNameAndDragData()
{
    NoteListWidget list;
    list.setNotebookNameLookup([](const QString& id) { return id == "b1" ? QStringLiteral("Work") : QString(); });
    for (const QString id : {"n0", "n1", "n2"}) { // notes that are not stored anywhere
        Note note = listed(id, id);
        note.notebookId = id == "n1" ? QStringLiteral("b1") : QString();
        list.insertNote(note, list.count());
    }
    QCOMPARE(list.model()->index(1, 0).data(NoteListRole::NotebookName).toString(), QStringLiteral("Work"));
    QCOMPARE(list.model()->index(2, 0).data(NoteListRole::NotebookName).toString(), QString());

    // The first dragged row is the note.
    const std::unique_ptr<QMimeData> data(
        list.model()->mimeData({list.model()->index(2, 0), list.model()->index(0, 0)}));
    QCOMPARE(data->data(QStringLiteral("application/x-norvane-note-id")), QByteArray("n2"));
}

void tst_NoteList::dropOnSidebar_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("mimeType");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("target");

    const QString noteType = QStringLiteral("application/x-norvane-note-id");
    QTest::newRow("All Notes: out of the notebook") << 0 << noteType << true << "";
    QTest::newRow("notebook") << 2 << noteType << true << "b2";
    QTest::newRow("Trash refused") << 3 << noteType << false << "";
    QTest::newRow("New Notebook refused") << 4 << noteType << false << "";
    QTest::newRow("other data") << 2 << "text/plain" << false << "";
}

void tst_NoteList::dropOnSidebar()
{
    QFETCH(int, row);
    QFETCH(QString, mimeType);
    QFETCH(bool, accepted);
    QFETCH(QString, target);

    NotebookListWidget list;
    list.resize(220, 400);
    Notebook work, home;
    work.id = QStringLiteral("b1");
    work.name = QStringLiteral("Work");
    home.id = QStringLiteral("b2");
    home.name = QStringLiteral("Home");
    list.setNotebooks({work, home}, {}, QStringLiteral("b1"), 2);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QSignalSpy dropped(&list, &NotebookListWidget::noteDroppedOnNotebook);

    QMimeData data;
    data.setData(mimeType, QByteArray("note-7"));
    const QPoint pos = list.visualItemRect(list.item(row)).center();

    // Delivered the way the viewport hands drag events to the view.
    struct Access : NotebookListWidget
    {
        using NotebookListWidget::viewportEvent;
    };
    auto& view = static_cast<Access&>(list);
    QDragMoveEvent move(pos, Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    view.viewportEvent(&move);
    QCOMPARE(move.isAccepted(), accepted);
    // While hovering, the row that would take the note is highlighted.
    QCOMPARE(list.currentRow(), accepted ? row : 1);

    QDropEvent drop(QPointF(pos), Qt::MoveAction | Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    view.viewportEvent(&drop);
    QCOMPARE(drop.isAccepted(), accepted);
    QCOMPARE(dropped.count(), accepted ? 1 : 0);
    if (accepted) {
        QCOMPARE(dropped.at(0).at(0).toString(), QStringLiteral("note-7"));
        QCOMPARE(dropped.at(0).at(1).toString(), target);
    }
    // The highlight goes back to the notebook being shown.
    QCOMPARE(list.currentRow(), 1);
}

QTEST_MAIN(tst_NoteList)
#include "tst_NoteList.moc"
