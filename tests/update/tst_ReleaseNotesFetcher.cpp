#include "ReleaseNotesFetcher.h"
#include "UpdateFlows.h"
#include "UpdateTestSupport.h"
#include "WhatsNewDialog.h"

#include <QApplication>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

using namespace NorvUpdate;

class tst_ReleaseNotesFetcher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void fetch_data();
    void fetch();
    void interactiveWhatsNew_data();
    void interactiveWhatsNew();

private:
    UpdateService m_service;
};

namespace {

QList<WhatsNewDialog*> whatsNewDialogs()
{
    QList<WhatsNewDialog*> found;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<WhatsNewDialog*>(w); d && d->isVisible())
            found.append(d);
    }
    return found;
}

} // namespace

void tst_ReleaseNotesFetcher::initTestCase()
{
    if (!m_service.start())
        QSKIP(qPrintable("devserver unavailable: " + m_service.errorString()));
}

void tst_ReleaseNotesFetcher::cleanup()
{
    qDeleteAll(whatsNewDialogs());
}

void tst_ReleaseNotesFetcher::fetch_data()
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
    QTest::newRow("German notes blank") << "de" << en << QByteArray(" \n\t\n") << "# Notes\n\nFaster search." << both;
    QTest::newRow("English user") << "en" << en << de << "# Notes\n\nFaster search." << QStringList{"release-notes.md"};
    QTest::newRow("C locale") << "C" << en << de << "# Notes\n\nFaster search." << QStringList{"release-notes.md"};
    QTest::newRow("no notes at all") << "de" << QByteArray() << QByteArray() << QString() << both;
    QTest::newRow("only white space") << "" << QByteArray("\n  \n") << QByteArray() << QString()
        << QStringList{"release-notes.md"};
    // clang-format on
}

void tst_ReleaseNotesFetcher::fetch()
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

void tst_ReleaseNotesFetcher::interactiveWhatsNew_data()
{
    // clang-format off
    QTest::addColumn<bool>("ownNotes");
    QTest::addColumn<bool>("newerRelease");
    QTest::addColumn<QString>("dialogVersion"); // empty: no dialog
    QTest::addColumn<QString>("message");

    QTest::newRow("running version has notes") << true << true << "current" << QString();
    QTest::newRow("newer release's notes instead") << false << true << "9.0.0" << QString();
    QTest::newRow("nothing to show") << false << false << QString()
        << "No release notes available for Norvane Notes %1";
    // clang-format on
}

void tst_ReleaseNotesFetcher::interactiveWhatsNew()
{
    QFETCH(bool, ownNotes);
    QFETCH(bool, newerRelease);
    QFETCH(QString, dialogVersion);
    QFETCH(QString, message);

    const QString version = m_service.uniqueVersion();
    if (ownNotes)
        m_service.publishNotes(version, QString(), "Notes of the running version");
    QByteArray latest;
    if (newerRelease) {
        const QUrl newerNotes = m_service.publishNotes(QStringLiteral("9.0.0"), QString(), "Notes of 9.0.0");
        latest = manifest(with(artifact("9.0.0"), "release_notes_url", newerNotes.toString()));
    }
    const QString channel = m_service.publishManifest(latest);

    QMainWindow window;
    QStringList progress;
    QStringList messages;
    bool cleared = false;
    StatusCallbacks status{[&](const QString& text) { progress.append(text); }, [&] { cleared = true; },
                           [&](const QString& text, int ms) {
                               messages.append(text + u' ' + QString::number(ms));
                           }};
    showWhatsNewInteractively(m_service.config(channel, version), QStringLiteral("Norvane Notes"), &window, status);
    QCOMPARE(progress, QStringList{"Loading release notes…"});
    QTRY_VERIFY(cleared);

    if (dialogVersion.isEmpty()) {
        QCOMPARE(messages, QStringList{message.arg(version) + " 5000"});
        QVERIFY(whatsNewDialogs().isEmpty());
        return;
    }
    QTRY_COMPARE(whatsNewDialogs().size(), 1);
    WhatsNewDialog* dialog = whatsNewDialogs().first();
    const bool newer = dialogVersion != QLatin1String("current");
    QCOMPARE(dialog->shownVersion(), newer ? dialogVersion : version);
    QCOMPARE(dialog->parentWidget(), static_cast<QWidget*>(&window));
    QVERIFY(dialog->notesBrowser()->toPlainText().contains(newer ? "Notes of 9.0.0" : "Notes of the running version"));
    // Only a newer release is offered for download.
    auto* download = dialog->findChild<QPushButton*>(QStringLiteral("downloadButton"));
    QCOMPARE(download != nullptr, newer);
    if (download)
        QCOMPARE(download->text(), QStringLiteral("Download 9.0.0"));
    QVERIFY(messages.isEmpty());
}

QTEST_MAIN(tst_ReleaseNotesFetcher)
#include "tst_ReleaseNotesFetcher.moc"
