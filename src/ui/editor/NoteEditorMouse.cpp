#include "AttachmentRepository.h"
#include "Clock.h"
#include "NoteEditor.h"
#include "Records.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextCursor>
#include <QToolTip>

void NoteEditor::selectBlockAt(const QPoint& viewportPos)
{
    QTextCursor cursor = cursorForPosition(viewportPos);
    cursor.movePosition(QTextCursor::StartOfBlock);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void NoteEditor::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (event->modifiers().testFlag(Qt::ControlModifier)) {
            const QString href = anchorAt(event->pos());
            if (!href.isEmpty()) {
                openLink(href);
                event->accept();
                return;
            }
        }
        if (m_lastDoubleClickMs >= 0 && Clock::nowMs() - m_lastDoubleClickMs <= QApplication::doubleClickInterval() &&
            (event->pos() - m_lastDoubleClickPos).manhattanLength() < 4) {
            m_lastDoubleClickMs = -1;
            // The text control keeps a triple-click timer of its own; letting it see the press ends
            // that, so the next ordinary click is not taken for another triple-click.
            QTextEdit::mousePressEvent(event);
            selectBlockAt(event->pos());
            event->accept();
            return;
        }
    }
    QTextEdit::mousePressEvent(event);
}

void NoteEditor::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_lastDoubleClickMs = Clock::nowMs();
        m_lastDoubleClickPos = event->pos();
        if (m_attachments) {
            const QString id = attachmentIdAt(event->pos());
            if (!id.isEmpty() && openAttachmentOrImage(id)) {
                event->accept();
                return;
            }
        }
    }
    QTextEdit::mouseDoubleClickEvent(event);
}

void NoteEditor::mouseMoveEvent(QMouseEvent* event)
{
    QTextEdit::mouseMoveEvent(event);
    Qt::CursorShape shape = Qt::IBeamCursor;
    if (m_attachments && !attachmentIdAt(event->pos()).isEmpty())
        shape = Qt::PointingHandCursor;
    else if (event->modifiers().testFlag(Qt::ControlModifier) && !anchorAt(event->pos()).isEmpty())
        shape = Qt::PointingHandCursor;
    if (viewport()->cursor().shape() != shape)
        viewport()->setCursor(shape);
}

bool NoteEditor::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QTextEdit::viewportEvent(event);

    const auto* help = static_cast<QHelpEvent*>(event);
    if (m_attachments) {
        if (const std::optional<Attachment> record = attachmentRecord(attachmentIdAt(help->pos()))) {
            QToolTip::showText(help->globalPos(),
                               tr("%1 (%2)\n(Double-click to open, right-click for more)")
                                   .arg(record->filename, attachmentSizeText(record->sizeBytes)),
                               viewport());
            return true;
        }
    }
    const QString href = anchorAt(help->pos());
    if (!href.isEmpty()) {
        QToolTip::showText(help->globalPos(), tr("%1\n(Ctrl+click to open)").arg(href), viewport());
        return true;
    }
    QToolTip::hideText();
    event->ignore();
    return true;
}

void NoteEditor::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createContextMenuAt(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}

QMenu* NoteEditor::createContextMenuAt(const QPoint& viewportPos)
{
    // A right-click inside the selection keeps it, so Copy and Cut act on it.
    const QTextCursor clicked = cursorForPosition(viewportPos);
    const QTextCursor current = textCursor();
    if (!current.hasSelection() || clicked.position() < current.selectionStart() ||
        clicked.position() > current.selectionEnd())
        setTextCursor(clicked);

    if (m_attachments) {
        const QString id = attachmentIdAt(viewportPos);
        if (const std::optional<Attachment> record = attachmentRecord(id)) {
            auto* menu = new QMenu(this);
            menu->setObjectName(QStringLiteral("attachmentMenu"));
            const QString fileName = record->filename;
            connect(menu->addAction(tr("Open")), &QAction::triggered, this, [this, id] { openAttachmentOrImage(id); });
            connect(menu->addAction(tr("Save As…")), &QAction::triggered, this,
                    [this, id, fileName] { saveAttachmentAs(id, fileName); });
            connect(menu->addAction(tr("Copy File")), &QAction::triggered, this,
                    [this, id] { copyAttachmentFile(id); });
            menu->addSeparator();
            QAction* remove = menu->addAction(tr("Remove Attachment"));
            remove->setEnabled(!isReadOnly());
            connect(remove, &QAction::triggered, this, [this, id] { removeAttachmentAtCursor(id); });
            return menu;
        }
    }

    const QString href = anchorAt(viewportPos);
    if (!href.isEmpty()) {
        auto* menu = new QMenu(this);
        menu->setObjectName(QStringLiteral("linkMenu"));
        connect(menu->addAction(tr("Open Link")), &QAction::triggered, this, [this, href] { openLink(href); });
        connect(menu->addAction(tr("Copy Link Address")), &QAction::triggered, this,
                [href] { QGuiApplication::clipboard()->setText(href); });
        menu->addSeparator();
        QAction* edit = menu->addAction(tr("Edit Link…"));
        QAction* remove = menu->addAction(tr("Remove Link"));
        edit->setEnabled(!isReadOnly());
        remove->setEnabled(!isReadOnly());
        connect(edit, &QAction::triggered, this, &NoteEditor::editLinkDialog);
        connect(remove, &QAction::triggered, this, &NoteEditor::removeLinkAtCursor);
        return menu;
    }

    if (textCursor().currentTable()) {
        auto* menu = new QMenu(this);
        menu->setObjectName(QStringLiteral("tableMenu"));
        addTableMenu(menu);
        return menu;
    }

    QMenu* menu =
        createStandardContextMenu(viewportPos + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()));
    menu->setParent(this, menu->windowFlags());
    menu->setObjectName(QStringLiteral("standardMenu"));
    return menu;
}
