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

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

constexpr qint64 kLatestSeconds = Q_INT64_C(253402300799); // 9999-12-31T23:59:59Z
// Item files are read whole; anything larger than these is not a NoteStation item.
constexpr qint64 kMaxJsonBytes = qint64(256) << 20;

std::optional<QJsonObject> parseObject(const QByteArray& json)
{
    QJsonParseError error{};
    QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error == QJsonParseError::IllegalUTF8String) {
        // One bad byte should not cost the whole note: read it with a replacement character.
        doc = QJsonDocument::fromJson(QString::fromUtf8(json).toUtf8(), &error);
    }
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
    QString path;
};

const QString kNoteKind = QStringLiteral("nsx-note");
const QString kNotebookKind = QStringLiteral("nsx-notebook");

// Note Station's recycle bin is a notebook id ending in "#00000000".
bool isRecycleBin(const QString& parentId)
{
    return parentId.endsWith(QLatin1String("#00000000"));
}

// Note Station's check boxes are <input> elements the text engine drops; they become marks that
// survive the conversion and then turn their line into a check-list item.
const QChar kUnticked(0x2610); // ☐
const QChar kTicked(0x2611);   // ☑

QString markCheckboxes(const QString& html)
{
    static const QRegularExpression checkbox(
        QStringLiteral("<input\\b[^>]*class=\"[^\"]*syno-notestation-editor-checkbox(-checked)?\\b[^\"]*\"[^>]*>"),
        QRegularExpression::CaseInsensitiveOption);
    if (!html.contains(QLatin1String("syno-notestation-editor-checkbox")))
        return html;
    QString out;
    qsizetype last = 0;
    QRegularExpressionMatchIterator it = checkbox.globalMatch(html);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(html).mid(last, m.capturedStart() - last);
        out += m.capturedLength(1) > 0 ? kTicked : kUnticked;
        last = m.capturedEnd();
    }
    out += QStringView(html).mid(last);
    return out;
}

bool isBlankChar(QChar c)
{
    return c.isSpace() || c == QChar(0x00a0);
}

// A line whose text opens with a mark becomes a check-list line, ticked or not; the mark and the
// blanks after it go.
QJsonArray applyCheckboxes(const QJsonArray& delta)
{
    QJsonArray out;
    qsizetype lineStart = 0; // index in `out` of the line's first op
    QString state;           // "checked" / "unchecked" once the line's first text had a mark
    bool lineHasText = false;
    for (const QJsonValue& value : delta) {
        QJsonObject op = value.toObject();
        const QJsonValue insert = op.value(QLatin1String("insert"));
        if (insert.isString() && insert.toString() == QLatin1String("\n")) {
            if (!state.isEmpty()) {
                QJsonObject attributes = op.value(QLatin1String("attributes")).toObject();
                attributes.insert(QStringLiteral("list"), state);
                op.insert(QStringLiteral("attributes"), attributes);
            }
            out.append(op);
            lineStart = out.size();
            state.clear();
            lineHasText = false;
            continue;
        }
        if (insert.isString() && !lineHasText) {
            QString text = insert.toString();
            qsizetype i = 0;
            while (i < text.size() && isBlankChar(text.at(i)))
                ++i;
            if (i < text.size()) {
                lineHasText = true;
                if (text.at(i) == kTicked || text.at(i) == kUnticked) {
                    state = text.at(i) == kTicked ? QStringLiteral("checked") : QStringLiteral("unchecked");
                    qsizetype j = i + 1;
                    while (j < text.size() && isBlankChar(text.at(j)))
                        ++j;
                    text.remove(0, j);
                    // Blank runs before the mark (indentation) go as well; pictures stay.
                    while (out.size() > lineStart && out.last().toObject().value(QLatin1String("insert")).isString())
                        out.removeLast();
                    if (text.isEmpty())
                        continue;
                    op.insert(QStringLiteral("insert"), text);
                }
            }
        }
        out.append(op);
    }
    return out;
}

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
        const QString ext = usable ? attachment.ext.toLower() : QStringLiteral("png");
        if (ext == QLatin1String("jpg") || ext == QLatin1String("jpe"))
            return QStringLiteral("image/jpeg");
        if (ext == QLatin1String("svg"))
            return QStringLiteral("image/svg+xml");
        if (ext == QLatin1String("tif"))
            return QStringLiteral("image/tiff");
        return QStringLiteral("image/") + ext;
    }
    // Some exports put the MIME type itself into "type" ("image/jpeg"); pictures only show as
    // pictures with an image type, so keep it.
    static const QRegularExpression mimeType(
        QStringLiteral("^[A-Za-z0-9][A-Za-z0-9!#$&^_.+-]{0,62}/[A-Za-z0-9][A-Za-z0-9!#$&^_.+-]{0,62}$"));
    if (mimeType.match(attachment.type).hasMatch())
        return attachment.type.toLower();
    // Other files by their name or extension, so an audio file or a PDF opens in its program.
    const QString name = attachment.ext.isEmpty() ? attachment.name : QStringLiteral("x.") + attachment.ext;
    if (!name.isEmpty()) {
        const QMimeType byName = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        if (byName.isValid() && !byName.isDefault() && mimeType.match(byName.name()).hasMatch())
            return byName.name();
    }
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
        return failImport(result, QCoreApplication::translate("NsxImporter", "No config.json found in archive"));

    reportProgress(progress, 0, 0, QCoreApplication::translate("NsxImporter", "Extracting archive..."));
    QTemporaryDir temp;
    if (!temp.isValid())
        return failImport(result, QCoreApplication::translate("NsxImporter", "Failed to create temp directory"));
    const ZipExtractResult extracted = extractZipArchive(archivePath, temp.path());
    if (!extracted.ok()) {
        qCWarning(lcImport).noquote() << "NSX extraction failed:" << extracted.error;
        return failImport(
            result, QCoreApplication::translate("NsxImporter", "Failed to extract archive: %1").arg(extracted.error));
    }
    for (const QString& skipped : extracted.skipped)
        result.messages.append(QCoreApplication::translate("NsxImporter", "Archive entry left out: %1").arg(skipped));

    const std::optional<QByteArray> configData = readFile(temp.filePath(QStringLiteral("config.json")), kMaxJsonBytes);
    const std::optional<NsxConfig> config =
        configData && !configData->isEmpty() ? parseNsxConfig(*configData) : std::nullopt;
    if (!config)
        return failImport(result, QCoreApplication::translate("NsxImporter", "No config.json found in archive"));

    // Ids come from the archive, and some hold a "/" (base64 of a title); an id names a file only
    // when it resolves to one inside the temporary folder.
    const QString root = QFileInfo(temp.path()).canonicalFilePath();
    auto insideTemp = [&root](const QString& name) -> QString {
        if (name.isEmpty() || name.contains(QChar(0)) || name.contains(QLatin1Char('\\')))
            return {};
        const QString path = QFileInfo(root + QLatin1Char('/') + name).canonicalFilePath();
        if (path.isEmpty() || !path.startsWith(root + QLatin1Char('/')) || !QFileInfo(path).isFile())
            return {};
        return path;
    };
    auto itemFile = [&insideTemp](const QString& id) -> std::optional<QByteArray> {
        const QString path = insideTemp(id);
        if (path.isEmpty())
            return std::nullopt;
        return readFile(path, kMaxJsonBytes);
    };
    auto unreadable = [&result](const QString& what, const QString& id) {
        ++result.errors;
        result.messages.append(QCoreApplication::translate("NsxImporter", "%1 %2 could not be read").arg(what, id));
    };

    ImportSession session(library);

    QHash<QString, QString> notebookFor;
    bool notebooksAdded = false;
    for (const QString& id : config->notebookIds) {
        const QString earlier = session.importedNotebook(kNotebookKind, id);
        if (!earlier.isEmpty()) {
            notebookFor.insert(id, earlier);
            continue;
        }
        const std::optional<QByteArray> data = itemFile(id);
        const std::optional<NsxNotebook> source = data ? parseNsxNotebook(*data) : std::nullopt;
        if (!source) {
            unreadable(QCoreApplication::translate("NsxImporter", "Notebook"), id);
            continue;
        }
        Notebook notebook;
        notebook.id = newId();
        notebook.name = source->title.isEmpty() ? QStringLiteral("Imported Notebook") : source->title;
        notebook.createdAt = source->ctime >= 1 ? fromSeconds(source->ctime) : Clock::nowUtc();
        notebook.updatedAt = source->mtime >= 1 ? fromSeconds(source->mtime) : notebook.createdAt;
        if (library.notebooks->insert(notebook)) {
            notebookFor.insert(id, notebook.id);
            session.remember(kNotebookKind, id, notebook.id);
            notebooksAdded = true;
        } else {
            result.messages.append(
                QCoreApplication::translate("NsxImporter", "Notebook \"%1\" could not be saved").arg(notebook.name));
        }
    }

    const QMimeDatabase mimeDatabase;
    const int total = int(config->noteIds.size());
    reportProgress(progress, 0, total, QCoreApplication::translate("NsxImporter", "Importing %1 notes...").arg(total));
    for (int i = 0; i < total; ++i) {
        const QString& id = config->noteIds.at(i);
        const std::optional<QByteArray> data = itemFile(id);
        const std::optional<NsxNote> source = data ? parseNsxNote(*data) : std::nullopt;
        const QString title = source ? source->title : QString();
        reportProgress(progress, i, total,
                       QCoreApplication::translate("NsxImporter", "Importing: %1")
                           .arg(title.isEmpty() ? QCoreApplication::translate("NsxImporter", "(untitled)") : title));
        if (!source) {
            unreadable(QCoreApplication::translate("NsxImporter", "Note"), id);
            continue;
        }
        const QString updatedKey = QString::number(source->mtime);
        if (!session.importedNote(kNoteKind, id, updatedKey).isEmpty()) {
            ++result.skipped;
            continue;
        }

        Note note;
        note.id = newId();
        note.notebookId = notebookFor.value(source->parentId, QLatin1String(""));
        QString html = source->content;

        QList<PendingAttachment> attachments;
        QString unplaced;
        for (const NsxAttachment& a : source->attachments) {
            const QString path = a.md5.isEmpty() ? QString() : insideTemp(QStringLiteral("file_") + a.md5);
            const qint64 size = path.isEmpty() ? 0 : QFileInfo(path).size();
            if (size <= 0)
                continue; // its ref stays in the HTML and shows nothing
            PendingAttachment pending;
            pending.path = path;
            pending.record.id = newId();
            pending.record.noteId = note.id;
            pending.record.mimeType = nsxAttachmentMime(a);
            if (pending.record.mimeType == QLatin1String("application/octet-stream")) {
                const QMimeType byContent = mimeDatabase.mimeTypeForFile(path, QMimeDatabase::MatchContent);
                if (byContent.isValid() && !byContent.isDefault())
                    pending.record.mimeType = byContent.name();
            }
            // Without a name or an extension, name it by what it holds ("image.png", "attachment.pdf").
            QString ext = a.ext;
            if (ext.isEmpty() || !isPlainFileName(ext))
                ext = mimeDatabase.mimeTypeForName(pending.record.mimeType).preferredSuffix();
            const QString stem = pending.record.mimeType.startsWith(QLatin1String("image/"))
                                     ? QStringLiteral("image")
                                     : QStringLiteral("attachment");
            pending.record.filename =
                plainAttachmentName(a.name, ext.isEmpty() ? stem : QStringLiteral("%1.%2").arg(stem, ext));
            pending.record.sizeBytes = size;
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
        const QJsonArray delta = applyCheckboxes(htmlToDelta(markCheckboxes(html)));
        note.body = QString::fromUtf8(QJsonDocument(delta).toJson(QJsonDocument::Compact));
        note.createdAt = source->ctime >= 1 ? fromSeconds(source->ctime) : Clock::nowUtc();
        note.updatedAt = source->mtime >= 1 ? fromSeconds(source->mtime) : note.createdAt;
        note.modifiedAt = note.updatedAt;
        note.version = 1;
        // What the user had thrown away stays thrown away: in the trash, where it can be restored.
        if (isRecycleBin(source->parentId))
            note.deletedAt = Clock::nowUtc();

        if (!library.notes->insert(note)) {
            ++result.errors;
            result.messages.append(
                QCoreApplication::translate("NsxImporter", "Note \"%1\" could not be saved").arg(title));
            continue;
        }
        ++result.imported;
        session.remember(kNoteKind, id, note.id, updatedKey);
        for (const PendingAttachment& pending : attachments) {
            QFile data(pending.path);
            if (data.open(QIODevice::ReadOnly) && session.storeAttachment(pending.record, data, data.size()))
                ++result.attachments;
            else
                result.messages.append(
                    QCoreApplication::translate("NsxImporter", "Attachment \"%1\" could not be saved")
                        .arg(pending.record.filename));
        }
    }

    const QString commitError = session.finish(result.imported > 0 || notebooksAdded);
    if (!commitError.isEmpty()) {
        result.imported = 0;
        result.attachments = 0;
        return failImport(
            result, QCoreApplication::translate("NsxImporter", "Failed to save imported notes: %1").arg(commitError));
    }
    qCInfo(lcImport) << "NSX import:" << result.imported << "notes," << result.attachments << "attachments,"
                     << result.skipped << "skipped," << result.errors << "errors";
    return result;
}
