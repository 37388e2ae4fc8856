#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "../TestLibrary.h"

#include <QSignalSpy>
#include <QTest>

class tst_PreferencesRepository : public QObject
{
    Q_OBJECT

private slots:
    void boolValue_data();
    void boolValue();
    void intValue_data();
    void intValue();
    void stringValue();
    void writesAndSignals_data();
    void writesAndSignals();
    void removeEmits();
};

void tst_PreferencesRepository::boolValue_data()
{
    QTest::addColumn<QVariant>("stored"); // invalid: no row
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("expected");
    QTest::newRow("yes") << QVariant("yes") << false << true;
    QTest::newRow("Yes is case-sensitive") << QVariant("Yes") << true << false;
    QTest::newRow("true") << QVariant("true") << false << true;
    QTest::newRow("TRUE") << QVariant("TRUE") << true << false;
    QTest::newRow("empty text") << QVariant("") << true << false;
    QTest::newRow("absent, default true") << QVariant() << true << true;
}

void tst_PreferencesRepository::boolValue()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, defaultValue);
    QFETCH(bool, expected);
    TestDb t;
    QVERIFY(t.ok);
    PreferencesRepository prefs(&t.database);
    if (stored.isValid())
        prefs.setValue(QStringLiteral("k"), stored.toString());
    QCOMPARE(prefs.boolValue(QStringLiteral("k"), defaultValue), expected);
}

void tst_PreferencesRepository::intValue_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("negative number") << QVariant("-40") << -40;
    QTest::newRow("trailing garbage") << QVariant("12abc") << 99;
    QTest::newRow("overflow") << QVariant("99999999999") << 99;
    QTest::newRow("absent") << QVariant() << 99;
}

void tst_PreferencesRepository::intValue()
{
    QFETCH(QVariant, stored);
    QFETCH(int, expected);
    TestDb t;
    QVERIFY(t.ok);
    PreferencesRepository prefs(&t.database);
    if (stored.isValid())
        prefs.setValue(QStringLiteral("k"), stored.toString());
    QCOMPARE(prefs.intValue(QStringLiteral("k"), 99), expected);
}

void tst_PreferencesRepository::stringValue()
{
    TestDb t;
    QVERIFY(t.ok);
    PreferencesRepository prefs(&t.database);
    QCOMPARE(prefs.stringValue(PrefKey::ThemeMode, PrefKey::ThemeModeDefault), QStringLiteral("system"));
    QVERIFY(!prefs.value(PrefKey::ThemeMode));
    prefs.setValue(PrefKey::ThemeMode, QStringLiteral("dark"));
    QCOMPARE(prefs.stringValue(PrefKey::ThemeMode, PrefKey::ThemeModeDefault), QStringLiteral("dark"));
    // A stored empty text is a value, not an absence.
    prefs.setValue(PrefKey::ThemeMode, QStringLiteral(""));
    QCOMPARE(prefs.value(PrefKey::ThemeMode), std::optional<QString>(QString()));
    QCOMPARE(prefs.stringValue(PrefKey::ThemeMode, PrefKey::ThemeModeDefault), QString());
}

void tst_PreferencesRepository::writesAndSignals_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<int>("signalCount");
    QTest::newRow("new value") << "set:b" << "a" << "b" << 1;
    QTest::newRow("same value") << "set:a" << "a" << "a" << 0;
    QTest::newRow("setBool false") << "bool:0" << "1" << "0" << 1;
    QTest::newRow("setInt") << "int:-7" << "3" << "-7" << 1;
}

void tst_PreferencesRepository::writesAndSignals()
{
    QFETCH(QString, operation);
    QFETCH(QString, stored);
    QFETCH(QString, expectedText);
    QFETCH(int, signalCount);
    TestDb t;
    QVERIFY(t.ok);
    PreferencesRepository prefs(&t.database);
    if (!stored.isNull())
        prefs.setValue(QStringLiteral("k"), stored);
    QSignalSpy spy(&prefs, &PreferencesRepository::changed);

    const QString kind = operation.section(QLatin1Char(':'), 0, 0);
    const QString arg = operation.section(QLatin1Char(':'), 1);
    if (kind == QLatin1String("set"))
        prefs.setValue(QStringLiteral("k"), arg);
    else if (kind == QLatin1String("bool"))
        prefs.setBool(QStringLiteral("k"), arg == QLatin1String("1"));
    else
        prefs.setInt(QStringLiteral("k"), arg.toInt());

    QCOMPARE(spy.count(), signalCount);
    if (signalCount)
        QCOMPARE(spy.first().first().toString(), QStringLiteral("k"));
    QCOMPARE(scalar(t.db(), QStringLiteral("SELECT value FROM preferences WHERE key = 'k'")).toString(), expectedText);
    QCOMPARE(scalar(t.db(), QStringLiteral("SELECT count(*) FROM preferences")).toInt(), 1);
}

void tst_PreferencesRepository::removeEmits()
{
    TestDb t;
    QVERIFY(t.ok);
    PreferencesRepository prefs(&t.database);
    prefs.setBool(PrefKey::RestoreTodosWindow, true);
    QSignalSpy spy(&prefs, &PreferencesRepository::changed);

    prefs.remove(QStringLiteral("never-stored"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("never-stored"));

    prefs.remove(PrefKey::RestoreTodosWindow);
    QCOMPARE(spy.count(), 2);
    QVERIFY(!prefs.value(PrefKey::RestoreTodosWindow));
    QCOMPARE(prefs.boolValue(PrefKey::RestoreTodosWindow, PrefKey::RestoreTodosWindowDefault), false);
    // Writing it again after removal is a change.
    prefs.setBool(PrefKey::RestoreTodosWindow, true);
    QCOMPARE(spy.count(), 3);
}

QTEST_GUILESS_MAIN(tst_PreferencesRepository)
#include "tst_PreferencesRepository.moc"
