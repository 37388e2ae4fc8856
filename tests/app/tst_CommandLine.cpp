#include "CommandLine.h"

#include <QTest>

class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void message_data();
    void message();
    void options_data();
    void options();
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

QTEST_APPLESS_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
