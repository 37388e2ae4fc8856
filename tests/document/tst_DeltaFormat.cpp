#include "DeltaFormat.h"
#include "Records.h"

#include <QJsonDocument>
#include <QTest>

class tst_DeltaFormat : public QObject
{
    Q_OBJECT

private slots:
    void parseDeltaOps_data();
    void parseDeltaOps();
    void bodyPlainTextAndTitle_data();
    void bodyPlainTextAndTitle();
    void blankBodies_data();
    void blankBodies();
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
    QTest::newRow("insert wins over retain") << R"([{"insert":"a","retain":4}])" << "0|a|{}|{}|0";
    QTest::newRow("retain wins over delete") << R"([{"retain":2,"delete":4}])" << "2||{}|{}|2";
    QTest::newRow("no known key") << R"([{"foo":1}])" << "0||{}|{}|0";
    QTest::newRow("numeric insert") << R"([{"insert":5,"retain":1}])" << "2||{}|{}|1";
    QTest::newRow("non-objects skipped") << R"([1,"x",null,[],{"insert":"a"}])" << "0|a|{}|{}|0";
    // Anything but a non-empty array parses to nothing.
    QTest::newRow("empty") << "" << "";
    QTest::newRow("invalid JSON") << R"([{"insert":"a"})" << "";
    QTest::newRow("object") << R"({"ops":[{"insert":"a\n"}]})" << "";
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

void tst_DeltaFormat::bodyPlainTextAndTitle_data()
{
    // clang-format off
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("title");

    QTest::newRow("new note") << R"([{"insert":"\n"}])" << "\n" << "";
    QTest::newRow("heading then text")
        << R"([{"insert":"  Groceries "},{"insert":"\n","attributes":{"header":1}},)" R"({"insert":"milk\n"}])"
        << "  Groceries \nmilk\n" << "Groceries";
    QTest::newRow("embed first") << R"([{"insert":{"image":"norvane-notes://attachment/1"}},{"insert":"Cat\n"}])"
        << "Cat\n" << "Cat";
    QTest::newRow("non-string inserts ignored") << R"([{"insert":7},{"insert":"a"},{"retain":1},"b",{"insert":"c"}])"
        << "ac" << "ac";
    QTest::newRow("object is plain text") << "{\"insert\":\"x\"}\nsecond" << "{\"insert\":\"x\"}\nsecond"
        << R"({"insert":"x"})";
    QTest::newRow("plain text with blank first line") << "\nsecond" << "\nsecond" << "";
    // clang-format on
}

void tst_DeltaFormat::bodyPlainTextAndTitle()
{
    QFETCH(QString, body);
    QFETCH(QString, plain);
    QFETCH(QString, title);
    QCOMPARE(bodyPlainText(body), plain);
    // The stored title is cut from the same plain text.
    QCOMPARE(noteTitle(body), title);
    QCOMPARE(bodyPlainText(body).section(QLatin1Char('\n'), 0, 0).trimmed(), title);
}

void tst_DeltaFormat::blankBodies_data()
{
    // clang-format off
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("blank");

    QTest::newRow("empty body") << R"([{"insert":"\n"}])" << true;
    QTest::newRow("white space only") << R"([{"insert":" \t\n"},{"insert":"\n","attributes":{"list":"bullet"}}])"
        << true;
    QTest::newRow("retain and numeric insert") << R"([{"retain":4},{"insert":0}])" << true;
    QTest::newRow("text") << R"([{"insert":"\n"},{"insert":" x "}])" << false;
    QTest::newRow("embed") << R"([{"insert":{"divider":"hr"}},{"insert":"\n"}])" << false;
    QTest::newRow("empty embed object") << R"([{"insert":{}}])" << false;
    QTest::newRow("plain blank text") << "  \n " << true;
    // clang-format on
}

void tst_DeltaFormat::blankBodies()
{
    QFETCH(QString, body);
    QFETCH(bool, blank);
    QCOMPARE(isBodyBlank(body), blank);
}

QTEST_GUILESS_MAIN(tst_DeltaFormat)
#include "tst_DeltaFormat.moc"
