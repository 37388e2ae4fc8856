#include "CaseFile.h"
#include "DeltaFormat.h"
#include "MarkdownHtml.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

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

// The one table embed of an array, as its compact JSON text.
QString tableOf(const QJsonArray& delta)
{
    for (const QJsonValue& op : delta) {
        const QJsonObject insert = op.toObject().value(QStringLiteral("insert")).toObject();
        if (insert.contains(QStringLiteral("table")))
            return insert.value(QStringLiteral("table")).toString();
    }
    return {};
}

} // namespace

class tst_MarkdownHtml : public QObject
{
    Q_OBJECT

private slots:
    void readers_data();
    void readers();
    void pasteDecision_data();
    void pasteDecision();
    void stripMatchesTheExpression();
    void htmlTables();
    void localResourcesAreNeverRead();
    void insertDeltaAtCursor();
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

void tst_MarkdownHtml::pasteDecision_data()
{
    // clang-format off
    QTest::addColumn<QByteArray>("markdown"); // null: format absent
    QTest::addColumn<QString>("html");        // null: absent
    QTest::addColumn<QString>("text");        // null: absent
    QTest::addColumn<int>("route");
    QTest::addColumn<QString>("source");

    const QString null;
    QTest::newRow("markdown first") << QByteArray("# Grüße") << "<p>h</p>" << "t" << int(PasteDecision::FromMarkdown)
        << QStringLiteral("# Grüße");
    QTest::newRow("html before text") << QByteArray() << "<p>h</p>" << "- t" << int(PasteDecision::FromHtml)
        << "<p>h</p>";
    QTest::newRow("text that looks like html") << QByteArray() << null << "<p>- x</p>" << int(PasteDecision::FromHtml)
        << "<p>- x</p>";
    QTest::newRow("plain text") << QByteArray() << null << "just words" << int(PasteDecision::DefaultInsert) << null;
    QTest::newRow("nothing usable") << QByteArray() << null << null << int(PasteDecision::DefaultInsert) << null;
    // clang-format on
}

void tst_MarkdownHtml::pasteDecision()
{
    QFETCH(QByteArray, markdown);
    QFETCH(QString, html);
    QFETCH(QString, text);
    QFETCH(int, route);
    QFETCH(QString, source);
    QMimeData data;
    if (!markdown.isNull())
        data.setData(QStringLiteral("text/markdown"), markdown.toStdString().c_str());
    if (!html.isNull())
        data.setHtml(html);
    if (!text.isNull())
        data.setText(text);
    data.setData(QStringLiteral("image/png"), "png");
    const PasteDecision decision = decidePaste(data);
    QCOMPARE(int(decision.route), route);
    QCOMPARE(decision.source, source);
    QCOMPARE(pasteToDelta(decision).isEmpty(), route == PasteDecision::DefaultInsert);
}

void tst_MarkdownHtml::stripMatchesTheExpression()
{
    // The hand-written scan must remove exactly what the expression removes.
    const QRegularExpression reference(
        QStringLiteral("<(script|style|nav|header|footer|aside|iframe|noscript)[^>]*>.*?</\\1>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QStringList pieces = {"<script>",   "</script>",  "<SCRIPT a='>'>",
                                "<nav",       "</NAV>",     "<style",
                                ">",          "x",          "</style>",
                                "<",          "</",         "<iframe>",
                                "</iframe >", "<noscript>", "</noScript>",
                                "\n",         "<header x>", "</header>",
                                "<aside>",    "</aside>",   "<p>",
                                "</footer>",  "<footer>",   "<scripts>",
                                "<nav>"};
    QRandomGenerator random(20240311);
    for (int i = 0; i < 5000; ++i) {
        QString html;
        const int count = random.bounded(1, 14);
        for (int k = 0; k < count; ++k)
            html += pieces.at(random.bounded(int(pieces.size())));
        QString expected = html;
        expected.remove(reference);
        QCOMPARE(stripNonContentHtml(html), expected);
    }
}

void tst_MarkdownHtml::htmlTables()
{
    const QJsonArray delta = ::htmlToDelta(
        QStringLiteral("<p>before</p><table><thead><tr><th>A</th><th>B</th></tr></thead>"
                       "<tr><td>1</td><td><table><tr><td>inner</td></tr></table></td></tr></table><p>after</p>"));
    // The text engine keeps a paragraph after every table; it becomes an empty line.
    QCOMPARE(textOf(delta), QStringLiteral("before\n[table]\n\nafter\n"));
    // The inner table is part of the outer cell, not an embed of its own.
    QCOMPARE(tableOf(delta),
             QStringLiteral(
                 R"({"cells":[[[{"attributes":{"bold":true},"insert":"A"}],)"
                 R"([{"attributes":{"bold":true},"insert":"B"}]],)"
                 R"([[{"insert":"1"}],[{"insert":"\n"},{"insert":"inner"},{"insert":"\n"}]]],"hasHeader":true})"));
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

void tst_MarkdownHtml::insertDeltaAtCursor()
{
    QTextDocument document;
    document.setPlainText(QStringLiteral("ab"));
    QTextCursor cursor(&document);
    cursor.setPosition(1);

    insertDelta(cursor, QJsonArray());
    QCOMPARE(document.toPlainText(), QStringLiteral("ab"));
    QCOMPARE(document.availableUndoSteps(), 0);

    const QJsonArray delta =
        QJsonDocument::fromJson(R"([{"insert":"x","attributes":{"bold":true}},{"insert":"\n"},)"
                                R"({"insert":"y"},{"insert":"\n"},{"insert":"\n"},{"insert":"\n"}])")
            .array();
    insertDelta(cursor, delta);
    // Trailing empty lines are not pasted.
    QCOMPARE(document.toPlainText(), QStringLiteral("ax\nyb"));
    QTextCursor probe(&document);
    probe.setPosition(2);
    QCOMPARE(probe.charFormat().fontWeight(), 700);
    // One paste is one undo step.
    document.undo();
    QCOMPARE(document.toPlainText(), QStringLiteral("ab"));
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
    QTest::newRow("html: unclosed siblings do not nest") << false << "<ul>" + rep("<li>a", 300)
        << "<ul>" + rep("<li>a", 300);
    QTest::newRow("html: long lists are split") << false << "<ol start=3>" + rep("<li>i</li>", 401) + "</ol>"
        << "<ol start=3>" + rep("<li>i</li>", 400) + "</ol><ol start=3><li>i</li></ol>";
    QTest::newRow("html: void elements without content are left out") << false << "<p>a<input type=x>b<wbr></p>"
        << "<p>ab</p>";
    QTest::newRow("html: unterminated tag at the end") << false << "<p>a<b" << "<p>a<b";

    const QString deep = rep("<b>", 200);
    QTest::newRow("md: raw html cut at the limit") << true << "x" + deep + "y" << "x" + rep("<b>", 128) + "y";
    // Code and text that only look like tags keep every bracket.
    const QList<QPair<const char*, QString>> kept = {{"fenced code", "```\n" + deep + "\n```\n"},
                                                     {"tilde fence", "~~~~ c\n" + deep + "\n~~~\n" + deep},
                                                     {"code span", "a `` " + deep + " `` b"},
                                                     {"indented code", "    " + deep},
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
    QTest::newRow("html: 100,000 nested ul") << false << rep("<ul><li>", 100000) + "x" << "x\n";
    QTest::newRow("html: 100,000 unclosed b, then stray ends") << false
        << rep("<b>", 100000) + "x" + rep("</i>", 100000) << "x\n";
    QTest::newRow("html: 100,000 unknown elements") << false << rep("<x1>", 100000) + "y" << "y\n";
    QTest::newRow("html: 100,000 processing instructions") << false << rep("<?x>", 100000) + "y" << "y\n";
    QTest::newRow("html: 100,000 void inputs") << false << rep("<input>", 100000) + "y" << "y\n";
    QTest::newRow("html: 20,000 list items") << false << "<ul>" + rep("<li>i</li>", 20000) + "</ul>"
        << rep("i\n", 20000);
    QTest::newRow("html: megabyte line") << false << "<p>" + QString(1 << 20, u'z') + "</p>"
        << QString(1 << 20, u'z') + "\n";
    QTest::newRow("html: 100,000 unclosed scripts") << false << rep("<script>", 100000) + "</nav>" << "\n";
    QTest::newRow("html: broken tags") << false << rep("<<a<b =\"'>x</ p <p <", 1000) << QString(1000, u'x') + "\n";
    QTest::newRow("html: unclosed comment") << false << "<p>a</p><!-- " + rep("<p>", 1000) << "a\n";
    QTest::newRow("html: invalid utf-8") << false << QString::fromUtf8("<p>\xff\xfe\xc3</p>")
        << QStringLiteral("\uFFFD\uFFFD\uFFFD\n");
    // The text engine puts a paragraph before and after a table at the document's edges.
    QTest::newRow("html: 100,000 nested tables") << false << rep("<table><tr><td>", 100000) + "t" << "\n[table]\n\n";

    // Every nesting level keeps its (empty) line; levels past the limit are left out.
    QTest::newRow("md: 100,000 nested lists") << true << rep("- ", 100000) + "x" << QString(64, u'\n') + "x\n";
    QTest::newRow("md: 100,000 nested quotes") << true << QString(100000, u'>') + " q" << "q\n";
    QTest::newRow("md: 20,000 links on one line") << true << rep("[a](b) ", 20000) << rep("a ", 19999) + "a\n";
    QTest::newRow("md: 100,000 unmatched backticks") << true << "a" + QString(100000, u'`') + "c"
        << "a" + QString(100000, u'`') + "c\n";
    QTest::newRow("md: a fence of 100,000 backticks") << true << QString(100000, u'`') + "c\ncode" << "code\n";
    QTest::newRow("md: megabyte line") << true << QString(1 << 20, u'w') << QString(1 << 20, u'w') + "\n";
    QTest::newRow("md: 100,000 nested html divs, closed") << true << rep("<div>", 100000) + "h" + rep("</div>", 100000)
        << "h\n";
    QTest::newRow("md: 100,000 nested inline tags") << true << "x" + rep("<b>", 100000) + "y" + rep("</b>", 100000)
        << "xy\n";
    // A line this long is read in pieces, so where the pieces meet lines may join: compared without breaks.
    QTest::newRow("md: 20,000 html elements on one line") << true << rep("<div>a</div> ", 20000)
        << QString(20000, u'a');
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
