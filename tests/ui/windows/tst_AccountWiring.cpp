#include "../../account/AccountTestServer.h"
#include "AccountClient.h"
#include "AccountScreen.h"
#include "AuthClient.h"
#include "EditorToolbar.h"
#include "MainWindow.h"
#include "NorvAccountClient.h"
#include "NoteEditor.h"
#include "NoteHeaderBar.h"
#include "NoteListModel.h"
#include "NoteListWidget.h"
#include "NoteWindow.h"
#include "NotebookListWidget.h"
#include "SettingsDialog.h"
#include "SnapshotRepository.h"
#include "StatusBar.h"
#include "SyncCloudIcon.h"
#include "SyncEngine.h"
#include "TodosScreen.h"
#include "UiTestLibrary.h"
#include "VersionHistoryDialog.h"
#include "WelcomeScreen.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using namespace NorvAccount;

namespace {

std::pair<int, QUrl> browserGet(const QUrl& url)
{
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = network.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(10000);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QUrl location = url.resolved(reply->header(QNetworkRequest::LocationHeader).toUrl());
    delete reply;
    return {status, location};
}

Note checklistNote(const QString& ownerId, const QString& permission)
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

} // namespace

// Signing in and out as a user does it: the welcome page's button, the browser, then every place
// that shows the state (status bars, menus, the welcome page, Preferences), a restart, and Sign Out.
// Then sharing as the windows offer it: on only with a group, and a note someone shared for viewing
// staying untouched wherever it shows.
class tst_AccountWiring : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void signInShowsEverywhereAndSurvivesARestart();
    void withoutKeyringTheStatusBarSaysSoOnce();
    void sharingOnlyInAGroup_data();
    void sharingOnlyInAGroup();
    void viewOnlyNoteStaysAsItIs_data();
    void viewOnlyNoteStaysAsItIs();

private:
    AccountTestServer m_server;
    QTemporaryDir m_dir;
    TokenVault m_vault = std::make_shared<TokenVault::element_type>();
};

void tst_AccountWiring::initTestCase()
{
    UiTestLibrary::useTestSettings("tst_AccountWiring");
    QVERIFY(m_dir.isValid());
    ACCOUNT_REQUIRE_SERVER(m_server, {QStringLiteral("--auto-login"), QStringLiteral("ada@example.com")});
    qputenv("NOTES_DATA_DIR", m_dir.path().toUtf8());
    useServer(m_server.base());
}

void tst_AccountWiring::signInShowsEverywhereAndSurvivesARestart()
{
    auto state = startWithKeyring({}, m_vault);
    QVERIFY(state);
    for (const Note& note : state->notes()->allNotes())
        state->notes()->purge(note.id);
    state->setCurrentNote(QString());
    state->account()->auth()->setCallbackPort(0);
    QUrl opened;
    state->account()->auth()->setUrlOpener([&opened](const QUrl& url) { opened = url; });
    auto window = std::make_unique<MainWindow>(state.get());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(window->welcomePageShown());

    auto* accountButton = window->welcomePage()->findChild<QPushButton*>(QStringLiteral("accountButton"));
    QTest::mouseClick(accountButton, Qt::LeftButton);
    QVERIFY(window->welcomePage()->waiting());
    QVERIFY(opened.isValid());

    const auto [loginStatus, callback] = browserGet(opened);
    QCOMPARE(loginStatus, 302);
    QCOMPARE(browserGet(callback).first, 200);
    QTRY_VERIFY(state->signedIn());

    // Signing in starts a sync; the indicator follows the engine to its end.
    QTRY_COMPARE(window->mainStatusBar()->syncIcon()->state(), SyncCloudIcon::Idle);
    QVERIFY(!window->welcomePageShown());
    QVERIFY(!window->welcomePage()->waiting());
    QVERIFY(!actionNamed(window.get(), QStringLiteral("Sign In…"))->isVisible());
    QVERIFY(actionNamed(window.get(), QStringLiteral("Sign &Out"))->isVisible());

    const Note note = checklistNote(QString(), QString());
    QVERIFY(state->notes()->insert(note));
    auto* noteWindow = new NoteWindow(state.get(), note.id);
    QCOMPARE(noteWindow->noteStatusBar()->syncIcon()->toolTip(), SyncEngine::stateText(state->sync()->state()));
    noteWindow->close();

    // A restart finds the session in the store.
    window.reset();
    state.reset();
    state = startWithKeyring({}, m_vault);
    QVERIFY(state && state->signedIn());
    window = std::make_unique<MainWindow>(state.get());
    QTRY_COMPARE(window->mainStatusBar()->syncIcon()->toolTip(), QStringLiteral("Synced"));

    // Sign Out leaves no token anywhere and brings the welcome page's Sign In back.
    actionNamed(window.get(), QStringLiteral("Sign &Out"))->trigger();
    QVERIFY(!state->signedIn());
    QVERIFY(m_vault->isEmpty());
    QVERIFY(actionNamed(window.get(), QStringLiteral("Sign In…"))->isVisible());
}

void tst_AccountWiring::withoutKeyringTheStatusBarSaysSoOnce()
{
    AppState state;
    state.setTokenStoreFactory(
        [] { return std::make_unique<MemoryTokenStore>(std::make_shared<TokenVault::element_type>(), false); });
    QVERIFY(state.initialize());
    MainWindow window(&state);
    StatusBar* bar = window.mainStatusBar();
    const QString notice = QStringLiteral("No keyring is available: you stay signed in only until you quit.");
    for (int round = 0; round < 2; ++round) {
        const auto [access, refresh] = m_server.tokens();
        state.account()->auth()->handleCallback(
            QUrl(QStringLiteral("http://localhost/callback?access_token=%1&refresh_token=%2").arg(access, refresh)));
        QVERIFY(state.signedIn());
        QCOMPARE(bar->currentMessage(), QStringLiteral("Signed in."));
        QCoreApplication::processEvents();
        // The notice comes after the greeting, and only the first time.
        QCOMPARE(bar->currentMessage(), round == 0 ? notice : QStringLiteral("Signed in."));
        state.account()->auth()->logout();
        bar->clearMessage();
    }
}

void tst_AccountWiring::sharingOnlyInAGroup_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("canShare");
    // clang-format off
    QTest::newRow("group owner") << "ada@example.com" << true;
    QTest::newRow("no group") << "cleo@example.com" << false;
    // clang-format on
}

void tst_AccountWiring::sharingOnlyInAGroup()
{
    QFETCH(QString, email);
    QFETCH(bool, canShare);
    AccountTestServer& server = m_server;
    server.clearRequests();
    QTemporaryDir dir;
    qputenv("NOTES_DATA_DIR", dir.path().toUtf8());
    const std::unique_ptr<AppState> app = startWithKeyring(server.tokens(email));
    QVERIFY(app && app->signedIn());
    AppState& state = *app;
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

void tst_AccountWiring::viewOnlyNoteStaysAsItIs_data()
{
    QTest::addColumn<QString>("permission");
    QTest::newRow("shared to edit") << "edit";
    QTest::newRow("shared to view") << "view";
}

// A note shared for viewing stays as it is wherever it shows: its text, its history, its tasks and its
// place. The server refuses to move or trash it, so no window offers that: a local move would wait to
// be sent forever.
void tst_AccountWiring::viewOnlyNoteStaysAsItIs()
{
    QFETCH(QString, permission);
    const bool readOnly = permission == QLatin1String("view");
    UiTestLibrary library;
    QVERIFY(library.open(QDateTime::currentDateTimeUtc()));
    AppState* state = library.state.get();
    const QString home = library.addNotebook(QStringLiteral("Home"));
    library.addNotebook(QStringLiteral("Work"));
    Note note = checklistNote(QStringLiteral("ac000000-0000-4000-8000-00000000000a"), permission);
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
    QCOMPARE(window.editor()->isReadOnly(), readOnly);
    QCOMPARE(window.findChild<EditorToolbar*>()->isEnabled(), !readOnly);
    // Menu bar (and so Ctrl+M, Ctrl+D) and the header bar's menu.
    QCOMPARE(enabled(&window, {"Move to Notebook...", "Move to Trash…", "Move to Notebook…", "Move to Trash"}),
             QList<bool>(4, !readOnly));
    QList<bool> offered;
    QTimer::singleShot(0, &window, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        offered = enabled(menu, {"Move to Notebook", "Move to Trash"});
        menu->close();
    });
    emit window.noteList()->noteContextMenuRequested(note.id, window.mapToGlobal(QPoint(10, 10)));
    QCOMPARE(offered, QList<bool>(2, !readOnly));

    QListWidget* sidebar = window.notebookList();
    const QList<QListWidgetItem*> work = sidebar->findItems(QStringLiteral("Work"), Qt::MatchStartsWith);
    QCOMPARE(work.size(), 1);
    const QPoint pos = sidebar->visualItemRect(work.first()).center();
    QMimeData data;
    data.setData(QString::fromLatin1(kNoteIdMimeType), note.id.toUtf8());
    QDragEnterEvent enter(pos, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(sidebar->viewport(), &enter);
    QCOMPARE(enter.isAccepted(), !readOnly);
    QDropEvent drop(QPointF(pos), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(sidebar->viewport(), &drop);
    QCOMPARE(state->notes()->noteById(note.id)->notebookId != home, !readOnly);

    auto* noteWindow = new NoteWindow(state, note.id);
    QCOMPARE(noteWindow->editor()->isReadOnly(), readOnly);
    QCOMPARE(enabled(noteWindow, {"Move to Notebook…", "Move to Trash"}), QList<bool>(3, !readOnly));
    QCOMPARE(noteWindow->headerBar()->findChild<QPushButton*>(QStringLiteral("notebookChip"))->isEnabled(), !readOnly);
    noteWindow->close();

    // Nor can an earlier version be restored over it, nor a task in it ticked.
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
    QCOMPARE(state->notes()->noteById(note.id)->body == note.body, readOnly);
    if (readOnly)
        QCOMPARE(list->item(0)->checkState(), Qt::Unchecked);

    // Ctrl+Backspace and the header bar trash without asking; so does Delete in the list.
    window.moveCurrentNoteToTrash(false);
    QCOMPARE(state->notes()->noteById(note.id)->isTrashed(), !readOnly);
    emit window.noteList()->noteDeleteRequested(note.id);
    QCOMPARE(state->notes()->noteById(note.id)->isTrashed(), !readOnly);
}

QTEST_MAIN(tst_AccountWiring)
#include "tst_AccountWiring.moc"
