#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class AttachmentRepository;
class NoteRepository;
class NotebookRepository;

// Outcome of one import, shared by the JEX and NSX importers and shown by the import wizard.
struct ImportResult
{
    qint32 imported = 0;    // notes inserted
    qint32 skipped = 0;     // notes already imported from the same archive item, unchanged since
    qint32 errors = 0;      // items that could not be read or saved (each named in messages); 1 for a fatal failure
    qint32 attachments = 0; // attachment files stored
    QString error;          // fatal failure, empty on success
    QStringList messages;   // non-fatal problems (an item left out and why), one line each

    bool ok() const { return error.isEmpty(); }
};

// (current index, total, message); total is 0 while the size of the work is not known yet.
using ImportProgress = std::function<void(int current, int total, const QString& message)>;

// The repositories an import or restore writes into; all three must be set.
struct LibraryRepositories
{
    NoteRepository* notes = nullptr;
    NotebookRepository* notebooks = nullptr;
    AttachmentRepository* attachments = nullptr;

    bool isComplete() const { return notes && notebooks && attachments; }
};
