#include "JexImporter.h"

#include "AttachmentRepository.h"
#include "Clock.h"
#include "ImportLog.h"
#include "ImportSupport.h"
#include "MarkdownHtml.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "NsxImporter.h"
#include "Records.h"
#include "TarReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSet>

namespace {

constexpr qint64 kLatestMs = Q_INT64_C(253402300799999); // 9999-12-31T23:59:59.999Z
// An item file is text written by the exporter; anything larger is not one.
constexpr qint64 kMaxItemBytes = qint64(64) << 20;

const QString kAttachmentUrl = QStringLiteral("norvane-notes://attachment/");
const QString kNoteUrl = QStringLiteral("norvane-notes://note/");
const QString kNoteKind = QStringLiteral("jex-note");
const QString kFolderKind = QStringLiteral("jex-folder");

// A picture on a line of its own: never a title, always content.
bool isPictureLine(const QString& line)
{
    static const QRegularExpression picture(QStringLiteral("^!\\[[^\\]]*\\]\\([^)]*\\)$"));
    return picture.match(line.trimmed()).hasMatch();
}

QString firstNonBlankLine(const QString& text)
{
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            return trimmed;
    }
    return {};
}

// Splits off the first line; the rest is trimmed.
QString withoutFirstLine(const QString& text)
{
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return newline < 0 ? QString() : text.mid(newline + 1).trimmed();
}

QString firstLine(const QString& text)
{
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return newline < 0 ? text : text.left(newline);
}

QDateTime orNow(const QDateTime& t)
{
    return t.isValid() ? t : Clock::nowUtc();
}

// Backslash before every character Markdown could read as syntax, so a title stays the text it was.
QString escapeMarkdown(const QString& text)
{
    static const QString special = QStringLiteral("\\`*_{}[]()<>#+-.!|~&");
    QString out;
    out.reserve(text.size() * 2);
    for (const QChar c : text) {
        if (special.contains(c))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

bool isTopLevelItem(const QString& name)
{
    return name.endsWith(QLatin1String(".md")) && !name.contains(QLatin1Char('/'));
}

// Joplin's own item types that hold no content of the user (settings, alarms, revisions, keys...).
bool isBookkeepingType(int type)
{
    return type == 3 || (type >= 7 && type <= 16);
}

// The resource's data entry, or nothing when the archive does not hold it.
const TarIndexEntry* resourceEntry(const JexItem& resource, const QMap<QString, TarIndexEntry>& files)
{
    const QString base = QStringLiteral("resources/") + resource.id;
    if (!resource.fileExtension.isEmpty()) {
        auto it = files.constFind(base + QLatin1Char('.') + resource.fileExtension);
        if (it != files.constEnd())
            return &it.value();
    }
    auto it = files.constFind(base);
    if (it != files.constEnd())
        return &it.value();
    for (auto i = files.constBegin(); i != files.constEnd(); ++i) {
        if (i.key().contains(resource.id))
            return &i.value();
    }
    return nullptr;
}

QString resourceMime(const JexItem& resource)
{
    if (!resource.mime.isEmpty())
        return resource.mime;
    if (!resource.fileExtension.isEmpty()) {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("x.") + resource.fileExtension,
                                                               QMimeDatabase::MatchExtension);
        if (type.isValid() && !type.isDefault())
            return type.name();
    }
    return QStringLiteral("application/octet-stream");
}

// "Parent / Child" for nested folders; a parent missing from the archive, or a loop, ends the path.
QString folderPath(const JexItem& folder, const QHash<QString, const JexItem*>& folders)
{
    auto name = [](const JexItem& f) {
        return f.title.isEmpty() ? QStringLiteral("Imported Folder") : f.title;
    };
    QStringList parts{name(folder)};
    QSet<QString> seen{folder.id};
    for (QString parent = folder.parentId; !parent.isEmpty() && !seen.contains(parent);) {
        const JexItem* up = folders.value(parent);
        if (!up)
            break;
        seen.insert(parent);
        parts.prepend(name(*up));
        parent = up->parentId;
    }
    return parts.join(QStringLiteral(" / "));
}

QJsonObject textOp(const QString& text, const QJsonObject& attributes = {})
{
    QJsonObject op{{QStringLiteral("insert"), text}};
    if (!attributes.isEmpty())
        op.insert(QStringLiteral("attributes"), attributes);
    return op;
}

struct PendingAttachment
{
    Attachment record;
    const TarIndexEntry* entry = nullptr;
};

// Rewrites the references to one resource in a note's source text. A picture shown as a picture
// stays one; every other file, and a picture the note only links to, becomes an embed too, which the
// editor shows as an attachment chip (or the picture) rather than a link nothing could follow.
void linkResource(QString& body, bool html, const QString& resourceId, const QString& url, bool picture)
{
    const QString escapedId = QRegularExpression::escape(resourceId);
    const QRegularExpression shown(html ? QStringLiteral("<img\\s[^>]*src=\"?:/%1").arg(escapedId)
                                        : QStringLiteral("!\\[[^\\]]*\\]\\(:/%1").arg(escapedId),
                                   QRegularExpression::CaseInsensitiveOption);
    if (!picture || !shown.match(body).hasMatch()) {
        if (html) {
            const QRegularExpression anchor(QStringLiteral("<a\\s[^>]*href=\"?:/%1\"?[^>]*>.*?</a>").arg(escapedId),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::DotMatchesEverythingOption);
            body.replace(anchor, QStringLiteral("<img src=\"%1\" />").arg(url));
        } else {
            const QRegularExpression link(
                QStringLiteral("(^|[^!])\\[([^\\]]*)\\]\\(:/%1(\\s+\"[^\"]*\")?\\)").arg(escapedId));
            body.replace(link, QStringLiteral("\\1![\\2](%1)").arg(url));
        }
    }
    body.replace(QStringLiteral(":/") + resourceId, url);
}

} // namespace

QDateTime parseJexTime(const QString& text)
{
    if (text.isEmpty())
        return {};
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid())
        t = QDateTime::fromString(text, Qt::ISODate);
    if (t.isValid()) {
        if (t.timeSpec() == Qt::LocalTime)
            t.setTimeSpec(Qt::UTC); // no zone given: Joplin writes UTC
        return t.toUTC();
    }
    bool ok = false;
    const qint64 ms = text.toLongLong(&ok);
    if (!ok || ms < 1 || ms > kLatestMs)
        return {};
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

JexItem parseJexItem(const QByteArray& data)
{
    QString text = QString::fromUtf8(data);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")); // written on Windows
    QString metadata;
    JexItem item;
    const qsizetype block = text.lastIndexOf(QLatin1String("\n\nid: "));
    if (block >= 0) {
        item.body = text.left(block).trimmed();
        metadata = text.mid(block).trimmed();
    } else if (text.startsWith(QLatin1String("id: "))) {
        metadata = text;
    } else {
        item.body = text.trimmed();
    }
    item.hasMetadata = !metadata.isEmpty();

    // Line by line, so an empty value ("author: ") never swallows the key on the next line.
    static const QRegularExpression keyValue(QStringLiteral("^(\\w+):\\s*(.*)$"));
    QHash<QString, QString> fields;
    for (const QString& line : metadata.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = keyValue.match(line);
        if (m.hasMatch())
            fields.insert(m.captured(1), m.captured(2).trimmed());
    }

    item.id = fields.value(QStringLiteral("id"));
    auto title = fields.constFind(QStringLiteral("title"));
    if (title != fields.constEnd()) {
        item.title = title.value();
    } else {
        // An untitled note starts with its content; a picture there is content, not a title.
        const QString line = firstNonBlankLine(item.body);
        item.title = isPictureLine(line) ? QString() : line;
    }
    item.parentId = fields.value(QStringLiteral("parent_id"));
    item.type = fields.value(QStringLiteral("type_")).toInt();
    auto markup = fields.constFind(QStringLiteral("markup_language"));
    if (markup != fields.constEnd())
        item.markupLanguage = markup.value().toInt();
    auto time = [&fields](const char* user, const char* sync) {
        const QDateTime t = parseJexTime(fields.value(QLatin1String(user)));
        return t.isValid() ? t : parseJexTime(fields.value(QLatin1String(sync)));
    };
    item.createdTime = time("user_created_time", "created_time");
    item.updatedTime = time("user_updated_time", "updated_time");
    item.isTodo = fields.value(QStringLiteral("is_todo")) == QLatin1String("1");
    item.todoCompleted = fields.value(QStringLiteral("todo_completed")).toLongLong();
    item.mime = fields.value(QStringLiteral("mime"));
    item.fileExtension = fields.value(QStringLiteral("file_extension"));
    item.deletedTime = parseJexTime(fields.value(QStringLiteral("deleted_time")));
    item.noteId = fields.value(QStringLiteral("note_id"));
    item.tagId = fields.value(QStringLiteral("tag_id"));
    return item;
}

QString cleanJexBody(const QString& body, const QString& title)
{
    if (title.isEmpty())
        return body;
    QString out = body;
    if (firstLine(out).trimmed() == title)
        out = withoutFirstLine(out);
    const QString line = firstLine(out);
    if (line.startsWith(QLatin1String("# "))) {
        const QString heading = line.mid(2).trimmed();
        if (heading == title || heading.startsWith(title + QLatin1Char(' ')))
            out = withoutFirstLine(out); // " –" and " -" both begin with the space
    }
    return out;
}

ImportResult importJex(const QString& archivePath, const LibraryRepositories& library, const ImportProgress& progress)
{
    ImportResult result;
    if (!library.isComplete())
        return failImport(result,
                          QCoreApplication::translate("JexImporter", "Failed to read archive or archive is empty"));

    reportProgress(progress, 0, 0, QCoreApplication::translate("JexImporter", "Reading archive..."));
    QFile file(archivePath);
    if (!file.open(QIODevice::ReadOnly))
        return failImport(result,
                          QCoreApplication::translate("JexImporter", "Failed to read archive or archive is empty"));
    const TarIndexResult archive = indexTarArchive(file);
    if (!archive.ok()) {
        qCWarning(lcImport).noquote() << "JEX archive refused:" << archive.error;
        return failImport(result,
                          QCoreApplication::translate("JexImporter", "Failed to read archive: %1").arg(archive.error));
    }
    if (archive.entries.isEmpty())
        return failImport(result,
                          QCoreApplication::translate("JexImporter", "Failed to read archive or archive is empty"));

    // Only the item files are read now; resource data stays on disk until it is stored.
    QList<JexItem> notes;
    QList<JexItem> folders;
    QHash<QString, JexItem> resources;
    QHash<QString, QString> tagTitles;
    QList<QPair<QString, QString>> noteTags; // (note id, tag id)
    QMap<QString, TarIndexEntry> files;
    auto unreadable = [&result](const QString& name, const QString& why) {
        ++result.errors;
        result.messages.append(
            QCoreApplication::translate("JexImporter", "Item %1 could not be read: %2").arg(name, why));
    };
    for (const TarIndexEntry& entry : archive.entries) {
        if (!isTopLevelItem(entry.name)) {
            files.insert(entry.name, entry);
            continue;
        }
        if (entry.size > kMaxItemBytes) {
            unreadable(entry.name, QStringLiteral("too large (%1 bytes)").arg(entry.size));
            continue;
        }
        QByteArray data;
        if (file.seek(entry.offset))
            data = file.read(entry.size);
        if (data.size() != entry.size) {
            unreadable(entry.name, file.errorString());
            continue;
        }
        JexItem item = parseJexItem(data);
        if (!item.hasMetadata) {
            unreadable(entry.name, QStringLiteral("no metadata block"));
            continue;
        }
        item.body = cleanJexBody(item.body, item.title);
        switch (item.type) {
        case JexItem::Note:
            notes.append(std::move(item));
            break;
        case JexItem::Folder:
            folders.append(std::move(item));
            break;
        case JexItem::Resource:
            resources.insert(item.id, std::move(item));
            break;
        case JexItem::Tag:
            tagTitles.insert(item.id, item.title);
            break;
        case JexItem::NoteTag:
            noteTags.append({item.noteId, item.tagId});
            break;
        default:
            if (!isBookkeepingType(item.type))
                unreadable(entry.name, QStringLiteral("unknown type %1").arg(item.type));
            break;
        }
    }

    QHash<QString, QStringList> tagsOfNote;
    for (const auto& [noteId, tagId] : noteTags) {
        const QString tag = tagTitles.value(tagId).trimmed();
        if (!tag.isEmpty() && !tagsOfNote[noteId].contains(tag))
            tagsOfNote[noteId].append(tag);
    }

    ImportSession session(library);

    QHash<QString, const JexItem*> folderById;
    for (const JexItem& folder : folders)
        folderById.insert(folder.id, &folder);
    QHash<QString, QString> notebookForFolder;
    bool notebooksAdded = false;
    for (const JexItem& folder : folders) {
        const QString earlier = session.importedNotebook(kFolderKind, folder.id);
        if (!earlier.isEmpty()) {
            notebookForFolder.insert(folder.id, earlier);
            continue;
        }
        Notebook notebook;
        notebook.id = newId();
        notebook.name = folderPath(folder, folderById);
        notebook.createdAt = orNow(folder.createdTime);
        notebook.updatedAt = folder.updatedTime.isValid() ? folder.updatedTime : notebook.createdAt;
        if (library.notebooks->insert(notebook)) {
            notebookForFolder.insert(folder.id, notebook.id);
            session.remember(kFolderKind, folder.id, notebook.id);
            notebooksAdded = true;
        } else {
            result.messages.append(
                QCoreApplication::translate("JexImporter", "Folder \"%1\" could not be saved").arg(notebook.name));
        }
    }

    // Every note's id here is known before any body is written, so links between notes resolve
    // whichever comes first; a note imported before keeps its id and is not written again.
    auto updatedKey = [](const JexItem& item) {
        return item.updatedTime.isValid() ? toDbTimestamp(item.updatedTime) : QString();
    };
    QHash<QString, QString> localNoteId;
    QSet<QString> alreadyHere;
    for (const JexItem& item : notes) {
        const QString earlier = session.importedNote(kNoteKind, item.id, updatedKey(item));
        if (!earlier.isEmpty())
            alreadyHere.insert(item.id);
        if (!item.id.isEmpty())
            localNoteId.insert(item.id, earlier.isEmpty() ? newId() : earlier);
    }

    static const QRegularExpression itemLink(QStringLiteral(":/([a-f0-9]{32})"));
    const int total = int(notes.size());
    int tagged = 0;
    reportProgress(progress, 0, total, QCoreApplication::translate("JexImporter", "Importing %1 notes...").arg(total));
    for (int i = 0; i < total; ++i) {
        const JexItem& item = notes.at(i);
        reportProgress(
            progress, i, total,
            QCoreApplication::translate("JexImporter", "Importing: %1")
                .arg(item.title.isEmpty() ? QCoreApplication::translate("JexImporter", "(untitled)") : item.title));
        if (alreadyHere.contains(item.id)) {
            ++result.skipped;
            continue;
        }

        Note note;
        note.id = item.id.isEmpty() ? newId() : localNoteId.value(item.id);
        note.notebookId = notebookForFolder.value(item.parentId, QLatin1String(""));

        const bool html = item.markupLanguage == 2;
        QString body = item.body;
        QList<PendingAttachment> attachments;
        QSet<QString> seen;
        QRegularExpressionMatchIterator links = itemLink.globalMatch(item.body);
        while (links.hasNext()) {
            const QString targetId = links.next().captured(1);
            if (seen.contains(targetId))
                continue;
            seen.insert(targetId);
            auto resource = resources.constFind(targetId);
            if (resource == resources.constEnd()) {
                auto target = localNoteId.constFind(targetId);
                if (target != localNoteId.constEnd())
                    body.replace(QStringLiteral(":/") + targetId, kNoteUrl + target.value());
                continue; // otherwise a link to something the export left out
            }
            const TarIndexEntry* data = resourceEntry(resource.value(), files);
            if (!data || data->size == 0)
                continue;
            PendingAttachment pending;
            pending.entry = data;
            pending.record.id = newId();
            pending.record.noteId = note.id;
            const QString fallback = resource->fileExtension.isEmpty()
                                         ? targetId
                                         : QStringLiteral("%1.%2").arg(targetId, resource->fileExtension);
            pending.record.filename = plainAttachmentName(resource->title, fallback);
            pending.record.mimeType = resourceMime(resource.value());
            pending.record.sizeBytes = data->size;
            pending.record.createdAt = Clock::nowUtc();
            linkResource(body, html, targetId, kAttachmentUrl + pending.record.id,
                         pending.record.mimeType.startsWith(QLatin1String("image/")));
            attachments.append(pending);
        }

        // Joplin writes pasted images as "![](:/id)"; the text engine's Markdown reader places an
        // image only when it has alt text, so give ours some rather than lose the picture.
        if (!attachments.isEmpty())
            body.replace(QStringLiteral("![](") + kAttachmentUrl, QStringLiteral("![image](") + kAttachmentUrl);

        // A to-do note opens with its check-list item instead of a heading.
        const QString heading = item.isTodo ? QString() : item.title;
        QJsonArray delta;
        if (html) {
            // An HTML body gets its title as an HTML heading; Markdown syntax would show as text.
            delta = htmlToDelta(
                heading.isEmpty() ? body : QStringLiteral("<h1>%1</h1>\n%2").arg(escapeHtmlText(heading), body));
        } else {
            delta = markdownToDelta(
                heading.isEmpty() ? body : QStringLiteral("# %1\n\n%2").arg(escapeMarkdown(heading), body));
        }
        if (item.isTodo) {
            const QString text = item.title.isEmpty() ? QStringLiteral("To-do") : item.title;
            const QString state = item.todoCompleted > 0 ? QStringLiteral("checked") : QStringLiteral("unchecked");
            if (delta.size() == 1 && delta.first().toObject().value(QLatin1String("insert")) == QLatin1String("\n"))
                delta = QJsonArray(); // nothing below the item
            delta.prepend(textOp(QStringLiteral("\n"), QJsonObject{{QStringLiteral("list"), state}}));
            delta.prepend(textOp(text));
        }
        // The app has no tags; keeping them as text keeps them searchable.
        const QStringList tags = tagsOfNote.value(item.id);
        if (!tags.isEmpty()) {
            delta.append(textOp(QStringLiteral("Tags: ") + tags.join(QStringLiteral(", "))));
            delta.append(textOp(QStringLiteral("\n")));
            ++tagged;
        }
        note.body = QString::fromUtf8(QJsonDocument(delta).toJson(QJsonDocument::Compact));
        note.createdAt = orNow(item.createdTime);
        note.updatedAt = item.updatedTime.isValid() ? item.updatedTime : note.createdAt;
        note.modifiedAt = note.updatedAt;
        note.version = 1;
        // A note the user had thrown away arrives in the trash, where it can still be restored.
        if (item.deletedTime.isValid())
            note.deletedAt = item.deletedTime;

        if (!library.notes->insert(note)) {
            ++result.errors;
            result.messages.append(
                QCoreApplication::translate("JexImporter", "Note \"%1\" could not be saved").arg(item.title));
            continue;
        }
        ++result.imported;
        session.remember(kNoteKind, item.id, note.id, updatedKey(item));
        for (const PendingAttachment& pending : attachments) {
            const bool stored =
                file.seek(pending.entry->offset) && session.storeAttachment(pending.record, file, pending.entry->size);
            if (stored)
                ++result.attachments;
            else
                result.messages.append(
                    QCoreApplication::translate("JexImporter", "Attachment \"%1\" could not be saved")
                        .arg(pending.record.filename));
        }
    }
    if (tagged > 0) {
        result.messages.append(QCoreApplication::translate(
            "JexImporter", "Tags were kept as the last line of the text of %n note(s) (\"Tags: ...\")", nullptr,
            tagged));
    }

    const QString commitError = session.finish(result.imported > 0 || notebooksAdded);
    if (!commitError.isEmpty()) {
        result.imported = 0;
        result.attachments = 0;
        return failImport(
            result, QCoreApplication::translate("JexImporter", "Failed to save imported notes: %1").arg(commitError));
    }
    qCInfo(lcImport) << "JEX import:" << result.imported << "notes," << result.attachments << "attachments,"
                     << result.skipped << "skipped," << result.errors << "errors";
    return result;
}
