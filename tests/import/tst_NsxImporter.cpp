#include "../Fixtures.h"
#include "Clock.h"
#include "ImportTestSupport.h"
#include "NsxImporter.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray json(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray gif()
{
    return QByteArray("GIF89a", 6) + QByteArray(40, '\x01');
}

} // namespace

class tst_NsxImporter : public QObject
{
    Q_OBJECT

private slots:
    void mime_data();
    void mime();
    void importBuilt();
    void builtArchives_data();
    void builtArchives();
    void realWorld_data();
    void realWorld();
};

void tst_NsxImporter::mime_data()
{
    // clang-format off
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QString>("expected");
    QTest::newRow("image with a header in the extension") << "image" << "png\r\nX-Evil: 1" << "image/png";
    QTest::newRow("binary, by its extension") << "binary" << "ogg" << "audio/ogg";
    QTest::newRow("not a MIME type") << "image/png; x=<script>" << "" << "application/octet-stream";
    // clang-format on
}

void tst_NsxImporter::mime()
{
    QFETCH(QString, type);
    QFETCH(QString, ext);
    QFETCH(QString, expected);
    NsxAttachment a;
    a.type = type;
    a.ext = ext;
    QCOMPARE(nsxAttachmentMime(a), expected);
}

void tst_NsxImporter::importBuilt()
{
    Clock::Fixed clock(QDateTime::fromString("2025-05-05T05:05:05.000Z", Qt::ISODateWithMs));
    const QJsonObject config{{"notebook", QJsonArray{"nb1", "nb2", "missing-nb"}},
                             {"note", QJsonArray{"n1", "n2", "n3", "n4", "../outside", "nope"}}};
    const QJsonObject n1{
        {"title", "Fish & <Chips>"},
        {"parent_id", "nb1"},
        {"content", "<div>before <img src=\"webman/x.gif\" ref=\"R1\" /> after</div>"
                    "<div><img src=\"webman/x.gif\" ref=\"R2\" /></div>"},
        {"ctime", 1600000000},
        {"mtime", "1600000100"},
        {"attachment",
         QJsonObject{{"_1", QJsonObject{{"md5", "aa11"}, {"name", ""}, {"ext", ""}, {"type", "image"}, {"ref", "R1"}}},
                     {"_2", QJsonObject{{"md5", "gone"}, {"name", "lost.png"}, {"type", "image"}, {"ref", "R2"}}},
                     {"_3", QJsonObject{{"md5", "bb22"}, {"name", "docs/notes.txt"}, {"type", "binary"}}}}}};
    const QJsonObject n2{{"content", "<p>no title</p>"}, {"parent_id", "somewhere-else"}, {"ctime", 0}};
    const QJsonObject n3{{"title", "Negative"}, {"ctime", -5}, {"parent_id", "nb2"}};
    const QJsonObject nb1{{"title", "Books"}, {"ctime", 1500000000}, {"mtime", 1500000500}};
    const QJsonObject nb2{{"title", ""}};

    QTemporaryDir dir;
    const QString path = dir.filePath("in.nsx");
    const QList<ZipItem> items{
        {"nb1", json(nb1)}, {"n1", json(n1)}, {"file_aa11", gif()}, {"config.json", json(config)},   {"nb2", json(nb2)},
        {"n2", json(n2)},   {"n3", json(n3)}, {"n4", "{broken"},    {"file_bb22", "plain text file"}};
    QVERIFY(writeZip(path, items));

    TestLibrary lib;
    QVERIFY(lib.ok);
    QSignalSpy notesChanged(&lib.notes, &NoteRepository::notesChanged);
    const ImportResult result = importNsx(path, lib.repos());
    QCOMPARE(result.error, QString());
    QCOMPARE(result.imported, 3);
    QCOMPARE(result.attachments, 2);
    QCOMPARE(result.errors, 4); // the unreadable items, each named below
    QCOMPARE(result.messages, QStringList({"Notebook missing-nb could not be read", "Note n4 could not be read",
                                           "Note ../outside could not be read", "Note nope could not be read"}));
    QCOMPARE(notesChanged.count(), 1);
    QCOMPARE(lib.notebookNames(), QStringList({"Books", "Imported Notebook"}));

    const QMap<QString, Note> notes = lib.notesByTitle();
    QCOMPARE(notes.keys(), QStringList({"Fish & <Chips>", "Negative", "no title"}));

    // The title is text, not markup; the escaped heading comes first.
    const Note fish = notes["Fish & <Chips>"];
    QVERIFY(bodyPlainText(fish.body).startsWith("Fish & <Chips>\nbefore "));
    QCOMPARE(lib.notebookName(fish.notebookId), "Books");

    QMap<QString, Attachment> atts;
    for (const Attachment& a : lib.attachments.attachmentsForNote(fish.id))
        atts.insert(a.filename, a);
    QCOMPARE(atts.keys(), QStringList({"image.png", "notes.txt"}));
    QCOMPARE(atts["image.png"].mimeType, "image/png");
    QCOMPARE(lib.attachments.fileData(atts["image.png"].id), gif());
    QCOMPARE(atts["notes.txt"].mimeType, "text/plain");
    // R1 points at its attachment, R2's data was missing so it stays a plain image; the text file
    // had no place in the HTML and follows at the end.
    QCOMPARE(embeddedAttachmentIds(fish.body), QStringList({atts["image.png"].id, atts["notes.txt"].id}));

    QCOMPARE(notes["no title"].notebookId, "");
    QCOMPARE(toDbTimestamp(notes["Negative"].createdAt), "2025-05-05T05:05:05.000Z");
    QCOMPARE(lib.notebookName(notes["Negative"].notebookId), "Imported Notebook");
}

void tst_NsxImporter::builtArchives_data()
{
    // clang-format off
    QTest::addColumn<QList<ZipItem>>("items"); // empty: the file is not a ZIP
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("not a ZIP") << QList<ZipItem>{} << "Failed to extract archive: Unrecognized archive format"
        << QStringList() << QStringList();
    QTest::newRow("no config.json") << QList<ZipItem>{{"n1", "{}"}} << "No config.json found in archive" << QStringList()
        << QStringList();
    // Entries the extractor leaves out (see tst_Archives) are named; md5 values are never used as paths.
    const QJsonObject config{{"notebook", QJsonArray{}}, {"note", QJsonArray{"evil-md5"}}};
    const QJsonObject attachments{{"_1", QJsonObject{{"md5", "/../../link"}}},
                                  {"_2", QJsonObject{{"md5", "x/../../config.json"}}}};
    QTest::newRow("hostile entries")
        << QList<ZipItem>{{"config.json", json(config)}, {"../escaped", "x"}, {"link", {}, "/etc/passwd"},
                          {"evil-md5", json({{"title", "Evil md5"}, {"attachment", attachments}})}}
        << QString() << QStringList{"Evil md5"}
        << QStringList{"Archive entry left out: ../escaped: path leads outside the archive folder",
                       "Archive entry left out: link: links are not unpacked"};
    // clang-format on
}

void tst_NsxImporter::builtArchives()
{
    QFETCH(QList<ZipItem>, items);
    QFETCH(QString, error);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, messages);
    QTemporaryDir dir;
    const QString path = dir.filePath("in.nsx");
    QVERIFY(items.isEmpty() ? writeBytes(path, "this is a text file") : writeZip(path, items));
    TestLibrary lib;
    QVERIFY(lib.ok);
    const ImportResult result = importNsx(path, lib.repos());
    QCOMPARE(result.error, error);
    QCOMPARE(result.errors, error.isEmpty() ? 0 : 1);
    QCOMPARE(result.messages, messages);
    QCOMPARE(result.imported, titles.size());
    QCOMPARE(result.attachments, 0);
    QCOMPARE(lib.everyNote().size(), titles.size());
    QCOMPARE(lib.notesByTitle().keys(), titles);
}

void tst_NsxImporter::realWorld_data()
{
    // clang-format off
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("notebooks");
    // Per note, sorted: title | notebook | attachments | attachment embeds | image attachments | text
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QString>("checks"); // check-list lines of all notes, "ticked/unticked"
    QTest::addColumn<QStringList>("trashed");

    QTest::newRow("Lagavulin, notebook title with a slash") << "jimmy_20240331_144226_11102_Lagavulin.nsx"
        << QStringList{"Statistik/Mathematik"}
        << QStringList{
            "CAGR|Statistik/Mathematik|0|0|0|",
            "Davon/Darunter|Statistik/Mathematik|0|0|0|",
            "Die beste Zahl|Statistik/Mathematik|0|0|0|",
            "Einheiten umrechnen|Statistik/Mathematik|0|0|0|",
            QString::fromUtf8("Primzahlen - GIMPS-Projekt findet bislang gr\xc3\xb6\xc3\x9f"
                              "te Primzahl|Statistik/Mathematik|0|0|0|"),
            "Rundung|Statistik/Mathematik|0|0|0|",
            "Statistisches Bundesamt|Statistik/Mathematik|0|0|0|",
            "Temperatur Umrechnung|Statistik/Mathematik|0|0|0|",
        }
        << QString("0/0") << QStringList{};
    QTest::newRow("Lagavulin, 50 images") << "jimmy_20240409_202124_7594_Lagavulin.nsx" << QStringList{"Test"}
        << QStringList{"TP-Link Print Server|Test|50|50|50|"} << QString("0/0") << QStringList{};
    QTest::newRow("demouser") << "jimmy_20241005_184010_8701_demouser.nsx" << QStringList{"Imported Notebook", "test 2"}
        << QStringList{
            "notiz in buch 2|test 2|3|3|3|mehr inhalt",
            "notiz mit titel|Imported Notebook|2|2|0|",
            "notiz ohne titel|Imported Notebook|0|0|0|",
        }
        << QString("0/0") << QStringList{};
    QTest::newRow("abalakov 1") << "jimmy_20251026_153652_10216_abalakov.nsx" << QStringList{"Test"}
        << QStringList{"ToDo (privat) - Duplicate|Test|0|0|0|Question 2(?)"}
        << QString("1/6") << QStringList{};
    QTest::newRow("abalakov 2") << "jimmy_20251030_182519_7781_abalakov.nsx" << QStringList{"Test"}
        << QStringList{"Testnotiz|Test|0|0|0|"}
        << QString("2/2") << QStringList{};
    QTest::newRow("test books") << "jimmy_notestation-test-books_trimmed.nsx"
        << QStringList{"Test-Book 1", "Test-Book 2"}
        << QStringList{
            "Empty note|Test-Book 2|0|0|0|",
            "Note with some regular text, some pictures, and some tags|Test-Book "
            "1|2|2|2|",
            "Note without any attachment|Test-Book 2|0|0|0|",
            "note with pdf attached|Test-Book 1|1|1|0|",
        }
        << QString("0/0") << QStringList{};
    QTest::newRow("yanom") << "yanom_test.nsx" << QStringList{"Test Book 2", "test"}
        << QStringList{
            "List testting|test|0|0|0|",
            "Page linked to from test book|Test Book 2|0|0|0|",
            "This is a duplicated title|Test Book 2|0|0|0|",
            "This is a duplicated title|Test Book 2|0|0|0|",
            "test page|test|4|4|1|",
            "test page 2|test|0|0|0|",
            "test page 3|test|0|0|0|",
        }
        << QString("3/4") << QStringList{"This page was deleted from the test notebook"};
    // clang-format on
}

void tst_NsxImporter::realWorld()
{
    QFETCH(QString, file);
    QFETCH(QStringList, notebooks);
    QFETCH(QStringList, notes);
    QFETCH(QString, checks);
    QFETCH(QStringList, trashed);

    NORV_REQUIRE_FIXTURES();
    const QString path = realWorldFixtures(QStringLiteral("nsx/") + file);
    const QMap<QString, QByteArray> archive = readArchiveEntries(path);
    TestLibrary lib;
    QVERIFY(lib.ok);
    const ImportResult result = importNsx(path, lib.repos());
    QCOMPARE(result.error, QString());
    QCOMPARE(result.errors, 0);
    QCOMPARE(result.messages, QStringList());
    QCOMPARE(result.imported, notes.size() + trashed.size());
    QCOMPARE(lib.notebookNames(), notebooks);

    int attachmentCount = 0, ticked = 0, unticked = 0;
    QStringList got, binned;
    for (const Note& note : lib.everyNote()) {
        const QList<Attachment> atts = lib.attachments.attachmentsForNote(note.id);
        int images = 0;
        for (const Attachment& a : atts) {
            images += a.mimeType.startsWith("image/") ? 1 : 0;
            QVERIFY2(a.mimeType != "image/jpg", qPrintable(a.filename));
            // Byte for byte one of the archive's data files.
            QVERIFY2(archive.values().contains(lib.attachments.fileData(a.id)), qPrintable(a.filename));
        }
        ticked += int(lineSummary(note.body).count("[x] "));
        unticked += int(lineSummary(note.body).count("[ ] "));
        if (note.deletedAt) {
            binned << note.title();
            continue;
        }
        attachmentCount += int(atts.size());
        QString snippet;
        for (const QString& row : notes) {
            if (row.section('|', 0, 0) == note.title())
                snippet = row.section('|', 5);
        }
        QVERIFY2(bodyPlainText(note.body).contains(snippet), qPrintable(note.title()));
        got << QStringList{note.title(),
                           lib.notebookName(note.notebookId),
                           QString::number(atts.size()),
                           QString::number(embeddedAttachmentIds(note.body).size()),
                           QString::number(images),
                           snippet}
                   .join('|');
    }
    got.sort();
    notes.sort();
    QCOMPARE(got, notes);
    QCOMPARE(result.attachments, attachmentCount);
    QCOMPARE(QStringLiteral("%1/%2").arg(ticked).arg(unticked), checks);
    QCOMPARE(binned, trashed);

    // The same file again: every note is skipped, no notebook is added.
    const ImportResult again = importNsx(path, lib.repos());
    QCOMPARE(again.imported, 0);
    QCOMPARE(again.skipped, result.imported);
    QCOMPARE(lib.notebookNames(), notebooks);

    if (file.contains("demouser")) // its table arrives as a table
        QVERIFY(lib.notesByTitle().value("notiz in buch 2").body.contains("{\"insert\":{\"table\""));
}

QTEST_MAIN(tst_NsxImporter)
#include "tst_NsxImporter.moc"
