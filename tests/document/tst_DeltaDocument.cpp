#include "../Fixtures.h"
#include "../TestLibrary.h"
#include "AttachmentRenderer.h"
#include "AttachmentRepository.h"
#include "CaseFile.h"
#include "Clock.h"
#include "DeltaDocument.h"
#include "DeltaFormat.h"
#include "FontScale.h"
#include "NoteRepository.h"
#include "RichTextConversion.h"
#include "TextFormats.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

using namespace TextFormats;

class tst_DeltaDocument : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void oversizedTableStaysOneEmbed();
    void loadIsSilentAndNotUndoable();
    void realWorldDocuments_data();
    void realWorldDocuments();
    void maliciousDocumentStaysText();
    void charFormatsToAttributes_data();
    void charFormatsToAttributes();
    void listOperations();
    void jsonTextMatchesLibrary_data();
    void jsonTextMatchesLibrary();
    void lineSeparatorEndsLine();
    void attachmentFallbackChips_data();
    void attachmentFallbackChips();
};

namespace {

// Saves through toJson, and checks that it prints exactly what the JSON library prints for toDelta.
QString saved(const QString& body)
{
    DeltaDocument doc;
    doc.loadJson(body);
    const QString json = doc.toJson();
    const QString reference = QString::fromUtf8(QJsonDocument(doc.toDelta()).toJson(QJsonDocument::Compact));
    if (json != reference) {
        qWarning("toJson and toDelta disagree:\n%s\n%s", qPrintable(json), qPrintable(reference));
        return QStringLiteral("<toJson differs from toDelta>");
    }
    return json;
}

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString plainOf(const QString& body)
{
    return deltaToPlainText(parseDelta(body));
}

template <typename Json> QString compact(const Json& json)
{
    return QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact));
}

const QString kUrlPrefix = QStringLiteral("norvane-notes://attachment/");

QByteArray pngBytes()
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QTextCharFormat objectFormat(const QString& url)
{
    QTextCharFormat format;
    format.setObjectType(TextFormats::AttachmentObjectType);
    format.setProperty(TextFormats::EmbedValueProperty, url);
    return format;
}

constexpr int kMargin = 10;

// Paints one object at (kMargin, kMargin) on a white canvas with a margin all round.
QImage paintObject(AttachmentRenderer& renderer, const QString& url)
{
    const QTextCharFormat format = objectFormat(url);
    const QSizeF size = renderer.intrinsicSize(nullptr, 0, format);
    QImage canvas(size.toSize() + QSize(2 * kMargin, 2 * kMargin), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    renderer.drawObject(&painter, QRectF(QPointF(kMargin, kMargin), size), nullptr, 0, format);
    painter.end();
    return canvas;
}

} // namespace

void tst_DeltaDocument::roundTrip_data()
{
    addCaseRows("delta-round-trip.json");
}

void tst_DeltaDocument::roundTrip()
{
    QFETCH(QJsonObject, c);
    const QString body = caseText(c["body"]), expected = caseText(c["expected"]);
    QCOMPARE(saved(body), expected);
    // Saving again never changes it, and a reused document answers like a fresh one.
    QCOMPARE(saved(expected), expected);
    DeltaDocument doc;
    doc.loadJson(body);
    doc.loadJson(doc.toJson());
    QCOMPARE(doc.toJson(), expected);

    // Sizes change with the scale, the saved attributes must not (a 9 px heading is still no bold).
    FontScale::setPercent(70);
    const QString scaled = saved(body);
    FontScale::setPercent(FontScale::kDefault);
    QCOMPARE(scaled, expected);
}

void tst_DeltaDocument::oversizedTableStaysOneEmbed()
{
    // One cell past the limit: kept as an object character and written back untouched.
    QString cells;
    for (int i = 0; i < 50001; ++i)
        cells += i ? QStringLiteral(",[]") : QStringLiteral("[]");
    const QString tableJson = QString::fromUtf8(R"({"cells":[[%1]],"hasHeader":false})").arg(cells);
    const QJsonArray body{QJsonObject{{"insert", QJsonObject{{"table", tableJson}}}}, QJsonObject{{"insert", "\n"}}};
    DeltaDocument doc;
    doc.loadDelta(body);
    QCOMPARE(doc.textDocument()->rootFrame()->childFrames().size(), 0);
    QCOMPARE(doc.textDocument()->blockCount(), 1);
    QCOMPARE(doc.toDelta(), body);
}

void tst_DeltaDocument::loadIsSilentAndNotUndoable()
{
    DeltaDocument doc;
    QSignalSpy changed(&doc, &DeltaDocument::contentsChanged);
    doc.loadJson(QString::fromUtf8(R"([{"insert":"one\ntwo\n"}])"));
    doc.loadJson(QStringLiteral("not json"));
    doc.loadJson(QString());
    doc.loadJson(QString::fromUtf8(R"([{"insert":"one\n"}])"));
    QCOMPARE(changed.count(), 0);
    QVERIFY(!doc.textDocument()->isUndoAvailable());

    // Edits after the load are announced and undoable.
    QTextCursor(doc.textDocument()).insertText(QStringLiteral("x"));
    QCOMPARE(changed.count(), 1);
    doc.textDocument()->undo();
    QCOMPARE(doc.toJson(), QString::fromUtf8(R"([{"insert":"one"},{"insert":"\n"}])"));
}

void tst_DeltaDocument::realWorldDocuments_data()
{
    QTest::addColumn<QString>("path");
    NORV_REQUIRE_FIXTURES();
    const QString root = realWorldFixtures(QStringLiteral("delta"));
    QDirIterator it(root, {QStringLiteral("*.json")}, QDir::Files, QDirIterator::Subdirectories);
    QStringList paths;
    while (it.hasNext())
        paths << it.next();
    paths.sort();
    QVERIFY2(paths.size() >= 20, qPrintable(root));
    for (const QString& path : std::as_const(paths))
        QTest::newRow(qPrintable(QDir(root).relativeFilePath(path))) << path;
}

void tst_DeltaDocument::realWorldDocuments()
{
    QFETCH(QString, path);
    const QString body = readFile(path);
    QVERIFY(!parseDelta(body).isEmpty());

    const QString once = saved(body);
    QVERIFY(QJsonDocument::fromJson(once.toUtf8()).isArray());
    QCOMPARE(saved(once), once);

    // Every character of text survives; only embeds nobody draws (web images, videos) go.
    QString expected = plainOf(body);
    if (!expected.endsWith(QLatin1Char('\n')))
        expected += QLatin1Char('\n');
    QCOMPARE(plainOf(once), expected);
}

void tst_DeltaDocument::maliciousDocumentStaysText()
{
    NORV_REQUIRE_FIXTURES();
    const QString body = readFile(realWorldFixtures(QStringLiteral("delta/quill-deltacvt/malicious.json")));
    DeltaDocument doc;
    doc.loadJson(body);
    // The markup is text, every character of it: no link, embed or table came of it.
    const QString expected = QString::fromUtf8(
        R"([{"insert":"<script>alert(\"xss\");</script>"},{"insert":"\n"},)"
        R"({"insert":"<script>alert(\"xss\");</script>"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
        R"({"insert":"<script>alert(\"xss\");</script>"},{"attributes":{"align":"right","list":"bullet"},"insert":"\n"},)"
        R"({"insert":"not xss & okay"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
        R"({"insert":"not xss & okay"},{"attributes":{"align":"center","list":"bullet"},"insert":"\n"},{"insert":"\n"}])");
    QCOMPARE(doc.toJson(), expected);
}

void tst_DeltaDocument::charFormatsToAttributes_data()
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

    QTextCharFormat extras = charAttributesToCharFormat({{"bold", "no"}, {"color", "red"}});
    extras.setFontWeight(700);
    QTest::newRow("produced keys win over extras") << QTextFormat(extras) << R"({"bold":true,"color":"red"})";

    // clang-format on
}

void tst_DeltaDocument::charFormatsToAttributes()
{
    QFETCH(QTextFormat, format);
    QFETCH(QString, attributes);
    QCOMPARE(compact(charFormatToCharAttributes(format.toCharFormat())), attributes);
}

void tst_DeltaDocument::listOperations()
{
    QTextDocument doc;
    QTextCursor cursor(&doc);
    cursor.insertText(QStringLiteral("a\nb\nc\nd"));
    const auto block = [&doc](int n) {
        return doc.findBlockByNumber(n);
    };
    applyList(QTextCursor(block(0)), QStringLiteral("bullet"));
    applyList(QTextCursor(block(1)), QStringLiteral("unchecked"));
    applyList(QTextCursor(block(2)), QStringLiteral("ordered"));
    applyList(QTextCursor(block(3)), QStringLiteral("ordered"));
    QTextList* bullets = block(0).textList();
    QTextList* numbers = block(2).textList();
    QVERIFY(bullets && numbers && bullets != numbers);
    QCOMPARE(block(1).textList(), bullets);
    QCOMPARE(block(3).textList(), numbers);

    // Ticking an item keeps it in its list.
    applyList(QTextCursor(block(1)), QStringLiteral("checked"));
    QCOMPARE(block(1).textList(), bullets);
    QCOMPARE(block(1).blockFormat().marker(), QTextBlockFormat::MarkerType::Checked);

    // Leaving the list: a plain paragraph without indent (the saved form below shows no list type).
    applyList(QTextCursor(block(0)), QString());
    QCOMPARE(block(0).textList(), nullptr);
    QCOMPARE(block(0).blockFormat().indent(), 0);

    // Changing the kind of the first ordered item: it cannot join the bullets before it.
    applyList(QTextCursor(block(2)), QStringLiteral("bullet"));
    QCOMPARE(block(2).textList(), bullets);
    QCOMPARE(block(2).blockFormat().marker(), QTextBlockFormat::MarkerType::NoMarker);

    const QString expected = QString::fromUtf8(
        R"([{"insert":"a"},{"insert":"\n"},{"insert":"b"},{"attributes":{"list":"checked"},"insert":"\n"},)"
        R"({"insert":"c"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"d"},{"attributes":{"list":"ordered"},"insert":"\n"}])");
    QCOMPARE(compact(documentToDelta(&doc)), expected);
}

void tst_DeltaDocument::jsonTextMatchesLibrary_data()
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
void tst_DeltaDocument::jsonTextMatchesLibrary()
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
void tst_DeltaDocument::lineSeparatorEndsLine()
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

void tst_DeltaDocument::attachmentFallbackChips_data()
{
    // A stored "broken.png" of type image/png holding these bytes, drawn through:
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("lookup");        // 0 its id, 1 an unknown id, 2 a renderer without repository
    QTest::addColumn<QString>("looksLike"); // file name of an ordinary file chip drawn identically
    QTest::newRow("undecodable image") << QByteArray("not a png") << 0 << "broken.png";
    QTest::newRow("unknown id") << pngBytes() << 1 << "Attachment";
    QTest::newRow("no repository") << pngBytes() << 2 << "Attachment";
}

void tst_DeltaDocument::attachmentFallbackChips()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, lookup);
    QFETCH(QString, looksLike);
    TestDb t;
    QVERIFY(t.ok);
    AttachmentRepository attachments(&t.database, nullptr, t.dir.filePath(QStringLiteral("files")));
    QVERIFY(NoteRepository(&t.database).insert(makeNote(QStringLiteral("n"), QStringLiteral(R"([{"insert":"A\n"}])"))));
    const auto addAttachment = [&attachments](const QString& fileName, const QString& mimeType,
                                              const QByteArray& bytes) {
        const Attachment a{newId(), "n", fileName, mimeType, bytes.size(), Clock::nowUtc(), SyncStatus::Pending};
        return attachments.saveFile(a.id, bytes) && attachments.insert(a) ? a.id : QString();
    };

    const QString id = addAttachment(QStringLiteral("broken.png"), QStringLiteral("image/png"), bytes);
    QVERIFY(!id.isEmpty());
    const QString referenceId = addAttachment(looksLike, QStringLiteral("text/plain"), QByteArrayLiteral("ref"));

    AttachmentRenderer renderer(&attachments);
    AttachmentRenderer withoutRepository(nullptr);
    AttachmentRenderer& subject = lookup == 2 ? withoutRepository : renderer;
    const QString url = kUrlPrefix + (lookup == 1 ? newId() : id);

    QCOMPARE(subject.intrinsicSize(nullptr, 0, objectFormat(url)),
             QSizeF(AttachmentRenderer::kChipMinWidth, AttachmentRenderer::kChipHeight));
    QVERIFY(subject.entry(url).image.isNull());
    const QImage drawn = paintObject(subject, url);
    const QImage reference = paintObject(renderer, kUrlPrefix + referenceId);
    QCOMPARE(drawn, reference);
    // A chip with another name must look different, or the comparison above proves nothing.
    const QString otherId =
        addAttachment(QStringLiteral("zz-other.bin"), QStringLiteral("text/plain"), QByteArrayLiteral("y"));
    QVERIFY(paintObject(renderer, kUrlPrefix + otherId) != reference);
}

QTEST_MAIN(tst_DeltaDocument)
#include "tst_DeltaDocument.moc"
