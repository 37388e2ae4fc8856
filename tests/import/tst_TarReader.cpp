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
    void index_data();
    void index();
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

void tst_TarReader::index_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("entries"); // "name@offset+size"
    QTest::addColumn<QString>("error");

    const QByteArray thousand(1000, 'k');
    QTest::newRow("two zero blocks end it")
        << (tarFile("a.md", "alpha") + tarFile("resources/b.png", thousand) + tarEnd() + tarFile("after.md", "x"))
        << QStringList{"a.md@512+5", "resources/b.png@1536+1000"} << QString();
    QTest::newRow("no end blocks at all") << (tarFile("a.md", "alpha") + tarFile("b.md", "beta"))
        << QStringList{"a.md@512+5", "b.md@1536+4"} << QString();
    QTest::newRow("truncated last header ends cleanly")
        << (tarFile("a.md", "alpha") + tarHeader("cut.md", octalField(3, 12)).left(300)) << QStringList{"a.md@512+5"}
        << QString();
    QTest::newRow("1750 octal is 1000 bytes then 24 of padding")
        << (tarHeader("k.bin", QByteArray("00000001750 ")) + thousand + QByteArray(24, '\0') + tarFile("next.md", "n"))
        << QStringList{"k.bin@512+1000", "next.md@2048+1"} << QString();
    QTest::newRow("directory and link headers still give entries")
        << (tarHeader("resources/", octalField(0, 12), '5') + tarHeader("l", octalField(0, 12), '2') + tarEnd())
        << QStringList{"resources/@512+0", "l@1024+0"} << QString();
    QTest::newRow("name stops at NUL and is trimmed")
        << (tarHeader(QByteArray("  n\xc3\xa4me.md \0junk", 16), octalField(2, 12)) + "ok" + tarPadding(2))
        << QStringList{QString::fromUtf8("n\xc3\xa4me.md@512+2")} << QString();
    QTest::newRow("traversing names are only names") << (tarFile("../../etc/passwd", "x") + tarEnd())
        << QStringList{"../../etc/passwd@512+1"} << QString();
    QTest::newRow("checksum not verified: the header is read by its fields, still bounded")
        << (tarHeader("c.md", octalField(3, 12)).replace(148, 8, "7777777 ") + "abc" + tarPadding(3))
        << QStringList{"c.md@512+3"} << QString();
    QTest::newRow("last data without its padding") << (tarFile("a.md", "alpha").left(512 + 5))
        << QStringList{"a.md@512+5"} << QString();

    QTest::newRow("header claiming 8 GB")
        << (tarFile("a.md", "alpha") + tarHeader("huge.bin", "100000000000") + QByteArray(2048, 'x')) << QStringList{}
        << "Archive entry \"huge.bin\" claims 8589934592 bytes, but only 2048 bytes are left in the file";
    QTest::newRow("base-256 size near 2^63")
        << (tarHeader("big.bin", QByteArray(1, char(0x80)) + QByteArray(3, '\0') + "\x7f" + QByteArray(7, char(0xff)))
            + QByteArray(512, 'x'))
        << QStringList{} << "Archive entry \"big.bin\" claims 9223372036854775807 bytes, but only 512 bytes are left "
                            "in the file";
    QTest::newRow("data cut short")
        << (tarHeader("short.bin", octalField(5000, 12)) + QByteArray(1000, 'x')) << QStringList{}
        << "Archive entry \"short.bin\" claims 5000 bytes, but only 1000 bytes are left in the file";
    QTest::newRow("unreadable size field") << (tarHeader("bad.md", "12345678x") + tarEnd()) << QStringList{}
        << "Archive entry \"bad.md\" has an unreadable size field";
    // clang-format on
}

void tst_TarReader::index()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, entries);
    QFETCH(QString, error);

    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const TarIndexResult result = indexTarArchive(buffer);
    QCOMPARE(result.error, error);
    QStringList got;
    for (const TarIndexEntry& e : result.entries)
        got << QStringLiteral("%1@%2+%3").arg(e.name).arg(e.offset).arg(e.size);
    QCOMPARE(got, entries);
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
    QFile archive(path);
    QVERIFY(archive.open(QIODevice::ReadOnly));
    const TarIndexResult result = indexTarArchive(archive);
    QCOMPARE(result.error, QString());
    QCOMPARE(result.entries.size(), count);

    const QMap<QString, QByteArray> reference = readArchiveEntries(path);
    QMap<QString, QByteArray> ours;
    for (const TarIndexEntry& e : result.entries) {
        QVERIFY(archive.seek(e.offset));
        ours.insert(e.name, archive.read(e.size));
    }
    QCOMPARE(ours.keys(), reference.keys());
    for (auto it = reference.constBegin(); it != reference.constEnd(); ++it)
        QVERIFY2(ours.value(it.key()) == it.value(), qPrintable(it.key()));
}

QTEST_GUILESS_MAIN(tst_TarReader)
#include "tst_TarReader.moc"
