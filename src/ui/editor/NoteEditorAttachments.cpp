#include "AttachmentRenderer.h"
#include "AttachmentRepository.h"
#include "Clock.h"
#include "DeltaFormat.h"
#include "ImageLightbox.h"
#include "Interaction.h"
#include "NoteEditor.h"
#include "NoteEditorBlocks.h"
#include "Records.h"
#include "RichTextConversion.h"
#include "TextFormats.h"
#include "UiLog.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QMimeDatabase>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QUrl>
#include <algorithm>
#include <utility>

using namespace TextFormats;
using namespace EditorBlocks;

namespace {

QTextCharFormat charFormatAt(const QTextDocument* doc, int position)
{
    const QTextBlock block = doc->findBlock(position);
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.contains(position))
            return fragment.charFormat();
    }
    return {};
}

} // namespace

QString NoteEditor::attachmentIdAtPosition(int position) const
{
    if (position < 0 || position >= document()->characterCount() || document()->characterAt(position) != kObjectChar)
        return {};
    const QTextCharFormat format = charFormatAt(document(), position);
    if (format.objectType() != AttachmentObjectType)
        return {};
    const QString url = format.stringProperty(EmbedValueProperty);
    const QLatin1String prefix(kAttachmentUrlPrefix);
    return url.startsWith(prefix) ? url.mid(prefix.size()) : url;
}

QString NoteEditor::attachmentIdAt(const QPoint& viewportPos) const
{
    const QPointF documentPos = viewportPos + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int hit = document()->documentLayout()->hitTest(documentPos, Qt::ExactHit);
    if (hit < 0)
        return {};
    // A click on the right half of an object lands after it.
    const QString at = attachmentIdAtPosition(hit);
    return at.isEmpty() ? attachmentIdAtPosition(hit - 1) : at;
}

std::optional<Attachment> NoteEditor::attachmentRecord(const QString& attachmentId) const
{
    if (!m_attachments || attachmentId.isEmpty())
        return std::nullopt;
    return m_attachments->attachmentById(attachmentId);
}

void NoteEditor::insertAttachmentDialog()
{
    if (isReadOnly() || !m_attachments || textCursor().currentTable())
        return;
    const QString path =
        Interaction::getOpenFileName(this, tr("Insert Attachment"), QString(),
                                     tr("All Files (*.*);;Images (*.png *.jpg *.jpeg *.gif *.webp *.bmp *.svg)"));
    if (!path.isEmpty())
        insertAttachmentFromPath(path);
}

bool NoteEditor::insertAttachmentFromPath(const QString& path)
{
    // A table cell keeps text only, the way tables are saved: an attachment there would be gone
    // after the next save, so it is refused like a table inside a table.
    if (!m_attachments || isReadOnly() || textCursor().currentTable())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: can't open" << path;
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    Attachment attachment;
    attachment.id = newId();
    attachment.noteId = m_noteId;
    attachment.filename = QFileInfo(path).fileName();
    attachment.mimeType = QMimeDatabase().mimeTypeForFile(path).name();
    attachment.sizeBytes = bytes.size();
    attachment.createdAt = Clock::nowUtc();
    attachment.syncStatus = SyncStatus::Pending;
    if (!m_attachments->saveFile(attachment.id, bytes)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: saveFile failed" << attachment.id;
        return false;
    }
    if (!m_attachments->insert(attachment)) {
        qCWarning(lcUi) << "insertAttachmentFromPath: insert failed" << attachment.id;
        QFile::remove(m_attachments->filePath(attachment.id));
        return false;
    }

    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.insertText(QString(kObjectChar),
                      embedCharFormat(QLatin1String(kAttachmentEmbedKey), attachmentUrl(attachment.id)));
    QTextBlockFormat format = cursor.blockFormat();
    styleBlockFormat(format, cursor.block());
    cursor.setBlockFormat(format);
    cursor.endEditBlock();
    setTextCursor(cursor);
    return true;
}

QString NoteEditor::safeAttachmentFileName(const QString& fileName, const QString& attachmentId)
{
    // Names come from imports and from the server: only the last path component is ever used.
    QString name = fileName;
    const qsizetype cut = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0)
        name = name.mid(cut + 1);
    name.remove(QChar(0));
    if (name.trimmed().isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return attachmentId + QStringLiteral(".bin");
    return name;
}

QString NoteEditor::attachmentTempDirectory(const QString& attachmentId)
{
    return QDir::tempPath() + QStringLiteral("/norvane-notes/") + attachmentId;
}

bool NoteEditor::writeTemporaryCopy(const QString& attachmentId, const QString& fileName, QString* path)
{
    // The id names a folder; one that could step out of ours is refused.
    if (attachmentId.isEmpty() || attachmentId.contains(QLatin1Char('/')) || attachmentId.contains(QLatin1Char('\\')) ||
        attachmentId == QLatin1String(".") || attachmentId == QLatin1String("..")) {
        qCWarning(lcUi) << "openAttachment: refusing attachment id" << attachmentId;
        return false;
    }
    if (!m_attachments)
        return false;
    const QByteArray bytes = m_attachments->fileData(attachmentId);
    if (bytes.isEmpty())
        return false;
    const QString directory = attachmentTempDirectory(attachmentId);
    QDir().mkpath(directory);
    const QString target = directory + QLatin1Char('/') + safeAttachmentFileName(fileName, attachmentId);
    // Never write through a link someone else left in the shared temporary folder.
    if (QFileInfo(target).isSymLink())
        QFile::remove(target);
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcUi) << "openAttachment: failed to open temp file" << target;
        return false;
    }
    const qint64 written = file.write(bytes);
    file.close();
    if (written != bytes.size()) {
        qCWarning(lcUi) << "openAttachment: short write for" << target;
        return false;
    }
    *path = target;
    return true;
}

bool NoteEditor::openAttachment(const QString& attachmentId, const QString& fileName)
{
    QString path;
    if (!writeTemporaryCopy(attachmentId, fileName, &path))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool NoteEditor::openAttachmentOrImage(const QString& attachmentId)
{
    const std::optional<Attachment> record = attachmentRecord(attachmentId);
    if (!record)
        return false;
    if (AttachmentRenderer::isImageAttachment(*record)) {
        QImage image;
        if (image.loadFromData(m_attachments->fileData(attachmentId))) {
            auto* lightbox = new ImageLightbox(image, record->filename, this);
            lightbox->open();
            return true;
        }
    }
    return openAttachment(attachmentId, record->filename);
}

bool NoteEditor::copyAttachmentFile(const QString& attachmentId)
{
    const std::optional<Attachment> record = attachmentRecord(attachmentId);
    QString path;
    if (!writeTemporaryCopy(attachmentId, record ? record->filename : QString(), &path))
        return false;
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(path)});
    QGuiApplication::clipboard()->setMimeData(data);
    return true;
}

void NoteEditor::saveAttachmentAs(const QString& attachmentId, const QString& fileName)
{
    if (!m_attachments)
        return;
    const QByteArray bytes = m_attachments->fileData(attachmentId);
    if (bytes.isEmpty()) {
        qCWarning(lcUi) << "saveAttachmentAs: empty/missing file for" << attachmentId;
        return;
    }
    const QString suggested = QDir::homePath() + QLatin1Char('/') + safeAttachmentFileName(fileName, attachmentId);
    const QString target = Interaction::getSaveFileName(this, tr("Save Attachment"), suggested);
    if (target.isEmpty())
        return;
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcUi) << "saveAttachmentAs: open failed" << target;
        return;
    }
    if (file.write(bytes) != bytes.size())
        qCWarning(lcUi) << "saveAttachmentAs: short write for" << target;
}

void NoteEditor::removeAttachmentAtCursor(const QString& attachmentId)
{
    if (isReadOnly())
        return;
    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    const int at = cursor.position();
    if (attachmentIdAtPosition(at - 1).isEmpty()) {
        cursor.setPosition(at);
        cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    } else {
        cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
    }
    // Only the object the menu was opened on is removed, never a neighbour by mistake.
    if (attachmentIdAtPosition(cursor.selectionStart()) != attachmentId || attachmentId.isEmpty())
        return;
    cursor.removeSelectedText();
    setTextCursor(cursor);
    // Undo brings the object back, so the file must still be there for it.
    if (!m_removedAttachments.contains(attachmentId))
        m_removedAttachments << attachmentId;
}

void NoteEditor::releaseRemovedAttachments()
{
    QStringList ids = std::exchange(m_removedAttachments, {});
    if (ids.isEmpty() || !m_attachments)
        return;
    // Whatever the text still shows (an undone removal whose save has not happened) stays.
    const QString body = m_noteId.isEmpty() ? QString() : bodyJson();
    ids.removeIf([&body](const QString& id) { return body.contains(id); });
    m_attachments->deleteUnreferenced(ids);
}

void NoteEditor::refreshAttachments()
{
    m_renderer->resetCache();
    document()->markContentsDirty(0, document()->characterCount());
    viewport()->update();
}
