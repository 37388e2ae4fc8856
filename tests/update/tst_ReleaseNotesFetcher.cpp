#include "ReleaseNotesFetcher.h"
#include "UpdateTestSupport.h"

#include <QSignalSpy>
#include <QTest>

using namespace NorvUpdate;

class tst_ReleaseNotesFetcher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fetch_data();
    void fetch();

private:
    UpdateService m_service;
};

void tst_ReleaseNotesFetcher::initTestCase()
{
    if (!m_service.start())
        QSKIP(qPrintable("devserver unavailable: " + m_service.errorString()));
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
    QTest::newRow("English user") << "en" << en << de << "# Notes\n\nFaster search." << QStringList{"release-notes.md"};
    QTest::newRow("no notes at all") << "de" << QByteArray() << QByteArray() << QString() << both;
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

QTEST_MAIN(tst_ReleaseNotesFetcher)
#include "tst_ReleaseNotesFetcher.moc"
