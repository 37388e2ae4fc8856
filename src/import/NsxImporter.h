#pragma once

#include "ImportResult.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Synology NoteStation export (".nsx"): a ZIP holding "config.json" (the ids of notebooks and notes),
// one JSON file per notebook and note named by its id, and attachment data as "file_<md5>".

struct NsxConfig
{
    QStringList notebookIds;
    QStringList noteIds;
};

struct NsxNotebook
{
    QString title;
    qint64 ctime = 0; // seconds since the epoch; 0 when absent or unreadable
    qint64 mtime = 0;
};

struct NsxAttachment
{
    QString md5;
    QString name;
    QString ext;
    QString type; // "image" for pictures, "binary" for other files; newer exports give a MIME type
    QString ref;  // the value of the ref attribute that places it in the HTML
};

struct NsxNote
{
    QString title;
    QString parentId;
    QString content; // HTML
    qint64 ctime = 0;
    qint64 mtime = 0;
    QList<NsxAttachment> attachments;
};

// The JSON readers, free of any archive. Absent when the bytes are not a JSON object.
std::optional<NsxConfig> parseNsxConfig(const QByteArray& json);
std::optional<NsxNotebook> parseNsxNotebook(const QByteArray& json);
std::optional<NsxNote> parseNsxNote(const QByteArray& json);

// A time value: a JSON number or a decimal string of seconds. 0 for anything else, and for values
// outside the years a date-time can hold.
qint64 nsxSeconds(const QJsonValue& value);

// "image/<ext>" (png when there is no usable extension; "jpg" gives image/jpeg) for type "image"; a
// type that is itself a MIME type as it stands; otherwise the type of the extension or name when it
// is known, else "application/octet-stream".
QString nsxAttachmentMime(const NsxAttachment& attachment);

// "&", then "<", then ">" replaced by their entities.
QString escapeHtmlText(const QString& text);

// Unpacks the archive in-process into a temporary folder that is removed afterwards; the
// extraction is bounded (see ZipLimits), so a hostile archive ends in "Failed to extract archive: %1"
// rather than filling the disk. Attachments whose ref does not occur in the note's HTML are added
// at the end of the note, so nothing imported is unreachable. Note Station's check boxes become
// check-list lines, notes from its recycle bin go to the trash, notes read before (same id and
// update time, the note still here) are skipped, and items that cannot be read are named.
ImportResult importNsx(const QString& archivePath, const LibraryRepositories& library,
                       const ImportProgress& progress = {});
