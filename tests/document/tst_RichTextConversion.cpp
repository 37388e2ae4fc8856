#include "DeltaDocument.h"
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
    void charFormatsToAttributes_data();
    void charFormatsToAttributes();
    void listOperations();
    void jsonTextMatchesLibrary_data();
    void jsonTextMatchesLibrary();
    void lineSeparatorEndsLine();
};

namespace {

QJsonObject object(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

template <typename Json> QString compact(const Json& json)
{
    return QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact));
}

} // namespace

void tst_RichTextConversion::charFormatsToAttributes_data()
{
    // clang-format off
    QTest::addColumn<QTextFormat>("format");
    QTest::addColumn<QString>("attributes");

    QTextCharFormat family;
    family.setFontFamilies({QStringLiteral("Noto Sans"), QStringLiteral("Monospace")});
    QTest::newRow("monospace family is code") << QTextFormat(family) << R"({"code":true})";

    QTextCharFormat anchor;
    anchor.setAnchor(true);
    anchor.setAnchorHref(QStringLiteral("https://x.example"));
    anchor.setFontUnderline(true);
    QTest::newRow("link") << QTextFormat(anchor) << R"({"link":"https://x.example"})";


    QTextCharFormat wave;
    wave.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    QTest::newRow("spell-check underline") << QTextFormat(wave) << R"({})";

    QTextCharFormat extras = charAttributesToCharFormat(object(R"({"bold":"no","color":"red"})"));
    extras.setFontWeight(700);
    QTest::newRow("produced keys win over extras") << QTextFormat(extras) << R"({"bold":true,"color":"red"})";

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

void tst_RichTextConversion::jsonTextMatchesLibrary_data()
{
    QTest::addColumn<QString>("text");
    const auto u = [](std::initializer_list<char16_t> units) {
        return QString(reinterpret_cast<const QChar*>(units.begin()), qsizetype(units.size()));
    };

    QTest::newRow("ascii") << "plain </script> / text";
    QTest::newRow("controls") << u({0x01, 0x08, 0x0C, 0x09, 0x0A, 0x0D, 0x1F, 0x7F, 0x00, 'x'});
    QTest::newRow("surrogate pair") << u({'a', 0xD83D, 0xDE00, 'b'});
    QTest::newRow("lone high surrogate") << u({'a', 0xD800, 'b'});
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
