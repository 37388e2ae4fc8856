#include "Records.h"

#include <QTest>

class tst_Records : public QObject
{
    Q_OBJECT

private slots:
    void timestamps_data();
    void timestamps();
    void timestampParsing_data();
    void timestampParsing();
};

void tst_Records::timestamps_data()
{
    // clang-format off
    QTest::addColumn<QDateTime>("value");
    QTest::addColumn<QString>("stored");
    QTest::newRow("utc with ms") << QDateTime(QDate(2024, 3, 11), QTime(9, 30, 0, 7), Qt::UTC)
        << "2024-03-11T09:30:00.007Z";
    QTest::newRow("offset converted to utc")
        << QDateTime(QDate(2024, 3, 11), QTime(10, 30, 0, 250), Qt::OffsetFromUTC, 3600) << "2024-03-11T09:30:00.250Z";
    // clang-format on
}

void tst_Records::timestamps()
{
    QFETCH(QDateTime, value);
    QFETCH(QString, stored);
    QCOMPARE(toDbTimestamp(value), stored);
    const QDateTime back = fromDbTimestamp(stored);
    QCOMPARE(back.timeSpec(), Qt::UTC);
    QCOMPARE(back.toMSecsSinceEpoch(), value.toMSecsSinceEpoch());
}

// Stored text is read by a fast path for our own format and by Qt's parser for anything else;
// both must agree on every input.
void tst_Records::timestampParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("stored form") << "2024-03-11T09:30:00.007Z";
    QTest::newRow("leap day") << "2024-02-29T23:59:59.999Z";
    QTest::newRow("not a leap year") << "2023-02-29T10:00:00.000Z";
    QTest::newRow("month 13") << "2024-13-01T10:00:00.000Z";
    QTest::newRow("offset form") << "2024-03-11T10:30:00.250+01:00";
    QTest::newRow("no milliseconds") << "2024-03-11T09:30:00Z";
    QTest::newRow("garbage of the same length") << "abcdefghijklmnopqrstuvwx";
    QTest::newRow("empty") << "";
}

void tst_Records::timestampParsing()
{
    QFETCH(QString, text);
    const QDateTime expected = QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
    const QDateTime got = fromDbTimestamp(text);
    QCOMPARE(got.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(got.toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
        QCOMPARE(got.timeSpec(), Qt::UTC);
    }
}

QTEST_GUILESS_MAIN(tst_Records)
#include "tst_Records.moc"
