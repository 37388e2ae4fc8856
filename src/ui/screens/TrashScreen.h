#pragma once

#include <QWidget>

class AppState;
class NoteListWidget;
class QPushButton;
class QTimer;

// The trashed notes, most recently trashed first, with restore and permanent deletion.
class TrashScreen : public QWidget
{
    Q_OBJECT
public:
    explicit TrashScreen(AppState* state, QWidget* parent = nullptr);

    // Reloads the list and clears the selection, so only "Empty Trash" can be enabled afterwards.
    void refresh();

    NoteListWidget* noteList() const { return m_list; }

private:
    // Reloads the list, keeping the selected note selected while it is still in the trash.
    void reload();
    QString selectedNoteId() const;
    void updateSelectionButtons();
    void restoreSelected();
    void deleteSelected();
    void emptyTrash();

    AppState* m_state;
    QPushButton* m_restoreButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QPushButton* m_emptyButton = nullptr;
    NoteListWidget* m_list = nullptr;
    QTimer* m_reloadTimer = nullptr;
};
