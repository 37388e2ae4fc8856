#pragma once

#include "ImportResult.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Joplin export (".jex"): an uncompressed tar of one Markdown file per item (notes, folders,
// resources, tags...) and the resource files under "resources/".

// One ".md" item: the text, then a block of "key: value" lines starting at the last "\n\nid: ".
struct JexItem
{
    enum Type
    {
        Note = 1,
        Folder = 2,
        Resource = 4,
        Tag = 5,
        NoteTag = 6
    };

    QString id;
    QString title; // "title" when the metadata has it, else the first non-blank line of the body
    QString parentId;
    int type = 0;
    int markupLanguage = 1; // 1 Markdown, 2 HTML
    // "user_created_time" and "user_updated_time" when present (the dates the user knows),
    // otherwise "created_time" and "updated_time" (sync bookkeeping).
    QDateTime createdTime;
    QDateTime updatedTime;
    bool isTodo = false;
    qint64 todoCompleted = 0;
    QString mime;
    QString fileExtension;
    QDateTime deletedTime; // in the exporter's trash since then; invalid when not
    QString noteId;        // tag links
    QString tagId;
    QString body;
    bool hasMetadata = false; // false: not an item at all
};

JexItem parseJexItem(const QByteArray& data);

// ISO 8601 (with or without milliseconds; no zone means UTC) or milliseconds since the epoch.
// Anything else, and the empty text, gives an invalid date-time.
QDateTime parseJexTime(const QString& text);

// Drops the lines that only repeat the title: a first line equal to it, then a "# " heading equal
// to it or starting with it followed by " ", " –" or " -". The note gets its own heading back
// from the title.
QString cleanJexBody(const QString& body, const QString& title);

// Folders become notebooks named by their path ("Parent / Child"), notes become notes, and
// resources that a note links to with ":/<id>" become attachments of that note: pictures in place,
// other files as attachment chips. Links to other notes of the archive point at the imported notes.
// A note's tags end its text as a line "Tags: a, b"; a to-do note starts with a check-list item.
// Items read before (same id and update time, the note still here) are skipped and counted as
// such; items that cannot be read are counted as errors and named. The archive is read entry by
// entry from disk. Fatal failures ("Failed to read archive or archive is empty", or the reason a
// damaged archive was refused) leave the library untouched.
ImportResult importJex(const QString& archivePath, const LibraryRepositories& library,
                       const ImportProgress& progress = {});
