#include "CaseFile.h"
#include "DeltaFormat.h"
#include "MarkdownHtml.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString compact(const QJsonArray& delta)
{
    return QString::fromUtf8(QJsonDocument(delta).toJson(QJsonDocument::Compact));
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

} // namespace

class tst_MarkdownHtml : public QObject
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
};

void tst_MarkdownHtml::readers_data()
{
    // clang-format off
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    const QJsonArray cases = readCases("markdown-html.json");
    QVERIFY(!cases.isEmpty());
    for (const QJsonValue& c : cases) {
        const QJsonValue expected = c["expected"];
        QTest::newRow(qPrintable(c["case"].toString())) << c["reader"].toString() << c["input"].toString()
            << (expected.isBool() ? QString::number(expected.toBool()) : caseText(expected));
    }
    // clang-format on
}

void tst_MarkdownHtml::readers()
{
    QFETCH(QString, reader);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QString got;
    if (reader == "looksLikeHtml")
        got = QString::number(looksLikeHtml(input));
    else if (reader == "looksLikeMarkdown")
        got = QString::number(looksLikeMarkdown(input));
    else if (reader == "simpleMarkdown")
        got = simpleMarkdownToDelta(input);
    else
        got = compact(reader == "html" ? htmlToDelta(input) : markdownToDelta(input));
    QCOMPARE(got, expected);
}

void tst_MarkdownHtml::localResourcesAreNeverRead()
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

void tst_MarkdownHtml::boundStructure_data()
{
    // clang-format off
    QTest::addColumn<bool>("markdown");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    const auto rep = [](const char* s, int n) {
        return QString::fromLatin1(s).repeated(n);
    };
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

void tst_MarkdownHtml::boundStructure()
{
    QFETCH(bool, markdown);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(markdown ? boundMarkdownStructure(input) : boundHtmlStructure(input), expected);
}

void tst_MarkdownHtml::hostileInput_data()
{
    // clang-format off
    QTest::addColumn<bool>("markdown");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expectedText");

    const auto rep = [](const char* s, int n) {
        return QString::fromLatin1(s).repeated(n);
    };
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

void tst_MarkdownHtml::hostileInput()
{
    QFETCH(bool, markdown);
    QFETCH(QString, input);
    QFETCH(QString, expectedText);
    QString text = textOf(markdown ? ::markdownToDelta(input) : ::htmlToDelta(input));
    if (!expectedText.contains(u'\n')) // a row expecting no line break compares without them
        text.remove(u'\n');
    QCOMPARE(text, expectedText);
}

QTEST_MAIN(tst_MarkdownHtml)
#include "tst_MarkdownHtml.moc"
