#include "../../account/AccountTestServer.h"
#include "AppState.h"
#include "AuthClient.h"
#include "MainWindow.h"
#include "NorvAccountClient.h"
#include "NoteRepository.h"
#include "NoteWindow.h"
#include "Records.h"
#include "StatusBar.h"
#include "SyncCloudIcon.h"
#include "SyncEngine.h"
#include "TokenStore.h"
#include "UiTestLibrary.h"
#include "WelcomeScreen.h"

#include <QAction>
#include <QPushButton>
#include <QUrlQuery>
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

} // namespace

// Signing in and out as a user does it: the welcome page's button, the browser, then every place
// that shows the state (status bars, menus, the welcome page, Preferences), a restart, and Sign Out.
class tst_AccountWiring : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void signInShowsEverywhereAndSurvivesARestart();
    void withoutKeyringTheStatusBarSaysSoOnce();

private:
    std::unique_ptr<AppState> startApp();

    AccountTestServer m_server;
    QTemporaryDir m_dir;
    std::shared_ptr<MemoryTokenStore::Vault> m_vault = std::make_shared<MemoryTokenStore::Vault>();
};

void tst_AccountWiring::initTestCase()
{
    UiTestLibrary::useTestSettings("tst_AccountWiring");
    QVERIFY(m_dir.isValid());
    ACCOUNT_REQUIRE_SERVER(m_server, {QStringLiteral("--auto-login"), QStringLiteral("ada@example.com")});
    qputenv("NOTES_DATA_DIR", m_dir.path().toUtf8());
    qputenv("AUTH_BASE_URL", (m_server.base() + QStringLiteral("/auth")).toUtf8());
    qputenv("ACCOUNT_API_URL", (m_server.base() + QStringLiteral("/account/v1")).toUtf8());
    qputenv("SYNC_API_URL", (m_server.base() + QStringLiteral("/notes/v1")).toUtf8());
}

std::unique_ptr<AppState> tst_AccountWiring::startApp()
{
    auto state = std::make_unique<AppState>();
    auto vault = m_vault;
    state->setTokenStoreFactory([vault] { return std::make_unique<MemoryTokenStore>(vault); });
    if (!state->initialize())
        return nullptr;
    state->account()->auth()->setCallbackPort(0);
    return state;
}

void tst_AccountWiring::signInShowsEverywhereAndSurvivesARestart()
{
    auto state = startApp();
    QVERIFY(state);
    for (const Note& note : state->notes()->allNotes())
        state->notes()->purge(note.id);
    state->setCurrentNote(QString());
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

    Note note;
    note.id = QStringLiteral("00000000-0000-4000-8000-00000000a001");
    note.body = QStringLiteral(R"([{"insert":"x\n"}])");
    note.createdAt = note.updatedAt = note.modifiedAt = QDateTime::currentDateTimeUtc();
    QVERIFY(state->notes()->insert(note));
    auto* noteWindow = new NoteWindow(state.get(), note.id);
    QCOMPARE(noteWindow->noteStatusBar()->syncIcon()->toolTip(), SyncEngine::stateText(state->sync()->state()));
    noteWindow->close();

    // A restart finds the session in the store.
    window.reset();
    state.reset();
    state = startApp();
    QVERIFY(state);
    QVERIFY(state->signedIn());
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
        [] { return std::make_unique<MemoryTokenStore>(std::make_shared<MemoryTokenStore::Vault>(), false); });
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

QTEST_MAIN(tst_AccountWiring)
#include "tst_AccountWiring.moc"
