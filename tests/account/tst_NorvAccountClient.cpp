#include "AccountTestServer.h"
#include "ApiClient.h"
#include "AuthClient.h"
#include "NorvAccountClient.h"
#include "TokenManager.h"
#include "TokenStore.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QtTest>

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

} // namespace

// The account facade's sign-in and request layers against the reference server: browser sign-in,
// session restore and sign-out, and the authenticated requests with their refreshes and redirects.
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

private:
    std::unique_ptr<Client> newClient();

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
    m_client = newClient();
}

std::unique_ptr<Client> tst_NorvAccountClient::newClient()
{
    ClientConfig config;
    config.authBaseUrl = m_server.base() + QStringLiteral("/auth");
    config.accountApiUrl = m_server.base() + QStringLiteral("/account/v1");
    config.clientId = QStringLiteral("test-client");
    auto client = std::make_unique<Client>(config, std::make_unique<MemoryTokenStore>(m_vault));
    client->auth()->setCallbackPort(0);
    client->auth()->setUrlOpener([this](const QUrl& url) { m_opened = url; });
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

    auto restarted = newClient();
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

QTEST_GUILESS_MAIN(tst_NorvAccountClient)
#include "tst_NorvAccountClient.moc"
