#include "AttachmentRepository.h"
#include "DeltaFormat.h"
#include "MarkdownHtml.h"
#include "NoteEditor.h"
#include "RichTextConversion.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QUrl>
#include <algorithm>
#include <memory>
#include <utility>

bool NoteEditor::canInsertFromMimeData(const QMimeData* source) const
{
    return source->hasFormat(QLatin1String(kDeltaMimeType)) || source->hasFormat(QStringLiteral("text/markdown")) ||
           QTextEdit::canInsertFromMimeData(source);
}

void NoteEditor::insertFromMimeData(const QMimeData* source)
{
    if (isReadOnly())
        return;
    QJsonArray delta;
    if (source->hasFormat(QLatin1String(kDeltaMimeType))) {
        delta = QJsonDocument::fromJson(source->data(QLatin1String(kDeltaMimeType))).array();
    } else {
        const PasteDecision decision = decidePaste(*source);
        if (decision.route == PasteDecision::DefaultInsert) {
            QTextEdit::insertFromMimeData(source);
            return;
        }
        delta = pasteToDelta(decision);
    }
    QTextCursor cursor = textCursor();
    // A table cell keeps text only, the way tables are saved: attachments, dividers or tables
    // pasted there would be gone after the next save, so only the text goes in.
    if (cursor.currentTable()) {
        QJsonArray text;
        for (const QJsonValue& op : std::as_const(delta)) {
            if (op.toObject().value(QLatin1String("insert")).isString())
                text.append(op);
        }
        delta = text;
    }
    insertDelta(cursor, delta);
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData* NoteEditor::createMimeDataFromSelection() const
{
    // The text edit's own mime data only ever reports its built-in formats, so ours gets a plain one.
    const std::unique_ptr<QMimeData> standard(QTextEdit::createMimeDataFromSelection());
    auto* data = new QMimeData;
    if (standard) {
        data->setText(standard->text());
        if (standard->hasHtml())
            data->setHtml(standard->html());
    }
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        QTextDocument copy;
        copy.setDefaultFont(document()->defaultFont());
        QTextCursor(&copy).insertFragment(cursor.selection());
        data->setData(QLatin1String(kDeltaMimeType),
                      QJsonDocument(documentToDelta(&copy)).toJson(QJsonDocument::Compact));
    }
    return data;
}

namespace {

bool hasLocalFiles(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

} // namespace

void NoteEditor::dragEnterEvent(QDragEnterEvent* event)
{
    if (!isReadOnly() && m_attachments && hasLocalFiles(event->mimeData())) {
        event->acceptProposedAction();
        return;
    }
    QTextEdit::dragEnterEvent(event);
}

void NoteEditor::dragMoveEvent(QDragMoveEvent* event)
{
    if (!isReadOnly() && m_attachments && hasLocalFiles(event->mimeData())) {
        // Over a table cell the drop is refused: a cell keeps text only.
        if (cursorForPosition(event->position().toPoint()).currentTable())
            event->ignore();
        else
            event->acceptProposedAction();
        return;
    }
    QTextEdit::dragMoveEvent(event);
}

void NoteEditor::dropEvent(QDropEvent* event)
{
    if (isReadOnly() || !m_attachments || !hasLocalFiles(event->mimeData())) {
        QTextEdit::dropEvent(event);
        return;
    }
    const QTextCursor target = cursorForPosition(event->position().toPoint());
    if (target.currentTable()) {
        event->ignore();
        return;
    }
    setTextCursor(target);
    const QList<QUrl> urls = event->mimeData()->urls();
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            insertAttachmentFromPath(url.toLocalFile());
    }
    event->acceptProposedAction();
    setFocus();
}
