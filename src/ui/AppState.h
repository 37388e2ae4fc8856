#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace NorvAccount {
class Client;
class TokenStore;
} // namespace NorvAccount

class Database;
class NoteSharingService;
class SyncEngine;
class NoteRepository;
class NotebookRepository;
class PreferencesRepository;
class SnapshotRepository;
class AttachmentRepository;
class ThemeManager;
class QWidget;

// The hub the windows are built on: owns the database, the repositories and the theme, holds the
// current notebook and note, keeps the open note windows (one per note), and relays change
// notifications to the widgets.
class AppState : public QObject
{
    Q_OBJECT
public:
    // Builds the window for one note. The note-window code installs it; until then notes cannot
    // open in windows of their own. The state records, shows, raises and activates what it returns.
    using NoteWindowFactory = std::function<QWidget*(AppState* state, const QString& noteId)>;
    // Where the account's tokens persist; unset means the platform's credential store.
    using TokenStoreFactory = std::function<std::unique_ptr<NorvAccount::TokenStore>()>;

    explicit AppState(QObject* parent = nullptr);
    ~AppState() override;

    // Opens and migrates the database, creates the repositories and the theme and wires them
    // together. False when the database cannot be opened or migrated; nothing else exists then.
    bool initialize();

    Database* database() const { return m_database; }
    NoteRepository* notes() const { return m_notes; }
    NotebookRepository* notebooks() const { return m_notebooks; }
    PreferencesRepository* preferences() const { return m_preferences; }
    SnapshotRepository* snapshots() const { return m_snapshots; }
    AttachmentRepository* attachments() const { return m_attachments; }
    ThemeManager* theme() const { return m_theme; }
    NorvAccount::Client* account() const { return m_account; }
    // Sharing of single notes, and of whole notebooks.
    NoteSharingService* sharing() const { return m_sharing; }
    NoteSharingService* groupSharing() const { return m_groupSharing; }
    SyncEngine* sync() const { return m_sync; }
    bool signedIn() const;

    // Set before initialize().
    void setTokenStoreFactory(TokenStoreFactory factory) { m_tokenStoreFactory = std::move(factory); }

    // Empty: "all notes".
    QString currentNotebookId() const { return m_currentNotebookId; }
    // Empty: no note selected.
    QString currentNoteId() const { return m_currentNoteId; }
    bool canShare() const { return m_canShare; }

    void setCurrentNotebook(const QString& id);
    void setCurrentNote(const QString& id);

    // The answers to otherAccountLibrary(): the library's notes go to the account signed in now, or
    // the library is saved as a backup archive in the data folder (its path is returned; empty when
    // the backup failed, and then nothing is removed), emptied and filled from the new account.
    void uploadLibraryToAccount();
    QString keepLibraryApart();
    bool awaitingAccountChoice() const { return m_awaitingAccountChoice; }

    // Sharing needs a signed-in account in a group of at least two; without an account client it is
    // simply switched off.
    void refreshCanShare();

    // Seven sample notes dated from today back to 28 days ago; returns how many were stored.
    int loadSampleNotes();

    // Note windows.
    void setNoteWindowFactory(NoteWindowFactory factory);
    // Brings the note's window forward, creating it when none is open. Null without a factory.
    QWidget* openNoteWindow(const QString& noteId);
    QWidget* noteWindow(const QString& noteId) const;
    // In the order the windows were opened.
    QStringList openNoteWindowIds() const;
    void closeAllNoteWindows();
    // Stores a new empty note in the current notebook and opens it in its own window. Null when the
    // note cannot be stored (or no window can be built; the note then exists all the same).
    // createdId, when given, receives the new note's id, empty when nothing was stored.
    QWidget* createNoteInWindow(QString* createdId = nullptr);
    // True for a note createNoteInWindow made in this session.
    bool isNewNoteInWindow(const QString& noteId) const { return m_newNotesInWindows.contains(noteId); }

public slots:
    // A note window announces here that it closed; its entry goes, so the next open builds a new one.
    void noteWindowClosed(const QString& noteId);

signals:
    void databaseReady();
    void currentNotebookChanged(const QString& notebookId);
    void currentNoteChanged(const QString& noteId);
    void notesChanged();
    void notebooksChanged();
    void canShareChanged(bool canShare);
    // A share was granted or taken back; the local sharing marks follow with the next sync.
    void sharesChanged();
    // Sent by an editing surface after it changed a note; the other surfaces reload it.
    void noteUpdatedExternally(const QString& noteId, QObject* source);
    void noteDeletedExternally(const QString& noteId);
    // Signed in to an account other than the one this library last synced with. Nothing is synced
    // until the user chooses uploadLibraryToAccount() or keepLibraryApart().
    void otherAccountLibrary();
    // A short notice for the status bar of the main window (sync notices: an edit kept in history, the
    // network gone).
    void statusMessage(const QString& text);

private:
    void createRepositories();
    void connectRepositories();
    void createTheme();
    void createAccount();
    void routeAccountPrompts();
    void createSync();
    // Starts, re-times or stops the periodic sync from the Sync preferences and the sign-in state.
    void applySyncSettings(bool signInJustHappened);
    // The account behind the current session ("sub" of the access token); empty when unknown.
    QString sessionAccount() const;
    void onSignedIn();
    void restoreCurrentSelection();
    void createWelcomeNotes();
    void setCanShare(bool canShare);

    Database* m_database = nullptr;
    NoteRepository* m_notes = nullptr;
    NotebookRepository* m_notebooks = nullptr;
    PreferencesRepository* m_preferences = nullptr;
    SnapshotRepository* m_snapshots = nullptr;
    AttachmentRepository* m_attachments = nullptr;
    // The two sharing services join here.
    ThemeManager* m_theme = nullptr;
    NorvAccount::Client* m_account = nullptr;
    NoteSharingService* m_sharing = nullptr;
    NoteSharingService* m_groupSharing = nullptr;
    TokenStoreFactory m_tokenStoreFactory;
    SyncEngine* m_sync = nullptr;
    // The offline notice shows once per outage.
    bool m_offlineNoticeShown = false;
    bool m_awaitingAccountChoice = false;

    QString m_currentNotebookId;
    QString m_currentNoteId;
    bool m_canShare = false;

    NoteWindowFactory m_noteWindowFactory;
    // Windows are top-level and may be deleted on close, so they are watched, not owned.
    QHash<QString, QPointer<QWidget>> m_noteWindows;
    // In the order they were opened, which is the order they come back in at the next start.
    QStringList m_noteWindowOrder;
    QSet<QString> m_newNotesInWindows;
};
