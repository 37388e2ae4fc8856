#include "Clock.h"
#include "DeltaFormat.h"
#include "Todos.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

// One task per line: "kind done line position text".
QString describe(const QList<TodoItem>& items)
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

} // namespace

class tst_Todos : public QObject
{
    Q_OBJECT

private slots:
    void extract_data();
    void extract();
    void itemFields();
    void setDone_data();
    void setDone();
    void hostileBodies_data();
    void hostileBodies();
};

void tst_Todos::extract_data()
{
    // clang-format off
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("expected");

    QTest::newRow("checklist items")
        << R"([{"insert":"Milk"},{"attributes":{"list":"unchecked"},"insert":"\n"},)"
           R"({"insert":"Eggs"},{"attributes":{"list":"checked"},"insert":"\n"}])" << "0 0 0 0 Milk\n0 1 1 5 Eggs";
    QTest::newRow("whitespace-only checklist line still counts")
        << R"([{"insert":"   "},{"attributes":{"list":"unchecked"},"insert":"\n"},)"
           R"({"insert":"b"},{"attributes":{"list":"checked"},"insert":"\n"}])" << "0 1 1 4 b";
    QTest::newRow("checklist line that looks like markdown stays checklist; other lists are none")
        << R"([{"insert":"- [ ] inner"},{"attributes":{"list":"checked"},"insert":"\n"},)"
           R"({"insert":"plain"},{"attributes":{"list":"bullet"},"insert":"\n"},{"insert":"a"},{"attributes":{"list":true},"insert":"\n"}])"
        << "0 1 0 0 - [ ] inner";
    QTest::newRow("lowercase keyword") << R"([{"insert":"todo: buy milk\n"}])" << "2 0 0 0 buy milk";
    QTest::newRow("keyword alone or not at the start") << R"([{"insert":"TODO:\nTODO:    \nlater TODO: x\n"}])" << "";
    QTest::newRow("markdown done with capital X") << R"([{"insert":"- [X] Ship\n"}])" << "1 1 0 0 Ship";
    QTest::newRow("markdown open without spaces") << R"([{"insert":"-[ ]a\n"}])" << "1 0 0 0 a";
    QTest::newRow("markdown brackets without text, plain dash line") << R"([{"insert":"- [x]\n- [ ]   \n- item\n"}])"
        << "";
    QTest::newRow("text after the last newline is ignored") << R"([{"insert":"first\nTODO: unfinished"}])" << "";
    QTest::newRow("newlines inside one insert share its attributes")
        << R"([{"attributes":{"list":"checked"},"insert":"a\nb\n"}])" << "0 1 0 0 a\n0 1 1 2 b";
    QTest::newRow("positions count earlier lines") << R"([{"insert":"abc\nTODO: x\n- [x] y\n"}])"
        << "2 0 1 4 x\n1 1 2 12 y";
    QTest::newRow("embeds count one position but no text")
        << R"([{"insert":{"divider":"hr"}},{"insert":"\n"},{"insert":"TODO: y\n"}])" << "2 0 1 2 y";
    QTest::newRow("retain, delete and non-objects are skipped")
        << R"([{"retain":5},7,{"delete":2},{"insert":"TODO: z\n"}])" << "2 0 0 0 z";
    // Bodies are read without the JSON library; these pin down that they are read the same way.
    QTest::newRow("escapes in strings") << R"([{"insert":"TODO: a\u0062\"c\\\/\u000a"}])" << "2 0 0 0 ab\"c\\/";
    QTest::newRow("escaped keys") << R"([{"ins\u0065rt":"x"},{"\u0061ttributes":{"list":"checked"},"insert":"\n"}])"
        << "0 1 0 0 x";
    QTest::newRow("a key given twice counts once, with its last value")
        << R"([{"insert":"TODO: old\n","insert":"TODO: new\n"},{"insert":"a"},)"
           R"({"attributes":{"list":"checked"},"insert":"\n","attributes":{"list":"bullet"}}])" << "2 0 0 0 new";
    QTest::newRow("other values are skipped")
        << R"([{"insert":"TODO: n\n","x":[-1.5e3,0,1.,true,false,null,{"a":[]},"s"]},[],"str",-0])" << "2 0 0 0 n";
    QTest::newRow("byte order mark") << QStringLiteral("\uFEFF[{\"insert\":\"TODO: b\\n\"}]") << "2 0 0 0 b";
    QTest::newRow("white space around tokens") << " \t\r\n[ { \"insert\" : \"TODO: w\\n\" } ] \n" << "2 0 0 0 w";
    QTest::newRow("nesting at the limit")
        << R"([{"insert":"TODO: d\n","x":)" + QString(1022, u'[') + QString(1022, u']') + "}]" << "2 0 0 0 d";
    QTest::newRow("nesting past the limit")
        << R"([{"insert":"TODO: d\n","x":)" + QString(1023, u'[') + QString(1023, u']') + "}]" << "";
    QTest::newRow("unterminated string") << R"([{"insert":"TODO: x\n}])" << "";
    QTest::newRow("unknown escape stands for its character") << R"([{"insert":"TODO: a\-b\n"}])" << "2 0 0 0 a-b";
    // clang-format on
}

void tst_Todos::extract()
{
    QFETCH(QString, body);
    QFETCH(QString, expected);
    QCOMPARE(describe(extractTodos(QStringLiteral("n1"), body, QDateTime())), expected);
}

void tst_Todos::itemFields()
{
    const QDateTime now(QDate(2024, 3, 11), QTime(9, 30), Qt::UTC);
    const QDateTime updated(QDate(2024, 1, 2), QTime(3, 4), Qt::UTC);
    Clock::Fixed clock(now);
    const TodoItem item =
        extractTodos(QStringLiteral("note-7"), QStringLiteral(R"([{"insert":"x\nTODO: Buy milk\n"}])"), updated)
            .value(0);
    // The id is note, line and a digest of the trimmed text, so it follows the line when lines move.
    QCOMPARE(item.id, QStringLiteral("note-7_1_9df6a82e"));
    QCOMPARE(todoId(QStringLiteral("  Buy milk \t"), QStringLiteral("note-7"), 3), QStringLiteral("note-7_3_9df6a82e"));
    QCOMPARE(todoId(QStringLiteral("Grüße ✓"), QStringLiteral("abc"), 0), QStringLiteral("abc_0_0b0260c4"));
    QCOMPARE(item.noteId, QStringLiteral("note-7"));
    QCOMPARE(item.extractedAt, now);
    QCOMPARE(item.noteUpdatedAt, updated);
}

void tst_Todos::setDone_data()
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
    QTest::newRow("line without attributes gets them") << R"([{"insert":"a"},{"insert":"\n"}])" << 0 << false
        << R"([{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"\n"}])";
    QTest::newRow("embeds are not lines")
        << R"([{"insert":{"divider":"hr"}},{"insert":"\n"},{"insert":"t"},{"insert":"\n"}])" << 1 << true
        << R"([{"insert":{"divider":"hr"}},{"insert":"\n"},{"insert":"t"},{"attributes":{"list":"checked"},"insert":"\n"}])";
    QTest::newRow("line ending shares its insert with text")
        << R"([{"insert":"a"},{"attributes":{"list":"unchecked"},"insert":"word\n"}])" << 0 << true << "";
    QTest::newRow("index past the end") << R"([{"insert":"a\n"}])" << 1 << true << "";
    QTest::newRow("negative index") << R"([{"insert":"\n"}])" << -1 << true << "";
    // clang-format on
}

void tst_Todos::setDone()
{
    QFETCH(QString, body);
    QFETCH(int, line);
    QFETCH(bool, done);
    QFETCH(QString, expected);
    const QString result = setTodoDone(body, line, done);
    QCOMPARE(result, expected);
    if (!result.isEmpty()) {
        // Toggling changes a state, never the text or the number of lines.
        QCOMPARE(bodyPlainText(result), bodyPlainText(body));
        QCOMPARE(QJsonDocument::fromJson(result.toUtf8()).array().size(),
                 QJsonDocument::fromJson(body.toUtf8()).array().size());
    }
}

void tst_Todos::hostileBodies_data()
{
    // clang-format off
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("tasks");
    QTest::addColumn<int>("longestTask");

    // Built as text: a QJsonArray of this size costs more than the code under test.
    const QString megabyte(1 << 20, u'x');
    QTest::newRow("megabyte task line") << R"([{"insert":"TODO: )" + megabyte + R"(\n"}])" << 1 << int(megabyte.size());
    QTest::newRow("megabyte of dashes and brackets") << R"([{"insert":"-)" + QString(1 << 20, u'[') + R"(\n"}])" << 0
        << 0;
    QTest::newRow("100,000 lines in one insert")
        << R"([{"insert":")" + QStringLiteral("- [x] t\\n").repeated(100000) + R"("}])" << 100000 << 1;
    QString checklist =
        QStringLiteral(R"({"insert":"t"},{"attributes":{"list":"unchecked"},"insert":"\n"},)").repeated(20000);
    checklist.chop(1);
    QTest::newRow("20,000 checklist lines") << u'[' + checklist + u']' << 20000 << 1;
    QTest::newRow("deeply nested json") << QString(100000, u'[') + QString(100000, u']') << 0 << 0;
    // Decoding turns each broken sequence into one replacement character.
    // clang-format on
}

void tst_Todos::hostileBodies()
{
    QFETCH(QString, body);
    QFETCH(int, tasks);
    QFETCH(int, longestTask);
    const QList<TodoItem> items = extractTodos(QStringLiteral("n"), body, {});
    QCOMPARE(items.size(), tasks);
    qsizetype longest = 0;
    for (const TodoItem& item : items)
        longest = std::max(longest, item.text.size());
    QCOMPARE(longest, qsizetype(longestTask));
    if (!items.isEmpty() && items.last().kind == TodoItem::ChecklistTodo) {
        const QString toggled = setTodoDone(body, items.last().lineIndex, true);
        QCOMPARE(extractTodos(QStringLiteral("n"), toggled, {}).last().done, true);
    }
}

QTEST_GUILESS_MAIN(tst_Todos)
#include "tst_Todos.moc"
