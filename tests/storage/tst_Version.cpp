#include "Version.h"

#include <QTest>

class tst_Version : public QObject
{
    Q_OBJECT

private slots:
    void compare_data();
    void compare();
};

void tst_Version::compare_data()
{
    // clang-format off
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");

    // The stored "last_whats_new_version" against the running version.
    QTest::newRow("empty is older") << "" << "1.1.1" << -1;
    QTest::newRow("1.1.0 older") << "1.1.0" << "1.1.1" << -1;
    QTest::newRow("equal") << "1.1.1" << "1.1.1" << 0;
    QTest::newRow("1.2 newer") << "1.2" << "1.1.1" << 1;
    QTest::newRow("four parts read as 0.0.0") << "1.1.1.1" << "1.1.1" << -1;
    QTest::newRow("letter part read as 0.0.0") << "1.a.1" << "1.1.1" << -1;
    QTest::newRow("missing parts are zero") << "1" << "1.0.0" << 0;
    QTest::newRow("numeric, not textual") << "1.10.0" << "1.9.9" << 1;
    QTest::newRow("major outweighs minor") << "2.0.0" << "1.99.99" << 1;
    QTest::newRow("two unreadable are equal") << "x" << "" << 0;
    // What does not read as a version reads as 0.0.0.
    QTest::newRow("suffix in a part") << "2.0.1-beta" << "0" << 0;
    QTest::newRow("empty middle part") << "1..1" << "0" << 0;
    QTest::newRow("surrounding space") << " 1.2" << "0" << 0;
    QTest::newRow("sign alone") << "-.1" << "0" << 0;
    QTest::newRow("beyond int") << "99999999999" << "0" << 0;
    QTest::newRow("negative part") << "-1.0" << "0" << -1;
    // clang-format on
}

void tst_Version::compare()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    QCOMPARE(compareVersions(a, b), expected);
    QCOMPARE(compareVersions(b, a), -expected);
}

QTEST_APPLESS_MAIN(tst_Version)
#include "tst_Version.moc"
