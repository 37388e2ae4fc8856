#include "AppState.h"

#include "UiLog.h"
#include "AttachmentRepository.h"
#include "DataPaths.h"
#include "Database.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "SnapshotRepository.h"

AppState::AppState(QObject* parent)
    : QObject(parent)
{}

AppState::~AppState()
{
    // Open note windows are closed here once they exist, before the repositories they use go away.
}

bool AppState::initialize()
{
    m_database = new Database(this);
    const QString path = databasePath();
    qCInfo(lcUi).noquote() << "Opening database at:" << path;
    if (!m_database->open(path) || !m_database->migrate())
        return false;

    createRepositories();
    connectRepositories();

    // Later services join here, in this order: the theme manager on the preferences, the service
    // addresses and the account client, the sync engine and the two sharing services, their
    // sign-in and sync wiring, and the start of the account client's session restore.

    restoreCurrentSelection();
    createWelcomeNotes();

    emit databaseReady();
    return true;
}

void AppState::createRepositories()
{
    m_notes = new NoteRepository(m_database, this);
    m_notebooks = new NotebookRepository(m_database, this);
    m_preferences = new PreferencesRepository(m_database, this);
    m_snapshots = new SnapshotRepository(m_database, this);
    m_attachments = new AttachmentRepository(m_database, this);
}

void AppState::connectRepositories()
{
    connect(m_notes, &NoteRepository::notesChanged, this, &AppState::notesChanged);
    connect(m_notebooks, &NotebookRepository::notebooksChanged, this, &AppState::notebooksChanged);
    connect(m_notes, &NoteRepository::noteDeleted, this, &AppState::noteDeletedExternally);
    // A purged note takes its attachment rows and files with it.
    connect(m_notes, &NoteRepository::notePurged, m_attachments, &AttachmentRepository::deleteAllForNote);
    connect(m_notes, &NoteRepository::attachmentsOrphaned, m_attachments, &AttachmentRepository::removeFiles);
}

void AppState::restoreCurrentSelection()
{
    // Restored silently: nothing is listening yet, and re-writing the same values would be noise.
    if (const auto notebookId = m_preferences->value(PrefKey::LastNotebookId))
        m_currentNotebookId = *notebookId;
    if (const auto noteId = m_preferences->value(PrefKey::LastNoteId))
        m_currentNoteId = *noteId;
}

void AppState::createWelcomeNotes()
{
    // First-start welcome notes go here, guarded by the "has_seen_welcome" preference.
}

void AppState::setCurrentNotebook(const QString& id)
{
    if (id == m_currentNotebookId)
        return;
    m_currentNotebookId = id;
    if (m_preferences)
        m_preferences->setValue(PrefKey::LastNotebookId, id);
    emit currentNotebookChanged(id);
}

void AppState::setCurrentNote(const QString& id)
{
    if (id == m_currentNoteId)
        return;
    m_currentNoteId = id;
    if (m_preferences)
        m_preferences->setValue(PrefKey::LastNoteId, id);
    emit currentNoteChanged(id);
}
