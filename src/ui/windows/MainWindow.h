#pragma once

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>

namespace NorvAccount {
class AccountScreen;
}

class AppState;
class EditorToolbar;
class FindBar;
class NoteEditor;
class NoteHeaderBar;
class NoteListWidget;
class NotebookListWidget;
class QAction;
class QLineEdit;
class QMenu;
class QSplitter;
class QSystemTrayIcon;
class SearchScreen;
class SettingsDialog;
class SharedScreen;
class TodosScreen;
class TrashScreen;
class WelcomeScreen;
class QStackedWidget;
class QTimer;
class QVBoxLayout;
class StatusBar;

// The primary window: notebook sidebar, note list with its search box, and the editor pane. It
// saves the open note, snapshots bodies that changed when the user moves on, and carries out the
// requests of the list widgets (trash, move, notebooks).
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int kSearchDelayMs = 300;

    explicit MainWindow(AppState* state, QWidget* parent = nullptr);

    NoteListWidget* noteList() const { return m_noteList; }
    NotebookListWidget* notebookList() const { return m_notebookList; }
    NoteEditor* editor() const { return m_editor; }
    QLineEdit* searchEdit() const { return m_searchEdit; }
    QTimer* searchTimer() const { return m_searchTimer; }
    QSplitter* splitter() const { return m_splitter; }
    bool focusMode() const { return m_focusMode; }
    bool sidebarVisible() const { return m_sidebarVisible; }
    StatusBar* mainStatusBar() const { return m_statusBar; }
    WelcomeScreen* welcomePage() const { return m_welcomePage; }
    bool welcomePageShown() const;
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }
    // The tray's menu, built on first use; the tray icon shows it when the platform has a tray.
    QMenu* trayMenu();
    bool closesToTray() const { return m_closeToTray; }
    TodosScreen* todosScreen() const { return m_todosScreen; }
    SearchScreen* searchScreen() const { return m_searchScreen; }
    TrashScreen* trashScreen() const { return m_trashScreen; }
    SharedScreen* sharedScreen(bool byMe) const { return byMe ? m_sharedByMeScreen : m_sharedWithMeScreen; }

public slots:
    void refreshNoteList();
    void refreshNotebookList();
    void createNote();
    void openNote(const QString& noteId, bool force = false);
    // Opens the note here, from another screen or a link: saves the open one first, and shows the
    // window when it is hidden.
    void showNote(const QString& noteId);
    void saveCurrentNote();
    void saveSnapshotIfChanged();
    void moveCurrentNoteToTrash(bool confirm);
    void createNotebook();
    void renameNotebook(const QString& notebookId);
    void deleteNotebook(const QString& notebookId);
    void setFocusMode(bool on);
    void setSidebarVisible(bool visible);
    void backupDatabase();
    void restoreDatabase();
    void openImportWizard();
    void updateCentralPage();
    // Brings every sign-in dependent element in line with the account's state.
    void updateAuthUI();
    void updateSyncIndicator();
    void syncNow();
    void forceFullResync();
    // Opens the browser sign-in and shows the welcome page, which offers Cancel while it waits.
    void startSignIn();
    void signOut();
    void setupTrayIcon();
    // Remembers the note windows and the to-do window for the next start, then closes everything.
    void quitApplication();
    void showTodosScreen();
    void showSearchScreen();
    void showTrashScreen();
    void showSharedScreen(bool byMe);
    SettingsDialog* openSettings();
    // The account screen in a window of its own; null while signed out.
    NorvAccount::AccountScreen* openAccountScreen();
    void exportCurrentNote();
    void printCurrentNote();
    void printPreviewCurrentNote();
    void moveCurrentNoteToNotebook();
    void openVersionHistory();
    void loadSampleNotes();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createMenuBar();
    void createUI();
    void connectSignals();
    void restoreWindowState();
    void saveWindowState();
    void applyLayoutMode();
    void applyStenoMode(bool refresh);
    void onNoteSelected(const QString& noteId);
    void onNoteDeleteRequested(const QString& noteId);
    void onNotesChanged();
    bool refreshOneNote(const QString& noteId);
    void updateListTitle();
    void showNotebookCounts();
    template <typename Screen, typename... Args> Screen* ensureScreen(Screen*& screen, Args... args);
    void onPreferenceChanged(const QString& key);
    void onNotebookContextMenu(const QString& notebookId, const QPoint& globalPos);
    void onNoteContextMenu(const QString& noteId, const QPoint& globalPos);
    void onNotebookChipClicked();
    void showSecondaryWindow(QWidget* window, const QString& title);
    void updateTrayMenuText();
    void showAbout();
    bool signedIn() const;
    void connectAccount();
    void restoreToAccount(const QString& path);
    void askAboutOtherAccount();
    void clearOpenNote();
    // The note exists and the user may change it (NoteActions::mayEdit).
    bool mayChangeNote(const QString& noteId) const;
    void openSelectedAsCurrent();
    bool editorPageCurrent() const;
    void updateShareButton();

    AppState* m_state = nullptr;
    QSplitter* m_splitter = nullptr;
    QWidget* m_sidebarPane = nullptr;
    NotebookListWidget* m_notebookList = nullptr;
    QWidget* m_listPane = nullptr;
    QVBoxLayout* m_listLayout = nullptr;
    QWidget* m_searchContainer = nullptr;
    QLineEdit* m_searchEdit = nullptr;
    NoteListWidget* m_noteList = nullptr;
    QWidget* m_editorPane = nullptr;
    NoteHeaderBar* m_headerBar = nullptr;
    EditorToolbar* m_toolbar = nullptr;
    NoteEditor* m_editor = nullptr;
    FindBar* m_findBar = nullptr;
    QStackedWidget* m_centralStack = nullptr;
    QWidget* m_editorPage = nullptr;
    StatusBar* m_statusBar = nullptr;
    WelcomeScreen* m_welcomePage = nullptr;
    QAction* m_focusModeAction = nullptr;
    QAction* m_sidebarAction = nullptr;
    QAction* m_signInAction = nullptr;
    QAction* m_signOutAction = nullptr;
    QAction* m_manageAccountAction = nullptr;
    QAction* m_sharedWithMeAction = nullptr;
    QAction* m_sharedByMeAction = nullptr;
    // Off while no note is open or the open one may not be changed.
    QAction* m_moveToNotebookAction = nullptr;
    QAction* m_moveToTrashAction = nullptr;

    QSystemTrayIcon* m_trayIcon = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_trayShowAction = nullptr;
    bool m_closeToTray = false;

    // Created on first use and kept: closing one only hides it.
    TodosScreen* m_todosScreen = nullptr;
    SearchScreen* m_searchScreen = nullptr;
    TrashScreen* m_trashScreen = nullptr;
    SharedScreen* m_sharedByMeScreen = nullptr;
    SharedScreen* m_sharedWithMeScreen = nullptr;
    QPointer<SettingsDialog> m_settings;
    QPointer<NorvAccount::AccountScreen> m_accountScreen;

    bool m_focusMode = false;
    bool m_sidebarVisible = true;
    QList<int> m_normalSplitterSizes;
    // The body at open time or at the last snapshot; empty while no note is open.
    QString m_lastSnapshotBody;
    QTimer* m_searchTimer = nullptr;
    // The note the repository just updated, until the change notice that follows is handled.
    QString m_updatedNoteId;
    // The sidebar's counts as last read, so that a new note can add itself without a recount.
    QHash<QString, int> m_noteCounts;
};
