#pragma once

#include "Records.h"

#include <QHash>
#include <QList>
#include <QListWidget>

namespace NotebookRowKind {
enum : int
{
    AllNotes = 0,
    Notebook = 1,
    Trash = 2,
    NewNotebook = 3,
};
}

namespace NotebookListRole {
enum : int
{
    Kind = Qt::UserRole,           // int, NotebookRowKind
    NotebookId = Qt::UserRole + 1, // QString (notebook rows)
    Text,                          // QString, as shown
    Count,                         // int
    IsDefault,                     // bool (notebook rows)
    Shared,                        // bool (notebook rows)
};
}

// The left pane: "All Notes", the notebooks with their counts, "Trash" and "New Notebook…". Notes
// dragged from the note list can be dropped on "All Notes" (out of their notebook) or a notebook.
class NotebookListWidget : public QListWidget
{
    Q_OBJECT
public:
    explicit NotebookListWidget(QWidget* parent = nullptr);

    // counts: notebook id -> live notes, with the empty key holding the count of all live notes.
    void setNotebooks(const QList<Notebook>& notebooks, const QHash<QString, int>& counts,
                      const QString& currentNotebookId, int trashCount);

signals:
    void allNotesSelected();
    void notebookSelected(const QString& notebookId);
    void trashSelected();
    void newNotebookRequested();
    void notebookContextMenuRequested(const QString& notebookId, const QPoint& globalPos);
    void noteDroppedOnNotebook(const QString& noteId, const QString& targetNotebookId);

public slots:
    void onItemActivated(QListWidgetItem* item);
    void onContextMenu(const QPoint& pos);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The row under pos when it takes notes (All Notes or a notebook), else null.
    QListWidgetItem* dropTarget(const QPoint& pos) const;
    void restoreRowBeforeDrag();

    // The current row when a drag entered; the highlight follows the cursor and goes back after.
    int m_rowBeforeDrag = -1;
};
