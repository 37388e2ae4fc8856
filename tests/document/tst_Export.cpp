#include "CaseFile.h"
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
QString tableBody(const QByteArray& cellsJson)
{
    const QJsonObject table{{"cells", QJsonDocument::fromJson(cellsJson).array()}, {"hasHeader", true}};
    const QJsonArray body{
        QJsonObject{
            {"insert", QJsonObject{{"table", QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact))}}}},
        QJsonObject{{"insert", "\n"}}};
    return QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact));
}

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
    // clang-format off
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("expected");
    const QHash<QString, ExportFormat> formats{
        {"markdown", ExportFormat::Markdown}, {"html", ExportFormat::Html}, {"text", ExportFormat::PlainText}};
    const QJsonArray cases = readCases("export.json");
    QVERIFY(!cases.isEmpty());
    for (const QJsonValue& c : cases)
        QTest::newRow(qPrintable(c["case"].toString())) << formats.value(c["format"].toString()) << caseText(c["body"])
            << c["expected"].toString();
    // clang-format on
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
    // clang-format off
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

void tst_Export::hostileBodies()
{
    QFETCH(QString, body);
    QFETCH(ExportFormat, format);
    QFETCH(int, expectedSize);
    QCOMPARE(convertBody(body, format).size(), qsizetype(expectedSize));
}

void tst_Export::sanitize_data()
{
    // clang-format off
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("reserved characters removed, not replaced") << R"(a<b>c:d"e/f\g|h?i*j)" << "abcdefghij";
    QTest::newRow("trimmed after removal") << "? Plan ?" << "Plan";
    QTest::newRow("cut then trimmed") << QString(49, u'a') + "  tail" << QString(49, u'a');
    QTest::newRow("only question marks") << "????" << "note";
    QTest::newRow("no half emoji at the cut") << QString(49, u'a') + QStringLiteral("\U0001F600b") << QString(49, u'a');
    QTest::newRow("unicode kept") << QStringLiteral("Grüße: 日本") << QStringLiteral("Grüße 日本");
    // clang-format on
}

void tst_Export::sanitize()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(sanitizeFileName(name), expected);
}

void tst_Export::suggestedName_data()
{
    // clang-format off
    QTest::addColumn<QString>("body");
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QString>("expected");
    QTest::newRow("title from the first line") << R"([{"insert":"  Meeting: 10/12  \nsecond line\n"}])"
        << ExportFormat::Markdown << "Meeting 1012.md";
    QTest::newRow("pdf") << R"([{"insert":"Plan\n"}])" << ExportFormat::Pdf << "Plan.pdf";
    QTest::newRow("untitled note uses its id") << R"([{"insert":"\n"}])" << ExportFormat::PlainText
        << "note-0f1e2d3c.txt";
    // clang-format on
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
}

void tst_Export::pageSize()
{
    QFETCH(QLocale::Territory, territory);
    QFETCH(QPageSize::PageSizeId, expected);
    QCOMPARE(exportPageSize(territory), expected);
}

void tst_Export::writesFiles_data()
{
    // clang-format off
    QTest::addColumn<ExportFormat>("format");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("markdown") << ExportFormat::Markdown << QByteArray("# Grüße\n\nmore\n");
    QTest::newRow("html") << ExportFormat::Html
        << QByteArray("<html><body>\n<h1>Grüße</h1>\n<p>more</p>\n</body></html>");
    // clang-format on
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
