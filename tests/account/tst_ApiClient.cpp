#include "AccountTestServer.h"
#include "ApiClient.h"
#include "AuthClient.h"
#include "NorvAccountClient.h"
#include "TokenManager.h"
#include "TokenStore.h"

#include <QHttpMultiPart>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace NorvAccount;

namespace {

struct Outcome
{
    bool done = false;
    bool ok = false;
    int status = -1;
    QJsonObject body;
    QByteArray bytes;
};

ResponseCallback record(Outcome& outcome)
{
    return [&outcome](bool ok, int status, const QJsonObject& body) {
        QVERIFY2(!outcome.done, "callback called twice");
        outcome = {true, ok, status, body, {}};
    };
}

QJsonObject header(const QJsonObject& loggedRequest)
{
    return loggedRequest.value(QLatin1String("headers")).toObject();
}

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

const QByteArray kJsonAnswer = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 10\r\n"
                               "Connection: close\r\n\r\n{\"at\":\"b\"}";

} // namespace

class tst_ApiClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void identificationHeaders_data();
    void identificationHeaders();
    void requestKinds();
    void unauthorizedAnswers_data();
    void unauthorizedAnswers();
    void expiredTokenRefreshesOnceForConcurrentCallers();
    void timeOutIsTransient();
    void redirectKeepsTokenOnItsOrigin_data();
    void redirectKeepsTokenOnItsOrigin();

private:
    void signIn(int accessTtl = 900);

    AccountTestServer m_server;
    std::unique_ptr<Client> m_client;
};

void tst_ApiClient::initTestCase()
{
    ACCOUNT_REQUIRE_SERVER(m_server);
}

void tst_ApiClient::init()
{
    m_server.clearFaults();
    m_server.clearRequests();
    ClientConfig config;
    config.authBaseUrl = m_server.base() + QStringLiteral("/auth");
    config.accountApiUrl = m_server.base() + QStringLiteral("/account/v1");
    config.clientId = QStringLiteral("test-client");
    config.appId = QStringLiteral("test.norvane.notes");
    config.appVersion = QStringLiteral("1.1.1");
    config.platform = QStringLiteral("linux");
    m_client = std::make_unique<Client>(config, std::make_unique<MemoryTokenStore>());
    m_client->notesApi()->setBaseUrl(QUrl(m_server.base() + QStringLiteral("/notes/v1")));
}

void tst_ApiClient::cleanup()
{
    m_client.reset();
}

void tst_ApiClient::signIn(int accessTtl)
{
    const auto [access, refresh] = m_server.tokens(QStringLiteral("ada@example.com"), accessTtl);
    QVERIFY(!refresh.isEmpty());
    m_client->tokenManager()->setTokens(access, refresh);
}

void tst_ApiClient::identificationHeaders_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("signedIn");
    QTest::newRow("signed in") << "1.1.1" << true;
    QTest::newRow("empty version sends no header") << "" << true;
    QTest::newRow("signed out sends no bearer") << "1.1.1" << false;
}

void tst_ApiClient::identificationHeaders()
{
    QFETCH(QString, version);
    QFETCH(bool, signedIn);
    if (signedIn)
        this->signIn();
    ApiClient* api = m_client->authApi();
    api->setAppInfo(QStringLiteral("test.norvane.notes"), version, QStringLiteral("linux"));
    Outcome outcome;
    api->get(QStringLiteral("/users/me"), record(outcome));
    QTRY_VERIFY(outcome.done);
    QCOMPARE(outcome.status, signedIn ? 200 : 401);
    if (signedIn)
        QCOMPARE(outcome.body.value(QLatin1String("email")).toString(), QStringLiteral("ada@example.com"));

    const QJsonObject sent =
        header(m_server.requests(QStringLiteral("/auth/api/v1/realms/norvane/users/me")).first().toObject());
    QCOMPARE(sent.value(QLatin1String("x-app-id")).toString(), QStringLiteral("test.norvane.notes"));
    QCOMPARE(sent.value(QLatin1String("x-platform")).toString(), QStringLiteral("linux"));
    QCOMPARE(sent.value(QLatin1String("accept")).toString(), QStringLiteral("application/json"));
    QCOMPARE(sent.contains(QLatin1String("x-app-version")), !version.isEmpty());
    QCOMPARE(sent.value(QLatin1String("authorization")).toString(),
             signedIn ? QStringLiteral("Bearer <redacted>") : QString());
}

void tst_ApiClient::requestKinds()
{
    signIn();
    ApiClient* notes = m_client->notesApi();
    const QString noteId = QStringLiteral("00000000-0000-4000-8000-0000000000c1");
    const QString attachmentId = QStringLiteral("00000000-0000-4000-8000-0000000000c2");

    // JSON both ways: a note goes up.
    const QJsonObject change{{QStringLiteral("entity_type"), QStringLiteral("note")},
                             {QStringLiteral("entity_id"), noteId},
                             {QStringLiteral("action"), QStringLiteral("update")},
                             {QStringLiteral("version"), 1},
                             {QStringLiteral("data"), QJsonObject{{QStringLiteral("body"), QStringLiteral("[]")},
                                                                  {QStringLiteral("notebook_id"), QString()}}}};
    Outcome pushed;
    notes->post(QStringLiteral("/sync/push"), {{QStringLiteral("changes"), QJsonArray{change}}}, record(pushed));
    QTRY_VERIFY(pushed.done);
    QCOMPARE(pushed.status, 200);
    QCOMPARE(pushed.body.value(QLatin1String("results")).toArray().first().toObject().value(QLatin1String("status")),
             QJsonValue(QStringLiteral("ok")));

    // Multipart up, raw bytes down.
    const QByteArray payload("\x00\x01binary\xff", 9);
    auto* multipart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    auto field = [multipart](const QString& disposition, const QByteArray& body) {
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader, disposition);
        part.setBody(body);
        multipart->append(part);
    };
    field(QStringLiteral("form-data; name=\"note_id\""), noteId.toLatin1());
    field(QStringLiteral("form-data; name=\"id\""), attachmentId.toLatin1());
    field(QStringLiteral("form-data; name=\"file\"; filename=\"a.bin\""), payload);
    Outcome uploaded;
    notes->postMultipart(QStringLiteral("/attachments"), multipart, record(uploaded));
    QTRY_VERIFY(uploaded.done);
    QCOMPARE(uploaded.status, 201);
    QCOMPARE(uploaded.body.value(QLatin1String("size_bytes")).toInt(), payload.size());

    Outcome downloaded;
    notes->getBinary(QStringLiteral("/attachments/%1").arg(attachmentId),
                     [&](bool ok, int status, const QByteArray& data) {
                         downloaded = {true, ok, status, {}, data};
                     });
    QTRY_VERIFY(downloaded.done);
    QCOMPARE(downloaded.status, 200);
    QCOMPARE(downloaded.bytes, payload);
    const QJsonObject sent = header(m_server.requests(QStringLiteral("/notes/v1/attachments/")).first().toObject());
    QCOMPARE(sent.value(QLatin1String("accept")).toString(), QStringLiteral("*/*"));
}

void tst_ApiClient::unauthorizedAnswers_data()
{
    QTest::addColumn<int>("forced401s");
    QTest::addColumn<QString>("refreshFault"); // "", "reject", "transient"
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("refreshes");
    QTest::addColumn<bool>("authRequired");
    QTest::newRow("one 401, one refresh, one retry") << 1 << "" << 200 << 1 << false;
    QTest::newRow("second 401 reaches the caller") << 2 << "" << 401 << 1 << false;
    QTest::newRow("refresh rejected") << 1 << "reject" << 401 << 1 << true;
    QTest::newRow("refresh fails for now") << 1 << "transient" << 0 << 1 << false;
}

void tst_ApiClient::unauthorizedAnswers()
{
    QFETCH(int, forced401s);
    QFETCH(QString, refreshFault);
    QFETCH(int, status);
    QFETCH(int, refreshes);
    QFETCH(bool, authRequired);
    signIn();
    const QString route = QStringLiteral("/account/v1/profile");
    const QString refreshRoute = QStringLiteral("/auth/api/v1/realms/norvane/auth/token/refresh");
    m_server.fault({{QStringLiteral("action"), QStringLiteral("status")},
                    {QStringLiteral("status"), 401},
                    {QStringLiteral("pattern"), route},
                    {QStringLiteral("times"), forced401s}});
    if (!refreshFault.isEmpty())
        m_server.fault({{QStringLiteral("action"), QStringLiteral("status")},
                        {QStringLiteral("status"), refreshFault == QLatin1String("reject") ? 401 : 503},
                        {QStringLiteral("pattern"), refreshRoute}});
    QSignalSpy required(m_client->accountApi(), &ApiClient::authenticationRequired);

    Outcome outcome;
    m_client->accountApi()->get(QStringLiteral("/profile"), record(outcome));
    QTRY_VERIFY(outcome.done);
    QCOMPARE(outcome.status, status);
    QCOMPARE(outcome.ok, status == 200);
    QCOMPARE(m_server.count(refreshRoute), refreshes);
    QCOMPARE(m_server.count(route), forced401s >= 2 || status == 200 ? 2 : 1);
    QCOMPARE(required.count(), authRequired ? 1 : 0);
}

void tst_ApiClient::expiredTokenRefreshesOnceForConcurrentCallers()
{
    signIn(-120);
    QStringList order;
    for (int i = 0; i < 3; ++i) {
        m_client->accountApi()->get(QStringLiteral("/profile"), [&order, i](bool ok, int status, const QJsonObject&) {
            order << QStringLiteral("%1:%2:%3").arg(i).arg(ok).arg(status);
        });
    }
    QTRY_COMPARE(order.size(), 3);
    order.sort();
    QCOMPARE(order, (QStringList{QStringLiteral("0:1:200"), QStringLiteral("1:1:200"), QStringLiteral("2:1:200")}));
    QCOMPARE(m_server.count(QStringLiteral("/auth/api/v1/realms/norvane/auth/token/refresh")), 1);
    QCOMPARE(m_server.count(QStringLiteral("/account/v1/profile")), 3);
}

void tst_ApiClient::timeOutIsTransient()
{
    signIn();
    m_server.fault({{QStringLiteral("action"), QStringLiteral("hang")},
                    {QStringLiteral("pattern"), QStringLiteral("/account/v1/profile")}});
    ApiClient* api = m_client->accountApi();
    api->setTransferTimeout(300);
    QSignalSpy networkErrors(api, &ApiClient::networkError);
    Outcome outcome;
    api->get(QStringLiteral("/profile"), record(outcome));
    QTRY_VERIFY_WITH_TIMEOUT(outcome.done, 10000);
    QCOMPARE(outcome.status, 0);
    QVERIFY(!outcome.ok);
    QCOMPARE(networkErrors.count(), 1);
    QVERIFY(m_client->isAuthenticated() || m_client->state() == AuthState::Unknown);
    QVERIFY(!m_client->tokenManager()->refreshToken().isEmpty());
}

void tst_ApiClient::redirectKeepsTokenOnItsOrigin_data()
{
    QTest::addColumn<bool>("sameOrigin");
    QTest::newRow("same origin keeps the bearer") << true;
    QTest::newRow("another host never sees it") << false;
}

void tst_ApiClient::redirectKeepsTokenOnItsOrigin()
{
    QFETCH(bool, sameOrigin);
    signIn();
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
    Outcome outcome;
    api.get(QStringLiteral("/start"), record(outcome));
    QTRY_VERIFY(outcome.done);
    QCOMPARE(outcome.status, 200);
    QCOMPARE(outcome.body.value(QLatin1String("at")).toString(), QStringLiteral("b"));

    QVERIFY(first.received.first().startsWith("GET /start "));
    QVERIFY(first.received.first().contains("Authorization: Bearer "));
    const QByteArray hop = sameOrigin ? first.received.value(1) : second.received.value(0);
    QVERIFY2(hop.startsWith("GET /elsewhere "), hop.constData());
    QCOMPARE(hop.contains("Authorization:"), sameOrigin);
}

QTEST_GUILESS_MAIN(tst_ApiClient)
#include "tst_ApiClient.moc"
