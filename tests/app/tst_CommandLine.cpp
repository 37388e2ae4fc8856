#include "CommandLine.h"
#include "Version.h"

#include <QTest>

class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void message_data();
    void message();
    void options_data();
    void options();
    void restoreIds_data();
    void restoreIds();
    void parse_data();
    void parse();
    void compare_data();
    void compare();
};

namespace {
const QString kProgram = QStringLiteral("/usr/bin/norvane-notes");
}

void tst_CommandLine::message_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no arguments") << QStringList{kProgram} << "focus";
    QTest::newRow("empty command line") << QStringList{} << "focus";
    QTest::newRow("new note") << QStringList{kProgram, "--new-note"} << "new-note";
    QTest::newRow("note with id") << QStringList{kProgram, "--note", "abc"} << "note:abc";
    QTest::newRow("note id is taken verbatim") << QStringList{kProgram, "--note", "--verbose"} << "note:--verbose";
    QTest::newRow("note as last argument") << QStringList{kProgram, "--note"} << "focus";
    QTest::newRow("first note with a value") << QStringList{kProgram, "--note", "a", "--note", "b"} << "note:a";
    QTest::newRow("new note wins, before") << QStringList{kProgram, "--new-note", "--note", "abc"} << "new-note";
    QTest::newRow("program path not scanned") << QStringList{"--note", "abc"} << "focus";
    QTest::newRow("equals form is not an option") << QStringList{kProgram, "--note=abc"} << "focus";
}

void tst_CommandLine::message()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    QCOMPARE(secondStartMessage(args), expected);
}

void tst_CommandLine::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("newNote");
    QTest::addColumn<bool>("hasNoteId");
    QTest::addColumn<QString>("noteId");

    QTest::newRow("both given") << QStringList{kProgram, "--note", "n1", "--new-note"} << true << true << "n1";
    QTest::newRow("empty id counts as given") << QStringList{kProgram, "--note", ""} << false << true << QString();
}

void tst_CommandLine::options()
{
    QFETCH(QStringList, args);
    QFETCH(bool, newNote);
    QFETCH(bool, hasNoteId);
    QFETCH(QString, noteId);

    const CommandLineOptions options = parseCommandLine(args);
    QCOMPARE(options.newNote, newNote);
    QCOMPARE(options.hasNoteId, hasNoteId);
    QCOMPARE(options.noteId, noteId);
}

void tst_CommandLine::restoreIds_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty part between two") << "id-2,,id-1" << QStringList{"id-2", "id-1"};
    QTest::newRow("leading and trailing commas") << ",a,b," << QStringList{"a", "b"};
    QTest::newRow("order kept, duplicates kept") << "c,a,c" << QStringList{"c", "a", "c"};
}

void tst_CommandLine::restoreIds()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, expected);
    QCOMPARE(parseRestoreIds(stored), expected);
}

void tst_CommandLine::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("patch");

    QTest::newRow("three parts") << "1.2.3" << 1 << 2 << 3;
    QTest::newRow("one part") << "2" << 2 << 0 << 0;
    QTest::newRow("suffix in a part") << "2.0.1-beta" << 0 << 0 << 0;
    QTest::newRow("empty middle part") << "1..1" << 0 << 0 << 0;
    QTest::newRow("surrounding space") << " 1.2" << 0 << 0 << 0;
    QTest::newRow("negative part") << "-1.0" << -1 << 0 << 0;
    QTest::newRow("beyond int") << "99999999999" << 0 << 0 << 0;
    QTest::newRow("four parts") << "1.1.1.1" << 0 << 0 << 0;
}

void tst_CommandLine::parse()
{
    QFETCH(QString, text);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, patch);

    const VersionTriple v = parseVersion(text);
    QCOMPARE(v.major, major);
    QCOMPARE(v.minor, minor);
    QCOMPARE(v.patch, patch);
}

void tst_CommandLine::compare_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");

    // The stored "last_whats_new_version" against the running version.
    QTest::newRow("empty is older") << ""
                                    << "1.1.1" << -1;
    QTest::newRow("equal") << "1.1.1"
                           << "1.1.1" << 0;
    QTest::newRow("numeric, not textual") << "1.10.0"
                                          << "1.9.9" << 1;
    QTest::newRow("major outweighs minor") << "2.0.0"
                                           << "1.99.99" << 1;
}

void tst_CommandLine::compare()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    QCOMPARE(compareVersions(a, b), expected);
    QCOMPARE(compareVersions(b, a), -expected);
}

QTEST_APPLESS_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
