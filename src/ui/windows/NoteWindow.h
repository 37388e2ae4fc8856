#pragma once

#include <QMainWindow>
#include <QString>

class AppState;
class EditorToolbar;
class FindBar;
class NoteEditor;
class NoteHeaderBar;
class QAction;
class StatusBar;
struct Note;

// One note in a top-level window of its own, beside the main window. It saves and snapshots like the
// main window's editor, remembers where it stood per note, and takes an untouched empty note with it
// when it closes, so "new note in a window" never leaves blank notes behind.
class NoteWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 960;
    static constexpr int kDefaultHeight = 760;

    NoteWindow(AppState* state, const QString& noteId, QWidget* parent = nullptr);

    // Lets the application state open notes in windows of this kind.
    static void install(AppState* state);

    QString noteId() const { return m_noteId; }
    NoteEditor* editor() const { return m_editor; }
    NoteHeaderBar* headerBar() const { return m_headerBar; }
    EditorToolbar* toolbar() const { return m_toolbar; }
    FindBar* findBar() const { return m_findBar; }
    StatusBar* noteStatusBar() const { return m_statusBar; }

public slots:
    void saveNote();
    void saveSnapshotIfChanged();
    // Asks first; on Yes the note goes to the trash and the window closes.
    void moveToTrash();

signals:
    void windowClosed(const QString& noteId);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createUI();
    void createMenuBar();
    void connectSignals();
    void showSignInState();
    void restoreNoteGeometry();
    // An unforced load: the editor keeps the note as it is when nothing changed.
    void openNote(bool force = false);
    void showNoteDetails(const Note& note);
    void clearContent();
    void onNotesChanged();
    bool loaded() const;

    AppState* m_state = nullptr;
    QString m_noteId;
    NoteHeaderBar* m_headerBar = nullptr;
    EditorToolbar* m_toolbar = nullptr;
    NoteEditor* m_editor = nullptr;
    FindBar* m_findBar = nullptr;
    StatusBar* m_statusBar = nullptr;
    QAction* m_closeAction = nullptr;
    QAction* m_trashAction = nullptr;
    // The body at open time or at the last snapshot; empty while no note is shown.
    QString m_lastSnapshotBody;
    // Closing runs once, even when close() is called again before the window is deleted.
    bool m_closed = false;
};
