#include "../TestLibrary.h"
#include "CaseFile.h"
#include "DeltaFormat.h"
#include "Export.h"
#include "MarkdownHtml.h"

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

template <typename Json> QString compact(const Json& json)
{
    return QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact));
}

// A body holding one table embed (with cells given as JSON text) and its line ending.
QString tableBody(const QByteArray& cellsJson)
{
    const QJsonObject table{{"cells", QJsonDocument::fromJson(cellsJson).array()}, {"hasHeader", true}};
    return compact(
        QJsonArray{QJsonObject{{"insert", QJsonObject{{"table", compact(table)}}}}, QJsonObject{{"insert", "\n"}}});
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The text of a Delta array, embeds shown as "[key]".
QString textOf(const QJsonArray& delta)
{
    QString text;
    for (const QJsonValue& op : delta) {
        const QJsonValue insert = op.toObject().value(QStringLiteral("insert"));
        if (insert.isString())
            text += insert.toString();
        else
            text += u'[' + insert.toObject().keys().value(0) + u']';
    }
    return text;
}

QString rep(const char* s, int n)
{
    return QString::fromLatin1(s).repeated(n);
}

} // namespace

// Markdown, HTML and plain text: read into Delta, and written from it.
class tst_Conversion : public QObject
{
    Q_OBJECT

private slots:
    void readers_data();
    void readers();
    void localResourcesAreNeverRead();
    void boundStructure_data();
    void boundStructure();
    void hostileInput_data();
    void hostileInput();
    void convert_data();
    void convert();
    void hostileBodies_data();
    void hostileBodies();
    void sanitize_data();
    void sanitize();
    void writesFiles();
    void pdf();
};

void tst_Conversion::readers_data()
{
    addCaseRows("markdown-html.json");
}

void tst_Conversion::readers()
{
    QFETCH(QJsonObject, c);
    const QString reader = c["reader"].toString(), input = c["input"].toString();
    const QJsonValue expected = c["expected"];
    QString got;
    if (reader == "looksLikeHtml")
        got = QString::number(looksLikeHtml(input));
    else if (reader == "looksLikeMarkdown")
        got = QString::number(looksLikeMarkdown(input));
    else if (reader == "simpleMarkdown")
        got = simpleMarkdownToDelta(input);
    else
        got = compact(reader == "html" ? htmlToDelta(input) : markdownToDelta(input));
    QCOMPARE(got, expected.isBool() ? QString::number(expected.toBool()) : caseText(expected));
}

void tst_Conversion::localResourcesAreNeverRead()
{
    QTemporaryDir dir;
    QFile css(dir.filePath(QStringLiteral("evil.css")));
    QVERIFY(css.open(QIODevice::WriteOnly));
    css.write("p { font-weight: bold; font-style: italic }");
    css.close();
    const QString url = QUrl::fromLocalFile(css.fileName()).toString();
    const QString html = QStringLiteral("<html><head><link rel=\"stylesheet\" href=\"%1\"></head>"
                                        "<body><style>@import \"%1\";</style><p>x</p></body></html>")
                             .arg(url);
    // Had either style sheet been read, the paragraph would be bold and italic.
    QCOMPARE(compact(::htmlToDelta(html)), QStringLiteral(R"([{"insert":"x"},{"insert":"\n"}])"));
}

void tst_Conversion::boundStructure_data()
{
    // clang-format off
    QTest::addColumn<bool>("markdown");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    const QString ordinary = R"(<p a="x>y">t<br><img src=x><b>b</b></p><!-- <div> --><ul><li>a<li>b</ul>)";
    QTest::newRow("html: ordinary html is untouched") << false << ordinary << ordinary;
    QTest::newRow("html: nesting cut at the limit, text kept") << false << rep("<div>", 200) + "x" + rep("</div>", 200)
        << rep("<div>", 128) + "x" + rep("</div>", 128);
    QTest::newRow("html: long lists are split") << false << "<ol start=3>" + rep("<li>i</li>", 401) + "</ol>"
        << "<ol start=3>" + rep("<li>i</li>", 400) + "</ol><ol start=3><li>i</li></ol>";

    const QString deep = rep("<b>", 200);
    QTest::newRow("md: raw html cut at the limit") << true << "x" + deep + "y" << "x" + rep("<b>", 128) + "y";
    // Code and text that only look like tags keep every bracket.
    const QList<QPair<const char*, QString>> kept = {{"fenced code", "```\n" + deep + "\n```\n"},
                                                     {"code span", "a `` " + deep + " `` b"},
                                                     {"autolinks and escapes", rep("<http://a> \\<b> ", 200)}};
    for (const auto& [name, text] : kept)
        QTest::addRow("md: %s untouched", name) << true << text << text;
    QTest::newRow("md: container markers cut at the limit") << true << rep("- ", 70) + "x\n" + rep("> 1. ", 40) + "y"
        << rep("- ", 64) + "x\n" + rep("> 1. ", 32) + "y";
    // clang-format on
}

void tst_Conversion::boundStructure()
{
    QFETCH(bool, markdown);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(markdown ? boundMarkdownStructure(input) : boundHtmlStructure(input), expected);
}

void tst_Conversion::hostileInput_data()
{
    // clang-format off
    QTest::addColumn<bool>("markdown");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("html: 100,000 nested div") << false << rep("<div>", 100000) + "x" + rep("</div>", 100000) << "x\n";
    QTest::newRow("html: 100,000 unclosed scripts") << false << rep("<script>", 100000) + "</nav>" << "\n";
    QTest::newRow("html: broken tags") << false << rep("<<a<b =\"'>x</ p <p <", 1000) << QString(1000, u'x') + "\n";
    QTest::newRow("html: unclosed comment") << false << "<p>a</p><!-- " + rep("<p>", 1000) << "a\n";
    QTest::newRow("html: invalid utf-8") << false << QString::fromUtf8("<p>\xff\xfe\xc3</p>")
        << QStringLiteral("\uFFFD\uFFFD\uFFFD\n");
    // The text engine puts a paragraph before and after a table at the document's edges.
    QTest::newRow("html: 100,000 nested tables") << false << rep("<table><tr><td>", 100000) + "t" << "\n[table]\n\n";

    // Every nesting level keeps its (empty) line; levels past the limit are left out.
    QTest::newRow("md: 100,000 nested lists") << true << rep("- ", 100000) + "x" << QString(64, u'\n') + "x\n";
    QTest::newRow("md: 100,000 unmatched backticks") << true << "a" + QString(100000, u'`') + "c"
        << "a" + QString(100000, u'`') + "c\n";
    // A line this long is read in pieces, so where the pieces meet lines may join: compared without breaks.
    QTest::newRow("md: invalid utf-8") << true << QString::fromUtf8("# \xff\xfe") << QStringLiteral("\uFFFD\uFFFD\n");
    // clang-format on
}

void tst_Conversion::hostileInput()
{
    QFETCH(bool, markdown);
    QFETCH(QString, input);
    QFETCH(QString, expectedText);
    QString text = textOf(markdown ? ::markdownToDelta(input) : ::htmlToDelta(input));
    if (!expectedText.contains(u'\n')) // a row expecting no line break compares without them
        text.remove(u'\n');
    QCOMPARE(text, expectedText);
}

void tst_Conversion::convert_data()
{
    addCaseRows("export.json");
}

void tst_Conversion::convert()
{
    QFETCH(QJsonObject, c);
    const QHash<QString, ExportFormat> formats{
        {"markdown", ExportFormat::Markdown}, {"html", ExportFormat::Html}, {"text", ExportFormat::PlainText}};
    const ExportFormat format = formats.value(c["format"].toString());
    const QString body = caseText(c["body"]), expected = c["expected"].toString();
    QCOMPARE(convertBody(body, format), expected);
    // PDF is printed from the same HTML.
    if (format == ExportFormat::Html)
        QCOMPARE(convertBody(body, ExportFormat::Pdf), expected);
}

void tst_Conversion::hostileBodies_data()
{
    // clang-format off
    QTest::addColumn<QString>("body");
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<int>("expectedSize");

    const QString megabyte(1 << 20, u'x');
    const QString longLine = R"([{"insert":")" + megabyte + R"(","attributes":{"bold":true}},{"insert":"\n"}])";
    const QString manyLines =
        R"([)" +
        QStringLiteral(R"({"insert":"item"},{"attributes":{"list":"bullet"},"insert":"\n"},)").repeated(100000) +
        R"({"insert":"\n"}])";
    QTest::newRow("100,000 list items, html") << manyLines << ExportFormat::Html << 100000 * 12 + 8 + 13 + 14;
    const QString nested = QString(100000, u'[') + QString(100000, u']');
    QTest::newRow("deeply nested json comes back unchanged") << nested << ExportFormat::Markdown << 200000;
    const QString wide = tableBody("[[" + QByteArray("\"c\",").repeated(99999) + "\"c\"]]");
    QTest::newRow("table of 100,000 columns") << wide << ExportFormat::Markdown
        << 100000 * 4 + 1 + 1 + 100000 * 6 + 1 + 1;
    QTest::newRow("invalid utf-8") << QString::fromUtf8(QByteArray("[{\"insert\":\"\xff\xfe\xc3\\n\"}]"))
        << ExportFormat::Markdown << 4;
    QTest::newRow("embed that is not an object, table that is not text")
        << R"([{"insert":{"table":5}},{"insert":{}},{"insert":{"divider":null}},{"insert":"\n"}])"
        << ExportFormat::Markdown << 5;
    // clang-format on
}

void tst_Conversion::hostileBodies()
{
    QFETCH(QString, body);
    QFETCH(ExportFormat, format);
    QFETCH(int, expectedSize);
    QCOMPARE(convertBody(body, format).size(), qsizetype(expectedSize));
}

void tst_Conversion::sanitize_data()
{
    addCaseRows("file-names.json");
}

void tst_Conversion::sanitize()
{
    QFETCH(QJsonObject, c);
    QCOMPARE(sanitizeFileName(c["name"].toString()), c["expected"].toString());
}

void tst_Conversion::writesFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("out"));
    // A longer file already there is replaced, not overwritten in place.
    QVERIFY(exportNote(makeNote(QStringLiteral("n"), QString(5000, u'z')), path, ExportFormat::PlainText).ok);
    const ExportResult result =
        exportNote(makeNote(QStringLiteral("n"),
                            R"([{"insert":"Grüße"},{"attributes":{"header":1},"insert":"\n"},{"insert":"more\n"}])"),
                   path, ExportFormat::Markdown);
    QVERIFY(result.ok);
    QCOMPARE(result.error, QString());
    QCOMPARE(readAll(path), QByteArray("# Grüße\n\nmore\n"));
}

void tst_Conversion::pdf()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is needed to read the PDF back");

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("note.pdf"));
    const Note note =
        makeNote(QStringLiteral("n"),
                 R"([{"insert":"Quarterly plan"},{"attributes":{"header":1},"insert":"\n"},)"
                 R"({"insert":"Hire"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"Budget review\n"}])");
    QVERIFY(exportNote(note, path, ExportFormat::Pdf).ok);
    QVERIFY(readAll(path).startsWith("%PDF-"));

    QProcess text;
    text.start(pdftotext, {QStringLiteral("-layout"), path, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(60000));
    QCOMPARE(text.exitCode(), 0);
    const QStringList words = QString::fromUtf8(text.readAllStandardOutput()).simplified().split(u' ');
    // The words in order, then the page number that printing adds at the foot of the page.
    QCOMPARE(words.join(u','), QStringLiteral("Quarterly,plan,Hire,Budget,review,1"));

    // A body that is not Delta is printed from its raw text, read as HTML: hostile nesting must
    // neither hang the export nor lose the text.
    const QString rawPath = dir.filePath(QStringLiteral("raw.pdf"));
    QVERIFY(exportNote(makeNote(QStringLiteral("n"), QStringLiteral("<div>").repeated(100000) + QStringLiteral("deep")),
                       rawPath, ExportFormat::Pdf)
                .ok);
    text.start(pdftotext, {rawPath, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(text.readAllStandardOutput()).simplified(), QStringLiteral("deep 1"));
}

QTEST_MAIN(tst_Conversion)
#include "tst_Conversion.moc"
