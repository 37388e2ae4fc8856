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
static QString describe(const QList<DeltaOp>& ops)
{
    QStringList lines;
    for (const DeltaOp& op : ops) {
        lines << QStringLiteral("%1|%2|%3|%4|%5")
                     .arg(int(op.kind))
                     .arg(op.text, QString::fromUtf8(QJsonDocument(op.embed).toJson(QJsonDocument::Compact)),
                          QString::fromUtf8(QJsonDocument(op.attributes).toJson(QJsonDocument::Compact)))
                     .arg(op.length);
    }
    return lines.join(QLatin1Char('\n'));
}

// One task per line: "kind done line position text".
static QString describeTodos(const QList<TodoItem>& items)
{
    QStringList lines;
    for (const TodoItem& item : items)
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(item.kind)
                     .arg(item.done ? 1 : 0)
                     .arg(item.lineIndex)
                     .arg(item.position)
                     .arg(item.text);
    return lines.join(u'\n');
}

void tst_DeltaFormat::parseDeltaOps_data()
{
    // clang-format off
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("expected");

    QTest::newRow("text with attributes") << R"([{"insert":"Hi\n","attributes":{"bold":true}}])"
        << "0|Hi\n|{}|{\"bold\":true}|0";
    QTest::newRow("embed") << R"([{"insert":{"divider":"hr"}}])" << "1||{\"divider\":\"hr\"}|{}|0";
    QTest::newRow("retain and delete") << R"([{"retain":5,"attributes":{"bold":true}},{"delete":3}])"
        << "2||{}|{\"bold\":true}|5\n3||{}|{}|3";
    QTest::newRow("retain wins over delete") << R"([{"retain":2,"delete":4}])" << "2||{}|{}|2";
    QTest::newRow("non-objects skipped") << R"([1,"x",null,[],{"insert":"a"}])" << "0|a|{}|{}|0";
    // Anything but a non-empty array parses to nothing.
    QTest::newRow("empty") << "" << "";
    QTest::newRow("invalid JSON") << R"([{"insert":"a"})" << "";
    // clang-format on
}

void tst_DeltaFormat::parseDeltaOps()
{
    QFETCH(QString, body);
    QFETCH(QString, expected);
    QCOMPARE(describe(parseDelta(body)), expected);
    // The array overload reads the same.
    if (!expected.isEmpty())
        QCOMPARE(describe(parseDelta(QJsonDocument::fromJson(body.toUtf8()).array())), expected);
}

void tst_DeltaFormat::plainTextTitleAndBlank_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("blank");
    const QJsonArray cases = readCases("plain-text.json");
    QVERIFY(!cases.isEmpty());
    for (const QJsonValue& c : cases)
        QTest::newRow(qPrintable(c["case"].toString()))
            << caseText(c["body"]) << c["plain"].toString() << c["title"].toString() << c["blank"].toBool();
}

void tst_DeltaFormat::plainTextTitleAndBlank()
{
    QFETCH(QString, body);
    QFETCH(QString, plain);
    QFETCH(QString, title);
    QFETCH(bool, blank);
    QCOMPARE(bodyPlainText(body), plain);
    QCOMPARE(isBodyBlank(body), blank);
    QCOMPARE(noteTitle(body), title);
}

void tst_DeltaFormat::extractTodos_data()
{
    // clang-format off
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("expected");

    QTest::newRow("checklist items")
        << R"([{"insert":"Milk"},{"attributes":{"list":"unchecked"},"insert":"\n"},)"
           R"({"insert":"Eggs"},{"attributes":{"list":"checked"},"insert":"\n"}])" << "0 0 0 0 Milk\n0 1 1 5 Eggs";
    QTest::newRow("checklist line that looks like markdown stays checklist; other lists are none")
        << R"([{"insert":"- [ ] inner"},{"attributes":{"list":"checked"},"insert":"\n"},)"
           R"({"insert":"plain"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"a"},{"attributes":{"list":true},"insert":"\n"}])"
        << "0 1 0 0 - [ ] inner";
    QTest::newRow("keyword alone or not at the start") << R"([{"insert":"TODO:\nTODO:    \nlater TODO: x\n"}])" << "";
    QTest::newRow("markdown brackets without text, plain dash line") << R"([{"insert":"- [x]\n- [ ]   \n- item\n"}])"
        << "";
    QTest::newRow("newlines inside one insert share its attributes")
        << R"([{"attributes":{"list":"checked"},"insert":"a\nb\n"}])" << "0 1 0 0 a\n0 1 1 2 b";
    QTest::newRow("positions count earlier lines") << R"([{"insert":"abc\nTODO: x\n- [x] y\n"}])"
        << "2 0 1 4 x\n1 1 2 12 y";
    // Bodies are read without the JSON library; these pin down that they are read the same way.
    QTest::newRow("escapes in strings") << R"([{"insert":"TODO: a\u0062\"c\\\/\u000a"}])" << "2 0 0 0 ab\"c\\/";
    QTest::newRow("a key given twice counts once, with its last value")
        << R"([{"insert":"TODO: old\n","insert":"TODO: new\n"},{"insert":"a"},)"
           R"({"attributes":{"list":"checked"},"insert":"\n","attributes":{"list":"bullet"}}])" << "2 0 0 0 new";
    QTest::newRow("nesting past the limit")
        << R"([{"insert":"TODO: d\n","x":)" + QString(1023, u'[') + QString(1023, u']') + "}]" << "";
    QTest::newRow("unterminated string") << R"([{"insert":"TODO: x\n}])" << "";
    // clang-format on
}

void tst_DeltaFormat::extractTodos()
{
    QFETCH(QString, body);
    QFETCH(QString, expected);
    QCOMPARE(describeTodos(::extractTodos(QStringLiteral("n1"), body, QDateTime())), expected);
}

void tst_DeltaFormat::setTodoDone_data()
{
    // clang-format off
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("line");
    QTest::addColumn<bool>("done");
    QTest::addColumn<QString>("expected");

    QTest::newRow("tick keeps other attributes")
        << R"([{"insert":"a"},{"insert":"\n","attributes":{"list":"unchecked","align":"center","foo":1}}])" << 0 << true
        << R"([{"insert":"a"},{"attributes":{"align":"center","foo":1,"list":"checked"},"insert":"\n"}])";
    QTest::newRow("newlines in longer inserts are counted")
        << R"([{"insert":"x\ny\n"},{"insert":"c"},{"insert":"\n","attributes":{"list":"unchecked"}}])" << 2 << true
        << R"([{"insert":"x\ny\n"},{"insert":"c"},{"attributes":{"list":"checked"},"insert":"\n"}])";
    QTest::newRow("embeds are not lines")
        << R"([{"insert":{"divider":"hr"}},{"insert":"\n"},{"insert":"t"},{"insert":"\n"}])" << 1 << true
        << R"([{"insert":{"divider":"hr"}},{"insert":"\n"},{"insert":"t"},{"attributes":{"list":"checked"},"insert":"\n"}])";
    QTest::newRow("line ending shares its insert with text")
        << R"([{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"word\n"}])" << 0 << true << "";
    QTest::newRow("index past the end") << R"([{"insert":"a\n"}])" << 1 << true << "";
    // clang-format on
}

void tst_DeltaFormat::setTodoDone()
{
    QFETCH(QString, body);
    QFETCH(int, line);
    QFETCH(bool, done);
    QFETCH(QString, expected);
    const QString result = ::setTodoDone(body, line, done);
    QCOMPARE(result, expected);
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
