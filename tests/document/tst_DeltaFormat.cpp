#include "CaseFile.h"
#include "DeltaFormat.h"
#include "Records.h"
#include "Todos.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

class tst_DeltaFormat : public QObject
{
    Q_OBJECT

private slots:
    void parseDeltaOps_data();
    void parseDeltaOps();
    void plainTextTitleAndBlank_data();
    void plainTextTitleAndBlank();
    void extractTodos_data();
    void extractTodos();
    void setTodoDone_data();
    void setTodoDone();
    void hostileTodoBodies_data();
    void hostileTodoBodies();
};

// One line per op: kind|text|embed|attributes|length, so a row states the whole parse.
static QStringList describe(const QList<DeltaOp>& ops)
{
    QStringList lines;
    for (const DeltaOp& op : ops) {
        lines << QStringLiteral("%1|%2|%3|%4|%5")
                     .arg(int(op.kind))
                     .arg(op.text, QString::fromUtf8(QJsonDocument(op.embed).toJson(QJsonDocument::Compact)),
                          QString::fromUtf8(QJsonDocument(op.attributes).toJson(QJsonDocument::Compact)))
                     .arg(op.length);
    }
    return lines;
}

// One task per line: "kind done line position text".
static QStringList describeTodos(const QList<TodoItem>& items)
{
    QStringList lines;
    for (const TodoItem& item : items)
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(item.kind)
                     .arg(item.done ? 1 : 0)
                     .arg(item.lineIndex)
                     .arg(item.position)
                     .arg(item.text);
    return lines;
}

void tst_DeltaFormat::parseDeltaOps_data()
{
    addCaseRows("delta-ops.json");
}

void tst_DeltaFormat::parseDeltaOps()
{
    QFETCH(QJsonObject, c);
    const QString body = caseText(c["body"]);
    const QStringList expected = c["ops"].toVariant().toStringList();
    QCOMPARE(describe(parseDelta(body)), expected);
    // The array overload reads the same.
    QCOMPARE(describe(parseDelta(QJsonDocument::fromJson(body.toUtf8()).array())), expected);
}

void tst_DeltaFormat::plainTextTitleAndBlank_data()
{
    addCaseRows("plain-text.json");
}

void tst_DeltaFormat::plainTextTitleAndBlank()
{
    QFETCH(QJsonObject, c);
    const QString body = caseText(c["body"]);
    QCOMPARE(bodyPlainText(body), c["plain"].toString());
    QCOMPARE(isBodyBlank(body), c["blank"].toBool());
    QCOMPARE(noteTitle(body), c["title"].toString());
}

void tst_DeltaFormat::extractTodos_data()
{
    addCaseRows("todos.json");
}

void tst_DeltaFormat::extractTodos()
{
    QFETCH(QJsonObject, c);
    QCOMPARE(describeTodos(::extractTodos(QStringLiteral("n1"), caseText(c["body"]), QDateTime())),
             c["todos"].toVariant().toStringList());
}

void tst_DeltaFormat::setTodoDone_data()
{
    addCaseRows("todo-toggle.json");
}

void tst_DeltaFormat::setTodoDone()
{
    QFETCH(QJsonObject, c);
    const QString body = caseText(c["body"]);
    const QString result = ::setTodoDone(body, c["line"].toInt(), true);
    QCOMPARE(result, caseText(c["expected"]));
    if (!result.isEmpty()) {
        // Toggling changes a state, never the text or the number of lines.
        QCOMPARE(bodyPlainText(result), bodyPlainText(body));
        QCOMPARE(QJsonDocument::fromJson(result.toUtf8()).array().size(),
                 QJsonDocument::fromJson(body.toUtf8()).array().size());
    }
}

void tst_DeltaFormat::hostileTodoBodies_data()
{
    // clang-format off
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("tasks");
    QTest::addColumn<int>("longestTask");

    // Built as text: a QJsonArray of this size costs more than the code under test.
    const QString megabyte(1 << 20, u'x');
    QTest::newRow("megabyte task line") << R"([{"insert":"TODO: )" + megabyte + R"(\n"}])" << 1 << int(megabyte.size());
    QTest::newRow("100,000 lines in one insert")
        << R"([{"insert":")" + QStringLiteral("- [x] t\\n").repeated(100000) + R"("}])" << 100000 << 1;
    QString checklist =
        QStringLiteral(R"({"insert":"t"},{"attributes":{"list":"unchecked"},"insert":"\n"},)").repeated(20000);
    checklist.chop(1);
    QTest::newRow("20,000 checklist lines") << u'[' + checklist + u']' << 20000 << 1;
    QTest::newRow("deeply nested json") << QString(100000, u'[') + QString(100000, u']') << 0 << 0;
    QTest::newRow("task beside nesting past the limit")
        << R"([{"insert":"TODO: d\n","x":)" + QString(1023, u'[') + QString(1023, u']') + "}]" << 0 << 0;
    // clang-format on
}

void tst_DeltaFormat::hostileTodoBodies()
{
    QFETCH(QString, body);
    QFETCH(int, tasks);
    QFETCH(int, longestTask);
    const QList<TodoItem> items = ::extractTodos(QStringLiteral("n"), body, {});
    QCOMPARE(items.size(), tasks);
    qsizetype longest = 0;
    for (const TodoItem& item : items)
        longest = std::max(longest, item.text.size());
    QCOMPARE(longest, qsizetype(longestTask));
    if (!items.isEmpty() && items.last().kind == TodoItem::ChecklistTodo) {
        const QString toggled = ::setTodoDone(body, items.last().lineIndex, true);
        QCOMPARE(::extractTodos(QStringLiteral("n"), toggled, {}).last().done, true);
    }
}

QTEST_GUILESS_MAIN(tst_DeltaFormat)
#include "tst_DeltaFormat.moc"
