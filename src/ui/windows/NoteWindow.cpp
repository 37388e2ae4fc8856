#include "NoteWindow.h"

#include "AppState.h"
#include "DeltaFormat.h"
#include "EditorToolbar.h"
#include "FindBar.h"
#include "NorvAccountClient.h"
#include "NoteActions.h"
#include "NoteEditor.h"
#include "NoteHeaderBar.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "Records.h"
#include "StatusBar.h"
#include "SyncCloudIcon.h"
#include "SyncEngine.h"
#include "TextFormats.h"
#include "ThemeManager.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString kAppName = QStringLiteral("Norvane Notes");

bool matchesShortcut(const QKeyEvent* event, const QAction* action)
{
    if (!action)
        return false;
    const QKeySequence pressed(event->keyCombination());
    for (const QKeySequence& shortcut : action->shortcuts()) {
        if (shortcut == pressed)
            return true;
    }
    return false;
}

} // namespace

NoteWindow::NoteWindow(AppState* state, const QString& noteId, QWidget* parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_noteId(noteId)
{
    setObjectName(QStringLiteral("noteWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(kDefaultWidth, kDefaultHeight);

    createUI();
    createMenuBar();
    m_toolbar->setShortcutCheck(
        [this](const QKeySequence& key) { return NoteActions::windowHasShortcut(this, m_editor, key); });
    connectSignals();
    restoreNoteGeometry();
    openNote();
}

void NoteWindow::install(AppState* state)
{
    state->setNoteWindowFactory([](AppState* owner, const QString& noteId) -> QWidget* {
        auto* window = new NoteWindow(owner, noteId);
        QObject::connect(window, &NoteWindow::windowClosed, owner, &AppState::noteWindowClosed);
        return window;
    });
}

void NoteWindow::createUI()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("noteWindowCentral"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_headerBar = new NoteHeaderBar(central);
    m_headerBar->setObjectName(QStringLiteral("headerBar"));
    // A note window has no sidebars to toggle.
    if (auto* focusToggle = m_headerBar->findChild<QToolButton*>(QStringLiteral("focusToggleButton")))
        focusToggle->hide();
    m_editor = new NoteEditor(m_state->attachments(), central);
    m_editor->setObjectName(QStringLiteral("noteEditor"));
    m_editor->setThemeManager(m_state->theme());
    m_editor->installEventFilter(this);
    m_toolbar = new EditorToolbar(m_editor, central);
    m_toolbar->setObjectName(QStringLiteral("editorToolbar"));
    m_findBar = new FindBar(m_editor, central);
    m_findBar->setObjectName(QStringLiteral("findBar"));
    layout->addWidget(m_headerBar);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_editor, 1);
    layout->addWidget(m_findBar);
    setCentralWidget(central);

    m_statusBar = new StatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("statusBar"));
    // There is no list here; the left side stays free for messages.
    m_statusBar->setListTitle(QString(), -1);
    setStatusBar(m_statusBar);
    showSignInState();
    if (m_state->account())
        connect(m_state->account(), &NorvAccount::Client::authStateChanged, this, &NoteWindow::showSignInState);
    if (SyncEngine* sync = m_state->sync()) {
        connect(sync, &SyncEngine::stateChanged, this, &NoteWindow::showSignInState);
        connect(sync, &SyncEngine::leftBehindChanged, this, &NoteWindow::showSignInState);
    }
}

void NoteWindow::showSignInState()
{
    m_statusBar->showSync(m_state->sync(), m_state->signedIn());
}

void NoteWindow::createMenuBar()
{
    QMenuBar* bar = menuBar();
    auto add = [this](QMenu* menu, const QString& text, const QKeySequence& shortcut, auto slot) {
        QAction* action = menu->addAction(text);
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };

    QMenu* file = bar->addMenu(tr("&File"));
    add(file, tr("Save Snapshot"), QKeySequence(QKeySequence::Save), [this] {
        if (NoteActions::takeSnapshot(m_state, m_editor, this, m_lastSnapshotBody))
            m_statusBar->showMessage(tr("Snapshot saved"), 3000);
    });
    add(file, tr("Export..."), QKeySequence(QStringLiteral("Ctrl+E")), [this] {
        saveNote();
        NoteActions::exportNote(this, m_state, m_editor->noteId(), m_statusBar);
    });
    add(file, tr("Print..."), QKeySequence(QKeySequence::Print),
        [this] { NoteActions::printNote(this, m_state, m_editor, m_statusBar); });
    file->addSeparator();
    m_closeAction = add(file, tr("Close"), QKeySequence(), [this] { close(); });
    // Every platform binding of Close (Ctrl+W and Ctrl+F4 here), not only the first.
    m_closeAction->setShortcuts(QKeySequence::Close);

    QMenu* edit = bar->addMenu(tr("&Edit"));
    add(edit, tr("Undo"), QKeySequence(QKeySequence::Undo), [this] { m_editor->undo(); });
    add(edit, tr("Redo"), QKeySequence(QKeySequence::Redo), [this] { m_editor->redo(); });
    edit->addSeparator();
    add(edit, tr("Find in Note..."), QKeySequence(QKeySequence::Find), [this] {
        if (loaded())
            m_findBar->showBar();
    });
    add(edit, tr("Find Next"), QKeySequence(QKeySequence::FindNext), [this] {
        if (loaded())
            m_findBar->findNext(true);
    });
    add(edit, tr("Find Previous"), QKeySequence(QKeySequence::FindPrevious), [this] {
        if (loaded())
            m_findBar->findNext(false);
    });

    NoteActions::addFormatMenu(bar, m_editor, NoteActions::FormatMenu::NoteWindow);

    QMenu* note = bar->addMenu(tr("&Note"));
    // Ctrl+D asks about this window's note, as it does in the main window. Ctrl+Backspace does the
    // same where no text input takes it for deleting a word (see keyPressEvent).
    m_trashAction = add(note, tr("Move to Trash"), QKeySequence(QStringLiteral("Ctrl+D")), [this] { moveToTrash(); });

    QMenu* help = bar->addMenu(tr("&Help"));
    add(help, tr("About Norvane Notes"), QKeySequence(), [this] {
        QMessageBox::about(this, tr("About"), tr("Norvane Notes %1").arg(QCoreApplication::applicationVersion()));
    });
}

void NoteWindow::connectSignals()
{
    connect(m_editor, &NoteEditor::noteModified, this, &NoteWindow::saveNote);
    connect(m_editor, &NoteEditor::noteLinkActivated, m_state, &AppState::openNoteWindow);
    connect(m_editor, &NoteEditor::savedStateChanged, m_statusBar, &StatusBar::onSavedStateChanged);
    connect(m_editor, &NoteEditor::wordCountChanged, m_statusBar, &StatusBar::setWordCount);
    connect(m_editor, &NoteEditor::saveFailed, m_statusBar,
            [this] { m_statusBar->showMessage(NoteActions::saveFailedMessage()); });
    connect(m_editor, &NoteEditor::savedStateChanged, m_statusBar, [this](bool saved) {
        if (saved && m_statusBar->currentMessage() == NoteActions::saveFailedMessage())
            m_statusBar->clearMessage();
    });

    auto noteId = [this] {
        return m_editor->noteId();
    };
    connect(m_headerBar, &NoteHeaderBar::exportRequested, this, [this, noteId] {
        saveNote();
        NoteActions::exportNote(this, m_state, noteId(), m_statusBar);
    });
    connect(m_headerBar, &NoteHeaderBar::printRequested, this,
            [this] { NoteActions::printNote(this, m_state, m_editor, m_statusBar); });
    connect(m_headerBar, &NoteHeaderBar::historyRequested, this, [this, noteId] {
        saveNote();
        NoteActions::openVersionHistory(this, m_state, noteId());
    });
    connect(m_headerBar, &NoteHeaderBar::shareRequested, this,
            [this] { NoteActions::openShareDialog(this, m_state, m_noteId); });
    connect(m_state, &AppState::canShareChanged, this, [this](bool canShare) {
        const std::optional<Note> note = loaded() ? m_state->notes()->noteById(m_noteId) : std::nullopt;
        m_headerBar->setShareAvailable(canShare && note && note->ownerId.isEmpty());
    });
    connect(m_headerBar, &NoteHeaderBar::copyAsPlainTextRequested, this,
            [this] { NoteActions::copyAsPlainText(m_editor); });
    connect(m_headerBar, &NoteHeaderBar::copyAsMarkdownRequested, this,
            [this] { NoteActions::copyAsMarkdown(m_editor); });
    connect(m_headerBar, &NoteHeaderBar::copyAsHtmlRequested, this, [this] { NoteActions::copyAsHtml(m_editor); });
    connect(m_headerBar, &NoteHeaderBar::notebookChipClicked, this,
            [this, noteId] { NoteActions::moveToNotebook(this, m_state, noteId()); });
    connect(m_headerBar, &NoteHeaderBar::moveToNotebookRequested, this,
            [this, noteId] { NoteActions::moveToNotebook(this, m_state, noteId()); });
    connect(m_headerBar, &NoteHeaderBar::includeInTodosToggled, this, [this, noteId](bool include) {
        if (!noteId().isEmpty())
            m_state->notes()->setIncludeInTodos(noteId(), include);
    });
    connect(m_headerBar, &NoteHeaderBar::deleteRequested, this, &NoteWindow::moveToTrash);

    connect(m_state, &AppState::notesChanged, this, &NoteWindow::onNotesChanged);
    connect(m_state, &AppState::notebooksChanged, this, [this] {
        if (loaded()) {
            if (const std::optional<Note> note = m_state->notes()->noteById(m_noteId))
                showNoteDetails(*note);
        }
    });
    connect(m_state, &AppState::noteUpdatedExternally, this, [this](const QString& noteId, QObject* source) {
        if (source == this || noteId != m_noteId || !loaded())
            return;
        // Typing not yet written back here is never replaced by another window's version; another
        // device's version wins, with the typing kept in the note's history first.
        if (source == m_state->sync() && NoteActions::keepUnsavedTyping(m_state, m_editor, noteId))
            openNote(true);
        else if (m_editor->isSaved())
            openNote();
    });
    // The window stays where the user put it and shows that its note is gone, rather than
    // vanishing under the pointer; closing it afterwards deletes nothing more.
    connect(m_state, &AppState::noteDeletedExternally, this, [this](const QString& noteId) {
        if (noteId == m_noteId)
            clearContent();
    });
}

void NoteWindow::restoreNoteGeometry()
{
    const QString stored = m_state->preferences()->stringValue(PrefKey::noteWindowGeometry(m_noteId));
    if (stored.isEmpty())
        return;
    const QByteArray geometry = QByteArray::fromBase64(stored.toLatin1());
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

bool NoteWindow::loaded() const
{
    return !m_editor->noteId().isEmpty();
}

void NoteWindow::openNote(bool force)
{
    const std::optional<Note> note = m_state->notes()->noteById(m_noteId);
    if (!note) {
        clearContent();
        return;
    }
    m_editor->loadNote(note->id, note->body, force);
    const bool editable = NoteActions::mayEdit(*note);
    m_editor->setReadOnly(!editable);
    m_toolbar->setEnabled(editable);
    // Reloads (an autosave, a change made elsewhere) keep the body the last snapshot was taken of,
    // taken as the editor writes it.
    if (m_lastSnapshotBody.isEmpty())
        m_lastSnapshotBody = m_editor->bodyJson();
    showNoteDetails(*note);
}

void NoteWindow::showNoteDetails(const Note& note)
{
    const QString title = note.title();
    setWindowTitle(QStringLiteral("%1 — %2").arg(title.isEmpty() ? tr("Untitled") : title, kAppName));

    m_headerBar->setNote(note);
    QString notebookName;
    if (!note.notebookId.isEmpty()) {
        if (const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(note.notebookId))
            notebookName = notebook->name;
    }
    m_headerBar->setNotebookName(notebookName.isEmpty() ? tr("No notebook") : notebookName);
    m_headerBar->setUpdatedText(NoteActions::updatedText(note));
    m_headerBar->setShared(note.isShared);
    m_headerBar->setShareAvailable(m_state->canShare() && note.ownerId.isEmpty());
    m_headerBar->setIncludeInTodos(m_state->notes()->includeInTodos(note.id));
    // A note shared for viewing only stays in its notebook and out of the trash. Here the chip
    // moves the note, so it goes off with the menu entries.
    const bool editable = NoteActions::mayEdit(note);
    m_headerBar->setNoteEditable(editable);
    m_headerBar->setNotebookChipEnabled(editable);
    m_trashAction->setEnabled(editable);
}

void NoteWindow::clearContent()
{
    if (loaded())
        NoteActions::secureEditorNote(m_state, m_editor, this);
    if (m_findBar->isVisible())
        m_findBar->closeBar();
    m_editor->clear();
    m_toolbar->setEnabled(false);
    m_headerBar->clear();
    m_trashAction->setEnabled(false);
    m_lastSnapshotBody.clear();
    setWindowTitle(kAppName);
}

void NoteWindow::onNotesChanged()
{
    if (!loaded())
        return;
    const std::optional<Note> note = m_state->notes()->noteById(m_noteId);
    if (!note) {
        clearContent(); // purged elsewhere
        return;
    }
    if (m_editor->isSaved())
        openNote();
    else
        showNoteDetails(*note);
}

void NoteWindow::saveNote()
{
    NoteActions::saveEditorNote(m_state, m_editor, this);
}

void NoteWindow::saveSnapshotIfChanged()
{
    NoteActions::snapshotIfChanged(m_state, m_editor, m_lastSnapshotBody);
}

void NoteWindow::moveToTrash()
{
    const std::optional<Note> note = loaded() ? m_state->notes()->noteById(m_noteId) : std::nullopt;
    if (!note || !NoteActions::mayEdit(*note) || !NoteActions::confirmMoveToTrash(this, m_state, m_noteId))
        return;
    // Written back first, so a restore from the trash brings back what was typed last.
    saveNote();
    m_state->notes()->moveToTrash(m_noteId);
    close();
}

bool NoteWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The editor deletes the previous word on Ctrl+W; in a window of its own that key closes the
    // window. Nothing typed is lost: closing writes the note back first.
    if (watched == m_editor && event->type() == QEvent::ShortcutOverride &&
        matchesShortcut(static_cast<QKeyEvent*>(event), m_closeAction)) {
        event->ignore();
        return true; // not the editor's: the window and its shortcuts see it
    }
    return QMainWindow::eventFilter(watched, event);
}

void NoteWindow::keyPressEvent(QKeyEvent* event)
{
    // Only keys no widget took arrive here: Ctrl+Backspace in the editor deletes a word instead.
    if (event->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Backspace)) {
        m_trashAction->trigger();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void NoteWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (m_closed)
        return;
    // The window stays open while its text is neither stored nor kept in a recovery file.
    if (!NoteActions::secureEditorNote(m_state, m_editor, this)) {
        m_statusBar->showMessage(NoteActions::saveFailedMessage());
        event->ignore();
        return;
    }
    m_closed = true;
    saveSnapshotIfChanged();
    m_editor->releaseRemovedAttachments();

    // An empty note goes with its window. Only a note this window created and that never held
    // anything is removed outright; an existing note the user emptied goes to the trash, where it
    // can be restored with its history.
    if (loaded() && !m_editor->isReadOnly()) {
        const std::optional<Note> note = m_state->notes()->noteById(m_noteId);
        if (note && isBodyBlank(note->body)) {
            if (m_state->isNewNoteInWindow(m_noteId) && note->version <= 1)
                m_state->notes()->purge(m_noteId);
            else if (!note->isTrashed())
                m_state->notes()->moveToTrash(m_noteId);
            emit windowClosed(m_noteId);
            return;
        }
    }

    m_state->preferences()->setValue(PrefKey::noteWindowGeometry(m_noteId),
                                     QString::fromLatin1(saveGeometry().toBase64()));
    emit windowClosed(m_noteId);
}
