#include "NoteListWidget.h"

#include "NoteListDelegate.h"

#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>

NoteListWidget::NoteListWidget(QWidget* parent)
    : QListView(parent)
    , m_model(new NoteListModel(this))
{
    setObjectName(QStringLiteral("noteList"));
    setModel(m_model);
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

    // Emitted through this widget, so blocking its signals silences them as it did the item views'.
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid())
            emit noteSelected(m_model->noteIdAt(current.row()));
    });
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { emit noteClicked(m_model->noteIdAt(index.row())); });
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit noteDoubleClicked(m_model->noteIdAt(index.row())); });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = indexAt(pos);
        if (index.isValid())
            emit noteContextMenuRequested(m_model->noteIdAt(index.row()), viewport()->mapToGlobal(pos));
    });
}

template <typename Replace> void NoteListWidget::keepingPlace(Replace replace)
{
    const QString currentId = selectedNoteId();
    QString topId;
    int topOffset = 0;
    if (const QModelIndex top = indexAt(QPoint(0, 0)); top.isValid()) {
        topId = m_model->noteIdAt(top.row());
        topOffset = visualRect(top).top();
    }

    const bool blocked = blockSignals(true);
    replace();
    // Lay the rows out now rather than on the next turn of the event loop, so the next paint shows
    // them and the old top row's position is known.
    executeDelayedItemsLayout();
    if (const int current = m_model->rowOfNote(currentId); current >= 0)
        setCurrentIndex(m_model->index(current));
    if (const int top = m_model->rowOfNote(topId); top >= 0) {
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(bar->value() + visualRect(m_model->index(top)).top() - topOffset);
    }
    blockSignals(blocked);
}

void NoteListWidget::setRowids(const QList<qint64>& rowids, const QString& searchText)
{
    keepingPlace([&] { m_model->setRowids(rowids, searchText); });
}

bool NoteListWidget::replaceNote(const Note& note, int targetRow)
{
    const bool blocked = blockSignals(true);
    const bool replaced = m_model->replaceNote(note, targetRow);
    blockSignals(blocked);
    return replaced;
}

void NoteListWidget::insertNote(const Note& note, int row)
{
    const bool blocked = blockSignals(true);
    m_model->insertNote(note, row);
    blockSignals(blocked);
}

void NoteListWidget::setCurrentRow(int row)
{
    setCurrentIndex(m_model->index(row));
}

void NoteListWidget::selectNote(const QString& noteId)
{
    if (const int row = m_model->rowOfNote(noteId); row >= 0)
        setCurrentRow(row);
}

QString NoteListWidget::selectedNoteId() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? m_model->noteIdAt(current.row()) : QString();
}

void NoteListWidget::clearCurrent()
{
    selectionModel()->clear();
}

void NoteListWidget::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (currentIndex().isValid())
            emit noteActivated(selectedNoteId());
        event->accept();
        return;
    case Qt::Key_Delete:
        if (currentIndex().isValid())
            emit noteDeleteRequested(selectedNoteId());
        event->accept();
        return;
    default:
        QListView::keyPressEvent(event);
    }
}

void NoteListWidget::setEmptyText(const QString& text)
{
    if (text == m_emptyText)
        return;
    m_emptyText = text;
    viewport()->update();
}

void NoteListWidget::paintEvent(QPaintEvent* event)
{
    QListView::paintEvent(event);
    if (count() > 0 || m_emptyText.isEmpty())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, m_emptyText);
}

void NoteListWidget::startDrag(Qt::DropActions supportedActions)
{
    // The base class removes the dragged rows after a move. The note is moved by whoever took the
    // drop, and the list is refreshed from the database by then, so removing rows here would hide
    // a note that is still listed.
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    QMimeData* data = m_model->mimeData({current});
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(supportedActions, defaultDropAction());
}
