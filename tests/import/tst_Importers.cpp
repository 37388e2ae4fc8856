#include "../Fixtures.h"
#include "Clock.h"
#include "ImportTestSupport.h"
#include "JexImporter.h"
#include "NsxImporter.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// Ids as Joplin makes them: 32 hexadecimal digits.
QString hexId(int n)
{
    return QString::number(n, 16).rightJustified(32, QLatin1Char('0'));
}

const QString kRes1 = hexId(0xa1), kRes2 = hexId(0xa2), kOtherNote = hexId(0xc3), kNoData = hexId(0xd4);

QString describe(const JexItem& i)
{
    const auto t = [](const QDateTime& d) {
        return d.isValid() ? toDbTimestamp(d) : QStringLiteral("-");
    };
    QStringList f{i.id, i.title, i.parentId, QString::number(i.type), QString::number(i.markupLanguage)};
    f << t(i.createdTime) << t(i.updatedTime) << (i.isTodo ? "todo" : "-") << QString::number(i.todoCompleted);
    f << i.mime << i.fileExtension << i.body;
    return f.join(QLatin1Char('|'));
}

QByteArray jexTodo(const QString& id, const QString& text, qint64 completed)
{
    return jexItem(text, {{"id", id},
                          {"parent_id", ""},
                          {"is_todo", "1"},
                          {"todo_completed", QString::number(completed)},
                          {"type_", "1"}});
}

// Every live note's lines, notes in title order, joined with " // ".
QString librarySummary(const TestLibrary& lib)
{
    QStringList out;
    for (const Note& note : lib.notesByTitle())
        out << lineSummary(note.body);
    return out.join(QStringLiteral(" // "));
}

QString writeJex(const QTemporaryDir& dir, const QByteArray& tar)
{
    const QString path = dir.filePath(QStringLiteral("in.jex"));
    return writeBytes(path, tar) ? path : QString();
}

QByteArray json(const QJsonObject& o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray gif()
{
    return QByteArray("GIF89a", 6) + QByteArray(40, '\x01');
}

} // namespace

// The importers of other programs' exports: Joplin's JEX and NoteStation's NSX.
class tst_Importers : public QObject
{
    Q_OBJECT

private slots:
    void jexParseItem_data();
    void jexParseItem();
    void jexFoldersNotesAndResources();
    void jexFidelity_data();
    void jexFidelity();
    void jexLargeEntryStreams();
    void jexRealWorld_data();
    void jexRealWorld();
    void nsxMime_data();
    void nsxMime();
    void nsxImportBuilt();
    void nsxBuiltArchives_data();
    void nsxBuiltArchives();
    void nsxRealWorld_data();
    void nsxRealWorld();
};

void tst_Importers::jexParseItem_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("note")
        << QByteArray("My title\n\nSome *text*\n\nid: 0123\nparent_id: f1\ncreated_time: "
           "2024-04-28T21:53:13.647Z\nupdated_time: 1713025684000\nis_todo: 1\n"
           "todo_completed: 1713025684000\nmarkup_language: 2\ntype_: 1\n")
        << "0123|My title|f1|1|2|2024-04-28T21:53:13.647Z|2024-04-13T16:28:04.000Z|todo|"
           "1713025684000|||My title\n\nSome *text*";
    QTest::newRow("empty values never swallow the next key")
        << QByteArray("T\n\nid: r1\nmime: image/png\nfilename: \nfile_extension: png\nauthor: \ntype_: 4")
        << "r1|T||4|1|-|-|-|0|image/png|png|T";
    QTest::newRow("last block wins") << QByteArray("A\n\nid: fake\n\nid: real\ntype_: 1")
        << "real|A||1|1|-|-|-|0|||A\n\nid: fake";
    QTest::newRow("CRLF lines") << QByteArray("A\r\n\r\nbody\r\n\r\nid: w\r\ntype_: 1\r\nparent_id: p\r\n")
        << "w|A|p|1|1|-|-|-|0|||A\n\nbody";
    QTest::newRow("the user's dates win over sync bookkeeping")
        << QByteArray("T\n\nid: t\ncreated_time: 2024-01-01T00:00:00.000Z\nuser_created_time: 2020-01-01T00:00:00.000Z\n"
                      "updated_time: 2024-02-01T00:00:00.000Z\nuser_updated_time: 2020-02-01T00:00:00.000Z\ntype_: 1")
        << "t|T||1|1|2020-01-01T00:00:00.000Z|2020-02-01T00:00:00.000Z|-|0|||T";
    QTest::newRow("invalid UTF-8 is replaced, not fatal") << QByteArray("Caf\xe9 \xff\n\nid: u\ntype_: 1")
        << QString::fromUtf8("u|Caf\xef\xbf\xbd \xef\xbf\xbd||1|1|-|-|-|0|||Caf\xef\xbf\xbd \xef\xbf\xbd");
    // clang-format on
}

void tst_Importers::jexParseItem()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(describe(parseJexItem(bytes)), expected);
}

void tst_Importers::jexFoldersNotesAndResources()
{
    Clock::Fixed clock(QDateTime::fromString("2025-05-05T05:05:05.000Z", Qt::ISODateWithMs));
    QTemporaryDir dir;
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(700, 'p');
    const QByteArray pdf = QByteArray("%PDF-1.4 ") + QByteArray(100, 'd');
    const QByteArray tar =
        tarFile("f1.md", jexFolder("f1", "Top")) + tarFile("f2.md", jexFolder("f2", "Child", "f1")) +
        tarFile("f4.md", jexFolder("f4", "")) +
        tarFile("n1.md", jexNote("n1",
                                 QStringLiteral("Twice\n\n![pic](:/%1) and [same](:/%1) and [doc](:/%2 \"Report\") "
                                                "and [note](:/%3) and [lost](:/%4)")
                                     .arg(kRes1, kRes2, kOtherNote, kNoData),
                                 "f2")) +
        tarFile("n3.md", jexNote("n3", "", "f1", 1, "", "")) +
        tarFile("n4.md", jexNote("n4", QStringLiteral("Pasted\n\n![](:/%1)").arg(kRes1), "f1")) +
        tarFile("r1.md", jexResource(kRes1, "", "image/png", "png")) +
        tarFile("r2.md", jexResource(kRes2, "dir/report.pdf", "", "pdf")) +
        tarFile("r4.md", jexResource(kNoData, "lost.bin", "application/x", "bin")) +
        tarFile("t.md", QByteArray("tag\n\nid: t1\ntype_: 5")) +
        tarFile(QStringLiteral("resources/%1.png").arg(kRes1), png) +
        tarFile(QStringLiteral("resources/%1").arg(kRes2), pdf) + tarEnd();

    TestLibrary lib;
    QVERIFY(lib.ok);
    QSignalSpy notesChanged(&lib.notes, &NoteRepository::notesChanged);
    const ImportResult result = importJex(writeJex(dir, tar), lib.repos());

    QCOMPARE(result.error, QString());
    QCOMPARE(result.imported, 3);
    QCOMPARE(result.attachments, 3);
    QCOMPARE(result.errors, 0);
    QCOMPARE(notesChanged.count(), 1);
    QCOMPARE(lib.notebookNames(), QStringList({"Imported Folder", "Top", "Top / Child"}));

    const QMap<QString, Note> notes = lib.notesByTitle();
    QCOMPARE(notes.keys(), QStringList({"", "Pasted", "Twice"}));
    QCOMPARE(toDbTimestamp(notes[""].createdAt), "2025-05-05T05:05:05.000Z"); // no times: now

    const QList<Attachment> atts = lib.attachments.attachmentsForNote(notes["Twice"].id);
    QCOMPARE(atts.size(), 2);
    QMap<QString, Attachment> byName;
    for (const Attachment& a : atts)
        byName.insert(a.filename, a);
    QCOMPARE(byName.keys(), QStringList({QStringLiteral("%1.png").arg(kRes1), "report.pdf"}));
    const Attachment pic = byName.first();
    const Attachment doc = byName.last();
    QCOMPARE(doc.mimeType, "application/pdf"); // from the extension when the item names none
    QCOMPARE(lib.attachments.fileData(doc.id), pdf);

    // One attachment for the resource linked twice: the image and the link both point at it. The
    // PDF (linked with a title) is an attachment chip, not a link nothing could follow.
    const QString body = notes["Twice"].body;
    QCOMPARE(embeddedAttachmentIds(body), QStringList({pic.id, doc.id}));
    QCOMPARE(linkTargets(body),
             QStringList({"norvane-notes://attachment/" + pic.id, ":/" + kOtherNote, ":/" + kNoData}));

    // An image without alt text, as Joplin writes pasted pictures, still becomes an embed; the
    // resource used by a second note gives that note an attachment of its own.
    const QList<Attachment> pasted = lib.attachments.attachmentsForNote(notes["Pasted"].id);
    QCOMPARE(pasted.size(), 1);
    QCOMPARE(lib.attachments.fileData(pasted.first().id), png);
    QCOMPARE(embeddedAttachmentIds(notes["Pasted"].body), QStringList{pasted.first().id});
}

void tst_Importers::jexFidelity_data()
{
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(64, 'p');
    const QString tagsMessage = "Tags were kept as the last line of the text of 1 note (\"Tags: ...\")";
    // clang-format off
    QTest::addColumn<QByteArray>("tar");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("markdown: check list, title line and repeated heading")
        << tarFile("n.md", jexNote(hexId(1), "List\n# List\n\n- [ ] open\n- [x] **done**\n- item", ""))
        << "# List|[ ] open|[x] done|- item" << QStringList();
    QTest::newRow("to-dos, open and completed")
        << (tarFile("a.md", jexTodo(hexId(1), "Buy milk\n\n2 litres", 0)) +
            tarFile("b.md", jexTodo(hexId(2), "Call back", 1713025684000)))
        << "[ ] Buy milk|2 litres // [x] Call back" << QStringList();
    QTest::newRow("untitled note opening with a picture")
        << (tarFile("n.md", jexNote(hexId(1), QStringLiteral("![](:/%1)\n\nafter").arg(kRes1), "")) +
            tarFile("r.md", jexResource(kRes1, "", "image/png", "png")) +
            tarFile(QStringLiteral("resources/%1.png").arg(kRes1), png))
        << "<attachment>|after" << QStringList();
    QTest::newRow("tags")
        << (tarFile("n.md", jexNote(hexId(1), "Tagged\n\nbody", "")) +
            tarFile("t1.md", jexItem("work", {{"id", hexId(0x71)}, {"type_", "5"}})) +
            tarFile("t2.md", jexItem("home", {{"id", hexId(0x72)}, {"type_", "5"}})) +
            tarFile("l1.md", jexItem("", {{"id", hexId(0x81)}, {"note_id", hexId(1)}, {"tag_id", hexId(0x71)}, {"type_", "6"}})) +
            tarFile("l2.md", jexItem("", {{"id", hexId(0x82)}, {"note_id", hexId(1)}, {"tag_id", hexId(0x72)}, {"type_", "6"}})))
        << "# Tagged|body|Tags: work, home" << QStringList{tagsMessage};
    QTest::newRow("unreadable items are named")
        << (tarFile("plain.md", "just text") + tarFile("odd.md", jexItem("Odd", {{"id", hexId(2)}, {"type_", "99"}})) +
            tarFile("n.md", jexNote(hexId(1), "Good", "")))
        << "# Good" << QStringList{"Item plain.md could not be read: no metadata block",
                                   "Item odd.md could not be read: unknown type 99"};
    // Entry names are only ever looked up, never used as paths; a link entry has no data to follow.
    // A ".md" entry below the top level is data, never an item.
    QTest::newRow("hostile entries")
        << (tarFile("../../outside.md", jexNote("o", "Outside\n\ntext", "")) +
            tarFile("e.md", jexNote("e", QStringLiteral("Escape\n\n![](:/%1)").arg(kRes1), "")) +
            tarFile("r1.md", jexResource(kRes1, "passwd", "image/png", "png")) +
            tarHeader(QStringLiteral("resources/%1.png").arg(kRes1).toUtf8(), octalField(0, 12), '2') +
            tarFile("resources/x/n.md", jexNote("x", "Nested", "")))
        << "# Escape" << QStringList();
    // clang-format on
}

void tst_Importers::jexFidelity()
{
    QFETCH(QByteArray, tar);
    QFETCH(QString, summary);
    QFETCH(QStringList, messages);
    QTemporaryDir dir;
    TestLibrary lib;
    QVERIFY(lib.ok);
    const ImportResult result = importJex(writeJex(dir, tar + tarEnd()), lib.repos());
    QCOMPARE(result.error, QString());
    QCOMPARE(librarySummary(lib), summary);
    QCOMPARE(result.messages, messages);
    QCOMPARE(result.errors, int(messages.filter("could not be read").size()));
    QCOMPARE(result.imported, lib.notes.allNotes().size());
    // Every attachment the bodies show exists, with its bytes, and there are no others.
    int embeds = 0;
    for (const Note& note : lib.notes.allNotes()) {
        for (const QString& id : embeddedAttachmentIds(note.body)) {
            QVERIFY(lib.attachments.attachmentById(id));
            QVERIFY(!lib.attachments.fileData(id).isEmpty());
            ++embeds;
        }
    }
    QCOMPARE(result.attachments, embeds);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"in.jex"});
}

void tst_Importers::jexLargeEntryStreams()
{
    // A 3 GB video between two notes: seeked over, never read, and it does not refuse the archive.
    // The file is sparse, so the test costs no disk.
    const qint64 videoSize = qint64(3) << 30;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.jex"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(tarFile("a.md", jexNote(hexId(1), "Before", "")));
    file.write(tarHeader(QStringLiteral("resources/%1.mp4").arg(hexId(2)).toUtf8(), octalField(videoSize, 12)));
    QVERIFY(file.resize(file.size() + videoSize));
    QVERIFY(file.seek(file.size()));
    file.write(tarFile("r.md", jexResource(hexId(2), "holiday.mp4", "video/mp4", "mp4")));
    file.write(tarFile("b.md", jexNote(hexId(3), "After", "")) + tarEnd());
    file.close();

    TestLibrary lib;
    QVERIFY(lib.ok);
    const ImportResult result = importJex(path, lib.repos());
    QCOMPARE(result.error, QString());
    QCOMPARE(result.errors, 0);
    QCOMPARE(lib.notesByTitle().keys(), QStringList({"After", "Before"}));
}

void tst_Importers::jexRealWorld_data()
{
    // clang-format off
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("notebooks");
    // title | notebook | text that must survive | attachments as "name mime size resource", sorted, ";"-joined
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<int>("noteLinks"); // links to other notes of the archive

    QTest::newRow("jimmy") << "jimmy_29_04_2024.jex"
        << QStringList{"My Notebook", "My Notebook / Nested Notebook", "Second notebook"}
        << QStringList{
            "Another note|My Notebook|and link to URL|ihl6ec5fb4529ca4343e88a6961db5c2aa7af.png "
            "image/png 121039 resources/82eba373e2054df8adb94274c3add306.png",
            "Sample note with completed reminder|My Notebook|Sample content|",
            "note in other notebook with same name|My Notebook / Nested Notebook|todo 2|",
            "note in second notebook with open reminder|Second notebook|bullet point|",
            "photo card (image only)|My Notebook||ihl6e963590e9b33a4ff2a01efe047e3ef6a5.png "
            "image/png 121039 resources/f366f8bedd8e42e68c32e88bfdc6ca31.png",
        } << 3;
    QTest::newRow("webclip, folder not in the archive") << "jimmy_flexicharger-webclip.jex" << QStringList{}
        << QStringList{
            "Was ist Flexicharger? - TUXEDO Computers||Die Langlebigkeit von Lithiumbatterien|"
            "2023-01-30_tcc-flexicharger_60d355ca8a9444bca6f8bbb2252963a0.png image/png 350755 "
            "resources/6665632a617a4a4085bbfc5a021167f3.png",
        } << 0;
    QTest::newRow("notesnook") << "notesnook-importer_03_10_2022.jex"
        << QStringList{"Welcome! (Desktop)", "Welcome! (Desktop) / helo", "Welcome! (Desktop) / uuiu",
                       "Welcome! (Desktop) / uuiu / uoo"}
        << QStringList{
            "1. Welcome to Joplin!|Welcome! (Desktop) / helo|Joplin is a free, open source note taking|"
            "AllClients.png image/png 448800 resources/1c7eeeccda5f45f2b6f5bbb998157e14.png;"
            "SubNotebooks.png image/png 4704 resources/acce2896526444a49ff53d896bda36df.png",
            "2. Importing and exporting notes|Welcome! (Desktop)|Importing from Evernote|",
            "3. Synchronising your notes|Welcome! (Desktop)|Setting up Joplin Cloud|"
            "print.pdf application/pdf 17864 resources/d47020f49a7345c48dfd91c9d4123123.pdf",
            "4. Tips|Welcome! (Desktop)|The Web Clipper is a browser extension|"
            "WebClipper.png image/png 8894 resources/4cc23f767fcc486bbd7efc31676b03da.png",
            "5. Joplin Privacy Policy|Welcome! (Desktop)|do not send any data|",
            "Hello|Welcome! (Desktop)|Nevermind|",
        } << 1;
    // clang-format on
}

void tst_Importers::jexRealWorld()
{
    QFETCH(QString, file);
    QFETCH(QStringList, notebooks);
    QFETCH(QStringList, notes);
    QFETCH(int, noteLinks);

    NORV_REQUIRE_FIXTURES();
    const QString path = realWorldFixtures(QStringLiteral("jex/") + file);
    const QMap<QString, QByteArray> archive = readArchiveEntries(path);
    TestLibrary lib;
    QVERIFY(lib.ok);
    const ImportResult result = importJex(path, lib.repos());
    QCOMPARE(result.error, QString());
    QCOMPARE(result.errors, 0);
    QCOMPARE(result.imported, notes.size());
    QCOMPARE(lib.notebookNames(), notebooks);

    QHash<QString, QString> expectedRows; // by title
    for (const QString& row : notes)
        expectedRows.insert(row.section('|', 0, 0), row);
    int attachmentCount = 0;
    QStringList got;
    for (const Note& note : lib.notesByTitle()) {
        const QString snippet = expectedRows.value(note.title()).section('|', 2, 2);
        QVERIFY2(bodyPlainText(note.body).contains(snippet), qPrintable(note.title()));
        QHash<QString, QString> resourceOf; // attachment name -> the archive file it should hold
        for (const QString& entry : expectedRows.value(note.title()).section('|', 3).split(';', Qt::SkipEmptyParts))
            resourceOf.insert(entry.section(' ', 0, 0), entry.section(' ', 3));

        QStringList attachments;
        for (const Attachment& a : lib.attachments.attachmentsForNote(note.id)) {
            const QString resource = resourceOf.value(a.filename);
            QVERIFY2(lib.attachments.fileData(a.id) == archive.value(resource), qPrintable(a.filename));
            QVERIFY2(note.body.contains("norvane-notes://attachment/" + a.id), qPrintable(a.filename));
            QVERIFY2(!note.body.contains(":/" + resource.section('/', 1).section('.', 0, 0)), qPrintable(resource));
            attachments
                << QStringLiteral("%1 %2 %3 %4").arg(a.filename, a.mimeType, QString::number(a.sizeBytes), resource);
        }
        attachmentCount += int(attachments.size());
        attachments.sort();
        got << QStringList{note.title(), lib.notebookName(note.notebookId), snippet, attachments.join(';')}.join('|');
    }
    QCOMPARE(got, notes);
    QCOMPARE(result.attachments, attachmentCount);

    // Links between notes lead to the imported notes.
    int links = 0;
    for (const Note& note : lib.notes.allNotes()) {
        for (const QString& target : linkTargets(note.body)) {
            if (!target.startsWith("norvane-notes://note/"))
                continue;
            QVERIFY2(lib.notes.noteById(target.mid(21)), qPrintable(target));
            ++links;
        }
    }
    QCOMPARE(links, noteLinks);

    // The same file again: nothing is added, every note is skipped.
    const ImportResult again = importJex(path, lib.repos());
    QCOMPARE(again.imported, 0);
    QCOMPARE(again.skipped, result.imported);
    QCOMPARE(lib.notebookNames(), notebooks);
    QCOMPARE(lib.notes.allNotes().size(), notes.size());
}

void tst_Importers::nsxMime_data()
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

void tst_Importers::nsxMime()
{
    QFETCH(QString, type);
    QFETCH(QString, ext);
    QFETCH(QString, expected);
    NsxAttachment a;
    a.type = type;
    a.ext = ext;
    QCOMPARE(nsxAttachmentMime(a), expected);
}

void tst_Importers::nsxImportBuilt()
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

void tst_Importers::nsxBuiltArchives_data()
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

void tst_Importers::nsxBuiltArchives()
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

void tst_Importers::nsxRealWorld_data()
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

void tst_Importers::nsxRealWorld()
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

QTEST_MAIN(tst_Importers)
#include "tst_Importers.moc"
