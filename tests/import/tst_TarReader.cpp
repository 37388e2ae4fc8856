#include "../Fixtures.h"
#include "ImportTestSupport.h"
#include "TarReader.h"

#include <QBuffer>
#include <QTest>

class tst_TarReader : public QObject
{
    Q_OBJECT

private slots:
    void sizeField_data();
    void sizeField();
    void archive_data();
    void archive();
    void missingFile();
    void realWorldMatchesLibarchive_data();
    void realWorldMatchesLibarchive();
};

void tst_TarReader::sizeField_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<qint64>("expected"); // -1: unreadable
    QTest::newRow("zero-padded, NUL-ended") << QByteArray("00000001750\0", 12) << qint64(1000);
    QTest::newRow("leading spaces") << QByteArray("       1750 ") << qint64(1000);
    QTest::newRow("NUL-padded both sides") << QByteArray("\0\0001750\0\0\0\0\0\0", 12) << qint64(1000);
    QTest::newRow("all NULs") << QByteArray(12, '\0') << qint64(0);
    QTest::newRow("8 GB in octal") << QByteArray("100000000000") << qint64(8589934592);
    QTest::newRow("base-256") << (QByteArray(1, char(0x80)) + QByteArray(7, '\0') + QByteArray("\x01\x00\x00\x00", 4))
        << qint64(16777216);
    QTest::newRow("base-256 negative") << QByteArray(12, char(0xff)) << qint64(-1);
    QTest::newRow("non-octal digit") << QByteArray("00000001790\0", 12) << qint64(-1);
    QTest::newRow("garbage after digits") << QByteArray("0000175 x\0\0\0", 12) << qint64(-1);
    // clang-format on
}

void tst_TarReader::sizeField()
{
    QFETCH(QByteArray, field);
    QFETCH(qint64, expected);
    const std::optional<qint64> size = parseTarSize(field);
    QCOMPARE(size.value_or(-1), expected);
}

void tst_TarReader::archive_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QString>("error");

    const QByteArray thousand(1000, 'k');
    QTest::newRow("two zero blocks end it")
        << (tarFile("a.md", "alpha") + tarFile("resources/b.png", thousand) + tarEnd() + tarFile("after.md", "x"))
        << QStringList{"a.md", "resources/b.png"} << QList<int>{5, 1000} << QString();
    QTest::newRow("no end blocks at all") << (tarFile("a.md", "alpha") + tarFile("b.md", "beta"))
        << QStringList{"a.md", "b.md"} << QList<int>{5, 4} << QString();
    QTest::newRow("truncated last header ends cleanly")
        << (tarFile("a.md", "alpha") + tarHeader("cut.md", octalField(3, 12)).left(300)) << QStringList{"a.md"}
        << QList<int>{5} << QString();
    QTest::newRow("1750 octal is 1000 bytes then 24 of padding")
        << (tarHeader("k.bin", QByteArray("00000001750 ")) + thousand + QByteArray(24, '\0') + tarFile("next.md", "n"))
        << QStringList{"k.bin", "next.md"} << QList<int>{1000, 1} << QString();
    QTest::newRow("directory and link headers still give entries")
        << (tarHeader("resources/", octalField(0, 12), '5') + tarHeader("l", octalField(0, 12), '2') + tarEnd())
        << QStringList{"resources/", "l"} << QList<int>{0, 0} << QString();
    QTest::newRow("name stops at NUL and is trimmed")
        << (tarHeader(QByteArray("  n\xc3\xa4me.md \0junk", 16), octalField(2, 12)) + "ok" + tarPadding(2))
        << QStringList{QString::fromUtf8("n\xc3\xa4me.md")} << QList<int>{2} << QString();
    QTest::newRow("last data without its padding") << (tarFile("a.md", "alpha").left(512 + 5)) << QStringList{"a.md"}
        << QList<int>{5} << QString();

    QTest::newRow("header claiming 8 GB")
        << (tarFile("a.md", "alpha") + tarHeader("huge.bin", "100000000000") + QByteArray(2048, 'x')) << QStringList{}
        << QList<int>{}
        << "Archive entry \"huge.bin\" claims 8589934592 bytes, more than the limit of 1073741824 bytes";
    QTest::newRow("size beyond the end of the file")
        << (tarHeader("short.bin", octalField(5000, 12)) + QByteArray(1000, 'x')) << QStringList{} << QList<int>{}
        << "Archive entry \"short.bin\" claims 5000 bytes, but only 1000 bytes are left in the file";
    QTest::newRow("unreadable size field") << (tarHeader("bad.md", "12345678x") + tarEnd()) << QStringList{}
        << QList<int>{} << "Archive entry \"bad.md\" has an unreadable size field";
    // clang-format on
}

void tst_TarReader::archive()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    QFETCH(QList<int>, sizes);
    QFETCH(QString, error);

    QTemporaryDir dir;
    const QString path = dir.filePath("a.tar");
    QVERIFY(writeBytes(path, bytes));
    const TarReadResult result = readTarArchive(path);
    QCOMPARE(result.error, error);
    QStringList gotNames;
    QList<int> gotSizes;
    for (const TarEntry& e : result.entries) {
        gotNames << e.name;
        gotSizes << int(e.data.size());
    }
    QCOMPARE(gotNames, names);
    QCOMPARE(gotSizes, sizes);

    // The same bytes through an in-memory device.
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(readTarArchive(buffer).entries.size(), result.entries.size());
}

void tst_TarReader::missingFile()
{
    const TarReadResult result = readTarArchive(QStringLiteral("/nonexistent/x.jex"));
    QVERIFY(result.entries.isEmpty());
    QCOMPARE(result.error, QString());
}

void tst_TarReader::realWorldMatchesLibarchive_data()
{
    // clang-format off
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("count");
    QTest::newRow("notesnook") << "notesnook-importer_03_10_2022.jex" << 29;
    QTest::newRow("jimmy") << "jimmy_29_04_2024.jex" << 15;
    QTest::newRow("webclip") << "jimmy_flexicharger-webclip.jex" << 3;
    // clang-format on
}

void tst_TarReader::realWorldMatchesLibarchive()
{
    QFETCH(QString, file);
    QFETCH(int, count);
    NORV_REQUIRE_FIXTURES();
    const QString path = realWorldFixtures(QStringLiteral("jex/") + file);
    const TarReadResult result = readTarArchive(path);
    QCOMPARE(result.error, QString());
    QCOMPARE(result.entries.size(), count);

    const QMap<QString, QByteArray> reference = readArchiveEntries(path);
    QMap<QString, QByteArray> ours;
    for (const TarEntry& e : result.entries)
        ours.insert(e.name, e.data);
    QCOMPARE(ours.keys(), reference.keys());
    for (auto it = reference.constBegin(); it != reference.constEnd(); ++it)
        QVERIFY2(ours.value(it.key()) == it.value(), qPrintable(it.key()));
}

QTEST_GUILESS_MAIN(tst_TarReader)
#include "tst_TarReader.moc"
