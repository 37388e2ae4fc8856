#include "../TestLibrary.h"
#include "PreferencesRepository.h"

#include <QTest>

class tst_PreferencesRepository : public QObject
{
    Q_OBJECT

private slots:
    void typedReads_data();
    void typedReads();
};

void tst_PreferencesRepository::typedReads_data()
{
    QTest::addColumn<QString>("stored"); // null: no row
    QTest::addColumn<bool>("flag");      // read with default true
    QTest::addColumn<int>("integer");    // read with default 99
    QTest::newRow("yes") << "yes" << true << 99;
    QTest::newRow("absent") << QString() << true << 99;
    QTest::newRow("negative number") << "-40" << false << -40;
    QTest::newRow("trailing garbage") << "12abc" << false << 99;
}

void tst_PreferencesRepository::typedReads()
{
    QFETCH(QString, stored);
    QFETCH(bool, flag);
    QFETCH(int, integer);
    TestDb t;
    QVERIFY(t.ok);
    PreferencesRepository prefs(&t.database);
    if (!stored.isNull())
        prefs.setValue(QStringLiteral("k"), stored);
    QCOMPARE(prefs.boolValue(QStringLiteral("k"), true), flag);
    QCOMPARE(prefs.intValue(QStringLiteral("k"), 99), integer);
    QCOMPARE(prefs.value(QStringLiteral("k")), stored.isNull() ? std::nullopt : std::optional<QString>(stored));
    QCOMPARE(prefs.stringValue(QStringLiteral("k"), QStringLiteral("def")),
             stored.isNull() ? QStringLiteral("def") : stored);
}

QTEST_GUILESS_MAIN(tst_PreferencesRepository)
#include "tst_PreferencesRepository.moc"
