#pragma once

#include <QWidget>

class AppState;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTimer;

// Every task of every note, in one list. Check-list tasks can be ticked here; the tick is written
// back into the note's body.
class TodosScreen : public QWidget
{
    Q_OBJECT
public:
    // Item data of a task row.
    enum Role : int
    {
        NoteIdRole = Qt::UserRole,        // QString
        LineIndexRole = Qt::UserRole + 1, // int
        KindRole = Qt::UserRole + 2,      // int, TodoItem::Kind
    };

    explicit TodosScreen(AppState* state, QWidget* parent = nullptr);

    // Rebuilds the list from the notes, applying the filter, the completed switch and the order.
    void rebuild();

    QListWidget* todoList() const { return m_list; }
    QComboBox* sortCombo() const { return m_sortCombo; }
    QCheckBox* showCompletedCheck() const { return m_showCompleted; }
    QLineEdit* filterEdit() const { return m_filterEdit; }

private:
    void onItemChanged(QListWidgetItem* item);

    AppState* m_state;
    QComboBox* m_sortCombo = nullptr;
    QCheckBox* m_showCompleted = nullptr;
    QLineEdit* m_filterEdit = nullptr;
    QListWidget* m_list = nullptr;
    // Coalesces bursts of note changes (emptying the trash, a sync batch) into one rebuild, and keeps
    // a rebuild from deleting the item whose change is still being delivered.
    QTimer* m_rebuildTimer = nullptr;
    bool m_rebuilding = false;
};
