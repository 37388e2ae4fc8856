#include "Client.h"
#include "UpdateTestSupport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace NorvUpdate;

class tst_Client : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void check_data();
    void check();

private:
    UpdateService m_service;
};

void tst_Client::initTestCase()
{
    QVERIFY2(!currentPlatformKey().isEmpty(), "these tests need a platform updates are shipped for");
    if (!m_service.start())
        QSKIP(qPrintable("devserver unavailable: " + m_service.errorString()));
}

void tst_Client::check_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("latest"); // empty: no manifest published (404)
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("expected"); // "up to date", "update <version>" or the failure reason

    const QJsonObject root{{"schema", 1}, {"app", "notes"}, {"channel", "stable"}};
    const QString platform = currentPlatformKey();
    // The server's own stable channel offers 1.2.0 with a download from the server itself.
    QTest::newRow("development server's channel") << QByteArray("stable") << "1.1.1" << "update 1.2.0";
    QTest::newRow("newer") << manifest(artifact("1.2.0")) << "1.1.1" << "update 1.2.0";
    QTest::newRow("same") << manifest(artifact("1.1.1")) << "1.1.1" << "up to date";
    QTest::newRow("mandatory") << manifest(with(artifact("2.0.0"), "mandatory", true)) << "1.1.1"
        << "update 2.0.0 mandatory";
    QTest::newRow("min_upgradable_from above current")
        << manifest(with(artifact("1.3.0"), "min_upgradable_from", "1.2.0")) << "1.1.1"
        << "current version 1.1.1 is older than min_upgradable_from 1.2.0; please upgrade to an intermediate release "
           "first";
    QTest::newRow("no manifest published") << QByteArray() << "1.1.1" << "up to date";

    QTest::newRow("schema 2") << manifest(artifact("1.2.0"), platform, with(root, "schema", 2)) << "1.1.1"
        << "manifest invalid: unsupported manifest schema: 2 (expected 1)";
    QTest::newRow("short sha256") << manifest(with(artifact("1.2.0"), "sha256", QString(63, u'a'))) << "1.1.1"
        << "manifest invalid: artifact " + platform + " failed validation";
    QTest::newRow("plain http download") << manifest(with(artifact("1.2.0"), "url", "http://example.org/n.tar.gz"))
        << "1.1.1" << "manifest invalid: artifact " + platform + " download url is not https";
    QTest::newRow("root is an array") << QByteArray("[1]") << "1.1.1"
        << "manifest invalid: manifest root is not a JSON object";
    QTest::newRow("not JSON") << QByteArray("{\"schema\":") << "1.1.1"
        << "manifest invalid: JSON parse error: unterminated object";
    // clang-format on
}

void tst_Client::check()
{
    QFETCH(QByteArray, latest);
    QFETCH(QString, current);
    QFETCH(QString, expected);

    const QString channel = latest == "stable" ? QStringLiteral("stable") : m_service.publishManifest(latest);
    m_service.server().clearRequests();
    Client client(m_service.config(channel, current));
    QSignalSpy available(&client, &Client::updateAvailable);
    QSignalSpy upToDate(&client, &Client::upToDate);
    QSignalSpy failed(&client, &Client::checkFailed);
    client.checkForUpdates();
    client.checkForUpdates(); // ignored while the first runs
    QTRY_COMPARE(available.size() + upToDate.size() + failed.size(), 1);

    QString outcome = QStringLiteral("up to date");
    if (!available.isEmpty()) {
        const auto art = available.first().first().value<Artifact>();
        outcome = "update " + art.version + (art.mandatory ? " mandatory" : "");
        QCOMPARE(art.sha256.size(), 64);
        QVERIFY(isSafeDownloadUrl(art.url));
    } else if (!failed.isEmpty()) {
        outcome = failed.first().first().toString();
    }
    QCOMPARE(outcome, expected);
    QVERIFY(!client.inFlight());

    // One request, though checkForUpdates ran twice; it names us and carries no credentials.
    const QJsonArray requests = m_service.requests("/updates/");
    QCOMPARE(requests.size(), 1);
    const QJsonObject request = requests.first().toObject();
    QCOMPARE(request.value("path").toString(), "/updates/notes/" + channel + "/latest.json");
    const QJsonObject headers = request.value("headers").toObject();
    QCOMPARE(headers.value("user-agent").toString(), QStringLiteral("NorvUpdateQt/0.1 (notes)"));
    QVERIFY(!headers.contains("authorization") && !headers.contains("cookie"));
}

QTEST_MAIN(tst_Client)
#include "tst_Client.moc"
