#pragma once

#include "NoteListModel.h"
#include "Records.h"

#include <QList>
#include <QListView>
#include <QString>

// The middle pane: three-line rows (title, preview, date and notebook) and a drag source for notes.
// The rows come from a NoteListModel, which reads a row's texts only when it is shown.
class NoteListWidget : public QListView
{
    Q_OBJECT
public:
    using NotebookNameLookup = NoteListModel::NotebookNameLookup;
    using RowLoader = NoteListModel::RowLoader;

    explicit NoteListWidget(QWidget* parent = nullptr);

    NoteListModel* noteModel() const { return m_model; }

    // Replace the rows, keeping the current note and the scroll position; emit nothing. A search
    // text makes the previews show the words around the first match.
    void setRowids(const QList<qint64>& rowids, const QString& searchText = QString());
    // See NoteListModel; both keep the current row current and emit nothing.
    bool replaceNote(const Note& note, int targetRow);
    void insertNote(const Note& note, int row);

    int count() const { return m_model->rowCount(); }
    int rowOfNote(const QString& noteId) const { return m_model->rowOfNote(noteId); }
    void setCurrentRow(int row);
    void selectNote(const QString& noteId);
    QString selectedNoteId() const;
    // No row current and none selected.
    void clearCurrent();
    void setNotebookNameLookup(NotebookNameLookup lookup) { m_model->setNotebookNameLookup(std::move(lookup)); }
    void setRowLoader(RowLoader loader) { m_model->setRowLoader(std::move(loader)); }
    void setSyncMarksShown(bool shown) { m_model->setSyncMarksShown(shown); }
    // Shown in the middle of the list while it has no rows ("No notes match" during a search).
    void setEmptyText(const QString& text);
    QString emptyText() const { return m_emptyText; }

signals:
    void noteSelected(const QString& noteId);
    // A click on a row, also on the one that is already current.
    void noteClicked(const QString& noteId);
    void noteDoubleClicked(const QString& noteId);
    void noteActivated(const QString& noteId);
    void noteDeleteRequested(const QString& noteId);
    void noteContextMenuRequested(const QString& noteId, const QPoint& globalPos);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Type-ahead would read every row's title; the rows have no display text to match anyway.
    void keyboardSearch(const QString&) override {}
    void paintEvent(QPaintEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    template <typename Replace> void keepingPlace(Replace replace);

    NoteListModel* m_model = nullptr;
    QString m_emptyText;
};
