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

QString immediateAnswer(const QStringList& args, const QString& version)
{
    const QStringList options = args.mid(1);
    if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"))) {
        return QStringLiteral("Usage: norvane-notes [--new-note] [--note ID] [--verbose]\n"
                              "Search-first, zero-friction note-taking.\n\n"
                              "  --new-note    open a new note in its own window\n"
                              "  --note ID     open the note ID in its own window\n"
                              "  --verbose     write debug lines to standard error\n"
                              "  --version     print the version and exit\n"
                              "  --help        print this help and exit\n\n"
                              "When the program is already running, --new-note and --note go to it.\n"
                              "NOTES_DATA_DIR sets the folder that holds the notes.\n");
    }
    if (options.contains(QStringLiteral("--version")) || options.contains(QStringLiteral("-v")))
        return QStringLiteral("Norvane Notes %1\n").arg(version);
    return {};
}

bool verboseRequested(const QStringList& args)
{
    return args.mid(1).contains(QStringLiteral("--verbose"));
}

QStringList parseRestoreIds(const QString& stored)
{
    return stored.split(u',', Qt::SkipEmptyParts);
}
