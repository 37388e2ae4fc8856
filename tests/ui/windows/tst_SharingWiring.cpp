#include "../../account/AccountTestServer.h"
#include "AccountClient.h"
#include "AccountScreen.h"
#include "AppState.h"
#include "EditorToolbar.h"
#include "MainWindow.h"
#include "NorvAccountClient.h"
#include "NoteEditor.h"
#include "NoteHeaderBar.h"
#include "NoteListModel.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NoteWindow.h"
#include "NotebookListWidget.h"
#include "Records.h"
#include "SettingsDialog.h"
#include "ShareMembersDialog.h"
#include "SnapshotRepository.h"
#include "TodosScreen.h"
#include "TokenStore.h"
#include "UiTestLibrary.h"
#include "VersionHistoryDialog.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using namespace NorvAccount;

// Sharing and the account as the windows offer them: what is on only with a group, what opens, and
// a note someone shared for viewing staying untouched wherever it shows.
class tst_SharingWiring : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void offeredOnlyInAGroup_data();
    void offeredOnlyInAGroup();
    void viewOnlyNoteStaysUntouched_data();
    void viewOnlyNoteStaysUntouched();
    void viewOnlyNoteStaysWhereItIs_data();
    void viewOnlyNoteStaysWhereItIs();
};

static Note checklistNote(const QString& ownerId, const QString& permission)
{
    Note note;
    note.id = newId();
    note.body = QStringLiteral(
        R"([{"insert":"Packing\n"},{"insert":"Tent"},{"insert":"\n","attributes":{"list":"unchecked"}}])");
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    note.ownerId = ownerId;
    note.permission = permission;
    note.isShared = !ownerId.isEmpty();
    return note;
}

void tst_SharingWiring::initTestCase()
{
    UiTestLibrary::useTestSettings("tst_SharingWiring");
}

void tst_SharingWiring::offeredOnlyInAGroup_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("canShare");
    // clang-format off
    QTest::newRow("group owner") << "ada@example.com" << true;
    QTest::newRow("no group") << "cleo@example.com" << false;
    // clang-format on
}

void tst_SharingWiring::offeredOnlyInAGroup()
{
    QFETCH(QString, email);
    QFETCH(bool, canShare);
    AccountTestServer server;
    ACCOUNT_REQUIRE_SERVER(server);
    QTemporaryDir dir;
    qputenv("NOTES_DATA_DIR", dir.path().toUtf8());
    qputenv("AUTH_BASE_URL", (server.base() + QStringLiteral("/auth")).toUtf8());
    qputenv("ACCOUNT_API_URL", (server.base() + QStringLiteral("/account/v1")).toUtf8());
    qputenv("SYNC_API_URL", (server.base() + QStringLiteral("/notes/v1")).toUtf8());
    auto vault = std::make_shared<MemoryTokenStore::Vault>();
    const auto [access, refresh] = server.tokens(email);
    vault->insert(QString::fromLatin1(TokenStore::kAccessTokenKey), access);
    vault->insert(QString::fromLatin1(TokenStore::kRefreshTokenKey), refresh);

    AppState state;
    state.setTokenStoreFactory([vault] { return std::make_unique<MemoryTokenStore>(vault); });
    QVERIFY(state.initialize());
    QVERIFY(state.signedIn());
    const Note own = checklistNote(QString(), QString());
    QVERIFY(state.notes()->insert(own));
    state.setCurrentNote(own.id);
    MainWindow window(&state);
    window.show();
    auto* share = window.findChild<NoteHeaderBar*>()->findChild<QToolButton*>(QStringLiteral("shareButton"));

    if (canShare) {
        QTRY_VERIFY_WITH_TIMEOUT(state.canShare(), 20000);
    } else {
        // The profile names no group, so the member list is never even asked for.
        QTRY_VERIFY_WITH_TIMEOUT(server.count(QStringLiteral("/account/v1/profile")) > 0, 20000);
        QVERIFY(!state.canShare());
        QCOMPARE(server.count(QStringLiteral("/account/v1/group")), 0);
    }
    QCOMPARE(share->isEnabled(), canShare);
    QCOMPARE(actionNamed(&window, QStringLiteral("Shared with Me"))->isVisible(), canShare);
    if (canShare) {
        share->click();
        auto* dialog = window.findChild<ShareMembersDialog*>();
        QVERIFY(dialog && dialog->isVisible());
        dialog->close();
    }

    if (!canShare) {
        // Joining a group turns sharing on, and the account page of the settings follows.
        auto* details = window.openSettings()->findChild<QLabel*>(QStringLiteral("accountDetailsLabel"));
        QTRY_VERIFY_WITH_TIMEOUT(details->text().endsWith(QLatin1String("Not in a group")), 20000);
        const QString owner = server.server->signIn(DevServer::Ada).access;
        const QString code =
            server.server->callJson("POST", "/account/v1/group/invite", {}, owner).json()["invite_code"].toString();
        state.account()->accountClient()->joinGroup(code, [](bool) {});
        QTRY_VERIFY_WITH_TIMEOUT(state.canShare() && details->text().contains(QLatin1String("Lovelace Lab")), 20000);
        QVERIFY(share->isEnabled());
    }

    // Manage Account opens the account screen; signing out closes it and takes sharing away.
    QPointer<AccountScreen> screen = window.openAccountScreen();
    QVERIFY(screen);
    QVERIFY(screen->isVisible());
    actionNamed(&window, QStringLiteral("Sign &Out"))->trigger();
    QTRY_VERIFY(!screen);
    QVERIFY(!state.canShare());
    QVERIFY(!share->isEnabled());
    QVERIFY(!window.openAccountScreen());
}

void tst_SharingWiring::viewOnlyNoteStaysUntouched_data()
{
    QTest::addColumn<QString>("permission");
    QTest::addColumn<bool>("readOnly");
    // clang-format off
    QTest::newRow("view") << "view" << true;
    QTest::newRow("edit") << "edit" << false;
    // clang-format on
}

void tst_SharingWiring::viewOnlyNoteStaysUntouched()
{
    QFETCH(QString, permission);
    QFETCH(bool, readOnly);
    UiTestLibrary library;
    QVERIFY(library.open(QDateTime::currentDateTimeUtc()));
    AppState* state = library.state.get();
    const Note note = checklistNote(QStringLiteral("ac000000-0000-4000-8000-00000000000a"), permission);
    QVERIFY(state->notes()->insert(note));

    MainWindow window(state);
    window.openNote(note.id);
    QCOMPARE(window.editor()->isReadOnly(), readOnly);
    QCOMPARE(window.findChild<EditorToolbar*>()->isEnabled(), !readOnly);
    // Someone else's note is never shared onwards from here.
    QVERIFY(!window.findChild<NoteHeaderBar*>()->findChild<QToolButton*>(QStringLiteral("shareButton"))->isEnabled());

    auto* noteWindow = new NoteWindow(state, note.id);
    QCOMPARE(noteWindow->editor()->isReadOnly(), readOnly);
    noteWindow->close();

    // Nor can an earlier version be restored over it.
    Snapshot snapshot{newId(), note.id, 1, QStringLiteral(R"([{"insert":"Older\n"}])"),
                      QDateTime::currentDateTimeUtc()};
    QVERIFY(state->snapshots()->insert(snapshot));
    VersionHistoryDialog history(state, note.id);
    history.setAttribute(Qt::WA_DeleteOnClose, false);
    history.findChild<QListWidget*>(QStringLiteral("snapshotList"))->setCurrentRow(0);
    QCOMPARE(history.findChild<QPushButton*>(QStringLiteral("restoreSnapshotButton"))->isEnabled(), !readOnly);

    TodosScreen todos(state);
    QListWidget* list = todos.todoList();
    QCOMPARE(list->count(), 1);
    list->item(0)->setCheckState(Qt::Checked);
    const QString body = state->notes()->noteById(note.id)->body;
    QCOMPARE(body == note.body, readOnly);
    if (readOnly)
        QCOMPARE(list->item(0)->checkState(), Qt::Unchecked);
}

void tst_SharingWiring::viewOnlyNoteStaysWhereItIs_data()
{
    QTest::addColumn<QString>("permission"); // empty: the user's own note
    QTest::addColumn<bool>("movable");
    // clang-format off
    QTest::newRow("own") << QString() << true;
    QTest::newRow("shared to edit") << "edit" << true;
    QTest::newRow("shared to view") << "view" << false;
    // clang-format on
}

// The server refuses to move or trash a note shared for viewing, so no window offers it: a local
// move would wait to be sent forever.
void tst_SharingWiring::viewOnlyNoteStaysWhereItIs()
{
    QFETCH(QString, permission);
    QFETCH(bool, movable);
    UiTestLibrary library;
    QVERIFY(library.open(QDateTime::currentDateTimeUtc()));
    AppState* state = library.state.get();
    const QString home = library.addNotebook(QStringLiteral("Home"));
    library.addNotebook(QStringLiteral("Work"));
    Note note = checklistNote(permission.isEmpty() ? QString() : QStringLiteral("ac000000-0000-4000-8000-00000000000a"),
                              permission);
    note.notebookId = home;
    QVERIFY(state->notes()->insert(note));
    auto enabled = [](QWidget* owner, const QStringList& texts) {
        QList<bool> states;
        for (QAction* action : owner->findChildren<QAction*>()) {
            if (texts.contains(action->text()))
                states << action->isEnabled();
        }
        return states;
    };

    MainWindow window(state);
    window.show();
    window.noteList()->selectNote(note.id);
    window.openNote(note.id);
    // Menu bar (and so Ctrl+M, Ctrl+D) and the header bar's menu.
    QCOMPARE(enabled(&window, {"Move to Notebook...", "Move to Trash…", "Move to Notebook…", "Move to Trash"}),
             QList<bool>(4, movable));
    QList<bool> offered;
    QTimer::singleShot(0, &window, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        offered = enabled(menu, {"Move to Notebook", "Move to Trash"});
        menu->close();
    });
    emit window.noteList()->noteContextMenuRequested(note.id, window.mapToGlobal(QPoint(10, 10)));
    QCOMPARE(offered, QList<bool>(2, movable));

    QListWidget* sidebar = window.notebookList();
    const QList<QListWidgetItem*> work = sidebar->findItems(QStringLiteral("Work"), Qt::MatchStartsWith);
    QCOMPARE(work.size(), 1);
    const QPoint pos = sidebar->visualItemRect(work.first()).center();
    QMimeData data;
    data.setData(QString::fromLatin1(kNoteIdMimeType), note.id.toUtf8());
    QDragEnterEvent enter(pos, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(sidebar->viewport(), &enter);
    QCOMPARE(enter.isAccepted(), movable);
    QDropEvent drop(QPointF(pos), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(sidebar->viewport(), &drop);
    QCOMPARE(state->notes()->noteById(note.id)->notebookId != home, movable);

    auto* noteWindow = new NoteWindow(state, note.id);
    QCOMPARE(enabled(noteWindow, {"Move to Notebook…", "Move to Trash"}), QList<bool>(3, movable));
    QCOMPARE(noteWindow->headerBar()->findChild<QPushButton*>(QStringLiteral("notebookChip"))->isEnabled(), movable);
    noteWindow->close();

    // Ctrl+Backspace and the header bar trash without asking; so does Delete in the list.
    window.moveCurrentNoteToTrash(false);
    QCOMPARE(state->notes()->noteById(note.id)->isTrashed(), movable);
    emit window.noteList()->noteDeleteRequested(note.id);
    QCOMPARE(state->notes()->noteById(note.id)->isTrashed(), movable);
}

QTEST_MAIN(tst_SharingWiring)
#include "tst_SharingWiring.moc"
