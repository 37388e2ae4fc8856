#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for. The first argument is the program path.
struct CommandLineOptions
{
    bool newNote = false;   // "--new-note" anywhere
    bool hasNoteId = false; // a "--note" with a following argument was found
    QString noteId;         // that argument
};

CommandLineOptions parseCommandLine(const QStringList& args);

// The message a second start hands to the running instance: "new-note", "note:<id>" or "focus".
QString secondStartMessage(const QStringList& args);

// Note ids remembered at the last quit, stored joined with ","; empty parts are dropped, order kept.
QStringList parseRestoreIds(const QString& stored);

// "--version" and "--help" are answered by this process alone, on standard output, before a window opens or the
// command line is handed to a running instance. Empty when neither was asked.
QString immediateAnswer(const QStringList& args, const QString& version);

// "--verbose": the app's own debug lines go to standard error, for a bug report.
bool verboseRequested(const QStringList& args);
