#include "DeltaDocument.h"
#include "FontScale.h"
#include "RichTextConversion.h"
#include "TextFormats.h"

#include <QGuiApplication>
#include <QJsonDocument>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

using namespace TextFormats;

class tst_RichTextConversion : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void blockStyles_data();
    void blockStyles();
    void charFormatsToAttributes_data();
    void charFormatsToAttributes();
    void listOperations();
    void noteTableSpacers_data();
    void noteTableSpacers();
    void spacerAndTypedTextAreSaved();
    void jsonTextMatchesLibrary_data();
    void jsonTextMatchesLibrary();
    void lineSeparatorEndsLine();
};

namespace {

QJsonObject object(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

QString compact(const QJsonArray& array)
{
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QString compact(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// What a block style sets, in one line, so a mismatch shows which part differs.
QString style(const QTextBlockFormat& f)
{
    return QStringLiteral("margins %1 %2 %3 %4, line %5, background %6")
        .arg(f.topMargin())
        .arg(f.bottomMargin())
        .arg(f.leftMargin())
        .arg(f.rightMargin())
        .arg(f.lineHeight())
        .arg(f.hasProperty(QTextFormat::BackgroundBrush) ? f.background().color().name() : QStringLiteral("none"));
}

QString styleOf(const char* attributes)
{
    return style(lineAttributesToBlockFormat(object(attributes)));
}

} // namespace

void tst_RichTextConversion::cleanup()
{
    FontScale::setPercent(FontScale::kDefault);
}

void tst_RichTextConversion::blockStyles_data()
{
    // clang-format off
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<QString>("sameAs");
    QTest::addColumn<QString>("differentFrom");
    QTest::newRow("h9 is body") << R"({"header":9})" << R"({})" << R"({"header":1})";
    QTest::newRow("heading wins over code") << R"({"header":2,"code-block":true})" << R"({"header":2})"
        << R"({"code-block":true})";
    QTest::newRow("code wins over quote") << R"({"blockquote":true,"code-block":"js"})" << R"({"code-block":true})"
        << R"({"blockquote":true})";
    // clang-format on
}

void tst_RichTextConversion::blockStyles()
{
    QFETCH(QString, attributes);
    QFETCH(QString, sameAs);
    QFETCH(QString, differentFrom);
    const QTextBlockFormat format = lineAttributesToBlockFormat(object(attributes.toUtf8()));
    QCOMPARE(style(format), styleOf(sameAs.toUtf8()));
    QVERIFY(style(format) != styleOf(differentFrom.toUtf8()));

    // Re-styling after the editor changed a line's kind clears what the old kind set (a code background).
    QTextBlockFormat reused = lineAttributesToBlockFormat(object(R"({"code-block":true})"));
    reused.clearProperty(CodeBlockProperty);
    for (const int property : {HeadingLevelProperty, CodeBlockProperty, BlockquoteProperty}) {
        if (format.hasProperty(property))
            reused.setProperty(property, format.property(property));
    }
    applyBlockStyle(reused);
    QCOMPARE(style(reused), style(format));
}

void tst_RichTextConversion::charFormatsToAttributes_data()
{
    // clang-format off
    QTest::addColumn<QTextFormat>("format");
    QTest::addColumn<QString>("attributes");

    QTextCharFormat family;
    family.setFontFamilies({QStringLiteral("Noto Sans"), QStringLiteral("Monospace")});
    QTest::newRow("monospace family is code") << QTextFormat(family) << R"({"code":true})";

    QTextCharFormat semiBold;
    semiBold.setFontWeight(600);
    QTest::newRow("600 is not bold") << QTextFormat(semiBold) << R"({})";

    QTextCharFormat anchor;
    anchor.setAnchor(true);
    anchor.setAnchorHref(QStringLiteral("https://x.example"));
    anchor.setFontUnderline(true);
    QTest::newRow("link") << QTextFormat(anchor) << R"({"link":"https://x.example"})";

    QTextCharFormat emptyAnchor;
    emptyAnchor.setAnchor(true);
    emptyAnchor.setFontUnderline(true);
    QTest::newRow("anchor without target") << QTextFormat(emptyAnchor) << R"({})";

    QTextCharFormat wave;
    wave.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    QTest::newRow("spell-check underline") << QTextFormat(wave) << R"({})";

    QTextCharFormat extras = charAttributesToCharFormat(object(R"({"bold":"no","color":"red"})"));
    extras.setFontWeight(700);
    QTest::newRow("produced keys win over extras") << QTextFormat(extras) << R"({"bold":true,"color":"red"})";

    QTest::newRow("line keys on runs ignored")
        << QTextFormat(charAttributesToCharFormat(
               object(R"({"header":1,"list":"bullet","code-block":true,"blockquote":true})")))
        << R"({})";
    QTest::newRow("code keeps bold")
        << QTextFormat(charAttributesToCharFormat(object(R"({"bold":true,"code":true,"italic":true})")))
        << R"({"bold":true,"code":true,"italic":true})";
    // clang-format on
}

void tst_RichTextConversion::charFormatsToAttributes()
{
    QFETCH(QTextFormat, format);
    QFETCH(QString, attributes);
    QCOMPARE(compact(charFormatToCharAttributes(format.toCharFormat())), attributes);
}

void tst_RichTextConversion::listOperations()
{
    QTextDocument doc;
    QTextCursor cursor(&doc);
    cursor.insertText(QStringLiteral("a\nb\nc\nd"));
    const auto block = [&doc](int n) {
        return doc.findBlockByNumber(n);
    };
    const auto at = [&doc](int n) {
        return QTextCursor(doc.findBlockByNumber(n));
    };

    applyList(at(0), QStringLiteral("bullet"));
    applyList(at(1), QStringLiteral("unchecked"));
    applyList(at(2), QStringLiteral("ordered"));
    applyList(at(3), QStringLiteral("ordered"));
    QTextList* bullets = block(0).textList();
    QTextList* numbers = block(2).textList();
    QVERIFY(bullets && numbers && bullets != numbers);
    QCOMPARE(block(1).textList(), bullets);
    QCOMPARE(block(3).textList(), numbers);

    // Ticking an item keeps it in its list.
    applyList(at(1), QStringLiteral("checked"));
    QCOMPARE(block(1).textList(), bullets);
    QCOMPARE(block(1).blockFormat().marker(), QTextBlockFormat::MarkerType::Checked);

    // Leaving the list: a plain paragraph without indent (the saved form below shows no list type).
    applyList(at(0), QString());
    QCOMPARE(block(0).textList(), nullptr);
    QCOMPARE(block(0).blockFormat().indent(), 0);

    // Changing the kind of the first ordered item: it cannot join the bullets before it.
    applyList(at(2), QStringLiteral("bullet"));
    QCOMPARE(block(2).textList(), bullets);
    QCOMPARE(block(2).blockFormat().marker(), QTextBlockFormat::MarkerType::NoMarker);

    const QString expected = QString::fromUtf8(
        R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"attributes":{"list":"checked"},"insert":"\n"},)"
        R"({"insert":"c"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"d"},{"attributes":{"list":"ordered"},"insert":"\n"}])");
    QCOMPARE(compact(documentToDelta(&doc)), expected);
}

void tst_RichTextConversion::noteTableSpacers_data()
{
    // clang-format off
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expected");

    const QString table =
        QString::fromUtf8(R"({"insert":{"table":"{\"cells\":[[[],[]]],\"hasHeader\":false}"}},{"insert":"\n"})");
    QTest::newRow("empty document") << "" << 0 << QString::fromUtf8(R"([{"insert":"\n"},%1])").arg(table);
    QTest::newRow("inside a line") << "abcd" << 2
        << QString::fromUtf8(R"([{"insert":"ab"},{"insert":"\n"},%1,{"insert":"cd"},{"insert":"\n"}])").arg(table);
    QTest::newRow("before a line") << "x\ny" << 2
        << QString::fromUtf8(R"([{"insert":"x"},{"insert":"\n"},{"insert":"\n"},%1,{"insert":"y"},{"insert":"\n"}])")
               .arg(table);
    // clang-format on
}

void tst_RichTextConversion::noteTableSpacers()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(QString, expected);

    QTextDocument doc;
    QTextCursor cursor(&doc);
    cursor.insertText(text);
    cursor.setPosition(position);
    QTextTable* table = insertNoteTable(cursor, 1, 2, tableFormat(false));
    QVERIFY(table);
    QCOMPARE(table->columns(), 2);

    const QTextBlock after = doc.findBlock(table->lastPosition() + 1);
    const QTextBlock before = doc.findBlock(table->firstPosition() - 1);
    QVERIFY(after.blockFormat().boolProperty(TableSpacerProperty));
    QVERIFY(!before.blockFormat().boolProperty(TableSpacerProperty));
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        QVERIFY(!b.blockFormat().hasProperty(TableMarkProperty));
    QCOMPARE(compact(documentToDelta(&doc)), expected);

    QCOMPARE(insertNoteTable(cursor, 0, 2, tableFormat(false)), nullptr);
    QCOMPARE(insertNoteTable(cursor, 2, 0, tableFormat(false)), nullptr);
}

void tst_RichTextConversion::spacerAndTypedTextAreSaved()
{
    // A spacer paragraph away from any table is an ordinary empty line.
    QTextDocument doc;
    QTextCursor cursor(&doc);
    cursor.insertText(QStringLiteral("a"));
    QTextBlockFormat spacer;
    spacer.setProperty(TableSpacerProperty, true);
    cursor.insertBlock(spacer);
    cursor.insertBlock(QTextBlockFormat());
    cursor.insertText(QStringLiteral("b"));
    QCOMPARE(compact(documentToDelta(&doc)),
             QString::fromUtf8(R"([{"insert":"a"},{"insert":"\n"},{"insert":"\n"},{"insert":"b"},{"insert":"\n"}])"));

    // Text typed right after an object may carry the object's format; it is still text.
    QTextDocument typed;
    const QChar object(QChar::ObjectReplacementCharacter);
    QTextCursor(&typed).insertText(QStringLiteral("x") + object + QStringLiteral("yz") + object,
                                   embedCharFormat(QStringLiteral("divider"), QStringLiteral("hr")));
    QCOMPARE(compact(documentToDelta(&typed)),
             QString::fromUtf8(R"([{"insert":"x"},{"insert":{"divider":"hr"}},{"insert":"yz"},)"
                               R"({"insert":{"divider":"hr"}},{"insert":"\n"}])"));
}

void tst_RichTextConversion::jsonTextMatchesLibrary_data()
{
    QTest::addColumn<QString>("text");
    const auto u = [](std::initializer_list<char16_t> units) {
        return QString(reinterpret_cast<const QChar*>(units.begin()), qsizetype(units.size()));
    };

    QTest::newRow("ascii") << "plain </script> / text";
    QTest::newRow("quote and backslash") << "a\"b\\c";
    QTest::newRow("controls") << u({0x01, 0x08, 0x0C, 0x09, 0x0A, 0x0D, 0x1F, 0x7F, 0x00, 'x'});
    QTest::newRow("two and three bytes") << u({0xE9, 0x07FF, 0x0800, 0x20AC, 0x4E2D, 0x2028, 0xFFFE, 0xFFFF});
    QTest::newRow("surrogate pair") << u({'a', 0xD83D, 0xDE00, 'b'});
    QTest::newRow("lone high surrogate") << u({'a', 0xD800, 'b'});
    QTest::newRow("high surrogate at the end") << u({'a', 0xDBFF});
    QTest::newRow("lone low surrogate") << u({0xDC00, 'b'});
}

// toJson prints the text itself for speed; it must print exactly what the JSON library would.
void tst_RichTextConversion::jsonTextMatchesLibrary()
{
    QFETCH(QString, text);
    QTextDocument doc;
    QTextCursor cursor(&doc);
    cursor.insertText(text, charAttributesToCharFormat(QJsonObject{{"link", text}, {text, text}}));
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), embedCharFormat(QStringLiteral("divider"), text));
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), embedCharFormat(text, text));
    cursor.insertBlock(lineAttributesToBlockFormat(QJsonObject{{"list", text}, {text, true}}));
    QTextTable* table = insertNoteTable(cursor, 1, 1, tableFormat(true));
    table->cellAt(0, 0).firstCursorPosition().insertText(text);

    const QByteArray reference = QJsonDocument(documentToDelta(&doc)).toJson(QJsonDocument::Compact);
    QCOMPARE(documentToDeltaJson(&doc), reference);
}

// A soft break (Shift+Enter, or a separator in a body stored by an older version) is a line of the body.
void tst_RichTextConversion::lineSeparatorEndsLine()
{
    const QString lines = QStringLiteral(R"([{"insert":"A"},{"attributes":{"header":1},"insert":"\n"},)"
                                         R"({"insert":"B"},{"attributes":{"header":1},"insert":"\n"}])");
    QTextDocument typed;
    QTextCursor cursor(&typed);
    cursor.setBlockFormat(lineAttributesToBlockFormat(QJsonObject{{"header", 1}}));
    cursor.insertText(QStringLiteral("A") + QChar(QChar::LineSeparator) + QStringLiteral("B"));
    QCOMPARE(compact(documentToDelta(&typed)), lines);
    QCOMPARE(QString::fromUtf8(documentToDeltaJson(&typed)), lines);

    DeltaDocument stored;
    stored.loadJson(QStringLiteral(R"([{"insert":"A\u2028B\n"}])"));
    QCOMPARE(stored.toJson(), QStringLiteral(R"([{"insert":"A"},{"insert":"\n"},{"insert":"B"},{"insert":"\n"}])"));
}

QTEST_MAIN(tst_RichTextConversion)
#include "tst_RichTextConversion.moc"
