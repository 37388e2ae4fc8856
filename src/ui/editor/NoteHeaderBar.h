#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QAction;
class QLabel;
class QPushButton;
class QToolButton;
struct Note;

// The bar above a note: sidebar toggle, the notebook chip, when the note was updated, and the note's
// actions. It only shows state and emits requests; its owner does the work.
class NoteHeaderBar : public QWidget
{
    Q_OBJECT

public:
    explicit NoteHeaderBar(QWidget* parent = nullptr);

    void setNote(const Note& note);
    // Empty shows "Unorganized".
    void setNotebookName(const QString& name);
    void setUpdatedText(const QString& text);
    void setShared(bool shared);
    // Whether the share button can be used for the note shown (signed in with a group, own note).
    void setShareAvailable(bool available);
    void setIncludeInTodos(bool include);
    // Whether the note shown may be changed. A note shared for viewing only cannot be moved to
    // another notebook or to the trash either.
    void setNoteEditable(bool editable);
    // Whether the notebook chip can be clicked; a window whose chip moves the note turns it off for a
    // note that may not be moved.
    void setNotebookChipEnabled(bool enabled);
    void setFocusMode(bool focusMode);
    // No note: the chip and the update time are emptied and the note actions disabled.
    void clear();

    QString noteId() const { return m_noteId; }
    QString chipText() const;
    QString updatedText() const;
    // The chip's style sheet for a palette: light colours unless the window colour is as dark as #1E1E1E.
    static QString chipStyleSheet(bool dark);

signals:
    void focusToggleClicked();
    void notebookChipClicked();
    void copyAsPlainTextRequested();
    void copyAsMarkdownRequested();
    void copyAsHtmlRequested();
    void shareRequested();
    void historyRequested();
    void includeInTodosToggled(bool enabled);
    void moveToNotebookRequested();
    void exportRequested();
    void printRequested();
    void deleteRequested();

private:
    void applyChipStyle();
    void setNoteActionsEnabled(bool enabled);

    QString m_noteId;
    QToolButton* m_focusToggle;
    QPushButton* m_chip;
    QLabel* m_updated;
    QToolButton* m_copy;
    QToolButton* m_share;
    QToolButton* m_history;
    QToolButton* m_more;
    QAction* m_includeInTodos = nullptr;
    QAction* m_moveToNotebook = nullptr;
    QAction* m_moveToTrash = nullptr;
    QString m_chipStyle;
    bool m_shareAvailable = false;
};
