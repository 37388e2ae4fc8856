#include "AccountTestServer.h"
#include "ApiClient.h"
#include "AuthClient.h"
#include "NorvAccountClient.h"
#include "TokenManager.h"
#include "TokenStore.h"
#include "WebAuthHandler.h"

#include <QUrlQuery>
#include <QtTest>

using namespace NorvAccount;

namespace {

// What a browser does with one URL: fetch it and report the status and where it redirects to.
std::pair<int, QUrl> browserGet(const QUrl& url)
{
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(10000);
    QNetworkReply* reply = network.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(10000);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QUrl location = url.resolved(reply->header(QNetworkRequest::LocationHeader).toUrl());
    delete reply;
    return {status, location};
}

QUrl withQueryItem(QUrl url, const QString& key, const QString& value)
{
    QUrlQuery query(url);
    query.removeAllQueryItems(key);
    if (!value.isNull())
        query.addQueryItem(key, value);
    url.setQuery(query);
    return url;
}

} // namespace

class tst_AuthClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void browserSignIn_data();
    void browserSignIn();
    void callbackTokens_data();
    void callbackTokens();
    void sessionRestore_data();
    void sessionRestore();
    void signOutWinsOverRefreshInFlight();
    void rejectedRefreshSignsOut();

private:
    std::unique_ptr<Client> newClient();

    AccountTestServer m_server;
    std::shared_ptr<MemoryTokenStore::Vault> m_vault;
    std::unique_ptr<Client> m_client;
    QUrl m_opened;
};

void tst_AuthClient::initTestCase()
{
    ACCOUNT_REQUIRE_SERVER(m_server, {QStringLiteral("--auto-login"), QStringLiteral("ada@example.com")});
}

void tst_AuthClient::init()
{
    m_server.clearFaults();
    m_server.clearRequests();
    m_vault = std::make_shared<MemoryTokenStore::Vault>();
    m_opened.clear();
    m_client = newClient();
}

void tst_AuthClient::cleanup()
{
    m_client.reset();
}

std::unique_ptr<Client> tst_AuthClient::newClient()
{
    ClientConfig config;
    config.authBaseUrl = m_server.base() + QStringLiteral("/auth");
    config.accountApiUrl = m_server.base() + QStringLiteral("/account/v1");
    config.clientId = QStringLiteral("test-client");
    config.appId = QStringLiteral("test.norvane.notes");
    auto client = std::make_unique<Client>(config, std::make_unique<MemoryTokenStore>(m_vault));
    client->auth()->setCallbackPort(0);
    client->auth()->setUrlOpener([this](const QUrl& url) { m_opened = url; });
    return client;
}

void tst_AuthClient::browserSignIn_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("listenerStatus");
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<QString>("failure");
    QTest::newRow("tokens in the query") << "plain" << 200 << true << "";
    QTest::newRow("stray request first, then the callback") << "stray" << 200 << true << "";
    QTest::newRow("wrong state") << "forged" << 404 << false << "";
    QTest::newRow("refresh token missing") << "missing" << 200 << false << "No tokens received";
    QTest::newRow("cancel while waiting") << "cancel" << 0 << false << "Sign-in cancelled";
    QTest::newRow("browser never comes back")
        << "timeout" << 0 << false << "The browser did not come back within 5 minutes.";
}

void tst_AuthClient::browserSignIn()
{
    QFETCH(QString, mode);
    QFETCH(int, listenerStatus);
    QFETCH(bool, signedIn);
    QFETCH(QString, failure);
    AuthClient* auth = m_client->auth();
    QSignalSpy succeeded(auth, &AuthClient::loginSucceeded);
    QSignalSpy failed(auth, &AuthClient::loginFailed);
    if (mode == QLatin1String("timeout"))
        auth->setLoginTimeLimit(200);

    auth->login();
    QVERIFY(auth->isLoginPending());
    const QUrlQuery login(m_opened);
    const QUrl redirectUri(login.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));
    QCOMPARE(redirectUri.host(), QStringLiteral("localhost"));
    QVERIFY(redirectUri.port() != WebAuthHandler::kDefaultPort);
    QVERIFY(login.queryItemValue(QStringLiteral("state")).size() >= 16);

    // The service's login page sends the browser on to the app's listener.
    const auto [loginStatus, callback] = browserGet(m_opened);
    QCOMPARE(loginStatus, 302);
    QCOMPARE(callback.port(), redirectUri.port());

    QUrl target = callback;
    if (mode == QLatin1String("stray")) {
        QUrl favicon = callback;
        favicon.setPath(QStringLiteral("/favicon.ico"));
        favicon.setQuery(QString());
        QCOMPARE(browserGet(favicon).first, 404);
        QCOMPARE(browserGet(withQueryItem(callback, QStringLiteral("state"), QString())).first, 404);
        QVERIFY(auth->isLoginPending());
    } else if (mode == QLatin1String("forged")) {
        target = withQueryItem(callback, QStringLiteral("state"), QStringLiteral("forged"));
    } else if (mode == QLatin1String("missing")) {
        target = withQueryItem(callback, QStringLiteral("refresh_token"), QString());
    } else if (mode == QLatin1String("cancel")) {
        auth->cancelLogin();
    } else if (mode == QLatin1String("timeout")) {
        QTRY_VERIFY(!auth->isLoginPending());
    }
    QCOMPARE(browserGet(target).first, listenerStatus);

    QTRY_COMPARE(succeeded.count() + failed.count(), signedIn || !failure.isEmpty() ? 1 : 0);
    QCOMPARE(m_client->isAuthenticated(), signedIn);
    QCOMPARE(succeeded.count(), signedIn ? 1 : 0);
    if (!failure.isEmpty())
        QCOMPARE(failed.first().first().toString(), failure);
    // Only a forged callback leaves the attempt waiting for the real one.
    QCOMPARE(auth->isLoginPending(), mode == QLatin1String("forged"));
    QCOMPARE(m_vault->contains(QStringLiteral("norvane_refresh_token")), signedIn);
    if (signedIn) {
        bool done = false;
        auth->fetchCurrentUser([&done](const User& user) {
            QCOMPARE(user.email, QStringLiteral("ada@example.com"));
            done = true;
        });
        QTRY_VERIFY(done);
    }
}

void tst_AuthClient::callbackTokens_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("signedIn");
    QTest::newRow("query") << "http://localhost:1/callback?access_token=a&refresh_token=r" << true;
    QTest::newRow("fragment") << "http://localhost:1/callback#access_token=a&refresh_token=r" << true;
    QTest::newRow("fragment lacks the refresh token")
        << "http://localhost:1/callback?access_token=a&refresh_token=r#access_token=a" << false;
    QTest::newRow("error from the service") << "http://localhost:1/callback?error=access_denied" << false;
}

void tst_AuthClient::callbackTokens()
{
    QFETCH(QString, url);
    QFETCH(bool, signedIn);
    m_client->auth()->handleCallback(QUrl(url));
    QCOMPARE(m_client->isAuthenticated(), signedIn);
    QCOMPARE(m_vault->value(QStringLiteral("norvane_refresh_token")), signedIn ? QStringLiteral("r") : QString());
}

void tst_AuthClient::sessionRestore_data()
{
    QTest::addColumn<int>("accessTtl");
    QTest::addColumn<QString>("refreshFault"); // "", "drop"
    QTest::addColumn<bool>("forgedRefresh");
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<int>("refreshes");
    QTest::newRow("valid access token") << 900 << "" << false << true << 0;
    QTest::newRow("expired but refreshable") << -120 << "" << false << true << 1;
    // The network layer may send a dropped request once more by itself: at least one refresh.
    QTest::newRow("expired and offline stays signed in") << -120 << "drop" << false << true << -1;
    QTest::newRow("refresh token rejected") << -120 << "" << true << false << 1;
}

void tst_AuthClient::sessionRestore()
{
    QFETCH(int, accessTtl);
    QFETCH(QString, refreshFault);
    QFETCH(bool, forgedRefresh);
    QFETCH(bool, signedIn);
    QFETCH(int, refreshes);
    const auto [access, refresh] = m_server.tokens(QStringLiteral("ada@example.com"), accessTtl);
    m_vault->insert(QStringLiteral("norvane_access_token"), access);
    m_vault->insert(QStringLiteral("norvane_refresh_token"), forgedRefresh ? QStringLiteral("forged") : refresh);
    const QString refreshRoute = QStringLiteral("/auth/api/v1/realms/norvane/auth/token/refresh");
    if (!refreshFault.isEmpty())
        m_server.fault({{QStringLiteral("action"), refreshFault}, {QStringLiteral("pattern"), refreshRoute}});

    auto restarted = newClient();
    QSignalSpy changed(restarted.get(), &Client::authStateChanged);
    restarted->initialize();
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(restarted->isAuthenticated(), signedIn);
    if (refreshes >= 0)
        QCOMPARE(m_server.count(refreshRoute), refreshes);
    else
        QVERIFY(m_server.count(refreshRoute) >= 1);
    QCOMPARE(m_vault->contains(QStringLiteral("norvane_refresh_token")), signedIn);
    if (signedIn && refreshes == 1 && refreshFault.isEmpty())
        QVERIFY(m_vault->value(QStringLiteral("norvane_refresh_token")) != refresh); // rotated
}

void tst_AuthClient::signOutWinsOverRefreshInFlight()
{
    const auto [access, refresh] = m_server.tokens(QStringLiteral("ada@example.com"), -120);
    m_client->auth()->handleCallback(
        QUrl(QStringLiteral("http://localhost/callback?access_token=%1&refresh_token=%2").arg(access, refresh)));
    QVERIFY(m_client->isAuthenticated());
    m_server.fault({{QStringLiteral("action"), QStringLiteral("delay")},
                    {QStringLiteral("delay_ms"), 300},
                    {QStringLiteral("pattern"), QStringLiteral("/auth/api/v1/realms/norvane/auth/token/refresh")}});
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
    QCOMPARE(m_client->tokenManager()->refreshToken(), QString());
    QVERIFY(!m_client->isAuthenticated());
    QCOMPARE(ended.count(), 0); // a sign-out is not an ended session
    // The service heard of the sign-out, with a token renewed for that call alone.
    QTRY_COMPARE(m_server.count(QStringLiteral("/auth/api/v1/realms/norvane/auth/logout")), 1);
    QCOMPARE(m_server.requests(QStringLiteral("/auth/api/v1/realms/norvane/auth/logout"))
                 .first()
                 .toObject()
                 .value(QLatin1String("status"))
                 .toInt(),
             204);
}

void tst_AuthClient::rejectedRefreshSignsOut()
{
    const auto [access, refresh] = m_server.tokens(QStringLiteral("ada@example.com"), -120);
    Q_UNUSED(refresh);
    m_client->auth()->handleCallback(
        QUrl(QStringLiteral("http://localhost/callback?access_token=%1&refresh_token=forged").arg(access)));
    QSignalSpy ended(m_client->auth(), &AuthClient::sessionEnded);
    bool done = false;
    m_client->accountApi()->get(QStringLiteral("/profile"), [&done](bool, int, const QJsonObject&) { done = true; });
    QTRY_VERIFY(done);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.first().first().toString(), QStringLiteral("Your session has ended. Please sign in again."));
    QVERIFY(!m_client->isAuthenticated());
    QVERIFY(m_vault->isEmpty());
}

QTEST_GUILESS_MAIN(tst_AuthClient)
#include "tst_AuthClient.moc"
