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
