#include "../Fixtures.h"
#include "BackupArchive.h"
#include "ImportTestSupport.h"
#include "TarReader.h"
#include "ZipArchive.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QUuid>
#include <climits>

namespace {

Note note(const QString& id, const QString& text, const QString& notebookId = QString(),
          const QDateTime& at = utc("2024-03-11T09:30:00.123Z"))
{
    return makeNote(id, QStringLiteral("[{\"insert\":\"%1\\n\"}]").arg(text), notebookId, at);
}

Notebook notebook(const QString& id, const QString& name, const QDateTime& at = utc("2024-01-01T00:00:00.000Z"))
{
    return {.id = id, .name = name, .ownerId = {}, .createdAt = at, .updatedAt = at, .deletedAt = {}};
}

QByteArray zipBytes(const QList<ZipItem>& items)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("z.zip");
    return writeZip(path, items) ? readBytes(path) : QByteArray();
}

// A backup whose large attachment breaks off in the middle of its data.
QByteArray damagedZip()
{
    QByteArray noise(256 * 1024, Qt::Uninitialized);
    quint32 x = 12345;
    for (char& c : noise) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 24);
    }
    QByteArray zip = zipBytes({{"manifest.json", "{}"}, {"attachments/big", noise}});
    for (qsizetype i = zip.size() / 2; i < zip.size() / 2 + 64; ++i)
        zip[i] = char(~zip[i]);
    return zip;
}

const QByteArray kPng = QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + QByteArray(32, '\0');
const QByteArray kPdf("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<<>>\nendobj\n");

// Note n1 showing the picture "pic" and the file "doc", both stored with their records, and a stray
// file no note shows.
bool addNoteWithAttachments(TestLibrary& lib)
{
    const auto record = [](const QString& id, const QString& name, const QString& mime, qint64 size) {
        return Attachment{id, "n1", name, mime, size, utc("2024-05-05T05:05:05.000Z"), SyncStatus::Synced};
    };
    const QString body = QStringLiteral(R"([{"insert":{"norvane-notes-attachment":"%1"}},)"
                                        R"({"insert":{"norvane-notes-attachment":"%2"}},{"insert":"\n"}])")
                             .arg(attachmentUrl("pic"), attachmentUrl("doc"));
    return lib.notes.insert(makeNote("n1", body)) && lib.attachments.saveFile("pic", kPng) &&
           lib.attachments.saveFile("doc", kPdf) && lib.attachments.saveFile("stray", "no note shows this") &&
           lib.attachments.insert(record("pic", "holiday.png", "image/png", kPng.size())) &&
           lib.attachments.insert(record("doc", "report.pdf", "application/pdf", kPdf.size()));
}

} // namespace

// The tar reader behind JEX import, the ZIP extractor and writer behind NSX import and backups, and
// backups written and restored.
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
    void backupExistingItems_data();
    void backupExistingItems();
    void backupForceToAccount();
    void backupRoundTripOfEveryField();
    void backupFailures_data();
    void backupFailures();
    void backupAttachmentRecords_data();
    void backupAttachmentRecords();
    void backupFailedCommitLeavesNothing();
    void backupHostileEntriesStayInside();
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

void tst_Archives::backupExistingItems_data()
{
    // clang-format off
    QTest::addColumn<int>("mode");
    QTest::addColumn<QDateTime>("localUpdated");
    QTest::addColumn<int>("imported");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("expectedName");

    // The archive holds the note and notebook as updated at 2024-06-01.
    QTest::newRow("mode 0 skips") << 0 << utc("2024-07-01T00:00:00.000Z") << 0 << 2 << "local" << "Local";
    QTest::newRow("mode 1 overwrites a newer local copy") << 1 << utc("2024-07-01T00:00:00.000Z") << 2 << 0
        << "archived" << "Archived";
    QTest::newRow("mode 2 replaces an older local copy") << 2 << utc("2024-05-01T00:00:00.000Z") << 2 << 0 << "archived"
        << "Archived";
    // clang-format on
}

void tst_Archives::backupExistingItems()
{
    QFETCH(int, mode);
    QFETCH(QDateTime, localUpdated);
    QFETCH(int, imported);
    QFETCH(int, skipped);
    QFETCH(QString, expectedText);
    QFETCH(QString, expectedName);

    TestLibrary lib;
    QVERIFY(lib.ok);
    const QDateTime archived = utc("2024-06-01T00:00:00.000Z");
    QVERIFY(lib.notebooks.insert(notebook("nb1", "Archived", archived)));
    QVERIFY(lib.notes.insert(note("n1", "archived", "nb1", archived)));
    const QString zip = lib.dir.filePath("backup.zip");
    QVERIFY(!createBackup(zip, lib.repos()).failed);

    Note local = note("n1", "local", "nb1", localUpdated);
    local.syncStatus = SyncStatus::Synced;
    QVERIFY(lib.notes.update(local));
    QVERIFY(lib.notebooks.update(notebook("nb1", "Local", localUpdated)));

    QSignalSpy notesChanged(&lib.notes, &NoteRepository::notesChanged);
    const RestoreResult result = restoreBackup(zip, lib.repos(), RestoreMode(mode), false);
    QCOMPARE(result.error, QString());
    QCOMPARE(result.errors, 0);
    QCOMPARE(result.imported, imported);
    QCOMPARE(result.skipped, skipped);
    QCOMPARE(notesChanged.count(), imported ? 1 : 0); // nothing restored, nothing announced
    const Note after = *lib.notes.noteById("n1");
    QCOMPARE(after.title(), expectedText);
    QCOMPARE(after.syncStatus, expectedText == "archived" ? SyncStatus::Pending : SyncStatus::Synced);
    QCOMPARE(lib.notebooks.notebookById("nb1")->name, expectedName);
}

void tst_Archives::backupForceToAccount()
{
    TestLibrary lib;
    QVERIFY(lib.ok);
    QVERIFY(lib.notebooks.insert(notebook("same", "Same")));
    QVERIFY(lib.notebooks.insert(notebook("renamed", "Old name")));
    Note n5 = note("v5", "archived five");
    n5.version = 3;
    QVERIFY(lib.notes.insert(n5));
    Note absent = note("absent", "gone locally");
    absent.version = 4;
    QVERIFY(lib.notes.insert(absent));
    Note maxed = note("maxed", "hostile version");
    maxed.version = INT_MAX;
    QVERIFY(lib.notes.insert(maxed));
    QVERIFY(lib.attachments.saveFile("att1", "archived one") && lib.attachments.saveFile("att2", "archived two"));
    const QString zip = lib.dir.filePath("backup.zip");
    QVERIFY(!createBackup(zip, lib.repos()).failed);

    // Later, locally: the note moved on to version 5 and was synced, one note was purged, a
    // notebook was renamed, an attachment file changed and another went.
    QVERIFY(lib.attachments.saveFile("att1", "local one"));
    QVERIFY(QFile::remove(lib.attachments.filePath("att2")));
    Note local = note("v5", "local five");
    local.version = 5;
    local.syncStatus = SyncStatus::Synced;
    QVERIFY(lib.notes.update(local));
    QVERIFY(lib.notes.purge("absent"));
    Notebook renamed = notebook("renamed", "New name");
    renamed.version = 9;
    renamed.syncStatus = SyncStatus::Synced;
    QVERIFY(lib.notebooks.update(renamed));

    QSignalSpy notesChanged(&lib.notes, &NoteRepository::notesChanged);
    QSignalSpy notebooksChanged(&lib.notebooks, &NotebookRepository::notebooksChanged);
    const RestoreResult result = restoreBackup(zip, lib.repos(), RestoreMode::Overwrite, true);
    QCOMPARE(result.error, QString());
    QCOMPARE(result.imported, 4); // three notes, the renamed notebook
    QCOMPARE(result.skipped, 1);  // the notebook with the same name and state
    QCOMPARE(notesChanged.count(), 1);
    QCOMPARE(notebooksChanged.count(), 1);

    const Note v5 = *lib.notes.noteById("v5");
    QCOMPARE(v5.version, 6);
    QCOMPARE(v5.syncStatus, SyncStatus::Pending);
    QCOMPARE(v5.title(), "archived five");
    QCOMPARE(lib.notes.noteById("absent")->version, 5);
    QCOMPARE(lib.notes.noteById("maxed")->version, INT_MAX);
    const Notebook nb = *lib.notebooks.notebookById("renamed");
    QCOMPARE(nb.name, "Old name");
    QCOMPARE(nb.version, 9);
    QCOMPARE(nb.syncStatus, SyncStatus::Pending);
    // Attachment files are brought back, never overwritten; no note shows att2, so it gets no record.
    QCOMPARE(lib.attachments.fileData("att1"), QByteArray("local one"));
    QCOMPARE(lib.attachments.fileData("att2"), QByteArray("archived two"));
    QVERIFY(!lib.attachments.attachmentById("att2"));
}

void tst_Archives::backupRoundTripOfEveryField()
{
    TestLibrary source;
    QVERIFY(source.ok);
    Notebook nb = notebook("nb-1", QString::fromUtf8("Caf\xc3\xa9 \"quotes\" / slash"));
    nb.isShared = true, nb.ownerId = "owner-7", nb.version = 12, nb.syncStatus = SyncStatus::Synced;
    nb.updatedAt = utc("2024-02-02T02:02:02.202Z");
    QVERIFY(source.notebooks.insert(nb));

    Note full = makeNote(
        "note-1",
        QString::fromUtf8(R"([{"attributes":{"bold":true},"insert":"T\u00eatu \ud83d\ude00"},{"insert":"\n"}])"),
        "nb-1", utc("2022-02-02T02:02:02.002Z"));
    full.createdAt = utc("2021-01-01T01:01:01.001Z"), full.modifiedAt = utc("2023-03-03T03:03:03.003Z");
    full.deletedAt = utc("2024-04-04T04:04:04.004Z"), full.version = 7, full.opVersion = 3;
    full.syncStatus = SyncStatus::Synced, full.isSample = true, full.ownerId = "someone", full.isShared = true;
    full.permission = "read";
    QVERIFY(source.notes.insert(full));

    const QString zip = source.dir.filePath("b.zip");
    QVERIFY(!createBackup(zip, source.repos()).failed);

    TestLibrary target;
    QVERIFY(target.ok);
    const RestoreResult result = restoreBackup(zip, target.repos(), RestoreMode::SkipExisting, false);
    QCOMPARE(result.imported, 2);

    const Note got = *target.notes.noteById("note-1");
    Note expected = full;
    // Not carried by the archive: a restored note is the user's own, unshared, Pending.
    expected.opVersion = 0, expected.syncStatus = SyncStatus::Pending, expected.isSample = false;
    expected.ownerId.clear(), expected.isShared = false, expected.permission.clear();
    QCOMPARE(describe(got), describe(expected));

    const Notebook b = *target.notebooks.notebookById("nb-1");
    QVERIFY(std::tie(b.name, b.isShared, b.ownerId, b.createdAt, b.updatedAt, b.version) ==
            std::tie(nb.name, nb.isShared, nb.ownerId, nb.createdAt, nb.updatedAt, nb.version));
    QCOMPARE(b.syncStatus, SyncStatus::Pending);
}

void tst_Archives::backupFailures_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("archiveBytes"); // empty: build a ZIP without a manifest
    QTest::addColumn<QString>("error");
    QTest::newRow("no manifest") << QByteArray() << "No manifest.json found";
    QTest::newRow("not a ZIP") << QByteArray("just some text") << "Failed to extract backup: not a backup archive";
    QTest::newRow("damaged") << damagedZip() << "Failed to extract backup: damaged at entry attachments/big";
    // 200 MB of zeros in a few hundred kilobytes.
    QTest::newRow("too large") << zipBytes({{"manifest.json", "{}"}, {"attachments/zeros", QByteArray(200 << 20, '\0')}})
        << "Failed to extract backup: too large (Archive unpacks to more than the limit of 67108864 bytes)";
    // clang-format on
}

void tst_Archives::backupFailures()
{
    QFETCH(QByteArray, archiveBytes);
    QFETCH(QString, error);

    TestLibrary lib;
    QVERIFY(lib.ok);
    QVERIFY(lib.notes.insert(note("keep", "untouched")));
    const QString zip = lib.dir.filePath("bad.zip");
    if (archiveBytes.isEmpty()) {
        Note other = note("new-note", "would be new");
        QVERIFY(writeZip(zip, {{"notes/new-note.json", QJsonDocument(noteToBackupJson(other)).toJson()},
                               {"attachments/att-x", "bytes"}}));
    } else {
        QVERIFY(writeBytes(zip, archiveBytes));
    }

    const RestoreResult result = restoreBackup(zip, lib.repos(), RestoreMode::Overwrite, false);
    QCOMPARE(result.error, error);
    QCOMPARE(result.errors, 1);
    QCOMPARE(result.imported, 0);
    QCOMPARE(ids(lib.everyNote()), QStringList{"keep"});
    QVERIFY(!QFileInfo::exists(lib.attachments.directory() + "/att-x"));
}

void tst_Archives::backupAttachmentRecords_data()
{
    QTest::addColumn<bool>("withRecords"); // false: an archive written before backups carried them
    QTest::newRow("archive with records") << true;
    QTest::newRow("archive without records") << false;
}

void tst_Archives::backupAttachmentRecords()
{
    QFETCH(bool, withRecords);
    TestLibrary source;
    QVERIFY(source.ok && addNoteWithAttachments(source));
    const QString zip = source.dir.filePath("b.zip");
    if (withRecords) {
        QVERIFY(!createBackup(zip, source.repos()).failed);
    } else {
        QVERIFY(
            writeZip(zip, {{"manifest.json", "{\"version\":1}"},
                           {"notes/n1.json", QJsonDocument(noteToBackupJson(*source.notes.noteById("n1"))).toJson()},
                           {"attachments/pic", kPng},
                           {"attachments/doc", kPdf},
                           {"attachments/stray", "no note shows this"}}));
    }

    // Into a fresh library: every picture and file the note shows is there, as a record and bytes.
    TestLibrary fresh;
    QVERIFY(fresh.ok);
    QSignalSpy changed(&fresh.attachments, &AttachmentRepository::attachmentsChanged);
    const RestoreResult result = restoreBackup(zip, fresh.repos(), RestoreMode::Overwrite, true);
    QCOMPARE(result.error, QString());
    QStringList got;
    for (const Attachment& a : fresh.attachments.attachmentsForNote("n1")) {
        QCOMPARE(fresh.attachments.fileData(a.id), source.attachments.fileData(a.id));
        QCOMPARE(a.syncStatus, SyncStatus::Pending); // so it uploads
        QCOMPARE(a.sizeBytes, source.attachments.fileData(a.id).size());
        got << QStringList{a.id, a.filename, a.mimeType}.join(' ');
    }
    got.sort();
    // Without records the names are made from what the files hold.
    QCOMPARE(got, withRecords ? QStringList({"doc report.pdf application/pdf", "pic holiday.png image/png"})
                              : QStringList({"doc attachment.pdf application/pdf", "pic image.png image/png"}));
    QVERIFY(!fresh.attachments.attachmentById("stray"));
    QCOMPARE(changed.count(), 1);
}

void tst_Archives::backupFailedCommitLeavesNothing()
{
    TestLibrary source;
    QVERIFY(source.ok && addNoteWithAttachments(source));
    const QString zip = source.dir.filePath("b.zip");
    QVERIFY(!createBackup(zip, source.repos()).failed);

    // Every note written leaves a reference that only the final commit checks, and fails.
    TestLibrary lib;
    QVERIFY(lib.ok);
    QVERIFY(exec(lib.db(), "CREATE TEMP TRIGGER break_commit AFTER INSERT ON main.notes BEGIN "
                           "INSERT INTO note_snapshots (id, note_id, version, body, created_at) "
                           "VALUES (new.id || '-s', 'no-such-note', 1, '', ''); END"));
    QVERIFY(exec(lib.db(), "PRAGMA defer_foreign_keys = ON"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Restore could not commit: "));
    const RestoreResult result = restoreBackup(zip, lib.repos(), RestoreMode::SkipExisting, false);
    QVERIFY2(result.error.startsWith("Failed to save restored items: "), qPrintable(result.error));
    QCOMPARE(result.errors, 1);
    QCOMPARE(result.imported, 0);
    QCOMPARE(lib.everyNote().size(), 0);
    QVERIFY(!lib.attachments.attachmentById("pic"));
    QCOMPARE(filesBelow(lib.attachments.directory()), QStringList());
}

void tst_Archives::backupHostileEntriesStayInside()
{
    // Unreadable notes are passed over; an attachment path leading out of the folder is never written.
    TestLibrary lib;
    QVERIFY(lib.ok);
    const QString zip = lib.dir.filePath("evil.zip");
    QVERIFY(writeZip(zip, {{"manifest.json", "{}"},
                           {"notes/n1.json", QJsonDocument(noteToBackupJson(note("n1", "fine"))).toJson()},
                           {"notes/broken.json", "{not json"},
                           {"notes/array.json", "[1,2]"},
                           {"attachments/../../escaped-att", "x"},
                           {"attachments/ok", "ok"}}));
    const RestoreResult result = restoreBackup(zip, lib.repos(), RestoreMode::SkipExisting, false);
    QCOMPARE(result.error, QString());
    QCOMPARE(result.imported, 1);
    QCOMPARE(filesBelow(lib.attachments.directory()), QStringList{"ok"});
    QVERIFY(!QFileInfo::exists(lib.dir.filePath("escaped-att")));
}

QTEST_GUILESS_MAIN(tst_Archives)
#include "tst_Archives.moc"
