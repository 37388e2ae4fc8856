#include "NotebookListWidget.h"

#include "NoteListWidget.h"
#include "NotebookListDelegate.h"

#include <QDragEnterEvent>
#include <QMimeData>

namespace {

QListWidgetItem* makeRow(int kind, const QString& text, int count, bool takesDrops)
{
    auto* item = new QListWidgetItem;
    item->setData(NotebookListRole::Kind, kind);
    item->setData(NotebookListRole::Text, text);
    item->setData(NotebookListRole::Count, count);
    item->setData(Qt::DisplayRole, text);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (takesDrops)
        flags |= Qt::ItemIsDropEnabled;
    item->setFlags(flags);
    return item;
}

bool hasNote(const QMimeData* data)
{
    return data && data->hasFormat(QString::fromLatin1(kNoteIdMimeType));
}

} // namespace

NotebookListWidget::NotebookListWidget(QWidget* parent)
    : QListWidget(parent)
{
    setObjectName(QStringLiteral("notebookList"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(true);
    setItemDelegate(new NotebookListDelegate(this));

    // Clicks and Return choose a row; merely moving the current row (as a drag hovering does) does not.
    connect(this, &QListWidget::itemClicked, this, &NotebookListWidget::onItemActivated);
    connect(this, &QListWidget::itemActivated, this, &NotebookListWidget::onItemActivated);
    connect(this, &QWidget::customContextMenuRequested, this, &NotebookListWidget::onContextMenu);
}

void NotebookListWidget::setNotebooks(const QList<Notebook>& notebooks, const QHash<QString, int>& counts,
                                      const QString& currentNotebookId, int trashCount)
{
    const bool blocked = blockSignals(true);
    clear();
    m_rowBeforeDrag = -1;

    QListWidgetItem* current = makeRow(NotebookRowKind::AllNotes, tr("All Notes"), counts.value(QString()), true);
    addItem(current);
    for (const Notebook& notebook : notebooks) {
        QListWidgetItem* item = makeRow(NotebookRowKind::Notebook, notebook.name, counts.value(notebook.id), true);
        item->setData(NotebookListRole::NotebookId, notebook.id);
        item->setData(NotebookListRole::IsDefault, notebook.isDefault);
        item->setData(NotebookListRole::Shared, notebook.isShared);
        addItem(item);
        if (!currentNotebookId.isEmpty() && notebook.id == currentNotebookId)
            current = item;
    }
    addItem(makeRow(NotebookRowKind::Trash, tr("Trash"), trashCount, false));
    addItem(makeRow(NotebookRowKind::NewNotebook, tr("New Notebook\u2026"), 0, false));

    setCurrentItem(current);
    blockSignals(blocked);
}

void NotebookListWidget::onItemActivated(QListWidgetItem* item)
{
    if (!item)
        return;
    switch (item->data(NotebookListRole::Kind).toInt()) {
    case NotebookRowKind::AllNotes:
        emit allNotesSelected();
        break;
    case NotebookRowKind::Notebook:
        emit notebookSelected(item->data(NotebookListRole::NotebookId).toString());
        break;
    case NotebookRowKind::Trash:
        emit trashSelected();
        break;
    case NotebookRowKind::NewNotebook:
        emit newNotebookRequested();
        break;
    default:
        break;
    }
}

void NotebookListWidget::onContextMenu(const QPoint& pos)
{
    QListWidgetItem* item = itemAt(pos);
    if (!item || item->data(NotebookListRole::Kind).toInt() != NotebookRowKind::Notebook)
        return;
    emit notebookContextMenuRequested(item->data(NotebookListRole::NotebookId).toString(),
                                      viewport()->mapToGlobal(pos));
}

QListWidgetItem* NotebookListWidget::dropTarget(const QPoint& pos) const
{
    QListWidgetItem* item = itemAt(pos);
    if (!item)
        return nullptr;
    const int kind = item->data(NotebookListRole::Kind).toInt();
    return kind == NotebookRowKind::AllNotes || kind == NotebookRowKind::Notebook ? item : nullptr;
}

void NotebookListWidget::restoreRowBeforeDrag()
{
    if (m_rowBeforeDrag < 0)
        return;
    const bool blocked = blockSignals(true);
    setCurrentRow(m_rowBeforeDrag);
    blockSignals(blocked);
    m_rowBeforeDrag = -1;
}

void NotebookListWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (!hasNote(event->mimeData())) {
        QListWidget::dragEnterEvent(event);
        return;
    }
    // Accept the enter so move events follow; each move decides for the row under the cursor.
    event->acceptProposedAction();
}

void NotebookListWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (!hasNote(event->mimeData())) {
        QListWidget::dragMoveEvent(event);
        return;
    }
    QListWidgetItem* target = dropTarget(event->position().toPoint());
    if (!target) {
        event->ignore();
        return;
    }
    if (m_rowBeforeDrag < 0)
        m_rowBeforeDrag = currentRow();
    const bool blocked = blockSignals(true);
    setCurrentItem(target);
    blockSignals(blocked);
    event->acceptProposedAction();
}

void NotebookListWidget::dragLeaveEvent(QDragLeaveEvent* event)
{
    restoreRowBeforeDrag();
    QListWidget::dragLeaveEvent(event);
}

void NotebookListWidget::dropEvent(QDropEvent* event)
{
    if (!hasNote(event->mimeData())) {
        QListWidget::dropEvent(event);
        return;
    }
    restoreRowBeforeDrag();
    QListWidgetItem* target = dropTarget(event->position().toPoint());
    if (!target) {
        event->ignore();
        return;
    }
    const QString noteId = QString::fromUtf8(event->mimeData()->data(QString::fromLatin1(kNoteIdMimeType)));
    // Dropping on "All Notes" takes the note out of its notebook.
    const QString targetId = target->data(NotebookListRole::Kind).toInt() == NotebookRowKind::Notebook
                                 ? target->data(NotebookListRole::NotebookId).toString()
                                 : QString();
    event->setDropAction(event->proposedAction());
    event->accept();
    emit noteDroppedOnNotebook(noteId, targetId);
}
