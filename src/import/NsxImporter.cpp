#include "NsxImporter.h"

#include "AttachmentRepository.h"
#include "Clock.h"
#include "ImportLog.h"
#include "ImportSupport.h"
#include "MarkdownHtml.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "Records.h"
#include "ZipArchive.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

constexpr qint64 kLatestSeconds = Q_INT64_C(253402300799); // 9999-12-31T23:59:59Z
// Item files are read whole; anything larger than these is not a NoteStation item.
constexpr qint64 kMaxJsonBytes = qint64(256) << 20;
constexpr qint64 kMaxAttachmentBytes = qint64(1) << 30;

std::optional<QJsonObject> parseObject(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

QStringList stringsOf(const QJsonValue& value)
{
    QStringList out;
    for (const QJsonValue& v : value.toArray()) {
        if (v.isString())
            out.append(v.toString());
    }
    return out;
}

// The whole file, or nothing when it is missing, unreadable, or larger than maxBytes.
std::optional<QByteArray> readFile(const QString& path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxBytes)
        return std::nullopt;
    return file.readAll();
}

QDateTime fromSeconds(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

NsxAttachment attachmentFrom(const QJsonObject& o)
{
    NsxAttachment a;
    a.md5 = o.value(QLatin1String("md5")).toString();
    a.name = o.value(QLatin1String("name")).toString();
    a.ext = o.value(QLatin1String("ext")).toString();
    a.type = o.value(QLatin1String("type")).toString();
    a.ref = o.value(QLatin1String("ref")).toString();
    return a;
}

struct PendingAttachment
{
    Attachment record;
    QByteArray data;
};

} // namespace

qint64 nsxSeconds(const QJsonValue& value)
{
    qint64 seconds = 0;
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (!(d >= 0 && d <= double(kLatestSeconds)))
            return 0; // NaN, negative or beyond any date
        seconds = qint64(d);
    } else if (value.isString()) {
        bool ok = false;
        seconds = value.toString().trimmed().toLongLong(&ok);
        if (!ok)
            return 0;
    }
    return seconds >= 0 && seconds <= kLatestSeconds ? seconds : 0;
}

QString escapeHtmlText(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    out.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    out.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return out;
}

QString nsxAttachmentMime(const NsxAttachment& attachment)
{
    // The MIME type travels on (exports, uploads), so only well-formed tokens from the archive get
    // into it; an extension that is not one still leaves a picture a picture.
    static const QRegularExpression token(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9!#$&^_.+-]{0,62}$"));
    if (attachment.type == QLatin1String("image")) {
        const bool usable = token.match(attachment.ext).hasMatch();
        return QStringLiteral("image/") + (usable ? attachment.ext : QStringLiteral("png"));
    }
    // Some exports put the MIME type itself into "type" ("image/jpeg"); pictures only show as
    // pictures with an image type, so keep it.
    static const QRegularExpression mimeType(
        QStringLiteral("^[A-Za-z0-9][A-Za-z0-9!#$&^_.+-]{0,62}/[A-Za-z0-9][A-Za-z0-9!#$&^_.+-]{0,62}$"));
    if (mimeType.match(attachment.type).hasMatch())
        return attachment.type.toLower();
    return QStringLiteral("application/octet-stream");
}

std::optional<NsxConfig> parseNsxConfig(const QByteArray& json)
{
    const std::optional<QJsonObject> o = parseObject(json);
    if (!o)
        return std::nullopt;
    NsxConfig config;
    config.notebookIds = stringsOf(o->value(QLatin1String("notebook")));
    config.noteIds = stringsOf(o->value(QLatin1String("note")));
    return config;
}

std::optional<NsxNotebook> parseNsxNotebook(const QByteArray& json)
{
    const std::optional<QJsonObject> o = parseObject(json);
    if (!o)
        return std::nullopt;
    NsxNotebook notebook;
    notebook.title = o->value(QLatin1String("title")).toString();
    notebook.ctime = nsxSeconds(o->value(QLatin1String("ctime")));
    notebook.mtime = nsxSeconds(o->value(QLatin1String("mtime")));
    return notebook;
}

std::optional<NsxNote> parseNsxNote(const QByteArray& json)
{
    const std::optional<QJsonObject> o = parseObject(json);
    if (!o)
        return std::nullopt;
    NsxNote note;
    note.title = o->value(QLatin1String("title")).toString();
    note.parentId = o->value(QLatin1String("parent_id")).toString();
    note.content = o->value(QLatin1String("content")).toString();
    note.ctime = nsxSeconds(o->value(QLatin1String("ctime")));
    note.mtime = nsxSeconds(o->value(QLatin1String("mtime")));
    // Usually an object keyed by attachment id; absent, null and {} all occur. Accept an array too.
    const QJsonValue attachments = o->value(QLatin1String("attachment"));
    if (attachments.isObject()) {
        const QJsonObject map = attachments.toObject();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            if (it.value().isObject())
                note.attachments.append(attachmentFrom(it.value().toObject()));
        }
    } else if (attachments.isArray()) {
        for (const QJsonValue& v : attachments.toArray()) {
            if (v.isObject())
                note.attachments.append(attachmentFrom(v.toObject()));
        }
    }
    return note;
}

ImportResult importNsx(const QString& archivePath, const LibraryRepositories& library, const ImportProgress& progress)
{
    ImportResult result;
    if (!library.isComplete())
        return failImport(result, QStringLiteral("No config.json found in archive"));

    reportProgress(progress, 0, 0, QStringLiteral("Extracting archive..."));
    QTemporaryDir temp;
    if (!temp.isValid())
        return failImport(result, QStringLiteral("Failed to create temp directory"));
    const ZipExtractResult extracted = extractZipArchive(archivePath, temp.path());
    if (!extracted.ok()) {
        qCWarning(lcImport).noquote() << "NSX extraction failed:" << extracted.error;
        return failImport(result, QStringLiteral("Failed to extract archive: %1").arg(extracted.error));
    }
    for (const QString& skipped : extracted.skipped)
        result.messages.append(QStringLiteral("Archive entry left out: %1").arg(skipped));

    const std::optional<QByteArray> configData = readFile(temp.filePath(QStringLiteral("config.json")), kMaxJsonBytes);
    const std::optional<NsxConfig> config =
        configData && !configData->isEmpty() ? parseNsxConfig(*configData) : std::nullopt;
    if (!config)
        return failImport(result, QStringLiteral("No config.json found in archive"));

    // Ids come from the archive: only plain names inside the temporary folder are opened.
    auto itemFile = [&temp](const QString& id) -> std::optional<QByteArray> {
        if (!isPlainFileName(id))
            return std::nullopt;
        return readFile(temp.filePath(id), kMaxJsonBytes);
    };

    ImportSession session(library);

    QHash<QString, QString> notebookFor;
    for (const QString& id : config->notebookIds) {
        const std::optional<QByteArray> data = itemFile(id);
        const std::optional<NsxNotebook> source = data ? parseNsxNotebook(*data) : std::nullopt;
        if (!source) {
            result.messages.append(QStringLiteral("Notebook %1 could not be read").arg(id));
            continue;
        }
        Notebook notebook;
        notebook.id = newId();
        notebook.name = source->title.isEmpty() ? QStringLiteral("Imported Notebook") : source->title;
        notebook.createdAt = source->ctime >= 1 ? fromSeconds(source->ctime) : Clock::nowUtc();
        notebook.updatedAt = source->mtime >= 1 ? fromSeconds(source->mtime) : notebook.createdAt;
        if (library.notebooks->insert(notebook))
            notebookFor.insert(id, notebook.id);
        else
            result.messages.append(QStringLiteral("Notebook \"%1\" could not be saved").arg(notebook.name));
    }

    const int total = int(config->noteIds.size());
    reportProgress(progress, 0, total, QStringLiteral("Importing %1 notes...").arg(total));
    for (int i = 0; i < total; ++i) {
        const QString& id = config->noteIds.at(i);
        const std::optional<QByteArray> data = itemFile(id);
        const std::optional<NsxNote> source = data ? parseNsxNote(*data) : std::nullopt;
        const QString title = source ? source->title : QString();
        reportProgress(progress, i, total, QStringLiteral("Importing: %1").arg(title.isEmpty() ? QStringLiteral("(untitled)") : title));
        if (!source) {
            result.messages.append(QStringLiteral("Note %1 could not be read").arg(id));
            continue;
        }

        Note note;
        note.id = newId();
        note.notebookId = notebookFor.value(source->parentId, QLatin1String(""));
        QString html = source->content;

        QList<PendingAttachment> attachments;
        QString unplaced;
        for (const NsxAttachment& a : source->attachments) {
            const std::optional<QByteArray> bytes =
                isPlainFileName(QStringLiteral("file_") + a.md5)
                    ? readFile(temp.filePath(QStringLiteral("file_") + a.md5), kMaxAttachmentBytes)
                    : std::nullopt;
            if (!bytes || bytes->isEmpty())
                continue; // its ref stays in the HTML and shows nothing
            PendingAttachment pending;
            pending.data = *bytes;
            pending.record.id = newId();
            pending.record.noteId = note.id;
            pending.record.filename = plainAttachmentName(a.name, QStringLiteral("attachment.%1").arg(a.ext));
            pending.record.mimeType = nsxAttachmentMime(a);
            pending.record.sizeBytes = bytes->size();
            pending.record.createdAt = Clock::nowUtc();
            const QString url = QStringLiteral("norvane-notes://attachment/") + pending.record.id;
            const QString refAttribute = QStringLiteral("ref=\"%1\"").arg(a.ref);
            if (!a.ref.isEmpty() && html.contains(refAttribute))
                html.replace(refAttribute, QStringLiteral("src=\"%1\"").arg(url));
            else
                unplaced += QStringLiteral("<p><img src=\"%1\" /></p>\n").arg(url);
            attachments.append(std::move(pending));
        }

        if (!title.isEmpty())
            html = QStringLiteral("<h1>%1</h1>\n%2").arg(escapeHtmlText(title), html);
        if (!unplaced.isEmpty())
            html += QLatin1Char('\n') + unplaced;
        note.body = QString::fromUtf8(QJsonDocument(htmlToDelta(html)).toJson(QJsonDocument::Compact));
        note.createdAt = source->ctime >= 1 ? fromSeconds(source->ctime) : Clock::nowUtc();
        note.updatedAt = source->mtime >= 1 ? fromSeconds(source->mtime) : note.createdAt;
        note.modifiedAt = note.updatedAt;
        note.version = 1;

        if (!library.notes->insert(note)) {
            ++result.errors;
            result.messages.append(QStringLiteral("Note \"%1\" could not be saved").arg(title));
            continue;
        }
        ++result.imported;
        for (const PendingAttachment& pending : attachments) {
            if (session.storeAttachment(pending.record, pending.data))
                ++result.attachments;
            else
                result.messages.append(
                    QStringLiteral("Attachment \"%1\" could not be saved").arg(pending.record.filename));
        }
    }

    const QString commitError = session.finish(result.imported > 0 || !notebookFor.isEmpty());
    if (!commitError.isEmpty()) {
        result.imported = 0;
        result.attachments = 0;
        return failImport(result, QStringLiteral("Failed to save imported notes: %1").arg(commitError));
    }
    qCInfo(lcImport) << "NSX import:" << result.imported << "notes," << result.attachments << "attachments,"
                     << result.errors << "errors";
    return result;
}
