#include "../TestLibrary.h"
#include "PreferencesRepository.h"

#include <QSignalSpy>
#include <QTest>

class tst_PreferencesRepository : public QObject
{
    Q_OBJECT

private slots:
    void typedReads_data();
    void typedReads();
    void writesAndSignals_data();
    void writesAndSignals();
};

void tst_PreferencesRepository::typedReads_data()
{
    QTest::addColumn<QString>("stored"); // null: no row
    QTest::addColumn<bool>("flag");      // read with default true
    QTest::addColumn<int>("integer");    // read with default 99
    QTest::newRow("yes") << "yes" << true << 99;
    QTest::newRow("case-sensitive words") << "TRUE" << false << 99;
    QTest::newRow("empty text is a value") << QString("") << false << 99;
    QTest::newRow("absent") << QString() << true << 99;
    QTest::newRow("negative number") << "-40" << false << -40;
    QTest::newRow("trailing garbage") << "12abc" << false << 99;
    QTest::newRow("overflow") << "99999999999" << false << 99;
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

void tst_PreferencesRepository::writesAndSignals_data()
{
    // clang-format off
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("expected"); // null: no row
    QTest::addColumn<int>("signalCount");
    // The key starts out as "a".
    QTest::newRow("new value") << "set:b" << "b" << 1;
    QTest::newRow("same value is silent") << "set:a" << "a" << 0;
    QTest::newRow("setBool false") << "bool:0" << "0" << 1;
    QTest::newRow("setInt") << "int:-7" << "-7" << 1;
    QTest::newRow("remove") << "remove:" << QString() << 1;
    QTest::newRow("remove of a key never stored still signals") << "remove:x" << "a" << 1;
    // clang-format on
}

void tst_PreferencesRepository::writesAndSignals()
{
    QFETCH(QString, operation);
    QFETCH(QString, expected);
    QFETCH(int, signalCount);
    TestDb t;
    QVERIFY(t.ok);
    PreferencesRepository prefs(&t.database);
    prefs.setValue(QStringLiteral("k"), QStringLiteral("a"));
    QSignalSpy spy(&prefs, &PreferencesRepository::changed);

    const QString kind = operation.section(QLatin1Char(':'), 0, 0);
    const QString arg = operation.section(QLatin1Char(':'), 1);
    const QString key = kind == QLatin1String("remove") && !arg.isEmpty() ? arg : QStringLiteral("k");
    if (kind == QLatin1String("set"))
        prefs.setValue(key, arg);
    else if (kind == QLatin1String("bool"))
        prefs.setBool(key, arg == QLatin1String("1"));
    else if (kind == QLatin1String("int"))
        prefs.setInt(key, arg.toInt());
    else
        prefs.remove(key);

    QCOMPARE(spy.count(), signalCount);
    if (signalCount)
        QCOMPARE(spy.first().first().toString(), key);
    QCOMPARE(prefs.value(QStringLiteral("k")), expected.isNull() ? std::nullopt : std::optional<QString>(expected));
    QCOMPARE(scalar(t.db(), QStringLiteral("SELECT count(*) FROM preferences")).toInt(), expected.isNull() ? 0 : 1);
    // Writing again after a removal is a change.
    if (expected.isNull()) {
        prefs.setValue(QStringLiteral("k"), QStringLiteral("a"));
        QCOMPARE(spy.count(), signalCount + 1);
    }
}

QTEST_GUILESS_MAIN(tst_PreferencesRepository)
#include "tst_PreferencesRepository.moc"
