#include "Clock.h"
#include "FontScale.h"
#include "NoteListDelegate.h"
#include "NoteListWidget.h"
#include "NotebookListDelegate.h"
#include "NotebookListWidget.h"
#include "RelativeDate.h"

#include <QApplication>
#include <QImage>
#include <QLocale>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

namespace {

Note makeNote(const QString& id, const QString& body, SyncStatus status = SyncStatus::Synced, bool shared = false)
{
    Note note;
    note.id = id;
    note.body = body;
    note.updatedAt = QDateTime(QDate(2026, 6, 1), QTime(9, 0), Qt::UTC);
    note.syncStatus = status;
    note.isShared = shared;
    return note;
}

QList<Note> numberedNotes(int from, int to)
{
    QList<Note> notes;
    for (int i = from; i < to; ++i)
        notes << makeNote(QStringLiteral("n%1").arg(i), QStringLiteral(R"([{"insert":"Note %1\nbody\n"}])").arg(i));
    return notes;
}

Notebook makeNotebook(const QString& id, const QString& name)
{
    Notebook notebook;
    notebook.id = id;
    notebook.name = name;
    return notebook;
}

} // namespace

class tst_NoteList : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void relativeDates_data();
    void relativeDates();
    void relativeDateReadsTheClock();
    void rowText_data();
    void rowText();
    void displayTitle_data();
    void displayTitle();
    void rowHeights_data();
    void rowHeights();
    void marks_data();
    void marks();
    void paintsSelectionAndMarks();
    void refreshKeepsSelectionAndScroll();
    void editedNotesGetFreshText_data();
    void editedNotesGetFreshText();
    void keysAndDragData();
    void notebookRows();
    void dropOnSidebar_data();
    void dropOnSidebar();
};

void tst_NoteList::cleanup()
{
    FontScale::setPercent(FontScale::kDefault);
}

void tst_NoteList::relativeDates_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("expected");

    // Wednesday noon, local time, well away from any daylight-saving change.
    const QDateTime now(QDate(2026, 6, 17), QTime(12, 0), Qt::LocalTime);
    QTest::newRow("invalid") << QDateTime() << QString();
    QTest::newRow("59 s") << now.addSecs(-59) << "just now";
    QTest::newRow("61 s") << now.addSecs(-61) << "1m ago";
    QTest::newRow("3599 s") << now.addSecs(-3599) << "59m ago";
    QTest::newRow("3600 s") << now.addSecs(-3600) << "1h ago";
    QTest::newRow("20 h, previous day") << now.addSecs(-20 * 3600) << "20h ago";
    QTest::newRow("86399 s") << now.addSecs(-86399) << "23h ago";
    QTest::newRow("90000 s, previous day") << now.addSecs(-90000) << "Yesterday";
    QTest::newRow("6 days") << now.addDays(-6) << QLocale().dayName(4, QLocale::LongFormat);
    QTest::newRow("7 days") << now.addDays(-7) << "Jun 10";
    QTest::newRow("last year") << QDateTime(QDate(2025, 12, 30), QTime(8, 0), Qt::LocalTime) << "Dec 30, 2025";
    QTest::newRow("future, 10 s") << now.addSecs(10) << "Jun 17";
    QTest::newRow("future, next year") << QDateTime(QDate(2027, 1, 5), QTime(8, 0), Qt::LocalTime) << "Jan 5, 2027";
    QTest::newRow("UTC input") << now.toUTC().addSecs(-125) << "2m ago";
}

void tst_NoteList::relativeDates()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, expected);
    const QDateTime now(QDate(2026, 6, 17), QTime(12, 0), Qt::LocalTime);
    QCOMPARE(relativeDate(time, now), expected);
}

void tst_NoteList::relativeDateReadsTheClock()
{
    const QDateTime now(QDate(2026, 6, 17), QTime(12, 0), Qt::LocalTime);
    Clock::Fixed clock(now);
    QCOMPARE(relativeDate(now.addSecs(-7200)), QStringLiteral("2h ago"));
    clock.advanceMs(86400LL * 1000);
    QCOMPARE(relativeDate(now.addSecs(-7200)), QStringLiteral("Yesterday"));
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
    QTest::newRow("preview of exactly 120") << QStringLiteral(R"([{"insert":"T\n%1\n"}])").arg(QString(120, 'y')) << "T"
                                            << QString(120, QLatin1Char('y')) << false << QString();
    QTest::newRow("plain-text body") << "first\nsecond"
                                     << "first"
                                     << "second" << false << QString();
    // Search results show the words around a match that lies beyond the opening of the preview.
    const QString deep = QStringLiteral(R"([{"insert":"Trip\n%1 %1 then Budget review at noon\n"}])").arg(filler);
    QTest::newRow("search: match deep in the body") << deep << "Trip"
                                                    << "…again then Budget review at noon" << false << "budget";
    QTest::newRow("search: operators are no terms") << deep << "Trip"
                                                    << "…again then Budget review at noon" << false
                                                    << "noon AND budget";
    QTest::newRow("search: match near the start") << R"([{"insert":"Trip\nBudget first\n"}])" << "Trip"
                                                  << "Budget first" << false << "budget";
    QTest::newRow("search: only the title matches") << QStringLiteral(R"([{"insert":"Budget\n%1\n"}])").arg(filler)
                                                    << "Budget" << filler << false << "budget";
}

void tst_NoteList::rowText()
{
    QFETCH(QString, body);
    QFETCH(QString, title);
    QFETCH(QString, preview);
    QFETCH(bool, derived);
    QFETCH(QString, search);

    NoteListWidget list;
    list.setNotes({makeNote(QStringLiteral("a"), body)}, NoteListWidget::Bodies::Included, search);
    QListWidgetItem* item = list.item(0);
    QCOMPARE(item->data(NoteListRole::NoteId).toString(), QStringLiteral("a"));
    QCOMPARE(item->data(NoteListRole::Title).toString(), title);
    QCOMPARE(item->data(NoteListRole::Preview).toString(), preview);
    QCOMPARE(item->data(NoteListRole::TitleMissing).toBool(), derived);
}

void tst_NoteList::displayTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("derived");
    QTest::addColumn<QString>("expected");

    QTest::newRow("own title") << "Plan" << false << "Plan";
    QTest::newRow("derived, empty") << "" << true << QString::fromUtf8("\u2E3A  Untitled");
    QTest::newRow("already dashed") << QString::fromUtf8("\u2E3A x") << true << QString::fromUtf8("\u2E3A x");
}

void tst_NoteList::displayTitle()
{
    QFETCH(QString, title);
    QFETCH(bool, derived);
    QFETCH(QString, expected);
    QCOMPARE(NoteListDelegate::displayTitle(title, derived), expected);
}

void tst_NoteList::rowHeights_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("title");
    QTest::addColumn<int>("preview");
    QTest::addColumn<int>("meta");
    QTest::addColumn<int>("noteRow");
    QTest::addColumn<int>("notebookRow");

    QTest::newRow("100 %") << 100 << 15 << 13 << 11 << 91 << 37;
    QTest::newRow("150 %") << 150 << 23 << 20 << 17 << 117 << 52;
    // The process-wide scale never goes below 70 %; the size minimums decide there.
    QTest::newRow("50 %, clamped") << 50 << 10 << 9 << 8 << 76 << 36;
}

void tst_NoteList::rowHeights()
{
    QFETCH(int, scale);
    QFETCH(int, title);
    QFETCH(int, preview);
    QFETCH(int, meta);
    QFETCH(int, noteRow);
    QFETCH(int, notebookRow);

    const int effective = FontScale::setPercent(scale);
    const NoteListMetrics m = noteListMetrics(effective);
    QCOMPARE(m.titlePx, title);
    QCOMPARE(m.previewPx, preview);
    QCOMPARE(m.metaPx, meta);

    NoteListWidget notes;
    notes.resize(300, 400);
    notes.setNotes(numberedNotes(0, 3));
    QCOMPARE(notes.visualItemRect(notes.item(1)).height(), noteRow);
    QCOMPARE(notes.visualItemRect(notes.item(1)).top() - notes.visualItemRect(notes.item(0)).top(), noteRow);

    NotebookListWidget notebooks;
    notebooks.resize(200, 400);
    notebooks.setNotebooks({makeNotebook(QStringLiteral("b1"), QStringLiteral("Work"))}, {}, QString(), 0);
    QCOMPARE(notebooks.visualItemRect(notebooks.item(1)).height(), notebookRow);
}

void tst_NoteList::marks_data()
{
    QTest::addColumn<bool>("shared");
    QTest::addColumn<int>("status");
    QTest::addColumn<QList<int>>("expected");

    using M = NoteListDelegate::Mark;
    QTest::newRow("synced") << false << 1 << QList<int>{};
    QTest::newRow("pending") << false << 0 << QList<int>{int(M::Pending)};
    QTest::newRow("conflict") << false << 2 << QList<int>{int(M::Conflict)};
    QTest::newRow("shared, pending") << true << 0 << QList<int>{int(M::Shared), int(M::Pending)};
}

void tst_NoteList::marks()
{
    QFETCH(bool, shared);
    QFETCH(int, status);
    QFETCH(QList<int>, expected);

    NoteListWidget list;
    list.setNotes({makeNote(QStringLiteral("a"), QStringLiteral(R"([{"insert":"A\n"}])"),
                            static_cast<SyncStatus>(status), shared)});
    QList<int> actual;
    for (NoteListDelegate::Mark mark : NoteListDelegate::marks(list.model()->index(0, 0)))
        actual << int(mark);
    QCOMPARE(actual, expected);
}

void tst_NoteList::paintsSelectionAndMarks()
{
    NoteListWidget list;
    QPalette palette = list.palette();
    palette.setColor(QPalette::Base, QColor(255, 255, 255));
    palette.setColor(QPalette::Text, QColor(33, 33, 33));
    palette.setColor(QPalette::Highlight, QColor(21, 101, 192));
    list.setPalette(palette);
    list.resize(320, 300);
    list.setNotes({makeNote(QStringLiteral("a"), QStringLiteral(R"([{"insert":"A\n"}])"), SyncStatus::Synced),
                   makeNote(QStringLiteral("b"), QStringLiteral(R"([{"insert":"B\n"}])"), SyncStatus::Pending)});
    list.selectNote(QStringLiteral("a"));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    const QImage image = list.viewport()->grab().toImage();
    const ListPalette c = listPalette(list.palette());
    const QRect first = list.visualItemRect(list.item(0));
    const QRect second = list.visualItemRect(list.item(1));
    const qreal dpr = image.devicePixelRatio();
    auto pixel = [&](int x, int y) {
        return image.pixelColor(int(x * dpr), int(y * dpr)).rgb();
    };

    QCOMPARE(pixel(first.left(), first.center().y()), c.accent.rgb());     // the selection bar
    QCOMPARE(pixel(first.right() - 2, first.top() + 3), c.selected.rgb()); // the selected row

    // The mark square right of the title: drawn for the pending note, blank for the synced one.
    auto markInk = [&](const QRect& row, const QColor& background) {
        const QRgb backgroundRgb = background.rgb();
        const int left = row.right() - 24 - 22 + 8;
        int ink = 0;
        for (int y = row.top() + 12; y < row.top() + 34; ++y)
            for (int x = left; x < left + 14; ++x)
                ink += pixel(x, y) != backgroundRgb;
        return ink;
    };
    QCOMPARE(markInk(first, c.selected), 0);
    QVERIFY(markInk(second, c.base) > 10);
}

void tst_NoteList::refreshKeepsSelectionAndScroll()
{
    NoteListWidget list;
    list.resize(300, 400);
    list.setNotes(numberedNotes(0, 40));
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    const int rowHeight = list.visualItemRect(list.item(0)).height();
    list.selectNote(QStringLiteral("n12"));
    list.verticalScrollBar()->setValue(10 * rowHeight + 30);
    QListWidgetItem* top = list.itemAt(0, 0);

    QSignalSpy selected(&list, &NoteListWidget::noteSelected);
    // A refresh in which two new notes arrived at the head of the list.
    QList<Note> refreshed = numberedNotes(100, 102) + numberedNotes(0, 40);
    list.setNotes(refreshed);

    QCOMPARE(selected.count(), 0);
    QCOMPARE(list.count(), 42);
    QCOMPARE(list.selectedNoteId(), QStringLiteral("n12"));
    top = list.itemAt(0, 0);
    QCOMPARE(top->data(NoteListRole::NoteId).toString(), QStringLiteral("n10"));
    QCOMPARE(list.visualItemRect(top).top(), -30);

    // The selected note gone: nothing is current and nothing is announced.
    refreshed.removeAt(14);
    list.setNotes(refreshed);
    QCOMPARE(selected.count(), 0);
    QCOMPARE(list.selectedNoteId(), QString());
}

void tst_NoteList::editedNotesGetFreshText_data()
{
    QTest::addColumn<bool>("settle"); // let the idle derivation finish before the edit
    QTest::addColumn<int>("minutesLater");
    QTest::addColumn<QString>("editedBody");
    QTest::addColumn<QString>("title");

    const QString longer = QStringLiteral(R"([{"insert":"Renamed note\nbody\n"}])");
    const QString sameLength = QStringLiteral(R"([{"insert":"Note X\nbody\n"}])");
    QTest::newRow("new update time") << true << 5 << longer << "Renamed note";
    QTest::newRow("same time, next version") << true << 0 << longer << "Renamed note";
    QTest::newRow("before derivation") << false << 5 << longer << "Renamed note";
    // An unchanged update time and version means an unchanged note: the derived text stands.
    QTest::newRow("unchanged key keeps text") << true << 0 << sameLength << "Note 1";
}

void tst_NoteList::editedNotesGetFreshText()
{
    QFETCH(bool, settle);
    QFETCH(int, minutesLater);
    QFETCH(QString, editedBody);
    QFETCH(QString, title);

    NoteListWidget list;
    list.resize(300, 200);
    list.show();
    QList<Note> notes = numberedNotes(0, 1500);
    list.setNotes(notes);
    if (settle)
        QTest::qWait(300); // idle time: rows that were never painted get their texts and enter the cache
    notes[1].body = editedBody;
    notes[1].updatedAt = notes[1].updatedAt.addSecs(60 * minutesLater);
    if (title != QLatin1String("Note 1"))
        notes[1].version += 1;
    list.setNotes(notes);
    QCOMPARE(list.item(1)->data(NoteListRole::Title).toString(), title);
    QCOMPARE(list.item(1400)->data(NoteListRole::Title).toString(), QStringLiteral("Note 1400"));
    QCOMPARE(list.item(1400)->data(NoteListRole::Preview).toString(), QStringLiteral("body"));
}

void tst_NoteList::keysAndDragData()
{
    NoteListWidget list;
    list.setNotebookNameLookup([](const QString& id) { return id == "b1" ? QStringLiteral("Work") : QString(); });
    QList<Note> notes = numberedNotes(0, 3);
    notes[1].notebookId = QStringLiteral("b1");
    list.setNotes(notes);
    QCOMPARE(list.item(0)->data(NoteListRole::NotebookName).toString(), QString());
    QCOMPARE(list.item(1)->data(NoteListRole::NotebookName).toString(), QStringLiteral("Work"));

    QSignalSpy selected(&list, &NoteListWidget::noteSelected);
    QSignalSpy activated(&list, &NoteListWidget::noteActivated);
    QSignalSpy deleteRequested(&list, &NoteListWidget::noteDeleteRequested);
    QTest::keyClick(&list, Qt::Key_Return);
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(activated.count(), 0); // no current item yet
    QCOMPARE(deleteRequested.count(), 0);

    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    selected.clear();
    list.selectNote(QStringLiteral("n1"));
    QTest::keyClick(&list, Qt::Key_Return);
    QTest::keyClick(&list, Qt::Key_Enter);
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(activated.count(), 2);
    QCOMPARE(activated.at(1).at(0).toString(), QStringLiteral("n1"));
    QCOMPARE(deleteRequested.count(), 1);
    QCOMPARE(deleteRequested.at(0).at(0).toString(), QStringLiteral("n1"));
    QTest::keyClick(&list, Qt::Key_Down);
    QCOMPARE(list.selectedNoteId(), QStringLiteral("n2"));

    struct Access : NoteListWidget
    {
        using NoteListWidget::mimeData;
    };
    std::unique_ptr<QMimeData> data(
        static_cast<Access&>(list).mimeData(QList<QListWidgetItem*>{list.item(2), list.item(0)}));
    QCOMPARE(data->data(QStringLiteral("application/x-norvane-note-id")), QByteArray("n2"));
}

void tst_NoteList::notebookRows()
{
    NotebookListWidget list;
    Notebook shared = makeNotebook(QStringLiteral("b2"), QStringLiteral("Family"));
    shared.isShared = true;
    const QHash<QString, int> counts{{QString(), 9}, {QStringLiteral("b1"), 4}};
    QSignalSpy notebookSelected(&list, &NotebookListWidget::notebookSelected);
    list.setNotebooks({makeNotebook(QStringLiteral("b1"), QStringLiteral("Work")), shared}, counts,
                      QStringLiteral("b2"), 3);

    QCOMPARE(list.count(), 5);
    QStringList texts;
    QList<int> kinds;
    QList<int> shown;
    for (int row = 0; row < list.count(); ++row) {
        texts << list.item(row)->data(NotebookListRole::Text).toString();
        kinds << list.item(row)->data(NotebookListRole::Kind).toInt();
        shown << list.item(row)->data(NotebookListRole::Count).toInt();
    }
    QCOMPARE(texts, (QStringList{"All Notes", "Work", "Family", "Trash", QString::fromUtf8("New Notebook\u2026")}));
    QCOMPARE(kinds, (QList<int>{0, 1, 1, 2, 3}));
    QCOMPARE(shown, (QList<int>{9, 4, 0, 3, 0}));
    QCOMPARE(list.item(2)->data(NotebookListRole::Shared).toBool(), true);
    QCOMPARE(list.currentRow(), 2);
    QCOMPARE(notebookSelected.count(), 0);

    // An unknown or empty current notebook selects All Notes.
    list.setNotebooks({makeNotebook(QStringLiteral("b1"), QStringLiteral("Work"))}, counts, QString(), 0);
    QCOMPARE(list.currentRow(), 0);

    // Choosing rows.
    QSignalSpy allNotes(&list, &NotebookListWidget::allNotesSelected);
    QSignalSpy trash(&list, &NotebookListWidget::trashSelected);
    QSignalSpy newNotebook(&list, &NotebookListWidget::newNotebookRequested);
    list.onItemActivated(list.item(1));
    list.onItemActivated(list.item(0));
    list.onItemActivated(list.item(2));
    list.onItemActivated(list.item(3));
    QCOMPARE(notebookSelected.count(), 1);
    QCOMPARE(notebookSelected.at(0).at(0).toString(), QStringLiteral("b1"));
    QCOMPARE(allNotes.count(), 1);
    QCOMPARE(trash.count(), 1);
    QCOMPARE(newNotebook.count(), 1);
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
    list.setNotebooks({makeNotebook(QStringLiteral("b1"), QStringLiteral("Work")),
                       makeNotebook(QStringLiteral("b2"), QStringLiteral("Home"))},
                      {}, QStringLiteral("b1"), 2);
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
