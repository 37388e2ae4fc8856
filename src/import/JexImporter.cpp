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

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

namespace {

constexpr qint64 kLatestMs = Q_INT64_C(253402300799999); // 9999-12-31T23:59:59.999Z

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

// The resource's bytes, or nothing when the archive does not hold them.
const QByteArray* resourceData(const JexItem& resource, const QMap<QString, QByteArray>& files)
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

struct PendingAttachment
{
    Attachment record;
    const QByteArray* data = nullptr;
};

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
    const QString text = QString::fromUtf8(data);
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
    item.title = title != fields.constEnd() ? title.value() : firstNonBlankLine(item.body);
    item.parentId = fields.value(QStringLiteral("parent_id"));
    item.type = fields.value(QStringLiteral("type_")).toInt();
    auto markup = fields.constFind(QStringLiteral("markup_language"));
    if (markup != fields.constEnd())
        item.markupLanguage = markup.value().toInt();
    item.createdTime = parseJexTime(fields.value(QStringLiteral("created_time")));
    item.updatedTime = parseJexTime(fields.value(QStringLiteral("updated_time")));
    item.isTodo = fields.value(QStringLiteral("is_todo")) == QLatin1String("1");
    item.todoCompleted = fields.value(QStringLiteral("todo_completed")).toLongLong();
    item.mime = fields.value(QStringLiteral("mime"));
    item.fileExtension = fields.value(QStringLiteral("file_extension"));
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
        return failImport(result, QStringLiteral("Failed to read archive or archive is empty"));

    reportProgress(progress, 0, 0, QStringLiteral("Reading archive..."));
    const TarReadResult archive = readTarArchive(archivePath);
    if (!archive.ok()) {
        qCWarning(lcImport).noquote() << "JEX archive refused:" << archive.error;
        return failImport(result, QStringLiteral("Failed to read archive: %1").arg(archive.error));
    }
    if (archive.entries.isEmpty())
        return failImport(result, QStringLiteral("Failed to read archive or archive is empty"));

    QList<JexItem> notes;
    QList<JexItem> folders;
    QHash<QString, JexItem> resources;
    QMap<QString, QByteArray> files;
    for (const TarEntry& entry : archive.entries) {
        if (!entry.name.endsWith(QLatin1String(".md"))) {
            files.insert(entry.name, entry.data);
            continue;
        }
        JexItem item = parseJexItem(entry.data);
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
        default:
            break; // tags, tag links, revisions... have no counterpart here
        }
    }

    ImportSession session(library);

    QHash<QString, QString> notebookForFolder;
    for (const JexItem& folder : folders) {
        Notebook notebook;
        notebook.id = newId();
        notebook.name = folder.title.isEmpty() ? QStringLiteral("Imported Folder") : folder.title;
        notebook.createdAt = orNow(folder.createdTime);
        notebook.updatedAt = folder.updatedTime.isValid() ? folder.updatedTime : notebook.createdAt;
        if (library.notebooks->insert(notebook))
            notebookForFolder.insert(folder.id, notebook.id);
        else
            result.messages.append(QStringLiteral("Folder \"%1\" could not be saved").arg(notebook.name));
    }

    static const QRegularExpression resourceLink(QStringLiteral(":/([a-f0-9]{32})"));
    const int total = int(notes.size());
    reportProgress(progress, 0, total, QStringLiteral("Importing %1 notes...").arg(total));
    for (int i = 0; i < total; ++i) {
        const JexItem& item = notes.at(i);
        reportProgress(progress, i, total,
               QStringLiteral("Importing: %1").arg(item.title.isEmpty() ? QStringLiteral("(untitled)") : item.title));

        Note note;
        note.id = newId();
        note.notebookId = notebookForFolder.value(item.parentId, QLatin1String(""));

        QString body = item.body;
        QList<PendingAttachment> attachments;
        QSet<QString> seen;
        QRegularExpressionMatchIterator links = resourceLink.globalMatch(item.body);
        while (links.hasNext()) {
            const QString resourceId = links.next().captured(1);
            if (seen.contains(resourceId))
                continue;
            seen.insert(resourceId);
            auto resource = resources.constFind(resourceId);
            if (resource == resources.constEnd())
                continue; // a link to another note, or to a resource the export left out
            const QByteArray* data = resourceData(resource.value(), files);
            if (!data || data->isEmpty())
                continue;
            PendingAttachment pending;
            pending.data = data;
            pending.record.id = newId();
            pending.record.noteId = note.id;
            const QString fallback = resource->fileExtension.isEmpty()
                                         ? resourceId
                                         : QStringLiteral("%1.%2").arg(resourceId, resource->fileExtension);
            pending.record.filename = plainAttachmentName(resource->title, fallback);
            pending.record.mimeType =
                resource->mime.isEmpty() ? QStringLiteral("application/octet-stream") : resource->mime;
            pending.record.sizeBytes = data->size();
            pending.record.createdAt = Clock::nowUtc();
            body.replace(QStringLiteral(":/") + resourceId,
                         QStringLiteral("norvane-notes://attachment/") + pending.record.id);
            attachments.append(pending);
        }

        // Joplin writes pasted images as "![](:/id)"; the text engine's Markdown reader places an
        // image only when it has alt text, so give ours some rather than lose the picture.
        if (!attachments.isEmpty())
            body.replace(QLatin1String("![](norvane-notes://attachment/"),
                         QLatin1String("![image](norvane-notes://attachment/"));

        QJsonArray delta;
        if (item.markupLanguage == 2) {
            // An HTML body gets its title as an HTML heading; Markdown syntax would show as text.
            delta = htmlToDelta(
                item.title.isEmpty() ? body : QStringLiteral("<h1>%1</h1>\n%2").arg(escapeHtmlText(item.title), body));
        } else {
            delta = markdownToDelta(item.title.isEmpty() ? body : QStringLiteral("# %1\n\n%2").arg(item.title, body));
        }
        note.body = QString::fromUtf8(QJsonDocument(delta).toJson(QJsonDocument::Compact));
        note.createdAt = orNow(item.createdTime);
        note.updatedAt = item.updatedTime.isValid() ? item.updatedTime : note.createdAt;
        note.modifiedAt = note.updatedAt;
        note.version = 1;

        if (!library.notes->insert(note)) {
            ++result.errors;
            result.messages.append(QStringLiteral("Note \"%1\" could not be saved").arg(item.title));
            continue;
        }
        ++result.imported;
        for (const PendingAttachment& pending : attachments) {
            if (session.storeAttachment(pending.record, *pending.data))
                ++result.attachments;
            else
                result.messages.append(
                    QStringLiteral("Attachment \"%1\" could not be saved").arg(pending.record.filename));
        }
    }

    const QString commitError = session.finish(result.imported > 0 || !notebookForFolder.isEmpty());
    if (!commitError.isEmpty()) {
        result.imported = 0;
        result.attachments = 0;
        return failImport(result, QStringLiteral("Failed to save imported notes: %1").arg(commitError));
    }
    qCInfo(lcImport) << "JEX import:" << result.imported << "notes," << result.attachments << "attachments,"
                     << result.errors << "errors";
    return result;
}
