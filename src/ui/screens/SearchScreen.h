#pragma once

#include <QWidget>

class AppState;
class NoteListWidget;
class QLineEdit;
class QTimer;

// A window of its own for full-text search over every note, apart from the main list's filter.
class SearchScreen : public QWidget
{
    Q_OBJECT
public:
    explicit SearchScreen(AppState* state, QWidget* parent = nullptr);

    // Lists the repository's matches for the trimmed text, best first; nothing for a blank text.
    void runSearch();
    // Focuses the search box with its text selected, ready to be typed over.
    void focusSearch();

    QLineEdit* searchEdit() const { return m_searchEdit; }
    NoteListWidget* noteList() const { return m_list; }
    QTimer* searchTimer() const { return m_searchTimer; }

signals:
    // A click on a note: the main window opens it.
    void noteOpenRequested(const QString& noteId);

private:
    AppState* m_state;
    QLineEdit* m_searchEdit = nullptr;
    NoteListWidget* m_list = nullptr;
    QTimer* m_searchTimer = nullptr;
};
