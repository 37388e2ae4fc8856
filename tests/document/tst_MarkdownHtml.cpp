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
    void looksLikeHtml_data();
    void looksLikeHtml();
    void looksLikeMarkdown_data();
    void looksLikeMarkdown();
    void pasteDecision_data();
    void pasteDecision();
    void stripNonContent_data();
    void stripNonContent();
    void stripMatchesTheExpression();
    void htmlToDelta_data();
    void htmlToDelta();
    void htmlTables();
    void localResourcesAreNeverRead();
    void markdownToDelta_data();
    void markdownToDelta();
    void markdownTable();
    void simpleMarkdown_data();
    void simpleMarkdown();
    void insertDeltaAtCursor();
    void boundHtml_data();
    void boundHtml();
    void boundMarkdown_data();
    void boundMarkdown();
    void hostileHtml_data();
    void hostileHtml();
    void hostileMarkdown_data();
    void hostileMarkdown();
};

void tst_MarkdownHtml::looksLikeHtml_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    QTest::newRow("starts with a bold element") << "<b>bold</b> and more" << true;
    QTest::newRow("word before the element") << "word <b>bold</b>" << false;
    QTest::newRow("doctype") << "<!DOCTYPE html><x>" << true;
    QTest::newRow("html, any case") << "<HTML><foo>" << true;
    QTest::newRow("head") << "<head></head>" << true;
    QTest::newRow("leading white space") << "  \n <div>x</div>" << true;
    QTest::newRow("unknown element only") << "<custom>thing</custom>" << false;
    QTest::newRow("known element later") << "<custom><p>x</p></custom>" << true;
    QTest::newRow("element name must end") << "<bold>x</bold>" << false;
    QTest::newRow("self-closing break") << "<br/>" << true;
    QTest::newRow("comparison") << "< b > c" << false;
    QTest::newRow("lone bracket") << "<" << false;
    QTest::newRow("empty") << "" << false;
}

void tst_MarkdownHtml::looksLikeHtml()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(::looksLikeHtml(text), expected);
}

void tst_MarkdownHtml::looksLikeMarkdown_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    QTest::newRow("asterisk mid-line") << "a * b is plain" << false;
    QTest::newRow("dash item") << "intro\n- item" << true;
    QTest::newRow("dash without space") << "-item" << false;
    QTest::newRow("plus item, indented") << "   + item" << true;
    QTest::newRow("emphasis at line start") << "*emphasis* only" << false;
    QTest::newRow("heading") << "# Title" << true;
    QTest::newRow("hash without space") << "#hashtag" << false;
    QTest::newRow("seven hashes") << "####### x" << false;
    QTest::newRow("indented four") << "    # code" << false;
    QTest::newRow("numbered") << "1. first" << true;
    QTest::newRow("number without space") << "1.5 litres" << false;
    QTest::newRow("quote") << "> said" << true;
    QTest::newRow("fence") << "```\ncode" << true;
    QTest::newRow("table row") << "| a | b |" << true;
    QTest::newRow("link") << "see [docs](http://x) now" << true;
    QTest::newRow("empty link parts") << "[]() and [x]()" << false;
    QTest::newRow("rule") << "text\n---\nmore" << true;
    QTest::newRow("setext underline") << "Title\n=====" << true;
    QTest::newRow("two dashes") << "text\n--" << false;
    QTest::newRow("plain lines") << "plain text\nsecond line" << false;
    QTest::newRow("empty") << "" << false;
}

void tst_MarkdownHtml::looksLikeMarkdown()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(::looksLikeMarkdown(text), expected);
}

void tst_MarkdownHtml::pasteDecision_data()
{
    QTest::addColumn<QByteArray>("markdown"); // null: format absent
    QTest::addColumn<QString>("html");        // null: absent
    QTest::addColumn<QString>("text");        // null: absent
    QTest::addColumn<int>("route");
    QTest::addColumn<QString>("source");

    const QString null;
    QTest::newRow("markdown first") << QByteArray("# Grüße") << "<p>h</p>"
                                    << "t" << int(PasteDecision::FromMarkdown) << QStringLiteral("# Grüße");
    QTest::newRow("html before text") << QByteArray() << "<p>h</p>"
                                      << "- t" << int(PasteDecision::FromHtml) << "<p>h</p>";
    QTest::newRow("text that looks like html")
        << QByteArray() << null << "<p>- x</p>" << int(PasteDecision::FromHtml) << "<p>- x</p>";
    QTest::newRow("text that looks like markdown")
        << QByteArray() << null << "- x" << int(PasteDecision::FromMarkdown) << "- x";
    QTest::newRow("plain text") << QByteArray() << null << "just words" << int(PasteDecision::DefaultInsert) << null;
    QTest::newRow("nothing usable") << QByteArray() << null << null << int(PasteDecision::DefaultInsert) << null;
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

void tst_MarkdownHtml::stripNonContent_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    QTest::newRow("script and style, any case") << "<p>a</p><SCRIPT type='x'>bad()</script><style>p{}</STYLE><p>b</p>"
                                                << "<p>a</p><p>b</p>";
    QTest::newRow("content over lines") << "x<nav>\n<a href='/'>Home</a>\n</nav>y"
                                        << "xy";
    QTest::newRow("all kinds")
        << "<header>h</header><footer>f</footer><aside>a</aside><iframe src=x></iframe><noscript>n</noscript>k"
        << "k";
    QTest::newRow("unclosed element stays") << "<script>never closed <p>x</p>"
                                            << "<script>never closed <p>x</p>";
    QTest::newRow("up to the first end tag") << "<nav><nav>x</nav>y</nav>"
                                             << "y</nav>";
    QTest::newRow("longer name with the prefix") << "<scripts>x</script>z"
                                                 << "z";
    QTest::newRow("head is kept") << "<head><title>t</title></head>"
                                  << "<head><title>t</title></head>";
    QTest::newRow("start tag ends at the first bracket") << "<style a</style>"
                                                         << "<style a</style>";
    QTest::newRow("start tag without end") << "<style"
                                           << "<style";
}

void tst_MarkdownHtml::stripNonContent()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(stripNonContentHtml(html), expected);
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

void tst_MarkdownHtml::htmlToDelta_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");

    QTest::newRow("heading and paragraph")
        << "<h2>Title</h2><p>Body</p>"
        << R"([{"attributes":{"bold":true},"insert":"Title"},{"attributes":{"header":2},"insert":"\n"},{"insert":"Body"},{"insert":"\n"}])";
    QTest::newRow("character formats")
        << "<p><b>b</b><i>i</i><u>u</u><s>s</s><code>c</code><a href=\"http://x\">l</a><a href=\"\">e</a></p>"
        << R"([{"attributes":{"bold":true},"insert":"b"},{"attributes":{"italic":true},"insert":"i"},{"attributes":{"underline":true},"insert":"u"},)"
           R"({"attributes":{"strike":true},"insert":"s"},{"attributes":{"code":true},"insert":"c"},{"attributes":{"link":"http://x"},"insert":"l"},)"
           R"({"insert":"e"},{"insert":"\n"}])";
    QTest::newRow("lists")
        << "<ul><li>a</li></ul><ol><li>b</li></ol><ol type=\"a\"><li>c</li></ol><ul type=\"square\"><li>d</li></ul>"
        << R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"ordered"},"insert":"\n"},)"
           R"({"insert":"c"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"d"},{"attributes":{"list":"bullet"},"insert":"\n"}])";
    QTest::newRow("attachment image and web image")
        << "<p>x<img src=\"norvane-notes://attachment/abc\"><img src=\"https://example.com/a.png\"></p>"
        << R"([{"insert":"x"},{"insert":{"norvane-notes-attachment":"norvane-notes://attachment/abc"}},)"
           R"({"insert":{"image":"https://example.com/a.png"}},{"insert":"\n"}])";
    QTest::newRow("the same image twice gives two embeds")
        << "<img src=\"norvane-notes://attachment/a\"><img src=\"norvane-notes://attachment/a\">"
        << R"([{"insert":{"norvane-notes-attachment":"norvane-notes://attachment/a"}},)"
           R"({"insert":{"norvane-notes-attachment":"norvane-notes://attachment/a"}},{"insert":"\n"}])";
    QTest::newRow("scripts, styles and navigation never arrive")
        << "<style>p { font-weight: bold }</style><p>keep</p><script>document.write('evil')</script>"
           "<nav><a href=\"/\">Home</a></nav><p>also</p>"
        << R"([{"insert":"keep"},{"insert":"\n"},{"insert":"also"},{"insert":"\n"}])";
    QTest::newRow("object characters are removed")
        << QStringLiteral("<p>a\uFFFCb</p>") << R"([{"insert":"ab"},{"insert":"\n"}])";
    QTest::newRow("quotes and rules are not recognised")
        << "<blockquote>q</blockquote><hr><p align=\"center\">c</p>"
        << R"([{"insert":"q"},{"insert":"\n"},{"insert":"\n"},{"insert":"c"},{"insert":"\n"}])";
    QTest::newRow("document without text") << "<html><body></body></html>"
                                           << R"([{"insert":"\n"}])";
    QTest::newRow("only a script") << "<script>x()</script>"
                                   << R"([{"insert":"\n"}])";
    QTest::newRow("blank text") << " \n\t "
                                << R"([{"insert":"\n"}])";
    QTest::newRow("empty text") << ""
                                << R"([{"insert":"\n"}])";
}

void tst_MarkdownHtml::htmlToDelta()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(compact(::htmlToDelta(html)), expected);
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

void tst_MarkdownHtml::markdownToDelta_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("expected");
    QTest::newRow("heading and text")
        << "# Title\n\nSome text"
        << R"([{"attributes":{"bold":true},"insert":"Title"},{"attributes":{"header":1},"insert":"\n"},{"insert":"Some text"},{"insert":"\n"}])";
    QTest::newRow("inline formats")
        << "**b** *i* `c` [l](http://x) ~~s~~"
        << R"([{"attributes":{"bold":true},"insert":"b"},{"insert":" "},{"attributes":{"italic":true},"insert":"i"},{"insert":" "},)"
           R"({"attributes":{"code":true},"insert":"c"},{"insert":" "},{"attributes":{"link":"http://x"},"insert":"l"},{"insert":" "},)"
           R"({"attributes":{"strike":true},"insert":"s"},{"insert":"\n"}])";
    QTest::newRow("check items arrive as bullets")
        << "- [ ] open\n- [x] done\n1. one"
        << R"([{"insert":"open"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"done"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
           R"({"insert":"one"},{"attributes":{"list":"ordered"},"insert":"\n"}])";
    QTest::newRow("attachment image")
        << "![pic](norvane-notes://attachment/abc)"
        << R"([{"insert":{"norvane-notes-attachment":"norvane-notes://attachment/abc"}},{"insert":"\n"}])";
    QTest::newRow("embedded script never arrives") << "<script>alert(1)</script>\n\ntext"
                                                   << R"([{"insert":"text"},{"insert":"\n"}])";
    QTest::newRow("blank") << "  \n "
                           << R"([{"insert":"\n"}])";
}

void tst_MarkdownHtml::markdownToDelta()
{
    QFETCH(QString, markdown);
    QFETCH(QString, expected);
    QCOMPARE(compact(::markdownToDelta(markdown)), expected);
}

void tst_MarkdownHtml::markdownTable()
{
    const QJsonArray delta = ::markdownToDelta(QStringLiteral("| a | b |\n|---|---|\n| 1 | |\n"));
    // Rendering Markdown leaves a paragraph before and after the table.
    QCOMPARE(textOf(delta), QStringLiteral("\n[table]\n\n"));
    QCOMPARE(
        tableOf(delta),
        QStringLiteral(R"({"cells":[[[{"attributes":{"bold":true},"insert":"a"}],)"
                       R"([{"attributes":{"bold":true},"insert":"b"}]],[[{"insert":"1"}],[]]],"hasHeader":false})"));
}

void tst_MarkdownHtml::simpleMarkdown_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bold, plain, italic")
        << "**Bold** and *italic*\n"
        << R"([{"attributes":{"bold":true},"insert":"Bold"},{"insert":" and "},{"attributes":{"italic":true},"insert":"italic"},{"insert":"\n"}])";
    QTest::newRow("bold and italic together")
        << "***x***"
        << R"([{"attributes":{"bold":true,"italic":true},"insert":"x"},{"insert":"\n"}])";
    QTest::newRow("unclosed bold runs to the end")
        << "a **b"
        << R"([{"insert":"a "},{"attributes":{"bold":true},"insert":"b"},{"insert":"\n"}])";
    QTest::newRow("headings")
        << "# H1\n## H2\n### H3\n#### H4\n"
        << R"([{"insert":"H1"},{"attributes":{"header":1},"insert":"\n"},{"insert":"H2"},{"attributes":{"header":2},"insert":"\n"},)"
           R"({"insert":"H3"},{"attributes":{"header":3},"insert":"\n"},{"insert":"#### H4"},{"insert":"\n"}])";
    QTest::newRow("lists and quote")
        << "- [ ] a\n- [x] b\n- [X] c\n- d\n* e\n> q\n 12. n\n"
        << R"([{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"checked"},"insert":"\n"},)"
           R"({"insert":"c"},{"attributes":{"list":"checked"},"insert":"\n"},{"insert":"d"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
           R"({"insert":"e"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"q"},{"attributes":{"blockquote":true},"insert":"\n"},)"
           R"({"insert":"n"},{"attributes":{"list":"ordered"},"insert":"\n"}])";
    QTest::newRow("empty lines kept, last one dropped")
        << "a\n\nb\n"
        << R"([{"insert":"a"},{"insert":"\n"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])";
    QTest::newRow("no final newline") << "a"
                                      << R"([{"insert":"a"},{"insert":"\n"}])";
    QTest::newRow("empty") << ""
                           << "[]";
}

void tst_MarkdownHtml::simpleMarkdown()
{
    QFETCH(QString, markdown);
    QFETCH(QString, expected);
    QCOMPARE(simpleMarkdownToDelta(markdown), expected);
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

void tst_MarkdownHtml::boundHtml_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");
    const auto rep = [](const char* s, int n) {
        return QString::fromLatin1(s).repeated(n);
    };
    QTest::newRow("ordinary html is untouched")
        << R"(<p a="x>y">t<br><img src=x><b>b</b></p><!-- <div> --><ul><li>a<li>b</ul>)"
        << R"(<p a="x>y">t<br><img src=x><b>b</b></p><!-- <div> --><ul><li>a<li>b</ul>)";
    QTest::newRow("nesting cut at the limit, text kept")
        << rep("<div>", 200) + "x" + rep("</div>", 200) << rep("<div>", 128) + "x" + rep("</div>", 128);
    QTest::newRow("unclosed siblings do not nest") << "<ul>" + rep("<li>a", 300) << "<ul>" + rep("<li>a", 300);
    QTest::newRow("long lists are split")
        << "<ol start=3>" + rep("<li>i</li>", 401) + "</ol>"
        << "<ol start=3>" + rep("<li>i</li>", 400) + "</ol><ol start=3><li>i</li></ol>";
    QTest::newRow("void elements without content are left out") << "<p>a<input type=x>b<wbr></p>"
                                                                << "<p>ab</p>";
    QTest::newRow("unterminated tag at the end") << "<p>a<b"
                                                 << "<p>a<b";
}

void tst_MarkdownHtml::boundHtml()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(boundHtmlStructure(html), expected);
}

void tst_MarkdownHtml::boundMarkdown_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("expected");
    const QString deep = QStringLiteral("<b>").repeated(200);
    QTest::newRow("raw html cut at the limit") << "x" + deep + "y"
                                               << "x" + QStringLiteral("<b>").repeated(128) + "y";
    QTest::newRow("fenced code untouched") << "```\n" + deep + "\n```\n"
                                           << "```\n" + deep + "\n```\n";
    QTest::newRow("tilde fence untouched")
        << "~~~~ c\n" + deep + "\n~~~\n" + deep << "~~~~ c\n" + deep + "\n~~~\n" + deep;
    QTest::newRow("code span untouched") << "a `` " + deep + " `` b"
                                         << "a `` " + deep + " `` b";
    QTest::newRow("indented code untouched") << "    " + deep << "    " + deep;
    QTest::newRow("autolinks and escapes are text")
        << QStringLiteral("<http://a> \\<b> ").repeated(200) << QStringLiteral("<http://a> \\<b> ").repeated(200);
    QTest::newRow("container markers cut at the limit")
        << QStringLiteral("- ").repeated(70) + "x\n" + QStringLiteral("> 1. ").repeated(40) + "y"
        << QStringLiteral("- ").repeated(64) + "x\n" + QStringLiteral("> 1. ").repeated(32) + "y";
}

void tst_MarkdownHtml::boundMarkdown()
{
    QFETCH(QString, markdown);
    QFETCH(QString, expected);
    QCOMPARE(boundMarkdownStructure(markdown), expected);
}

void tst_MarkdownHtml::hostileHtml_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("100,000 nested div") << QStringLiteral("<div>").repeated(100000) + "x" +
                                               QStringLiteral("</div>").repeated(100000)
                                        << "x\n";
    QTest::newRow("100,000 nested ul") << QStringLiteral("<ul><li>").repeated(100000) + "x"
                                       << "x\n";
    QTest::newRow("100,000 unclosed b, then stray ends")
        << QStringLiteral("<b>").repeated(100000) + "x" + QStringLiteral("</i>").repeated(100000) << "x\n";
    QTest::newRow("100,000 unknown elements") << QStringLiteral("<x1>").repeated(100000) + "y"
                                              << "y\n";
    QTest::newRow("100,000 processing instructions") << QStringLiteral("<?x>").repeated(100000) + "y"
                                                     << "y\n";
    QTest::newRow("100,000 void inputs") << QStringLiteral("<input>").repeated(100000) + "y"
                                         << "y\n";
    QTest::newRow("20,000 list items") << "<ul>" + QStringLiteral("<li>i</li>").repeated(20000) + "</ul>"
                                       << QStringLiteral("i\n").repeated(20000);
    QTest::newRow("megabyte line") << "<p>" + QString(1 << 20, u'z') + "</p>" << QString(1 << 20, u'z') + "\n";
    QTest::newRow("100,000 unclosed scripts") << QStringLiteral("<script>").repeated(100000) + "</nav>"
                                              << "\n";
    QTest::newRow("broken tags") << QStringLiteral("<<a<b =\"'>x</ p <p <").repeated(1000)
                                 << QString(1000, u'x') + "\n";
    QTest::newRow("unclosed comment") << "<p>a</p><!-- " + QStringLiteral("<p>").repeated(1000) << "a\n";
    QTest::newRow("invalid utf-8") << QString::fromUtf8("<p>\xff\xfe\xc3</p>")
                                   << QStringLiteral("\uFFFD\uFFFD\uFFFD\n");
    // The text engine puts a paragraph before and after a table at the document's edges.
    QTest::newRow("100,000 nested tables") << QStringLiteral("<table><tr><td>").repeated(100000) + "t"
                                           << "\n[table]\n\n";
}

void tst_MarkdownHtml::hostileHtml()
{
    QFETCH(QString, html);
    QFETCH(QString, expectedText);
    QCOMPARE(textOf(::htmlToDelta(html)), expectedText);
}

void tst_MarkdownHtml::hostileMarkdown_data()
{
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<bool>("ignoreLineBreaks");
    // Every nesting level keeps its (empty) line; levels past the limit are left out.
    QTest::newRow("100,000 nested lists") << QStringLiteral("- ").repeated(100000) + "x" << QString(64, u'\n') + "x\n"
                                          << false;
    QTest::newRow("100,000 nested quotes") << QString(100000, u'>') + " q"
                                           << "q\n"
                                           << false;
    QTest::newRow("20,000 links on one line")
        << QStringLiteral("[a](b) ").repeated(20000) << QStringLiteral("a ").repeated(19999) + "a\n"
        << false;
    QTest::newRow("100,000 unmatched backticks") << "a" + QString(100000, u'`') + "c"
                                                 << "a" + QString(100000, u'`') + "c\n"
                                                 << false;
    QTest::newRow("a fence of 100,000 backticks") << QString(100000, u'`') + "c\ncode"
                                                  << "code\n"
                                                  << false;
    QTest::newRow("megabyte line") << QString(1 << 20, u'w') << QString(1 << 20, u'w') + "\n" << false;
    QTest::newRow("100,000 nested html divs, closed")
        << QStringLiteral("<div>").repeated(100000) + "h" + QStringLiteral("</div>").repeated(100000) << "h\n"
        << false;
    QTest::newRow("100,000 nested inline tags")
        << "x" + QStringLiteral("<b>").repeated(100000) + "y" + QStringLiteral("</b>").repeated(100000) << "xy\n"
        << false;
    // A line this long is read in pieces, so where the pieces meet lines may join.
    QTest::newRow("20,000 html elements on one line")
        << QStringLiteral("<div>a</div> ").repeated(20000) << QString(20000, u'a') << true;
    QTest::newRow("invalid utf-8") << QString::fromUtf8("# \xff\xfe") << QStringLiteral("\uFFFD\uFFFD\n") << false;
}

void tst_MarkdownHtml::hostileMarkdown()
{
    QFETCH(QString, markdown);
    QFETCH(QString, expectedText);
    QFETCH(bool, ignoreLineBreaks);
    QString text = textOf(::markdownToDelta(markdown));
    if (ignoreLineBreaks)
        text.remove(u'\n');
    QCOMPARE(text, expectedText);
}

QTEST_MAIN(tst_MarkdownHtml)
#include "tst_MarkdownHtml.moc"
