#pragma once

#include <QObject>
#include <QString>

class Database;
class NoteRepository;
class NotebookRepository;
class PreferencesRepository;
class SnapshotRepository;
class AttachmentRepository;

// The hub the windows are built on: owns the database and the repositories, holds the current
// notebook and note, and relays change notifications to the widgets.
class AppState : public QObject
{
    Q_OBJECT
public:
    explicit AppState(QObject* parent = nullptr);
    ~AppState() override;

    // Opens and migrates the database, creates the repositories and wires them together.
    // False when the database cannot be opened or migrated; nothing else exists then.
    bool initialize();

    Database* database() const { return m_database; }
    NoteRepository* notes() const { return m_notes; }
    NotebookRepository* notebooks() const { return m_notebooks; }
    PreferencesRepository* preferences() const { return m_preferences; }
    SnapshotRepository* snapshots() const { return m_snapshots; }
    AttachmentRepository* attachments() const { return m_attachments; }

    // Empty: "all notes".
    QString currentNotebookId() const { return m_currentNotebookId; }
    // Empty: no note selected.
    QString currentNoteId() const { return m_currentNoteId; }
    bool canShare() const { return m_canShare; }

    void setCurrentNotebook(const QString& id);
    void setCurrentNote(const QString& id);

signals:
    void databaseReady();
    void currentNotebookChanged(const QString& notebookId);
    void currentNoteChanged(const QString& noteId);
    void notesChanged();
    void notebooksChanged();
    void canShareChanged(bool canShare);
    // Sent by an editing surface after it changed a note; the other surfaces reload it.
    void noteUpdatedExternally(const QString& noteId, QObject* source);
    void noteDeletedExternally(const QString& noteId);

private:
    void createRepositories();
    void connectRepositories();
    void restoreCurrentSelection();
    void createWelcomeNotes();

    Database* m_database = nullptr;
    NoteRepository* m_notes = nullptr;
    NotebookRepository* m_notebooks = nullptr;
    PreferencesRepository* m_preferences = nullptr;
    SnapshotRepository* m_snapshots = nullptr;
    AttachmentRepository* m_attachments = nullptr;

    QString m_currentNotebookId;
    QString m_currentNoteId;
    bool m_canShare = false;
};
