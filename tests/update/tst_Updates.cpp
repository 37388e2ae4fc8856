#include "Client.h"
#include "ReleaseNotesFetcher.h"
#include "UpdateTestSupport.h"

#include <QSignalSpy>
#include <QTest>

using namespace NorvUpdate;

class tst_Updates : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void check_data();
    void check();
    void releaseNotes_data();
    void releaseNotes();

private:
    UpdateService m_service;
};

void tst_Updates::initTestCase()
{
    QVERIFY2(!currentPlatformKey().isEmpty(), "these tests need a platform updates are shipped for");
    if (!m_service.start())
        QSKIP(qPrintable("devserver unavailable: " + m_service.errorString()));
}

void tst_Updates::check_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("latest"); // empty: no manifest published (404)
    QTest::addColumn<QString>("expected"); // "up to date", "update <version>" or the failure reason

    const QJsonObject root{{"schema", 1}, {"app", "notes"}, {"channel", "stable"}};
    const QString platform = currentPlatformKey();
    // The version running is 1.1.1. The server's own stable channel offers 1.2.0 with a download from the
    // server itself.
    QTest::newRow("development server's channel") << QByteArray("stable") << "update 1.2.0";
    QTest::newRow("newer") << manifest(artifact("1.2.0")) << "update 1.2.0";
    QTest::newRow("same") << manifest(artifact("1.1.1")) << "up to date";
    QTest::newRow("mandatory") << manifest(with(artifact("2.0.0"), "mandatory", true))
        << "update 2.0.0 mandatory";
    QTest::newRow("min_upgradable_from above current")
        << manifest(with(artifact("1.3.0"), "min_upgradable_from", "1.2.0"))
        << "current version 1.1.1 is older than min_upgradable_from 1.2.0; please upgrade to an intermediate release "
           "first";
    QTest::newRow("no manifest published") << QByteArray() << "up to date";

    QTest::newRow("schema 2") << manifest(artifact("1.2.0"), platform, with(root, "schema", 2))
        << "manifest invalid: unsupported manifest schema: 2 (expected 1)";
    QTest::newRow("short sha256") << manifest(with(artifact("1.2.0"), "sha256", QString(63, u'a')))
        << "manifest invalid: artifact " + platform + " failed validation";
    QTest::newRow("plain http download") << manifest(with(artifact("1.2.0"), "url", "http://example.org/n.tar.gz"))
        << "manifest invalid: artifact " + platform + " download url is not https";
    QTest::newRow("root is an array") << QByteArray("[1]")
        << "manifest invalid: manifest root is not a JSON object";
    QTest::newRow("not JSON") << QByteArray("{\"schema\":")
        << "manifest invalid: JSON parse error: unterminated object";
    // clang-format on
}

void tst_Updates::check()
{
    QFETCH(QByteArray, latest);
    QFETCH(QString, expected);

    const QString channel = latest == "stable" ? QStringLiteral("stable") : m_service.publishManifest(latest);
    m_service.server().clearRequests();
    Client client(m_service.config(channel, QStringLiteral("1.1.1")));
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
    } else if (!failed.isEmpty()) {
        outcome = failed.first().first().toString();
    }
    QCOMPARE(outcome, expected);
    QVERIFY(!client.inFlight());

    // One request, though checkForUpdates ran twice; it names us and carries no credentials.
    const QJsonArray requests = m_service.server().requests("/updates/");
    QCOMPARE(requests.size(), 1);
    const QJsonObject request = requests.first().toObject();
    QCOMPARE(request.value("path").toString(), "/updates/notes/" + channel + "/latest.json");
    const QJsonObject headers = request.value("headers").toObject();
    QCOMPARE(headers.value("user-agent").toString(), QStringLiteral("NorvUpdateQt/0.1 (notes)"));
    QVERIFY(!headers.contains("authorization") && !headers.contains("cookie"));
}

void tst_Updates::releaseNotes_data()
{
    // clang-format off
    QTest::addColumn<QString>("language");
    QTest::addColumn<QByteArray>("defaultNotes"); // empty: not published
    QTest::addColumn<QByteArray>("germanNotes");  // empty: not published
    QTest::addColumn<QString>("expected");        // null: unavailable
    QTest::addColumn<QStringList>("requested");   // notes files asked for, in order

    const QByteArray en("# Notes\n\nFaster search.\n");
    const QByteArray de("# Hinweise\n\nSchnellere Suche.\n");
    const QStringList both{"release-notes.de.md", "release-notes.md"};
    QTest::newRow("German user, German notes") << "de" << en << de << "# Hinweise\n\nSchnellere Suche."
        << QStringList{"release-notes.de.md"};
    QTest::newRow("German user, default only") << "de" << en << QByteArray() << "# Notes\n\nFaster search." << both;
    QTest::newRow("English user") << "en" << en << de << "# Notes\n\nFaster search." << QStringList{"release-notes.md"};
    QTest::newRow("no notes at all") << "de" << QByteArray() << QByteArray() << QString() << both;
    // clang-format on
}

void tst_Updates::releaseNotes()
{
    QFETCH(QString, language);
    QFETCH(QByteArray, defaultNotes);
    QFETCH(QByteArray, germanNotes);
    QFETCH(QString, expected);
    QFETCH(QStringList, requested);

    const QString version = m_service.uniqueVersion();
    m_service.publishNotes(version, QString(), defaultNotes);
    m_service.publishNotes(version, QStringLiteral("de"), germanNotes);
    ReleaseNotesFetcher fetcher(m_service.config(QStringLiteral("stable"), version));
    fetcher.setLanguage(language);
    QSignalSpy ready(&fetcher, &ReleaseNotesFetcher::notesReady);
    QSignalSpy unavailable(&fetcher, &ReleaseNotesFetcher::notesUnavailable);
    fetcher.start();
    QTRY_COMPARE(ready.size() + unavailable.size(), 1);

    QCOMPARE(ready.isEmpty() ? QString() : ready.first().first().toString(), expected);
    QCOMPARE(m_service.notesRequested(version), requested);
}

QTEST_MAIN(tst_Updates)
#include "tst_Updates.moc"
