#include "CommandLine.h"

namespace {

const QString kNewNoteFlag = QStringLiteral("--new-note");
const QString kNoteFlag = QStringLiteral("--note");

} // namespace

CommandLineOptions parseCommandLine(const QStringList& args)
{
    CommandLineOptions options;
    options.newNote = args.contains(kNewNoteFlag);
    // Start at 1: the program path could itself read "--note".
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == kNoteFlag) {
            options.hasNoteId = true;
            options.noteId = args.at(i + 1);
            break;
        }
    }
    return options;
}

QString secondStartMessage(const QStringList& args)
{
    const CommandLineOptions options = parseCommandLine(args);
    if (options.newNote)
        return QStringLiteral("new-note");
    if (options.hasNoteId)
        return QStringLiteral("note:") + options.noteId;
    return QStringLiteral("focus");
}

QStringList parseRestoreIds(const QString& stored)
{
    return stored.split(u',', Qt::SkipEmptyParts);
}
