#include "AccountPrompts.h"
#include "AccountScreen.h"
#include "AccountTestServer.h"
#include "ApiClient.h"
#include "AuthClient.h"
#include "NorvAccountClient.h"
#include "ShareMembersDialog.h"
#include "TokenManager.h"
#include "TokenStore.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QtTest>
#include <cmath>

using namespace NorvAccount;

namespace {

// A bare listener that answers its n-th request with the n-th response (the last one repeats) and
// keeps what it was sent.
struct RawListener
{
    QTcpServer server;
    QByteArrayList responses;
    QByteArrayList received;

    bool listen()
    {
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            QTcpSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                received << socket->readAll();
                socket->write(responses.value(received.size() - 1, responses.last()));
                socket->disconnectFromHost();
            });
        });
        return server.listen(QHostAddress::LocalHost, 0);
    }
};

QByteArray redirectTo(const QString& location)
{
    return QStringLiteral("HTTP/1.1 307 Temporary Redirect\r\nLocation: %1\r\nContent-Length: 0\r\n"
                          "Connection: close\r\n\r\n")
        .arg(location)
        .toLatin1();
}

const QByteArray kJsonAnswer = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
                               "Connection: close\r\n\r\n{}";

QUrl withQueryItem(QUrl url, const QString& key, const QString& value)
{
    QUrlQuery query(url);
    query.removeAllQueryItems(key);
    if (!value.isNull())
        query.addQueryItem(key, value);
    url.setQuery(query);
    return url;
}

const QString kRefreshRoute = QStringLiteral("/auth/api/v1/realms/norvane/auth/token/refresh");

// Answers the account screen's and the share dialog's questions in order, and records what was asked.
struct ScriptedPrompts
{
    // Answers in order: texts for inputs, "yes" for a question; when they run out, inputs are cancelled.
    QStringList answers;
    QStringList asked;
    QStringList informed;

    ScriptedPrompts()
    {
        Prompts p;
        p.getText = [this](QWidget*, const QString& title, const QString& label, const QString&, QLineEdit::EchoMode,
                           bool* ok) {
            asked << title + QLatin1Char('|') + label;
            *ok = !answers.isEmpty();
            return *ok ? answers.takeFirst() : QString();
        };
        p.question = [this](QWidget*, const QString& title, const QString& text) {
            asked << title + QLatin1Char('|') + text;
            return !answers.isEmpty() && answers.takeFirst() == QLatin1String("yes");
        };
        p.information = [this](QWidget*, const QString& title, const QString& text) {
            informed << title + QLatin1Char('|') + text;
        };
        setPrompts(p);
    }
    ~ScriptedPrompts() { setPrompts({}); }
};

// A backend that names members by their account id, while the service answers with sign-in ids.
class AccountIdSharing : public NoteSharingService
{
public:
    using NoteSharingService::NoteSharingService;
    QString memberIdentity(const GroupMember& member) const override { return member.accountId; }
};

template <typename T = QWidget> QList<T*> shown(const QWidget& root, const QString& name)
{
    QList<T*> result;
    for (T* widget : root.findChildren<T*>(name)) {
        if (!widget->isHidden())
            result << widget;
    }
    return result;
}

// The group role the current access token names.
QString roleClaim(Client* client)
{
    const QString payload = client->tokenManager()->accessToken().section(QLatin1Char('.'), 1, 1);
    const QJsonDocument claims =
        QJsonDocument::fromJson(QByteArray::fromBase64(payload.toLatin1(), QByteArray::Base64UrlEncoding));
    return claims["custom"]["nor"]["role"].toString();
}

// Shows the screen and waits until every page came from the services.
bool load(AccountScreen& screen)
{
    QSet<int> pages;
    auto c = QObject::connect(&screen, &AccountScreen::pageRebuilt, [&pages](int page) { pages.insert(page); });
    screen.show();
    screen.refreshAll();
    const bool loaded = QTest::qWaitFor([&] { return pages.size() == 4; }, 20000);
    QObject::disconnect(c);
    return loaded;
}

} // namespace

// The account facade against the reference server: browser sign-in, session restore and sign-out, the
// authenticated requests with their refreshes and redirects; then the account screen and the share dialog,
// where every page fills from the services, every action tells the user truthfully whether it worked, group
// changes bring the new role with the refreshed token, and shares are granted, changed and taken back.
class tst_NorvAccountClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void browserSignIn_data();
    void browserSignIn();
    void callbackTokens();
    void sessionRestore_data();
    void sessionRestore();
    void signOutWinsOverRefreshInFlight();
    void refreshRules_data();
    void refreshRules();
    void redirectKeepsTokenOnItsOrigin_data();
    void redirectKeepsTokenOnItsOrigin();
    void screenActions_data();
    void screenActions();
    void shareDialog_data();
    void shareDialog();
    void avatarInitialsStandOut_data();
    void avatarInitialsStandOut();

private:
    // The facade on `server`, its tokens in the test's vault; with an e-mail, signed in as that seeded user
    // as a browser sign-in would leave it.
    std::unique_ptr<Client> newClient(DevServer& server, const QString& email = {});

    AccountTestServer m_server;
    std::shared_ptr<MemoryTokenStore::Vault> m_vault;
    std::unique_ptr<Client> m_client;
    QUrl m_opened;
};

void tst_NorvAccountClient::initTestCase()
{
    ACCOUNT_REQUIRE_SERVER(m_server, {QStringLiteral("--auto-login"), QStringLiteral("ada@example.com")});
}

void tst_NorvAccountClient::init()
{
    m_server.clearFaults();
    m_server.clearRequests();
    m_vault = std::make_shared<MemoryTokenStore::Vault>();
    m_client = newClient(*m_server.server);
}

std::unique_ptr<Client> tst_NorvAccountClient::newClient(DevServer& server, const QString& email)
{
    ClientConfig config;
    config.authBaseUrl = server.url(QStringLiteral("/auth")).toString();
    config.accountApiUrl = server.url(QStringLiteral("/account/v1")).toString();
    config.clientId = QStringLiteral("test-client");
    config.appId = QStringLiteral("app.norvane.Notes.tests");
    config.appVersion = QStringLiteral("1.1.1");
    auto client = std::make_unique<Client>(config, std::make_unique<MemoryTokenStore>(m_vault));
    client->notesApi()->setBaseUrl(server.url(QStringLiteral("/notes/v1")));
    client->auth()->setCallbackPort(0);
    client->auth()->setUrlOpener([this](const QUrl& url) { m_opened = url; });
    if (!email.isEmpty()) {
        const DevServer::Tokens tokens = server.signIn(email);
        client->tokenManager()->setTokens(tokens.access, tokens.refresh);
        client->initialize();
    }
    return client;
}

void tst_NorvAccountClient::browserSignIn_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("forged request first, then the callback") << "stray";
    QTest::newRow("refresh token missing") << "missing";
    QTest::newRow("cancel while waiting") << "cancel";
    QTest::newRow("browser never comes back") << "timeout";
}

void tst_NorvAccountClient::browserSignIn()
{
    QFETCH(QString, mode);
    const bool signedIn = mode == QLatin1String("stray");
    AuthClient* auth = m_client->auth();
    QSignalSpy succeeded(auth, &AuthClient::loginSucceeded);
    QSignalSpy failed(auth, &AuthClient::loginFailed);
    if (mode == QLatin1String("timeout"))
        auth->setLoginTimeLimit(200);

    auth->login();
    QVERIFY(auth->isLoginPending());
    QVERIFY(QUrlQuery(m_opened).queryItemValue(QStringLiteral("state")).size() >= 16);

    // The service's login page sends the browser on to the app's listener.
    const QUrl callback = DevServer::send(m_opened, "GET").location;

    QUrl target = callback;
    if (mode == QLatin1String("stray")) {
        const QUrl forged = withQueryItem(callback, QStringLiteral("state"), QStringLiteral("forged"));
        QCOMPARE(DevServer::send(forged, "GET").status, 404);
        QVERIFY(auth->isLoginPending());
    } else if (mode == QLatin1String("missing")) {
        target = withQueryItem(callback, QStringLiteral("refresh_token"), QString());
    } else if (mode == QLatin1String("cancel")) {
        auth->cancelLogin();
    } else if (mode == QLatin1String("timeout")) {
        QTRY_VERIFY(!auth->isLoginPending());
    }
    // A listener that gave up is gone: no answer at all.
    QCOMPARE(DevServer::send(target, "GET").status, mode == "cancel" || mode == "timeout" ? 0 : 200);

    QTRY_COMPARE(succeeded.count() + failed.count(), 1);
    QCOMPARE(m_client->isAuthenticated(), signedIn);
    QCOMPARE(failed.count(), signedIn ? 0 : 1);
    QVERIFY(!auth->isLoginPending());
    QCOMPARE(m_vault->contains(QStringLiteral("norvane_refresh_token")), signedIn);
}

// Tokens in the fragment count only when the fragment holds both of them.
void tst_NorvAccountClient::callbackTokens()
{
    m_client->auth()->handleCallback(QUrl("http://localhost:1/callback?access_token=a&refresh_token=r#access_token=a"));
    QVERIFY(!m_client->isAuthenticated());
    m_client->auth()->handleCallback(QUrl("http://localhost:1/callback#access_token=a&refresh_token=r"));
    QVERIFY(m_client->isAuthenticated());
    QCOMPARE(m_vault->value(QStringLiteral("norvane_refresh_token")), QStringLiteral("r"));
}

void tst_NorvAccountClient::sessionRestore_data()
{
    // The access token has run out before the restart.
    QTest::addColumn<bool>("offline"); // the refresh gets no answer
    QTest::addColumn<bool>("forgedRefresh");
    QTest::newRow("expired but refreshable") << false << false;
    QTest::newRow("expired and offline stays signed in") << true << false;
    QTest::newRow("refresh token rejected") << false << true;
}

void tst_NorvAccountClient::sessionRestore()
{
    QFETCH(bool, offline);
    QFETCH(bool, forgedRefresh);
    const bool signedIn = !forgedRefresh;
    const auto [access, refresh] = m_server.tokens(QStringLiteral("ada@example.com"), -120);
    m_vault->insert(QStringLiteral("norvane_access_token"), access);
    m_vault->insert(QStringLiteral("norvane_refresh_token"), forgedRefresh ? QStringLiteral("forged") : refresh);
    if (offline)
        m_server.fault({{"action", "drop"}, {"pattern", kRefreshRoute}});

    auto restarted = newClient(*m_server.server);
    QSignalSpy changed(restarted.get(), &Client::authStateChanged);
    restarted->initialize();
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(restarted->isAuthenticated(), signedIn);
    // The network layer may send a dropped request once more by itself.
    if (offline)
        QVERIFY(m_server.count(kRefreshRoute) >= 1);
    else
        QCOMPARE(m_server.count(kRefreshRoute), 1);
    QCOMPARE(m_vault->contains(QStringLiteral("norvane_refresh_token")), signedIn);
    if (signedIn && !offline)
        QVERIFY(m_vault->value(QStringLiteral("norvane_refresh_token")) != refresh); // rotated
}

void tst_NorvAccountClient::signOutWinsOverRefreshInFlight()
{
    const auto [access, refresh] = m_server.tokens(QStringLiteral("ada@example.com"), -120);
    m_client->auth()->handleCallback(
        QUrl(QStringLiteral("http://localhost/callback?access_token=%1&refresh_token=%2").arg(access, refresh)));
    QVERIFY(m_client->isAuthenticated());
    m_server.fault({{"action", "delay"}, {"delay_ms", 300}, {"pattern", kRefreshRoute}});
    QSignalSpy dropped(m_client->tokenManager(), &TokenManager::staleRefreshDropped);
    QSignalSpy ended(m_client->auth(), &AuthClient::sessionEnded);

    int status = -1;
    m_client->accountApi()->get(QStringLiteral("/profile"), [&status](bool, int s, const QJsonObject&) { status = s; });
    QVERIFY(m_client->tokenManager()->isRefreshing());
    m_client->auth()->logout();
    QCOMPARE(status, 401); // the waiting request learns at once that the session is gone
    QVERIFY(!m_client->isAuthenticated());

    QVERIFY(dropped.wait(5000));
    QVERIFY(m_vault->isEmpty());
    QCOMPARE(ended.count(), 0); // a sign-out is not an ended session
    // The service heard of the sign-out, with a token renewed for that call alone.
    const QString logout = QStringLiteral("/auth/api/v1/realms/norvane/auth/logout");
    QTRY_COMPARE(m_server.count(logout), 1);
    QCOMPARE(m_server.requests(logout).first()["status"].toInt(), 204);
}

void tst_NorvAccountClient::refreshRules_data()
{
    QTest::addColumn<bool>("expired");      // the access token has run out before the calls
    QTest::addColumn<int>("forced401s");    // profile answers that say 401 first
    QTest::addColumn<int>("refreshStatus"); // what the refresh answers; 0: the service's own answer
    QTest::addColumn<int>("status");        // what every caller hears
    QTest::addColumn<int>("profileHits");   // requests that reached the service
    QTest::addColumn<bool>("authRequired"); // the user is asked to sign in again
    QTest::newRow("401: one refresh, one retry") << false << 1 << 0 << 200 << 2 << false;
    QTest::newRow("second 401 reaches the caller") << false << 2 << 0 << 401 << 2 << false;
    QTest::newRow("refresh rejected") << false << 1 << 401 << 401 << 1 << true;
    QTest::newRow("expired: one refresh for three callers") << true << 0 << 0 << 200 << 3 << false;
    QTest::newRow("expired, refresh fails for now") << true << 0 << 503 << 0 << 0 << false;
}

// A refresh happens once however many calls wait for it, and a call is sent again at most once.
void tst_NorvAccountClient::refreshRules()
{
    QFETCH(bool, expired);
    QFETCH(int, forced401s);
    QFETCH(int, refreshStatus);
    QFETCH(int, status);
    QFETCH(int, profileHits);
    QFETCH(bool, authRequired);
    const auto [access, refresh] = m_server.tokens(QStringLiteral("ada@example.com"), expired ? -120 : 900);
    m_client->tokenManager()->setTokens(access, refresh);
    const QString route = QStringLiteral("/account/v1/profile");
    if (forced401s)
        m_server.fault({{"action", "status"}, {"status", 401}, {"pattern", route}, {"times", forced401s}});
    if (refreshStatus)
        m_server.fault({{"action", "status"}, {"status", refreshStatus}, {"pattern", kRefreshRoute}});
    QSignalSpy required(m_client->accountApi(), &ApiClient::authenticationRequired);
    const int callers = expired ? 3 : 1;
    QList<int> heard;
    for (int i = 0; i < callers; ++i)
        m_client->accountApi()->get(QStringLiteral("/profile"),
                                    [&heard](bool, int s, const QJsonObject&) { heard << s; });
    QTRY_COMPARE(heard.size(), callers);
    QCOMPARE(heard, QList<int>(callers, status));
    QCOMPARE(m_server.count(kRefreshRoute), 1);
    QCOMPARE(m_server.count(route), profileHits);
    QCOMPARE(required.count(), authRequired ? 1 : 0);
}

void tst_NorvAccountClient::redirectKeepsTokenOnItsOrigin_data()
{
    QTest::addColumn<bool>("sameOrigin");
    QTest::newRow("same origin keeps the bearer") << true;
    QTest::newRow("another host never sees it") << false;
}

void tst_NorvAccountClient::redirectKeepsTokenOnItsOrigin()
{
    QFETCH(bool, sameOrigin);
    const auto [access, refresh] = m_server.tokens();
    m_client->tokenManager()->setTokens(access, refresh);
    RawListener first;
    RawListener second;
    QVERIFY(first.listen());
    QVERIFY(second.listen());
    second.responses = {kJsonAnswer};
    // 127.0.0.1 and localhost are different hosts to the client, though both reach this machine.
    first.responses = {
        sameOrigin ? redirectTo(QStringLiteral("/elsewhere"))
                   : redirectTo(QStringLiteral("http://localhost:%1/elsewhere").arg(second.server.serverPort())),
        kJsonAnswer};

    ApiClient api(m_client->tokenManager());
    api.setBaseUrl(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(first.server.serverPort())));
    QList<int> heard;
    api.get(QStringLiteral("/start"), [&heard](bool, int status, const QJsonObject&) { heard << status; });
    QTRY_COMPARE(heard, QList<int>{200});

    QVERIFY(first.received.first().contains("Authorization: Bearer "));
    const QByteArray hop = sameOrigin ? first.received.value(1) : second.received.value(0);
    QVERIFY2(hop.startsWith("GET /elsewhere "), hop.constData());
    QCOMPARE(hop.contains("Authorization:"), sameOrigin);
}

void tst_NorvAccountClient::screenActions_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("answers"); // text inputs; "yes"/"no" answer questions
    QTest::addColumn<QString>("fault");       // "METHOD path 500", or ""
    QTest::addColumn<int>("status");          // the status line afterwards: 0 none, 1 success, -1 error
    QTest::addColumn<QString>("role");        // the token's role afterwards; "" when the group stays as it was
    QTest::addColumn<QString>("after");       // "objectName count": rows or buttons then shown
    auto row = [](const char* name, const char* user, const char* button, const QStringList& answers, const char* fault,
                  int status, const char* role = "", const char* after = "") {
        QTest::newRow(name) << user << button << answers << fault << status << role << after;
    };
    const char* removeFails = "DELETE /account/v1/group/members/* 500";
    row("name", "ada", "editDisplayNameButton", {"Ada King"}, "", 1);
    row("password", "ben", "changePasswordButton", {"ben-secret-1", "new-secret-9", "new-secret-9"}, "", 1);
    row("password wrong", "ben", "changePasswordButton", {"not-it-at-all", "new-secret-9", "new-secret-9"}, "", -1);
    row("password mismatch", "ben", "changePasswordButton", {"ben-secret-1", "new-secret-9", "new-secret-8"}, "", -1);
    row("join by e-mail invitation", "cleo", "joinGroupButton", {"$MAILCODE"}, "", 1, "member", "memberRow 3");
    row("join bad code", "cleo", "joinGroupButton", {"nope"}, "", -1);
    row("invite", "ada", "inviteByEmailButton", {"cleo@example.com"}, "", 1, "", "invitationRow 1");
    row("code", "ada", "generateCodeButton", {}, "", 0);
    row("leave", "ben", "leaveGroupButton", {"yes"}, "", 1, "none", "joinGroupButton 1");
    row("remove member", "ada", "removeMemberButton", {"yes"}, "", 1, "owner", "memberRow 1");
    row("remove member fails", "ada", "removeMemberButton", {"yes"}, removeFails, -1, "", "memberRow 2");
    row("delete", "cleo", "deleteAccountButton", {"DELETE"}, "", 0);
    row("delete lower case", "cleo", "deleteAccountButton", {"delete"}, "", 0);
    row("delete fails", "cleo", "deleteAccountButton", {"DELETE"}, "DELETE /account/v1/profile 500", -1);
}

void tst_NorvAccountClient::screenActions()
{
    QFETCH(QString, user);
    QFETCH(QString, button);
    QFETCH(QStringList, answers);
    QFETCH(QString, fault);
    QFETCH(int, status);
    QFETCH(QString, role);
    QFETCH(QString, after);
    DevServer server;
    QVERIFY2(server.isRunning(), qPrintable(server.errorString())); // it ran for initTestCase
    if (answers.value(0) == QLatin1String("$MAILCODE")) {
        // Ada invites by e-mail; the invitation carries the code to type.
        const QJsonObject invite{{"email", "cleo@example.com"}};
        answers = QStringList{
            server.callJson("POST", "/account/v1/group/invite", invite, server.signIn(DevServer::Ada).access)
                .json()["invite_code"]
                .toString()};
    }
    auto client = newClient(server, user + QStringLiteral("@example.com"));
    AccountScreen screen(client.get());
    QVERIFY(load(screen));
    // Only the owner invites and removes; only a member leaves; an owner cannot delete the account. This
    // very session is listed and not revocable; its device too.
    const bool owner = user == QLatin1String("ada");
    const int members = user == QLatin1String("cleo") ? 0 : 2;
    QCOMPARE(screen.isGroupOwner(), owner);
    QCOMPARE(shown(screen, "memberRow").size(), members);
    QCOMPARE(shown(screen, "joinGroupButton").size(), members == 0 ? 1 : 0);
    QCOMPARE(shown(screen, "inviteByEmailButton").size(), owner ? 1 : 0);
    QCOMPARE(shown(screen, "removeMemberButton").size(), owner ? members - 1 : 0);
    QCOMPARE(shown(screen, "leaveGroupButton").size(), members > 0 && !owner ? 1 : 0);
    QCOMPARE(screen.findChild<QPushButton*>("deleteAccountButton")->isEnabled(), !owner);
    QCOMPARE(shown(screen, "sessionRow").size(), 1);
    QCOMPARE(shown(screen, "revokeSessionButton").size(), 0);
    QCOMPARE(shown(screen, "deviceRow").size(), 1);

    QSignalSpy logout(&screen, &AccountScreen::logoutRequested);
    QSignalSpy groupChanged(client->accountClient(), &AccountClient::groupChanged);

    ScriptedPrompts prompts;
    prompts.answers = answers;
    if (!fault.isEmpty())
        QVERIFY(server.addFault(fault));
    server.clearRequests();
    const QString statusBefore = screen.statusText();
    const QList<QPushButton*> buttons = shown<QPushButton>(screen, button);
    QVERIFY2(!buttons.isEmpty(), qPrintable(button));
    buttons.first()->click();

    if (status != 0) {
        QTRY_VERIFY_WITH_TIMEOUT(screen.statusText() != statusBefore, 20000);
        QCOMPARE(screen.statusIsError(), status < 0);
    }
    // A change of group is announced, and the refreshed token already names the new role.
    QTRY_COMPARE_WITH_TIMEOUT(groupChanged.size(), role.isEmpty() ? 0 : 1, 20000);
    if (!role.isEmpty())
        QCOMPARE(roleClaim(client.get()), role);
    if (!after.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(shown(screen, after.section(' ', 0, 0)).size(), after.section(' ', 1).toInt(), 20000);
    if (button == QLatin1String("generateCodeButton"))
        QTRY_COMPARE_WITH_TIMEOUT(prompts.informed.size(), 1, 20000);
    if (button == QLatin1String("deleteAccountButton")) {
        // Only the exact word deletes; the user is then signed out and told so.
        const bool deletes = answers.first() == QLatin1String("DELETE") && fault.isEmpty();
        QTRY_COMPARE_WITH_TIMEOUT(logout.size(), deletes ? 1 : 0, 20000);
        QCOMPARE(prompts.informed.size(), deletes ? 1 : 0);
        if (answers.first() != QLatin1String("DELETE"))
            QCOMPARE(server.requests(QStringLiteral("/account/v1/profile")).size(), 0);
    }
}

void tst_NorvAccountClient::shareDialog_data()
{
    QTest::addColumn<bool>("byAccountId");
    QTest::newRow("sign-in id") << false;
    // The service echoes the sign-in id: a member shared by account id must still count as shared.
    QTest::newRow("account id") << true;
}

void tst_NorvAccountClient::shareDialog()
{
    QFETCH(bool, byAccountId);
    DevServer server;
    QVERIFY2(server.isRunning(), qPrintable(server.errorString())); // it ran for initTestCase
    auto client = newClient(server, DevServer::Ada);
    const QString notebookId = QStringLiteral("nb-shared-1");
    server.callJson("POST", "/notes/v1/notebooks", {{"id", notebookId}, {"name", "Lab book"}},
                    server.signIn(DevServer::Ada).access);
    std::unique_ptr<NoteSharingService> backend =
        byAccountId ? std::make_unique<AccountIdSharing>(client->notesApi(), NoteSharingService::Notebooks)
                    : std::make_unique<NoteSharingService>(client->notesApi(), NoteSharingService::Notebooks);
    ShareMembersDialog dialog(client.get(), backend.get(), notebookId, ShareDialogTexts{});
    QSignalSpy changed(&dialog, &ShareMembersDialog::sharingChanged);
    dialog.show();
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded(), 20000);
    // Ada herself is never offered; Ben is.
    QCOMPARE(shown(dialog, "memberRow").size(), 1);

    // The user grants view only; the row then changes it to edit in place.
    dialog.setPermission(QStringLiteral("view"));
    shown<QPushButton>(dialog, "shareButton").first()->click();
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded() && shown(dialog, "shareRow").size() == 1, 20000);
    QCOMPARE(dialog.shares().last().permission, QStringLiteral("view"));
    QCOMPARE(shown(dialog, "memberRow").size(), 0);
    auto* access = shown<QComboBox>(dialog, "sharePermission").first();
    access->setCurrentIndex(access->findData(QStringLiteral("edit")));
    emit access->activated(access->currentIndex());
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 2, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded() && dialog.shares().size() == 2, 20000);
    QCOMPARE(dialog.shares().last().permission, QStringLiteral("edit"));

    {
        // Saying No keeps the share.
        ScriptedPrompts prompts;
        prompts.answers << "no";
        shown<QPushButton>(dialog, "removeButton").first()->click();
        QCOMPARE(prompts.asked.size(), 1);
        QVERIFY(!dialog.isBusy());
    }
    ScriptedPrompts prompts;
    prompts.answers << "yes";
    shown<QPushButton>(dialog, "removeButton").first()->click();
    QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 3, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isLoaded() && shown(dialog, "memberRow").size() == 1, 20000);
    QCOMPARE(shown(dialog, "shareRow").size(), 0);

    // A grant the service refuses shows its reason and changes nothing.
    server.addFault({{"pattern", "/notes/v1/notebooks/*/share"}, {"action", "status"}, {"status", 409}});
    shown<QPushButton>(dialog, "shareButton").first()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.findChild<QLabel*>("errorLabel")->isHidden(), 20000);
    QCOMPARE(changed.size(), 3);
}

void tst_NorvAccountClient::avatarInitialsStandOut_data()
{
    QTest::addColumn<QColor>("circle"); // the palette's highlight, which the avatars are drawn in
    QTest::newRow("dark theme") << QColor(QStringLiteral("#42A5F5"));
    QTest::newRow("light theme") << QColor(QStringLiteral("#1565C0"));
    QTest::newRow("pale system highlight") << QColor(QStringLiteral("#CDE8FF"));
    QTest::newRow("deep system highlight") << QColor(QStringLiteral("#30140A"));
}

// The initials meet the usual 4.5:1 contrast for text on whatever circle the theme gives.
void tst_NorvAccountClient::avatarInitialsStandOut()
{
    QFETCH(QColor, circle);
    auto luminance = [](const QColor& c) {
        auto linear = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double a = luminance(circle);
    const double b = luminance(ShareMembersDialog::initialsColour(circle));
    const double contrast = (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
    QVERIFY2(contrast >= 4.5, qPrintable(QString::number(contrast)));
}

QTEST_MAIN(tst_NorvAccountClient)
#include "tst_NorvAccountClient.moc"
