#pragma once

#include <QWidget>

class AppState;
class NoteListWidget;
class QLabel;

// Notes shared by the user (byMe) or shared with the user by others, newest update first.
class SharedScreen : public QWidget
{
    Q_OBJECT
public:
    SharedScreen(AppState* state, bool byMe, QWidget* parent = nullptr);

    void refresh();

    bool isByMe() const { return m_byMe; }
    NoteListWidget* noteList() const { return m_list; }
    QLabel* emptyLabel() const { return m_emptyLabel; }

signals:
    // A click on a note: the main window opens it.
    void noteOpenRequested(const QString& noteId);

private:
    AppState* m_state;
    bool m_byMe;
    NoteListWidget* m_list = nullptr;
    QLabel* m_emptyLabel = nullptr;
};
