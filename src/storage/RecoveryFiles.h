#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// Text of a note that could not be written to the database, kept in a file until it can be: in
// the "recovery" folder beside the database, or, when that cannot be written, in the user's
// temporary folder. Each file names the database it belongs to, so only that library offers it.
struct RecoveredText
{
    QString path;
    QString noteId;
    QString body;
    QDateTime savedAt;
};

namespace RecoveryFiles {

// The folder beside the database.
QString directoryFor(const QString& databasePath);
// The fallback in the temporary folder.
QString temporaryDirectory();

// Writes (or replaces) the note's recovery file; the path written, empty when neither place could
// be written.
QString write(const QString& databasePath, const QString& noteId, const QString& body);
// What waits to be offered back for that database, oldest first.
QList<RecoveredText> pending(const QString& databasePath);
bool remove(const RecoveredText& text);

} // namespace RecoveryFiles
