#include "Export.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(ExportFormat)

namespace {

// A body holding one table embed (with cells given as JSON text) and its line ending.
QString tableBody(const char* cellsJson, bool hasHeader = true, const QString& before = {})
{
    QJsonObject table{{"cells", QJsonDocument::fromJson(cellsJson).array()}, {"hasHeader", hasHeader}};
    QJsonArray body = before.isEmpty() ? QJsonArray() : QJsonDocument::fromJson(before.toUtf8()).array();
    body.append(QJsonObject{
        {"insert", QJsonObject{{"table", QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact))}}}});
    body.append(QJsonObject{{"insert", "\n"}});
    return QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact));
}

QString page(const QString& inner)
{
    return QStringLiteral("<html><body>\n") + inner + QStringLiteral("</body></html>");
}

const QString kTableOpen =
    QStringLiteral("<table border=\"1\" cellpadding=\"6\" cellspacing=\"0\" style=\"border-collapse:collapse\">\n");

Note noteWith(const QString& id, const QString& body)
{
    Note note;
    note.id = id;
    note.body = body;
    return note;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_Export : public QObject
{
    Q_OBJECT

private slots:
    void convert_data();
    void convert();
    void hostileBodies_data();
    void hostileBodies();
    void sanitize_data();
    void sanitize();
    void suggestedName_data();
    void suggestedName();
    void pageSize_data();
    void pageSize();
    void writesFiles_data();
    void writesFiles();
    void directoryPathFails();
    void pdf();
};

void tst_Export::convert_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("expected");

    QTest::newRow("md: heading, list and paragraph spacing") << ExportFormat::Markdown
        << R"([{"insert":"T"},{"attributes":{"header":1},"insert":"\n"},{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
           R"({"insert":"b"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"e\n"}])"
        << "# T\n\n- a\n- b\n\ne\n";
    QTest::newRow("md: ordered items all 1.") << ExportFormat::Markdown
        << R"([{"insert":"a"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"ordered"},"insert":"\n"},)"
           R"({"insert":"c"},{"attributes":{"list":"ordered"},"insert":"\n"}])"
        << "1. a\n1. b\n1. c\n";
    QTest::newRow("md: check items") << ExportFormat::Markdown
        << R"([{"insert":"done"},{"attributes":{"list":"checked"},"insert":"\n"},{"insert":"open"},{"attributes":{"list":"unchecked"},"insert":"\n"}])"
        << "- [x] done\n- [ ] open\n";
    QTest::newRow("md: unknown list kind keeps the item tight") << ExportFormat::Markdown
        << R"([{"insert":"p\n"},{"insert":"w"},{"attributes":{"list":"weird"},"insert":"\n"},{"insert":"v"},{"attributes":{"list":"bullet"},"insert":"\n"}])"
        << "p\n\nw\n- v\n";
    QTest::newRow("md: blank lines collapse") << ExportFormat::Markdown << R"([{"insert":"a\n\n \n\t\n\nb\n"}])"
                                          << "a\n\nb\n";
    QTest::newRow("md: leading blank lines vanish") << ExportFormat::Markdown << R"([{"insert":"\n\n\nx\n"}])"
                                                << "x\n";
    QTest::newRow("md: blank heading is dropped") << ExportFormat::Markdown
        << R"([{"insert":"   "},{"attributes":{"header":2},"insert":"\n"},{"insert":"x\n"}])"
        << "x\n";
    QTest::newRow("md: blank heading keeps the list tight") << ExportFormat::Markdown
        << R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"attributes":{"header":3},"insert":"\n"},)"
           R"({"insert":"b"},{"attributes":{"list":"bullet"},"insert":"\n"}])"
        << "- a\n- b\n";
    QTest::newRow("md: no bold markers on headings") << ExportFormat::Markdown
        << R"([{"insert":"Big","attributes":{"bold":true}},{"insert":" deal","attributes":{"italic":true}},{"attributes":{"header":2},"insert":"\n"}])"
        << "## Big* deal*\n";
    QTest::newRow("md: inline wrapping order") << ExportFormat::Markdown
        << R"([{"insert":"t","attributes":{"bold":true,"italic":true,"code":true,"strike":true,"underline":true,"link":"http://x"}},{"insert":"\n"}])"
        << "[~~`***t***`~~](http://x)\n";
    QTest::newRow("md: text is not escaped") << ExportFormat::Markdown << R"([{"insert":"<b>*x*</b> & |\n"}])"
                                         << "<b>*x*</b> & |\n";
    QTest::newRow("md: code lines stay together") << ExportFormat::Markdown
        << R"([{"insert":"p\n"},{"insert":"x = 1","attributes":{"code":true}},{"insert":"\n","attributes":{"code-block":true}},)"
           R"({"insert":"y"},{"insert":"\n","attributes":{"code-block":"python"}},{"insert":"after\n"}])"
        << "p\n\n    `x = 1`\n    y\n\nafter\n";
    QTest::newRow("md: quote") << ExportFormat::Markdown
        << R"([{"insert":"q"},{"attributes":{"blockquote":true},"insert":"\n"},{"insert":"r\n"}])"
                           << "> q\n\nr\n";
    QTest::newRow("md: newlines inside a formatted insert") << ExportFormat::Markdown
        << R"([{"insert":"x\ny\n","attributes":{"bold":true,"list":"bullet"}}])"
        << "- **x**\n- **y**\n";
    QTest::newRow("md: trailing spaces are trimmed") << ExportFormat::Markdown << R"([{"insert":"a  \n"}])"
                                                 << "a\n";
    QTest::newRow("md: attachment line is a paragraph break") << ExportFormat::Markdown
        << R"([{"insert":"a\n"},{"insert":{"norvane-notes-attachment":"norvane-notes://attachment/x"}},{"insert":"\n"},{"insert":"b\n"}])"
        << "a\n\nb\n";
    QTest::newRow("md: divider flushes text before it") << ExportFormat::Markdown
        << R"([{"insert":"x"},{"insert":{"divider":"hr"}},{"insert":"\n"}])"
                                                    << "x\n\n---\n";
    QTest::newRow("md: table with bar and empty cell") << ExportFormat::Markdown
        << tableBody(R"([[[{"insert":"A"}],[{"insert":"B|C"}]],[[{"insert":"1"}],[]]])")
        << "| A | B\\|C |\n| --- | --- |\n| 1 |  |\n";
    QTest::newRow("md: short rows and no header row") << ExportFormat::Markdown
        << tableBody(R"([["a","b","c"],["d"]])", false) << "| a | b | c |\n| --- | --- | --- |\n| d |  |  |\n";
    QTest::newRow("md: table cell formatting") << ExportFormat::Markdown
        << tableBody(
               R"([[[{"insert":"H","attributes":{"bold":true}}]],)"
               R"([[{"insert":"c","attributes":{"code":true,"bold":true,"link":"u"}},{"insert":"\n"},{"insert":""},{"insert":"d","attributes":{"italic":true,"strike":true}}]]])")
        << "| H |\n| --- |\n| [**`c`**](u)~~*d*~~ |\n";
    QTest::newRow("md: bar in a cell's link address")
        << ExportFormat::Markdown << tableBody(R"([[[{"insert":"q","attributes":{"link":"https://x.test/?a=1|2"}}]]])")
        << "| [q](https://x.test/?a=1\\|2) |\n| --- |\n";
    QTest::newRow("md: empty array") << ExportFormat::Markdown << "[]"
                                 << "";
    QTest::newRow("md: not json is returned unchanged") << ExportFormat::Markdown << "just *text*\n"
                                                    << "just *text*\n";
    QTest::newRow("html: heading, list items as paragraphs") << ExportFormat::Html
        << R"([{"insert":"T"},{"attributes":{"header":1},"insert":"\n"},{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"e\n"}])"
        << page("<h1>T</h1>\n<p>a</p>\n<p>e</p>\n");
    QTest::newRow("html: empty lines are empty paragraphs") << ExportFormat::Html
        << R"([{"insert":"a\n\nb\n"}])" << page("<p>a</p>\n<p></p>\n<p>b</p>\n");
    QTest::newRow("html: inline wrapping order and escaping") << ExportFormat::Html
        << R"([{"insert":"<t&>","attributes":{"bold":true,"italic":true,"underline":true,"strike":true,"code":true,"link":"http://x?a=1&b=\""}},{"insert":"\n"}])"
        << page("<p><a "
                "href=\"http://x?a=1&amp;b=&quot;\"><code><del><u><em><strong>&lt;t&amp;&gt;</strong></em></u></del></"
                "code></a></p>\n");
    QTest::newRow("html: quote before code") << ExportFormat::Html
        << R"([{"insert":"q"},{"attributes":{"blockquote":true,"code-block":true},"insert":"\n"}])"
        << page("<blockquote>q</blockquote>\n");
    QTest::newRow("html: one pre element per code line") << ExportFormat::Html
        << R"([{"insert":"a"},{"attributes":{"code-block":true},"insert":"\n"},{"insert":"b"},{"attributes":{"code-block":true},"insert":"\n"},)"
           R"({"insert":"c"},{"attributes":{"code-block":true},"insert":"\n"}])"
        << page("<pre><code>a</code></pre>\n<pre><code>b</code></pre>\n<pre><code>c</code></pre>\n");
    QTest::newRow("html: divider") << ExportFormat::Html
        << R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":{"divider":"hr"}},{"insert":"\n"},{"insert":"b\n"}])"
        << page("<p>a</p>\n<hr>\n<p></p>\n<p>b</p>\n");
    QTest::newRow("html: table with header, bar and empty cell") << ExportFormat::Html
        << tableBody(R"([[[{"insert":"A"}],[{"insert":"B|C"}]],[[{"insert":"1"}],[]]])")
        << page(kTableOpen +
                "  <tr><th>A</th><th>B|C</th></tr>\n  <tr><td>1</td><td>&nbsp;</td></tr>\n</table>\n<p></p>\n");
    QTest::newRow("html: table without header, short rows, string cells") << ExportFormat::Html
        << tableBody(R"([["a<b","x\ny"],["d"]])", false)
        << page(kTableOpen +
                "  <tr><td>a&lt;b</td><td>x\ny</td></tr>\n  <tr><td>d</td><td>&nbsp;</td></tr>\n</table>\n<p></p>\n");
    QTest::newRow("html: cell lines and formatting, bold kept in header cells") << ExportFormat::Html
        << tableBody(
               R"([[[{"insert":"H","attributes":{"bold":true}}]],[[{"insert":"l1\nl2","attributes":{"italic":true}},{"insert":"\n"},{"insert":""},{"insert":"l3"}]]])")
        << page(kTableOpen + "  <tr><th><strong>H</strong></th></tr>\n  "
                             "<tr><td><em>l1<br>l2</em><br>l3</td></tr>\n</table>\n<p></p>\n");
    QTest::newRow("html: unusable tables give nothing") << ExportFormat::Html
        << R"([{"insert":{"table":"nope"}},{"insert":"\n"},{"insert":{"table":"{\"cells\":[[],[]]}"}},{"insert":"\n"}])"
        << page("<p></p>\n<p></p>\n");
    QTest::newRow("html: not json is returned unchanged") << ExportFormat::Html << "<b>raw</b>"
                                                    << "<b>raw</b>";
    QTest::newRow("text: texts joined, embeds left out") << ExportFormat::PlainText
        << R"([{"insert":"a"},{"insert":{"image":"x"}},{"attributes":{"header":1},"insert":"b\n"},{"retain":3},{"insert":"c"}])"
        << "ab\nc";
    QTest::newRow("text: not json") << ExportFormat::PlainText << "plain"
                              << "plain";
}

void tst_Export::convert()
{
    QFETCH(ExportFormat, format);
    QFETCH(QString, body);
    QFETCH(QString, expected);
    QCOMPARE(convertBody(body, format), expected);
    // PDF is printed from the same HTML.
    if (format == ExportFormat::Html)
        QCOMPARE(convertBody(body, ExportFormat::Pdf), expected);
}

void tst_Export::hostileBodies_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<int>("expectedSize");

    const QString megabyte(1 << 20, u'x');
    const QString longLine = R"([{"insert":")" + megabyte + R"(","attributes":{"bold":true}},{"insert":"\n"}])";
    QTest::newRow("megabyte line, markdown") << longLine << ExportFormat::Markdown << int(megabyte.size() + 5);
    const QString manyLines =
        R"([)" +
        QStringLiteral(R"({"insert":"item"},{"attributes":{"list":"bullet"},"insert":"\n"},)").repeated(100000) +
        R"({"insert":"\n"}])";
    QTest::newRow("100,000 list items, html") << manyLines << ExportFormat::Html << 100000 * 12 + 8 + 13 + 14;
    const QString nested = QString(100000, u'[') + QString(100000, u']');
    QTest::newRow("deeply nested json comes back unchanged") << nested << ExportFormat::Markdown << 200000;
    QTest::newRow("truncated json comes back unchanged") << R"([{"insert":"a)" << ExportFormat::Html << 13;
    const QString wide = tableBody(QByteArray("[[" + QByteArray("\"c\",").repeated(99999) + "\"c\"]]").constData());
    QTest::newRow("table of 100,000 columns")
        << wide << ExportFormat::Markdown << 100000 * 4 + 1 + 1 + 100000 * 6 + 1 + 1;
    QTest::newRow("invalid utf-8") << QString::fromUtf8(QByteArray("[{\"insert\":\"\xff\xfe\xc3\\n\"}]"))
                                   << ExportFormat::Markdown << 4;
    QTest::newRow("embed that is not an object, table that is not text")
        << R"([{"insert":{"table":5}},{"insert":{}},{"insert":{"divider":null}},{"insert":"\n"}])"
        << ExportFormat::Markdown << 5;
}

void tst_Export::hostileBodies()
{
    QFETCH(QString, body);
    QFETCH(ExportFormat, format);
    QFETCH(int, expectedSize);
    QCOMPARE(convertBody(body, format).size(), qsizetype(expectedSize));
}

void tst_Export::sanitize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("reserved characters removed, not replaced") << R"(a<b>c:d"e/f\g|h?i*j)"
                                                               << "abcdefghij";
    QTest::newRow("trimmed after removal") << "? Plan ?"
                                           << "Plan";
    QTest::newRow("cut then trimmed") << QString(49, u'a') + "  tail" << QString(49, u'a');
    QTest::newRow("only question marks") << "????"
                                         << "note";
    QTest::newRow("no half emoji at the cut") << QString(49, u'a') + QStringLiteral("\U0001F600b") << QString(49, u'a');
    QTest::newRow("unicode kept") << QStringLiteral("Grüße: 日本") << QStringLiteral("Grüße 日本");
}

void tst_Export::sanitize()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(sanitizeFileName(name), expected);
}

void tst_Export::suggestedName_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("expected");
    QTest::newRow("title from the first line")
        << R"([{"insert":"  Meeting: 10/12  \nsecond line\n"}])" << ExportFormat::Markdown << "Meeting 1012.md";
    QTest::newRow("pdf") << R"([{"insert":"Plan\n"}])" << ExportFormat::Pdf << "Plan.pdf";
    QTest::newRow("untitled note uses its id")
        << R"([{"insert":"\n"}])" << ExportFormat::PlainText << "note-0f1e2d3c.txt";
}

void tst_Export::suggestedName()
{
    QFETCH(QString, body);
    QFETCH(ExportFormat, format);
    QFETCH(QString, expected);
    QCOMPARE(suggestedFileName(noteWith(QStringLiteral("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"), body), format),
             expected);
}

void tst_Export::pageSize_data()
{
    QTest::addColumn<QLocale::Territory>("territory");
    QTest::addColumn<QPageSize::PageSizeId>("expected");
    QTest::newRow("United States") << QLocale::UnitedStates << QPageSize::Letter;
    QTest::newRow("Germany") << QLocale::Germany << QPageSize::A4;
    QTest::newRow("any") << QLocale::AnyTerritory << QPageSize::A4;
}

void tst_Export::pageSize()
{
    QFETCH(QLocale::Territory, territory);
    QFETCH(QPageSize::PageSizeId, expected);
    QCOMPARE(exportPageSize(territory), expected);
}

void tst_Export::writesFiles_data()
{
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("markdown") << ExportFormat::Markdown << QByteArray("# Grüße\n\nmore\n");
    QTest::newRow("html") << ExportFormat::Html
                          << QByteArray("<html><body>\n<h1>Grüße</h1>\n<p>more</p>\n</body></html>");
}

void tst_Export::writesFiles()
{
    QFETCH(ExportFormat, format);
    QFETCH(QByteArray, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("out"));
    // A longer file already there is replaced, not overwritten in place.
    QVERIFY(exportNote(noteWith(QStringLiteral("n"), QString(5000, u'z')), path, ExportFormat::PlainText).ok);
    const ExportResult result = exportNote(
        noteWith(
            QStringLiteral("n"),
            QStringLiteral(R"([{"insert":"Grüße"},{"attributes":{"header":1},"insert":"\n"},{"insert":"more\n"}])")),
        path, format);
    QVERIFY(result.ok);
    QCOMPARE(result.path, path);
    QCOMPARE(result.error, QString());
    QCOMPARE(readAll(path), expected);
}

void tst_Export::directoryPathFails()
{
    QTemporaryDir dir;
    for (ExportFormat format : {ExportFormat::Markdown, ExportFormat::Pdf}) {
        QTest::ignoreMessage(QtWarningMsg, "exportNote: cannot open the output file: Is a directory");
        const ExportResult result =
            exportNote(noteWith(QStringLiteral("n"), QStringLiteral(R"([{"insert":"x\n"}])")), dir.path(), format);
        QVERIFY(!result.ok);
        QCOMPARE(result.error, QStringLiteral("Failed to write file: Is a directory"));
        QCOMPARE(result.path, QString());
    }
}

void tst_Export::pdf()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    if (pdftotext.isEmpty() || pdfinfo.isEmpty())
        QSKIP("pdftotext and pdfinfo (poppler-utils) are needed to read the PDF back");

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("note.pdf"));
    const Note note = noteWith(
        QStringLiteral("n"),
        QStringLiteral(
            R"([{"insert":"Quarterly plan"},{"attributes":{"header":1},"insert":"\n"},)"
            R"({"insert":"Hire"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"Budget review\n"}])"));
    const ExportResult result = exportNote(note, path, ExportFormat::Pdf);
    QVERIFY(result.ok);
    QCOMPARE(result.path, path);
    QVERIFY(readAll(path).startsWith("%PDF-"));

    QProcess text;
    text.start(pdftotext, {QStringLiteral("-layout"), path, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(60000));
    QCOMPARE(text.exitCode(), 0);
    const QStringList words = QString::fromUtf8(text.readAllStandardOutput()).simplified().split(u' ');
    // The words in order, then the page number that printing adds at the foot of the page.
    QCOMPARE(words.join(u','), QStringLiteral("Quarterly,plan,Hire,Budget,review,1"));

    QProcess info;
    info.start(pdfinfo, {path});
    QVERIFY(info.waitForFinished(60000));
    const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
    const bool letter = exportPageSize(QLocale::system().territory()) == QPageSize::Letter;
    QVERIFY2(
        infoText.contains(letter ? QStringLiteral("612 x 792 pts (letter)") : QStringLiteral("595 x 842 pts (A4)")),
        qPrintable(infoText));
    QVERIFY(infoText.contains(QStringLiteral("Pages:           1")));

    // A body that is not Delta is printed from its raw text, read as HTML: hostile nesting must
    // neither hang the export nor lose the text.
    const QString rawPath = dir.filePath(QStringLiteral("raw.pdf"));
    QVERIFY(exportNote(noteWith(QStringLiteral("n"), QStringLiteral("<div>").repeated(100000) + QStringLiteral("deep")),
                       rawPath, ExportFormat::Pdf)
                .ok);
    text.start(pdftotext, {rawPath, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(text.readAllStandardOutput()).simplified(), QStringLiteral("deep 1"));
}

QTEST_MAIN(tst_Export)
#include "tst_Export.moc"
