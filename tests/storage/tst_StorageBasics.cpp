#include "../TestLibrary.h"
#include "DataPaths.h"
#include "PreferencesRepository.h"
#include "Records.h"
#include "Version.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QRegularExpression kUuid(QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

// Where the data lives, and how stored text reads back: timestamps, version strings and typed
// preference values.
class tst_StorageBasics : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void dataDirectory();
    void clientId();
    void timestampParsing_data();
    void timestampParsing();
    void compareVersions_data();
    void compareVersions();
    void typedPreferenceReads_data();
    void typedPreferenceReads();

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
};

void tst_StorageBasics::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    // The generic data location follows XDG_DATA_HOME here; point it into the temporary directory so
    // no test touches the real one.
    qputenv("XDG_DATA_HOME", m_tmp->filePath(QStringLiteral("xdg")).toUtf8());
    qunsetenv("NOTES_DATA_DIR");
}

void tst_StorageBasics::dataDirectory()
{
    // Unset: the default location, created on first use.
    const QString fallback = m_tmp->filePath(QStringLiteral("xdg/Norvane/Notes"));
    QVERIFY(!QFileInfo::exists(fallback));
    QCOMPARE(::dataDirectory(), fallback);
    QVERIFY(QFileInfo(fallback).isDir());

    const QString dir = m_tmp->filePath(QStringLiteral("deep/nested/data \u00e9t\u00e9"));
    qputenv("NOTES_DATA_DIR", dir.toUtf8());
    QCOMPARE(::dataDirectory(), dir);
    QVERIFY(QFileInfo(dir).isDir());
}

void tst_StorageBasics::clientId()
{
    qputenv("NOTES_DATA_DIR", m_tmp->path().toUtf8());
    const QString file = m_tmp->filePath(QStringLiteral("client_id"));
    // No file: a new id, stored, and reused on the next call.
    const QString made = ::clientId();
    QVERIFY2(kUuid.match(made).hasMatch(), qPrintable(made));
    QCOMPARE(readFile(file), made.toUtf8());
    QCOMPARE(::clientId(), made);

    // A stored id is read trimmed, and a good file is left as it is.
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("  stored-client-42 \n") > 0);
    f.close();
    QCOMPARE(::clientId(), QStringLiteral("stored-client-42"));
    QCOMPARE(readFile(file), QByteArray("  stored-client-42 \n"));
}

// Stored text is read by a fast path for our own format and by Qt's parser for anything else;
// both must agree on every input.
void tst_StorageBasics::timestampParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("leap day") << "2024-02-29T23:59:59.999Z";
    QTest::newRow("not a leap year") << "2023-02-29T10:00:00.000Z";
    QTest::newRow("month 13") << "2024-13-01T10:00:00.000Z";
    QTest::newRow("offset form") << "2024-03-11T10:30:00.250+01:00";
    QTest::newRow("garbage of the same length") << "abcdefghijklmnopqrstuvwx";
}

void tst_StorageBasics::timestampParsing()
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

void tst_StorageBasics::compareVersions_data()
{
    // clang-format off
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");

    // The stored "last_whats_new_version" against the running version.
    QTest::newRow("empty is older") << "" << "1.1.1" << -1;
    QTest::newRow("four parts read as 0.0.0") << "1.1.1.1" << "1.1.1" << -1;
    QTest::newRow("letter part read as 0.0.0") << "1.a.1" << "1.1.1" << -1;
    QTest::newRow("numeric, not textual") << "1.10.0" << "1.9.9" << 1;
    // What does not read as a version reads as 0.0.0.
    QTest::newRow("suffix in a part") << "2.0.1-beta" << "0" << 0;
    QTest::newRow("beyond int") << "99999999999" << "0" << 0;
    QTest::newRow("negative part") << "-1.0" << "0" << -1;
    // clang-format on
}

void tst_StorageBasics::compareVersions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    QCOMPARE(::compareVersions(a, b), expected);
    QCOMPARE(::compareVersions(b, a), -expected);
}

void tst_StorageBasics::typedPreferenceReads_data()
{
    QTest::addColumn<QString>("stored"); // null: no row
    QTest::addColumn<bool>("flag");      // read with default true
    QTest::addColumn<int>("integer");    // read with default 99
    QTest::newRow("yes") << "yes" << true << 99;
    QTest::newRow("absent") << QString() << true << 99;
    QTest::newRow("negative number") << "-40" << false << -40;
    QTest::newRow("trailing garbage") << "12abc" << false << 99;
}

void tst_StorageBasics::typedPreferenceReads()
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
}

QTEST_GUILESS_MAIN(tst_StorageBasics)
#include "tst_StorageBasics.moc"
