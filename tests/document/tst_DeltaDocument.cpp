#include "../Fixtures.h"
#include "CaseFile.h"
#include "DeltaDocument.h"
#include "DeltaFormat.h"
#include "FontScale.h"
#include "TextFormats.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

using namespace TextFormats;

class tst_DeltaDocument : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void invalidBodyKeepsLastLoadedArray();
    void mixedListsShareOneList();
    void spacersAreSavedOnceTypedInto();
    void oversizedTableStaysOneEmbed();
    void loadIsSilentAndNotUndoable();
    void realWorldDocuments_data();
    void realWorldDocuments();
    void maliciousDocumentStaysText();
};

namespace {

// The op of a table embed: the table's JSON text is itself a JSON string inside the body.
QString tableOp(const char* tableJson)
{
    const QByteArray wrapped = QJsonDocument(QJsonArray{QString::fromUtf8(tableJson)}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(R"({"insert":{"table":%1}})").arg(QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2)));
}

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
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString plainOf(const QString& body)
{
    return deltaToPlainText(parseDelta(body));
}

} // namespace

void tst_DeltaDocument::roundTrip_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("expected");
    const QJsonArray cases = readCases("delta-round-trip.json");
    QVERIFY(!cases.isEmpty());
    for (const QJsonValue& c : cases)
        QTest::newRow(qPrintable(c["case"].toString())) << caseText(c["body"]) << caseText(c["expected"]);
}

void tst_DeltaDocument::roundTrip()
{
    QFETCH(QString, body);
    QFETCH(QString, expected);
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

void tst_DeltaDocument::invalidBodyKeepsLastLoadedArray()
{
    // The editor compares against the last loaded array to tell an edit from a reload.
    DeltaDocument doc;
    const QJsonArray previous = QJsonDocument::fromJson(R"([{"insert":"prev\n"}])").array();
    doc.loadDelta(previous);
    doc.loadJson(QStringLiteral(R"({"insert":"x\n"})"));
    QCOMPARE(doc.plainText(), QStringLiteral(R"({"insert":"x\n"})"));
    QCOMPARE(doc.loadedDelta(), previous);
    doc.loadJson(QString());
    QCOMPARE(doc.loadedDelta(), QJsonArray());
}

void tst_DeltaDocument::mixedListsShareOneList()
{
    DeltaDocument doc;
    doc.loadJson(QStringLiteral(
        R"([{"insert":"a"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"b"},{"attributes":{"list":"checked"},"insert":"\n"},)"
        R"({"insert":"1"},{"attributes":{"list":"ordered"},"insert":"\n"},{"insert":"p\n"},{"insert":"d"},{"attributes":{"list":"bullet"},"insert":"\n"}])"));
    const QTextDocument* td = doc.textDocument();
    const auto list = [td](int block) {
        return td->findBlockByNumber(block).textList();
    };
    // Bullets and checklist items are one list; numbers are another; a list after a paragraph starts afresh.
    QVERIFY(list(0));
    QCOMPARE(list(1), list(0));
    QCOMPARE(td->findBlockByNumber(1).blockFormat().marker(), QTextBlockFormat::MarkerType::Checked);
    QVERIFY(list(2) && list(2) != list(0));
    QCOMPARE(list(2)->format().style(), QTextListFormat::ListDecimal);
    QCOMPARE(list(3), nullptr);
    QVERIFY(list(4) && list(4) != list(0));
}

void tst_DeltaDocument::spacersAreSavedOnceTypedInto()
{
    const QString table = tableOp(R"({"cells":[[[{"insert":"x"}]]],"hasHeader":false})");
    const QString nl = QString::fromUtf8(R"({"insert":"\n"})");
    DeltaDocument doc;
    doc.loadJson(QStringLiteral("[%1,%2]").arg(table, nl));
    QTextDocument* td = doc.textDocument();
    QCOMPARE(td->blockCount(), 3); // spacer, the cell, spacer
    QTextCursor cursor(td->lastBlock());
    cursor.insertText(QStringLiteral("after"));
    cursor = QTextCursor(td->firstBlock());
    cursor.insertText(QStringLiteral("before"));
    QCOMPARE(doc.toJson(), QString::fromUtf8(R"([{"insert":"before"},%2,%1,%2,{"insert":"after"},%2])").arg(table, nl));

    // Emptied again, the paragraphs are spacers once more.
    cursor.select(QTextCursor::BlockUnderCursor);
    cursor.removeSelectedText();
    cursor = QTextCursor(td->lastBlock());
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    QCOMPARE(doc.toJson(), QStringLiteral("[%1,%2]").arg(table, nl));
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
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(once.toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(json.isArray());
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
    const QTextDocument* td = doc.textDocument();
    for (QTextBlock b = td->begin(); b.isValid(); b = b.next()) {
        for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
            QVERIFY(!it.fragment().charFormat().isAnchor());
            QCOMPARE(it.fragment().charFormat().objectType(), int(QTextFormat::NoObject));
        }
    }
    QCOMPARE(td->rootFrame()->childFrames().size(), 0);
    QVERIFY(!td->toHtml().contains(QLatin1String("<script"))); // escaped, never markup
    const QString expected = QString::fromUtf8(
        R"([{"insert":"<script>alert(\"xss\");</script>"},{"insert":"\n"},)"
        R"({"insert":"<script>alert(\"xss\");</script>"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
        R"({"insert":"<script>alert(\"xss\");</script>"},{"attributes":{"align":"right","list":"bullet"},"insert":"\n"},)"
        R"({"insert":"not xss & okay"},{"attributes":{"list":"bullet"},"insert":"\n"},)"
        R"({"insert":"not xss & okay"},{"attributes":{"align":"center","list":"bullet"},"insert":"\n"},{"insert":"\n"}])");
    QCOMPARE(doc.toJson(), expected);
}

QTEST_MAIN(tst_DeltaDocument)
#include "tst_DeltaDocument.moc"
