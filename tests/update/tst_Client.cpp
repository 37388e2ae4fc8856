#include "Client.h"
#include "UpdateDialog.h"
#include "UpdateFlows.h"
#include "UpdateTestSupport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

using namespace NorvUpdate;

class tst_Client : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void check_data();
    void check();
    void updateDialog_data();
    void updateDialog();
    void checkFlows_data();
    void checkFlows();

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
    QTest::newRow("two-part newer reads as x.y.0") << manifest(artifact("1.2")) << "1.1.1" << "update 1.2";
    QTest::newRow("same") << manifest(artifact("1.1.1")) << "1.1.1" << "up to date";
    QTest::newRow("older") << manifest(artifact("1.0.9")) << "1.1.1" << "up to date";
    QTest::newRow("pre-release reads as 0.0.0") << manifest(artifact("1.2.0-rc1")) << "1.1.1" << "up to date";
    QTest::newRow("mandatory") << manifest(with(artifact("2.0.0"), "mandatory", true)) << "1.1.1"
        << "update 2.0.0 mandatory";
    QTest::newRow("min_upgradable_from above current")
        << manifest(with(artifact("1.3.0"), "min_upgradable_from", "1.2.0")) << "1.1.1"
        << "current version 1.1.1 is older than min_upgradable_from 1.2.0; please upgrade to an intermediate release "
           "first";
    QTest::newRow("min_upgradable_from reached") << manifest(with(artifact("1.3.0"), "min_upgradable_from", "1.1.1"))
        << "1.1.1" << "update 1.3.0";
    QTest::newRow("no manifest published") << QByteArray() << "1.1.1" << "up to date";
    QTest::newRow("another platform only") << manifest(artifact("9.0.0"), "plan9-mips") << "1.1.1" << "up to date";

    QTest::newRow("schema 2") << manifest(artifact("1.2.0"), platform, with(root, "schema", 2)) << "1.1.1"
        << "manifest invalid: unsupported manifest schema: 2 (expected 1)";
    QTest::newRow("schema as text") << manifest(artifact("1.2.0"), platform, with(root, "schema", "1")) << "1.1.1"
        << "manifest invalid: missing or non-integer field: schema";
    QTest::newRow("app missing") << manifest(artifact("1.2.0"), platform, with(root, "app", QJsonValue::Undefined))
        << "1.1.1" << "manifest invalid: missing or non-string field: app";
    QTest::newRow("short sha256") << manifest(with(artifact("1.2.0"), "sha256", QString(63, u'a'))) << "1.1.1"
        << "manifest invalid: artifact " + platform + " failed validation";
    QTest::newRow("size 0") << manifest(with(artifact("1.2.0"), "size", 0)) << "1.1.1"
        << "manifest invalid: artifact " + platform + " failed validation";
    QTest::newRow("url missing") << manifest(with(artifact("1.2.0"), "url", QJsonValue::Undefined)) << "1.1.1"
        << "manifest invalid: missing or non-string field: url";
    QTest::newRow("released_at not a date") << manifest(with(artifact("1.2.0"), "released_at", "soon")) << "1.1.1"
        << "manifest invalid: artifact " + platform + " failed validation";
    QTest::newRow("plain http download") << manifest(with(artifact("1.2.0"), "url", "http://example.org/n.tar.gz"))
        << "1.1.1" << "manifest invalid: artifact " + platform + " download url is not https";
    QTest::newRow("artifacts not an object")
        << QByteArray(R"({"schema":1,"app":"notes","channel":"stable",)" R"("artifacts":[]})") << "1.1.1"
        << "manifest invalid: missing or non-object field: artifacts";
    QTest::newRow("no artifacts") << QByteArray(R"({"schema":1,"app":"notes","channel":"stable","artifacts":{}})")
        << "1.1.1" << "manifest invalid: manifest failed validation";
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

void tst_Client::updateDialog_data()
{
    // clang-format off
    QTest::addColumn<bool>("mandatory");
    QTest::addColumn<QByteArray>("notes"); // empty: none published
    QTest::addColumn<QString>("shown");

    QTest::newRow("optional, with notes") << false << QByteArray("# 1.2.0\n\n* Faster search\n") << "Faster search";
    QTest::newRow("mandatory, notes missing") << true << QByteArray()
        << "Release notes are not available for this version.";
    // clang-format on
}

void tst_Client::updateDialog()
{
    QFETCH(bool, mandatory);
    QFETCH(QByteArray, notes);
    QFETCH(QString, shown);

    Artifact art;
    art.version = QStringLiteral("1.2.0");
    art.url = QUrl(QStringLiteral("https://downloads.example.org/notes-1.2.0.tar.gz"));
    art.mandatory = mandatory;
    art.releaseNotesUrl = m_service.publishNotes(m_service.uniqueVersion(), QString(), notes);
    UpdateDialog dialog(art, QStringLiteral("1.1.1"), QStringLiteral("Norvane Notes"));
    // A release the user must install cannot be put off.
    QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("laterButton")) != nullptr, !mandatory);
    QVERIFY(dialog.notesBrowser());
    QTRY_VERIFY(dialog.notesBrowser()->toPlainText().contains(shown));
}

void tst_Client::checkFlows_data()
{
    // clang-format off
    QTest::addColumn<bool>("asked"); // Help > Check for Updates rather than the check after start-up
    QTest::addColumn<QByteArray>("latest");
    QTest::addColumn<bool>("dialog");
    QTest::addColumn<QString>("said"); // status message, or the log line of the start-up check

    const QByteArray broken =
        manifest(artifact("1.2.0"), currentPlatformKey(), {{"schema", 2}, {"app", "notes"}, {"channel", "stable"}});
    const QString reason = QStringLiteral("manifest invalid: unsupported manifest schema: 2 (expected 1)");
    QTest::newRow("asked, newer") << true << manifest(artifact("1.2.0")) << true << QString();
    QTest::newRow("asked, up to date") << true << manifest(artifact("1.1.1")) << false
        << "Norvane Notes is up to date (version 1.1.1) 5000";
    QTest::newRow("asked, failed") << true << broken << false << "Update check failed: " + reason + " 5000";
    QTest::newRow("start-up, newer") << false << manifest(artifact("1.2.0")) << true << QString();
    // Nobody asked: the reason goes to the log, never to the screen.
    QTest::newRow("start-up, failed") << false << broken << false << "update check failed: " + reason;
    // clang-format on
}

void tst_Client::checkFlows()
{
    QFETCH(bool, asked);
    QFETCH(QByteArray, latest);
    QFETCH(bool, dialog);
    QFETCH(QString, said);

    const UpdateConfig config = m_service.config(m_service.publishManifest(latest), QStringLiteral("1.1.1"));
    QMainWindow window;
    QStringList messages;
    int progress = 0;
    if (asked) {
        const StatusCallbacks status{[&](const QString&) { ++progress; }, [&] { --progress; },
                                     [&](const QString& text, int ms) {
                                         messages.append(text + u' ' + QString::number(ms));
                                     }};
        checkInteractively(config, QStringLiteral("Norvane Notes"), &window, status);
        QCOMPARE(progress, 1);
    } else {
        if (!said.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable(said));
        checkAtStartup(config, QStringLiteral("Norvane Notes"), &window);
    }
    QTRY_VERIFY(qApp->findChildren<Client*>().isEmpty());

    QCOMPARE(progress, 0);
    QCOMPARE(window.findChildren<UpdateDialog*>().size(), dialog ? 1 : 0);
    if (dialog)
        QVERIFY(window.findChild<UpdateDialog*>()->isVisible());
    QCOMPARE(messages, asked && !said.isEmpty() ? QStringList{said} : QStringList{});
}

QTEST_MAIN(tst_Client)
#include "tst_Client.moc"
