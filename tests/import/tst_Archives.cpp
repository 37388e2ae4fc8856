#include "../Fixtures.h"
#include "ImportTestSupport.h"
#include "TarReader.h"
#include "ZipArchive.h"

#include <QBuffer>
#include <QTest>
#include <QUuid>

// The tar reader behind JEX import and the ZIP extractor and writer behind NSX import and backups.
class tst_Archives : public QObject
{
    Q_OBJECT

private slots:
    void tarIndex_data();
    void tarIndex();
    void realWorldTarMatchesLibarchive_data();
    void realWorldTarMatchesLibarchive();
    void zipSafePath_data();
    void zipSafePath();
    void zipHostileEntries_data();
    void zipHostileEntries();
    void zipBounds_data();
    void zipBounds();
    void zipWriterFailures();
};

void tst_Archives::tarIndex_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("entries"); // "name@offset+size"
    QTest::addColumn<QString>("error");

    const QByteArray thousand(1000, 'k');
    QTest::newRow("two zero blocks end it")
        << (tarFile("a.md", "alpha") + tarFile("resources/b.png", thousand) + tarEnd() + tarFile("after.md", "x"))
        << QStringList{"a.md@512+5", "resources/b.png@1536+1000"} << QString();
    QTest::newRow("truncated last header ends cleanly")
        << (tarFile("a.md", "alpha") + tarHeader("cut.md", octalField(3, 12)).left(300)) << QStringList{"a.md@512+5"}
        << QString();
    QTest::newRow("1750 octal is 1000 bytes then 24 of padding")
        << (tarHeader("k.bin", QByteArray("00000001750 ")) + thousand + QByteArray(24, '\0') + tarFile("next.md", "n"))
        << QStringList{"k.bin@512+1000", "next.md@2048+1"} << QString();
    QTest::newRow("checksum not verified: the header is read by its fields, still bounded")
        << (tarHeader("c.md", octalField(3, 12)).replace(148, 8, "7777777 ") + "abc" + QByteArray(509, '\0'))
        << QStringList{"c.md@512+3"} << QString();

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
    for (const auto& [row, field] : {std::pair{"non-octal digit", QByteArray("00000001790\0", 12)},
                                     std::pair{"garbage after the digits", QByteArray("0000175 x\0\0\0", 12)},
                                     std::pair{"base-256 negative", QByteArray(12, char(0xff))}})
        QTest::newRow(row) << (tarHeader("bad.md", field) + tarEnd()) << QStringList{}
            << "Archive entry \"bad.md\" has an unreadable size field";
    // clang-format on
}

void tst_Archives::tarIndex()
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

void tst_Archives::realWorldTarMatchesLibarchive_data()
{
    // clang-format off
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("count");
    QTest::newRow("notesnook") << "notesnook-importer_03_10_2022.jex" << 29;
    QTest::newRow("jimmy") << "jimmy_29_04_2024.jex" << 15;
    QTest::newRow("webclip") << "jimmy_flexicharger-webclip.jex" << 3;
    // clang-format on
}

void tst_Archives::realWorldTarMatchesLibarchive()
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
    QVERIFY(ours == reference);
}

void tst_Archives::zipSafePath_data()
{
    // clang-format off
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("dot and empty parts dropped") << "./notes//a.json" << "notes/a.json";
    QTest::newRow("parent in the middle") << "a/../../x" << "";
    QTest::newRow("drive") << "C:\\Windows\\x" << "";
    QTest::newRow("NUL") << QString::fromUtf8("a\0b", 3) << "";
    // clang-format on
}

void tst_Archives::zipSafePath()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(safeEntryPath(name), expected);
}

void tst_Archives::zipHostileEntries_data()
{
    // clang-format off
    QTest::addColumn<QList<ZipItem>>("items");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("skipped");

    const QString escape = QStringLiteral("/tmp/norv-escape-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QTest::newRow("parent traversal") << QList<ZipItem>{{"../x", "evil"}, {"ok.txt", "fine"}} << QStringList{"ok.txt"}
        << QStringList{"../x: path leads outside the archive folder"};
    QTest::newRow("absolute path") << QList<ZipItem>{{escape, "evil"}} << QStringList{}
        << QStringList{escape + ": path leads outside the archive folder"};
    QTest::newRow("symlink, then a file through it")
        << QList<ZipItem>{{"evil", {}, "/tmp"}, {"evil/pwn", "x"}} << QStringList{"evil/pwn"}
        << QStringList{"evil: links are not unpacked"};
    // clang-format on
}

void tst_Archives::zipHostileEntries()
{
    QFETCH(QList<ZipItem>, items);
    QFETCH(QStringList, files);
    QFETCH(QStringList, skipped);

    QTemporaryDir dir;
    const QString zip = dir.filePath("in.zip");
    QVERIFY(writeZip(zip, items));
    QVERIFY(QDir(dir.path()).mkdir("out"));

    const ZipExtractResult result = extractZipArchive(zip, dir.filePath("out"));
    QCOMPARE(result.error, QString());
    QCOMPARE(result.skipped, skipped);
    QCOMPARE(filesBelow(dir.filePath("out")), files);
    QCOMPARE(result.filesWritten, files.size());
    // Nothing beside the target folder, and nothing at an absolute name.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList({"in.zip", "out"}));
    for (const ZipItem& item : items) {
        if (item.name.startsWith('/'))
            QVERIFY(!QFileInfo::exists(item.name));
    }
    QVERIFY(!QFileInfo(dir.filePath("out/evil")).isSymLink());
}

void tst_Archives::zipBounds_data()
{
    // clang-format off
    QTest::addColumn<QList<ZipItem>>("items");
    QTest::addColumn<int>("maxEntries");
    QTest::addColumn<qint64>("maxEntryBytes");
    QTest::addColumn<qint64>("maxTotalBytes");
    QTest::addColumn<QString>("error");

    QList<ZipItem> many;
    for (int i = 0; i < 11; ++i) many.append({QStringLiteral("f%1").arg(i), "x"});
    QTest::newRow("too many entries") << many << 10 << qint64(1000) << qint64(1000)
        << "Archive has more than 10 entries";
    QTest::newRow("entry too large") << QList<ZipItem>{{"big", QByteArray(5000, 'z')}} << 10 << qint64(4096) << qint64(1
        << 20) << "Archive entry \"big\" is larger than the limit of 4096 bytes";
    QTest::newRow("within every bound") << QList<ZipItem>{{"a", QByteArray(3000, 'a')}} << 1 << qint64(3000)
        << qint64(3000) << QString();
    // clang-format on
}

void tst_Archives::zipBounds()
{
    QFETCH(QList<ZipItem>, items);
    QFETCH(int, maxEntries);
    QFETCH(qint64, maxEntryBytes);
    QFETCH(qint64, maxTotalBytes);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QVERIFY(writeZip(dir.filePath("in.zip"), items));
    QVERIFY(QDir(dir.path()).mkdir("out"));
    ZipLimits limits;
    limits.maxEntries = maxEntries, limits.maxEntryBytes = maxEntryBytes, limits.maxTotalBytes = maxTotalBytes;
    const ZipExtractResult result = extractZipArchive(dir.filePath("in.zip"), dir.filePath("out"), limits);
    QCOMPARE(result.error, error);
    QVERIFY(result.bytesWritten <= maxTotalBytes + 65536);
}

void tst_Archives::zipWriterFailures()
{
    QTemporaryDir dir;
    const QString zip = dir.filePath("backup.zip");
    QVERIFY(writeBytes(zip, "old backup"));
    {
        ZipWriter writer(zip);
        QVERIFY(writer.open());
        QVERIFY(writer.addFile("a", "new"));
        // destroyed without finish(): a failure part-way through
    }
    QCOMPARE(readBytes(zip), QByteArray("old backup"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"backup.zip"});
}

QTEST_GUILESS_MAIN(tst_Archives)
#include "tst_Archives.moc"
