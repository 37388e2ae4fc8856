#include "ImportTestSupport.h"
#include "ZipArchive.h"

#include <QBuffer>
#include <QTest>
#include <QUuid>

class tst_ZipArchive : public QObject
{
    Q_OBJECT

private slots:
    void safePath_data();
    void safePath();
    void hostileEntries_data();
    void hostileEntries();
    void deviceEntrySkipped();
    void bounds_data();
    void bounds();
    void entriesKeptInMemory();
    void writerRoundTrip();
    void writerFailures();
};

void tst_ZipArchive::safePath_data()
{
    // clang-format off
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("dot and empty parts dropped") << "./notes//a.json" << "notes/a.json";
    QTest::newRow("backslashes are separators") << "notes\\a.json" << "notes/a.json";
    QTest::newRow("parent in the middle") << "a/../../x" << "";
    QTest::newRow("backslash parent") << "a\\..\\..\\x" << "";
    QTest::newRow("drive") << "C:\\Windows\\x" << "";
    QTest::newRow("NUL") << QString::fromUtf8("a\0b", 3) << "";
    QTest::newRow("dots inside a name are fine") << "a..b/..c" << "a..b/..c";
    // clang-format on
}

void tst_ZipArchive::safePath()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(safeEntryPath(name), expected);
}

void tst_ZipArchive::hostileEntries_data()
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
        << QList<ZipItem>{{"evil", {}, ZipItem::Symlink, "/tmp"}, {"evil/pwn", "x"}} << QStringList{"evil/pwn"}
        << QStringList{"evil: links are not unpacked"};
    QTest::newRow("directories and nesting")
        << QList<ZipItem>{{"notes/", {}, ZipItem::Directory}, {"notes/a.json", "{}"}, {"deep/er/f", "f"}}
        << QStringList{"deep/er/f", "notes/a.json"} << QStringList{};
    // clang-format on
}

void tst_ZipArchive::hostileEntries()
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

void tst_ZipArchive::deviceEntrySkipped()
{
    // libarchive will not write a device entry into a ZIP, so turn a file into one by hand: the
    // upper half of the central directory's external attributes holds the Unix mode.
    QTemporaryDir dir;
    const QString zip = dir.filePath("dev.zip");
    QVERIFY(writeZip(zip, {{"null", "x"}, {"ok", "y"}}));
    QByteArray bytes = readBytes(zip);
    const qsizetype central = bytes.indexOf(QByteArray("PK\x01\x02", 4));
    QVERIFY(central > 0);
    const quint32 charDevice = 0020644u << 16;
    for (int i = 0; i < 4; ++i)
        bytes[central + 38 + i] = char((charDevice >> (8 * i)) & 0xff);
    QVERIFY(writeBytes(zip, bytes));

    QVERIFY(QDir(dir.path()).mkdir("out"));
    const ZipExtractResult result = extractZipArchive(zip, dir.filePath("out"));
    QCOMPARE(result.error, QString());
    QCOMPARE(result.skipped, QStringList{"null: not a plain file"});
    QCOMPARE(filesBelow(dir.filePath("out")), QStringList{"ok"});
}

void tst_ZipArchive::bounds_data()
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
    QTest::newRow("total too large") << QList<ZipItem>{{"a", QByteArray(3000, 'a')}, {"b", QByteArray(3000, 'b')}} << 10
        << qint64(4096) << qint64(5000) << "Archive unpacks to more than the limit of 5000 bytes";
    QTest::newRow("within every bound") << QList<ZipItem>{{"a", QByteArray(3000, 'a')}} << 1 << qint64(3000)
        << qint64(3000) << QString();
    // clang-format on
}

void tst_ZipArchive::bounds()
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
    limits.maxEntries = maxEntries;
    limits.maxEntryBytes = maxEntryBytes;
    limits.maxTotalBytes = maxTotalBytes;
    const ZipExtractResult result = extractZipArchive(dir.filePath("in.zip"), dir.filePath("out"), limits);
    QCOMPARE(result.error, error);
    QVERIFY(result.bytesWritten <= maxTotalBytes + 65536);
}

void tst_ZipArchive::entriesKeptInMemory()
{
    QTemporaryDir dir;
    const QString zip = dir.filePath("in.zip");
    QVERIFY(writeZip(zip, {{"manifest.json", "{}"},
                           {"notes/a.json", "A"},
                           {"notes/../../x.json", "escape"},
                           {"./notes/b.json", "B"},
                           {"attachments/f", "file"}}));
    QVERIFY(QDir(dir.path()).mkdir("out"));
    auto json = [](const QString& path) {
        return path.endsWith(".json");
    };
    const ZipExtractResult result = extractZipArchive(zip, dir.filePath("out"), ZipLimits(), json);
    QCOMPARE(result.error, QString());
    QCOMPARE(result.inMemory.keys(), QStringList({"manifest.json", "notes/a.json", "notes/b.json"}));
    QCOMPARE(result.inMemory.value("notes/b.json"), QByteArray("B"));
    QCOMPARE(filesBelow(dir.filePath("out")), QStringList{"attachments/f"});
    QCOMPARE(result.skipped, QStringList{"notes/../../x.json: path leads outside the archive folder"});

    ZipLimits small;
    small.maxInMemoryBytes = 2;
    const ZipExtractResult bounded = extractZipArchive(zip, dir.filePath("out"), small, json);
    QCOMPARE(bounded.error, QStringLiteral("Archive items take more than the limit of 2 bytes"));
}

void tst_ZipArchive::writerRoundTrip()
{
    QTemporaryDir dir;
    const QString zip = dir.filePath("out.zip");
    QByteArray streamed(300000, '\0');
    for (int i = 0; i < streamed.size(); ++i)
        streamed[i] = char((qint64(i) * 7919) % 251);
    QBuffer device(&streamed);
    QVERIFY(device.open(QIODevice::ReadOnly));

    // Streamed in several pieces, and an empty file; the backup tests read directories and small files back.
    ZipWriter writer(zip);
    QVERIFY(writer.open());
    QVERIFY(writer.addFile("empty", QByteArray()));
    QVERIFY(writer.addFileFromDevice("attachments/blob", device));
    QVERIFY(writer.finish());
    const QMap<QString, QByteArray> entries = readArchiveEntries(zip);
    QCOMPARE(entries.keys(), QStringList({"attachments/blob", "empty"}));
    QVERIFY(entries.value("attachments/blob") == streamed);
}

void tst_ZipArchive::writerFailures()
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

    ZipWriter writer(QStringLiteral("/nonexistent-dir/backup.zip"));
    QVERIFY(!writer.open());
    QVERIFY(!writer.errorString().isEmpty());
    QVERIFY(!writer.addFile("a", "b"));
    QCOMPARE(writer.errorString(), QStringLiteral("Archive is not open"));
}

QTEST_GUILESS_MAIN(tst_ZipArchive)
#include "tst_ZipArchive.moc"
