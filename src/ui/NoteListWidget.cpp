#include "NoteListWidget.h"

#include "DeltaFormat.h"
#include "NoteListDelegate.h"

#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>

namespace {

constexpr int kPreviewLength = 120;

} // namespace

NoteListText noteListText(const QString& body)
{
    NoteListText text;
    const QString plain = bodyPlainText(body);
    text.title = noteTitle(body);
    const qsizetype lineBreak = plain.indexOf(QLatin1Char('\n'));
    if (lineBreak >= 0) {
        QString preview = plain.mid(lineBreak + 1).trimmed();
        preview.replace(QLatin1Char('\n'), QLatin1Char(' '));
        if (preview.size() > kPreviewLength)
            preview = preview.left(kPreviewLength) + QStringLiteral("...");
        text.preview = preview;
    }
    if (text.title.isEmpty()) {
        text.titleMissing = true;
        text.title = text.preview.isEmpty() ? QStringLiteral("Untitled") : text.preview;
        text.preview.clear();
    }
    return text;
}

NoteListWidget::NoteListWidget(QWidget* parent)
    : QListWidget(parent)
{
    setObjectName(QStringLiteral("noteList"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::MoveAction);
    setItemDelegate(new NoteListDelegate(this));

    connect(this, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* current) {
        if (current)
            emit noteSelected(current->data(NoteListRole::NoteId).toString());
    });
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { emit noteDoubleClicked(item->data(NoteListRole::NoteId).toString()); });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (QListWidgetItem* item = itemAt(pos))
            emit noteContextMenuRequested(item->data(NoteListRole::NoteId).toString(), viewport()->mapToGlobal(pos));
    });
}

void NoteListWidget::setNotes(const QList<Note>& notes)
{
    const QString currentId = selectedNoteId();
    QString topId;
    int topOffset = 0;
    if (QListWidgetItem* top = itemAt(QPoint(0, 0))) {
        topId = top->data(NoteListRole::NoteId).toString();
        topOffset = visualItemRect(top).top();
    }

    const bool blocked = blockSignals(true);
    clear();
    for (const Note& note : notes) {
        const NoteListText text = noteListText(note.body);
        auto* item = new QListWidgetItem;
        item->setData(NoteListRole::NoteId, note.id);
        item->setData(NoteListRole::Title, text.title);
        item->setData(NoteListRole::Preview, text.preview);
        item->setData(NoteListRole::UpdatedAt, note.updatedAt);
        item->setData(NoteListRole::NotebookName,
                      m_notebookName && !note.notebookId.isEmpty() ? m_notebookName(note.notebookId) : QString());
        item->setData(NoteListRole::TitleMissing, text.titleMissing);
        item->setData(NoteListRole::Shared, note.isShared);
        item->setData(NoteListRole::SyncState, static_cast<int>(note.syncStatus));
        addItem(item);
    }

    if (QListWidgetItem* current = itemForNote(currentId))
        setCurrentItem(current);
    if (QListWidgetItem* top = itemForNote(topId)) {
        // Lay the rows out now, so the item's position is known before the next paint.
        executeDelayedItemsLayout();
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(bar->value() + visualItemRect(top).top() - topOffset);
    }
    blockSignals(blocked);
}

void NoteListWidget::selectNote(const QString& noteId)
{
    if (QListWidgetItem* item = itemForNote(noteId))
        setCurrentItem(item);
}

QString NoteListWidget::selectedNoteId() const
{
    const QListWidgetItem* item = currentItem();
    return item ? item->data(NoteListRole::NoteId).toString() : QString();
}

void NoteListWidget::setNotebookNameLookup(NotebookNameLookup lookup)
{
    m_notebookName = std::move(lookup);
}

QStringList NoteListWidget::mimeTypes() const
{
    return {QString::fromLatin1(kNoteIdMimeType)};
}

QMimeData* NoteListWidget::mimeData(const QList<QListWidgetItem*>& items) const
{
    if (items.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kNoteIdMimeType), items.first()->data(NoteListRole::NoteId).toString().toUtf8());
    return data;
}

void NoteListWidget::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (currentItem())
            emit noteActivated(selectedNoteId());
        event->accept();
        return;
    case Qt::Key_Delete:
        if (currentItem())
            emit noteDeleteRequested(selectedNoteId());
        event->accept();
        return;
    default:
        QListWidget::keyPressEvent(event);
    }
}

void NoteListWidget::startDrag(Qt::DropActions supportedActions)
{
    // The base class removes the dragged rows after a move. The note is moved by whoever took the
    // drop, and the list is refreshed from the database by then, so removing rows here would hide
    // a note that is still listed.
    QListWidgetItem* item = currentItem();
    if (!item)
        return;
    QMimeData* data = mimeData({item});
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(supportedActions, defaultDropAction());
}

QListWidgetItem* NoteListWidget::itemForNote(const QString& noteId) const
{
    if (noteId.isEmpty())
        return nullptr;
    for (int row = 0; row < count(); ++row) {
        QListWidgetItem* candidate = item(row);
        if (candidate->data(NoteListRole::NoteId).toString() == noteId)
            return candidate;
    }
    return nullptr;
}
