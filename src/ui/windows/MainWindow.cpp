#include "MainWindow.h"

#include "AccountScreen.h"
#include "AppState.h"
#include "AuthClient.h"
#include "BackupArchive.h"
#include "Clock.h"
#include "EditorToolbar.h"
#include "FindBar.h"
#include "ImportDialog.h"
#include "Interaction.h"
#include "NorvAccountClient.h"
#include "NoteActions.h"
#include "NoteEditor.h"
#include "NoteHeaderBar.h"
#include "NoteListModel.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NotebookDialog.h"
#include "NotebookListWidget.h"
#include "NotebookRepository.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "Records.h"
#include "SearchScreen.h"
#include "SettingsDialog.h"
#include "SharedScreen.h"
#include "SnapshotRepository.h"
#include "StatusBar.h"
#include "SyncCloudIcon.h"
#include "SyncEngine.h"
#include "TextFormats.h"
#include "ThemeManager.h"
#include "TodosScreen.h"
#include "TrashScreen.h"
#include "UiLog.h"
#include "UpdateFlows.h"
#include "WelcomeScreen.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDropEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QProgressDialog>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

namespace {

const QString kSettingsGroup = QStringLiteral("mainWindow");
const QString kEmptyBody = QStringLiteral(R"([{"insert":"\n"}])");
const QString kFeedbackUrl = QStringLiteral("https://norvane.app/feedback");
const QString kWebsiteUrl = QStringLiteral("https://norvane.app");
constexpr int kMessageMs = 3000;
// Counts and sync notices stay a little longer.
constexpr int kLongMessageMs = 4000;

const QString kDisplayName = QStringLiteral("Norvane Notes");

NorvUpdate::UpdateConfig updateConfig()
{
    return NorvUpdate::notesConfig(QCoreApplication::applicationVersion());
}

// Update commands report in the status bar for as long as the window lives.
NorvUpdate::StatusCallbacks updateStatus(StatusBar* bar)
{
    QPointer<StatusBar> guarded(bar);
    return {[guarded](const QString& text) {
                if (guarded)
                    guarded->showBusy(text);
            },
            [guarded] {
                if (guarded)
                    guarded->hideBusy();
            },
            [guarded](const QString& text, int ms) {
                if (guarded)
                    guarded->showMessage(text, ms);
            }};
}

} // namespace

MainWindow::MainWindow(AppState* state, QWidget* parent)
    : QMainWindow(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Norvane Notes"));

    m_searchTimer = new QTimer(this);
    m_searchTimer->setObjectName(QStringLiteral("searchTimer"));
    m_searchTimer->setSingleShot(true);
    m_searchTimer->setInterval(kSearchDelayMs);

    // The menus act on the editor, so the panes exist first.
    createUI();
    createMenuBar();
    m_toolbar->setShortcutCheck(
        [this](const QKeySequence& key) { return NoteActions::windowHasShortcut(this, m_editor, key); });
    connectSignals();
    restoreWindowState();

    refreshNoteList();
    refreshNotebookList();

    QSettings settings;
    settings.beginGroup(kSettingsGroup);
    m_sidebarVisible = settings.value(QStringLiteral("notebookSidebarVisible"), true).toBool();
    m_focusMode = settings.value(QStringLiteral("focusMode"), false).toBool();
    settings.endGroup();
    {
        const QSignalBlocker focusBlocker(m_focusModeAction);
        const QSignalBlocker sidebarBlocker(m_sidebarAction);
        m_focusModeAction->setChecked(m_focusMode);
        m_sidebarAction->setChecked(m_sidebarVisible);
    }
    applyLayoutMode();

    const QString current = m_state->currentNoteId();
    if (!current.isEmpty()) {
        m_noteList->selectNote(current);
        openNote(current);
    } else {
        openNote(QString());
    }

    connect(m_state->preferences(), &PreferencesRepository::changed, this, &MainWindow::onPreferenceChanged);
    connect(m_state->theme(), &ThemeManager::themeChanged, this, [this] {
        m_noteList->viewport()->update();
        m_notebookList->viewport()->update();
    });

    // The list above is already in steno order when it applies; only the search box moves.
    applyStenoMode(false);
    setupTrayIcon();
    connectAccount();
    updateAuthUI();
}

void MainWindow::createUI()
{
    m_sidebarPane = new QWidget(this);
    m_sidebarPane->setObjectName(QStringLiteral("sidebarPane"));
    auto* sidebarLayout = new QVBoxLayout(m_sidebarPane);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    m_notebookList = new NotebookListWidget(m_sidebarPane);
    m_notebookList->setObjectName(QStringLiteral("notebookList"));
    sidebarLayout->addWidget(m_notebookList);

    m_listPane = new QWidget(this);
    m_listPane->setObjectName(QStringLiteral("listPane"));
    m_listLayout = new QVBoxLayout(m_listPane);
    m_listLayout->setContentsMargins(0, 0, 0, 0);
    m_searchContainer = new QWidget(m_listPane);
    auto* searchLayout = new QVBoxLayout(m_searchContainer);
    searchLayout->setContentsMargins(8, 8, 8, 8);
    m_searchEdit = new QLineEdit(m_searchContainer);
    m_searchEdit->setObjectName(QStringLiteral("searchEdit"));
    m_searchEdit->setPlaceholderText(tr("Search..."));
    m_searchEdit->setClearButtonEnabled(true);
    searchLayout->addWidget(m_searchEdit);
    m_noteList = new NoteListWidget(m_listPane);
    m_noteList->setObjectName(QStringLiteral("noteList"));
    m_noteList->setRowLoader([this](const QStringList& ids, const QList<qint64>& rowids) {
        return m_state->notes()->listRows(ids, rowids);
    });
    m_noteList->setNotebookNameLookup([this](const QString& notebookId) {
        const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
        return notebook ? notebook->name : QString();
    });
    m_listLayout->addWidget(m_searchContainer);
    m_listLayout->addWidget(m_noteList);

    m_editorPane = new QWidget(this);
    m_editorPane->setObjectName(QStringLiteral("editorPane"));
    auto* editorPaneLayout = new QVBoxLayout(m_editorPane);
    editorPaneLayout->setContentsMargins(0, 0, 0, 0);
    m_centralStack = new QStackedWidget(m_editorPane);
    m_centralStack->setObjectName(QStringLiteral("centralStack"));
    editorPaneLayout->addWidget(m_centralStack);

    m_editorPage = new QWidget(m_centralStack);
    m_editorPage->setObjectName(QStringLiteral("editorPage"));
    auto* pageLayout = new QVBoxLayout(m_editorPage);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    m_headerBar = new NoteHeaderBar(m_editorPage);
    m_headerBar->setObjectName(QStringLiteral("headerBar"));
    m_editor = new NoteEditor(m_state->attachments(), m_editorPage);
    m_editor->setObjectName(QStringLiteral("noteEditor"));
    m_editor->setThemeManager(m_state->theme());
    m_toolbar = new EditorToolbar(m_editor, m_editorPage);
    m_toolbar->setObjectName(QStringLiteral("editorToolbar"));
    m_findBar = new FindBar(m_editor, m_editorPage);
    m_findBar->setObjectName(QStringLiteral("findBar"));
    pageLayout->addWidget(m_headerBar);
    pageLayout->addWidget(m_toolbar);
    pageLayout->addWidget(m_editor, 1);
    pageLayout->addWidget(m_findBar);
    m_centralStack->addWidget(m_editorPage);
    m_welcomePage = new WelcomeScreen(m_centralStack);
    m_welcomePage->setSignedIn(signedIn());
    m_centralStack->addWidget(m_welcomePage);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setHandleWidth(1);
    m_splitter->addWidget(m_sidebarPane);
    m_splitter->addWidget(m_listPane);
    m_splitter->addWidget(m_editorPane);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 0);
    m_splitter->setStretchFactor(2, 1);
    m_splitter->setSizes({200, 260, 800});
    setCentralWidget(m_splitter);

    m_statusBar = new StatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("statusBar"));
    setStatusBar(m_statusBar);
}

void MainWindow::createMenuBar()
{
    QMenuBar* bar = menuBar();
    // Application-wide shortcuts also work while a note window has the focus.
    auto add = [this](QMenu* menu, const QString& text, const QKeySequence& shortcut, auto slot,
                      bool applicationWide = false) {
        QAction* action = menu->addAction(text);
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
        if (applicationWide)
            action->setShortcutContext(Qt::ApplicationShortcut);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };

    QMenu* file = bar->addMenu(tr("&File"));
    add(
        file, tr("New Note"), QKeySequence(QStringLiteral("Ctrl+N")), [this] { createNote(); }, true);
    add(
        file, tr("New Note in Window"), QKeySequence(QStringLiteral("Ctrl+Shift+N")),
        [this] {
            saveCurrentNote();
            m_state->createNoteInWindow();
        },
        true);
    add(file, tr("Save Snapshot"), QKeySequence(QKeySequence::Save), [this] {
        if (NoteActions::takeSnapshot(m_state, m_editor, this, m_lastSnapshotBody))
            m_statusBar->showMessage(tr("Snapshot saved"), kMessageMs);
    });
    file->addSeparator();
    // Ctrl+I is Italic.
    add(file, tr("Import..."), QKeySequence(QStringLiteral("Ctrl+Shift+I")), [this] { openImportWizard(); });
    add(file, tr("Export..."), QKeySequence(QStringLiteral("Ctrl+E")), [this] { exportCurrentNote(); });
    file->addSeparator();
    add(file, tr("Print..."), QKeySequence(QKeySequence::Print), [this] { printCurrentNote(); });
    add(file, tr("Print Preview..."), QKeySequence(QStringLiteral("Ctrl+Shift+P")),
        [this] { printPreviewCurrentNote(); });
    file->addSeparator();
    add(file, tr("Backup Database..."), QKeySequence(), [this] { backupDatabase(); });
    add(file, tr("Restore Database..."), QKeySequence(), [this] { restoreDatabase(); });
    file->addSeparator();
    m_signInAction =
        add(file, tr("Sign In…"), QKeySequence(), [this] { m_centralStack->setCurrentWidget(m_welcomePage); });
    m_manageAccountAction = add(file, tr("&Manage Account…"), QKeySequence(), [this] { openAccountScreen(); });
    m_signOutAction = add(file, tr("Sign &Out"), QKeySequence(), [this] { signOut(); });
    m_manageAccountAction->setVisible(signedIn());
    m_signOutAction->setVisible(signedIn());
    m_signInAction->setVisible(!signedIn());
    file->addSeparator();
    add(
        file, tr("Preferences…"), QKeySequence(QStringLiteral("Ctrl+,")), [this] { openSettings(); }, true);
    file->addSeparator();
    QAction* quit = add(file, tr("Quit"), QKeySequence(QKeySequence::Quit), [this] { quitApplication(); });
    quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = bar->addMenu(tr("&Edit"));
    add(edit, tr("Undo"), QKeySequence(QKeySequence::Undo), [this] { m_editor->undo(); });
    add(edit, tr("Redo"), QKeySequence(QKeySequence::Redo), [this] { m_editor->redo(); });
    edit->addSeparator();
    add(edit, tr("Find in Note..."), QKeySequence(QKeySequence::Find), [this] {
        if (editorPageCurrent())
            m_findBar->showBar();
    });
    add(edit, tr("Find Next"), QKeySequence(QKeySequence::FindNext), [this] {
        if (editorPageCurrent())
            m_findBar->findNext(true);
    });
    add(edit, tr("Find Previous"), QKeySequence(QKeySequence::FindPrevious), [this] {
        if (editorPageCurrent())
            m_findBar->findNext(false);
    });
    edit->addSeparator();
    add(edit, tr("Preferences…"), QKeySequence(), [this] { openSettings(); })->setMenuRole(QAction::PreferencesRole);

    NoteActions::addFormatMenu(bar, m_editor, NoteActions::FormatMenu::Full);

    QMenu* note = bar->addMenu(tr("&Note"));
    m_moveToNotebookAction = add(note, tr("Move to Notebook..."), QKeySequence(QStringLiteral("Ctrl+M")),
                                 [this] { moveCurrentNoteToNotebook(); });
    add(note, tr("Version History..."), QKeySequence(QStringLiteral("Ctrl+H")), [this] { openVersionHistory(); });
    add(note, tr("Open in New Window"), QKeySequence(QStringLiteral("Ctrl+Shift+O")), [this] {
        if (!m_editor->noteId().isEmpty())
            m_state->openNoteWindow(m_editor->noteId());
    });
    note->addSeparator();
    // Window-wide only: in a note window the same key acts on that window's note. Ctrl+Backspace,
    // the quick trash, is no shortcut at all (see keyPressEvent).
    m_moveToTrashAction = add(note, tr("Move to Trash…"), QKeySequence(QStringLiteral("Ctrl+D")),
                              [this] { moveCurrentNoteToTrash(true); });
    m_moveToNotebookAction->setEnabled(false);
    m_moveToTrashAction->setEnabled(false);

    QMenu* view = bar->addMenu(tr("&View"));
    add(view, tr("To-Dos"), QKeySequence(QStringLiteral("Ctrl+Alt+T")), [this] { showTodosScreen(); });
    // F3 is Find Next and Ctrl+F finds in the note.
    add(view, tr("Find"), QKeySequence(QStringLiteral("Ctrl+Alt+F")), [this] {
        m_searchEdit->setFocus(Qt::ShortcutFocusReason);
        m_searchEdit->selectAll();
    });
    add(view, tr("Search All Notes..."), QKeySequence(QStringLiteral("Ctrl+Shift+F")), [this] { showSearchScreen(); });
    add(view, tr("Trash"), QKeySequence(QStringLiteral("Ctrl+Alt+D")), [this] { showTrashScreen(); });
    m_sharedWithMeAction = add(view, tr("Shared with Me"), QKeySequence(QStringLiteral("Ctrl+Alt+S")),
                               [this] { showSharedScreen(false); });
    m_sharedByMeAction = add(view, tr("Shared by Me"), QKeySequence(QStringLiteral("Ctrl+Alt+Shift+S")),
                             [this] { showSharedScreen(true); });
    m_sharedWithMeAction->setVisible(m_state->canShare());
    m_sharedByMeAction->setVisible(m_state->canShare());
    view->addSeparator();
    m_focusModeAction = view->addAction(tr("Focus Mode"));
    m_focusModeAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+\\")));
    m_focusModeAction->setCheckable(true);
    m_focusModeAction->setToolTip(tr("Hide the notebook and note lists to write without distractions"));
    connect(m_focusModeAction, &QAction::toggled, this, &MainWindow::setFocusMode);
    m_sidebarAction = view->addAction(tr("Show Notebook Sidebar"));
    m_sidebarAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+B")));
    m_sidebarAction->setCheckable(true);
    m_sidebarAction->setChecked(true);
    connect(m_sidebarAction, &QAction::toggled, this, &MainWindow::setSidebarVisible);
    view->addSeparator();
    add(view, tr("Sync Now"), QKeySequence(QStringLiteral("Ctrl+Alt+R")), [this] { syncNow(); });
    add(view, tr("Force Full Resync…"), QKeySequence(), [this] { forceFullResync(); });

    QMenu* help = bar->addMenu(tr("&Help"));
    add(help, tr("About Norvane Notes"), QKeySequence(), [this] { showAbout(); })->setMenuRole(QAction::AboutRole);
    add(help, tr("What's &New..."), QKeySequence(), [this] {
        NorvUpdate::showWhatsNewInteractively(updateConfig(), kDisplayName, this, updateStatus(m_statusBar));
    });
    add(help, tr("Check for &Updates..."), QKeySequence(),
        [this] { NorvUpdate::checkInteractively(updateConfig(), kDisplayName, this, updateStatus(m_statusBar)); });
    add(help, tr("Send &Feedback..."), QKeySequence(),
        [] { NorvUpdate::openFeedbackPage(QUrl(kFeedbackUrl), updateConfig().product); });
    if (qEnvironmentVariable("NOTES_DEV") == QLatin1String("1")) {
        help->addSeparator();
        add(help, tr("Load &Sample Notes"), QKeySequence(), [this] { loadSampleNotes(); });
    }
    help->addSeparator();
    add(help, tr("About Qt"), QKeySequence(), [this] { QMessageBox::aboutQt(this); });
}

void MainWindow::connectSignals()
{
    connect(m_searchEdit, &QLineEdit::textChanged, m_searchTimer, qOverload<>(&QTimer::start));
    connect(m_searchTimer, &QTimer::timeout, this, &MainWindow::refreshNoteList);

    connect(m_noteList, &NoteListWidget::noteSelected, this, &MainWindow::onNoteSelected);
    connect(m_noteList, &NoteListWidget::noteDeleteRequested, this, &MainWindow::onNoteDeleteRequested);
    connect(m_noteList, &NoteListWidget::noteDoubleClicked, this,
            [this](const QString& noteId) { m_state->openNoteWindow(noteId); });
    connect(m_noteList, &NoteListWidget::noteActivated, this, [this](const QString& noteId) {
        onNoteSelected(noteId);
        m_editor->setFocus(Qt::OtherFocusReason);
    });

    connect(m_notebookList, &NotebookListWidget::allNotesSelected, this, [this] {
        m_state->setCurrentNotebook(QString());
        refreshNoteList();
    });
    connect(m_notebookList, &NotebookListWidget::notebookSelected, this, [this](const QString& notebookId) {
        m_state->setCurrentNotebook(notebookId);
        refreshNoteList();
    });
    connect(m_notebookList, &NotebookListWidget::newNotebookRequested, this, [this] {
        createNotebook();
        showNotebookCounts(); // the highlight goes back to the notebook that is listed
    });
    connect(m_notebookList, &NotebookListWidget::trashSelected, this, [this] {
        showNotebookCounts();
        showTrashScreen();
    });
    connect(m_notebookList, &NotebookListWidget::notebookContextMenuRequested, this,
            &MainWindow::onNotebookContextMenu);
    connect(m_notebookList, &NotebookListWidget::noteDroppedOnNotebook, this,
            [this](const QString& noteId, const QString& notebookId) {
                if (mayChangeNote(noteId))
                    m_state->notes()->moveToNotebook(noteId, notebookId);
            });
    m_notebookList->viewport()->installEventFilter(this);

    connect(m_editor, &NoteEditor::noteModified, this, &MainWindow::saveCurrentNote);
    connect(m_editor, &NoteEditor::noteLinkActivated, this, &MainWindow::showNote);
    connect(m_editor, &NoteEditor::savedStateChanged, m_statusBar, &StatusBar::onSavedStateChanged);
    connect(m_editor, &NoteEditor::wordCountChanged, m_statusBar, &StatusBar::setWordCount);
    connect(m_editor, &NoteEditor::saveFailed, m_statusBar,
            [this] { m_statusBar->showMessage(NoteActions::saveFailedMessage()); });
    connect(m_editor, &NoteEditor::savedStateChanged, m_statusBar, [this](bool saved) {
        if (saved && m_statusBar->currentMessage() == NoteActions::saveFailedMessage())
            m_statusBar->clearMessage();
    });
    connect(m_headerBar, &NoteHeaderBar::focusToggleClicked, this, [this] { setFocusMode(!m_focusMode); });
    // The header bar's trash button is a deliberate click on the note in view; the trash keeps it.
    connect(m_headerBar, &NoteHeaderBar::deleteRequested, this, [this] { moveCurrentNoteToTrash(false); });
    connect(m_headerBar, &NoteHeaderBar::notebookChipClicked, this, &MainWindow::onNotebookChipClicked);
    connect(m_headerBar, &NoteHeaderBar::copyAsPlainTextRequested, this,
            [this] { NoteActions::copyAsPlainText(m_editor); });
    connect(m_headerBar, &NoteHeaderBar::copyAsMarkdownRequested, this, [this] {
        saveCurrentNote();
        NoteActions::copyAsMarkdown(m_editor);
    });
    connect(m_headerBar, &NoteHeaderBar::copyAsHtmlRequested, this, [this] {
        saveCurrentNote();
        NoteActions::copyAsHtml(m_editor);
    });
    connect(m_headerBar, &NoteHeaderBar::historyRequested, this, &MainWindow::openVersionHistory);
    connect(m_headerBar, &NoteHeaderBar::shareRequested, this,
            [this] { NoteActions::openShareDialog(this, m_state, m_editor->noteId()); });
    connect(m_headerBar, &NoteHeaderBar::includeInTodosToggled, this, [this](bool include) {
        if (!m_editor->noteId().isEmpty())
            m_state->notes()->setIncludeInTodos(m_editor->noteId(), include);
    });
    connect(m_headerBar, &NoteHeaderBar::moveToNotebookRequested, this, &MainWindow::moveCurrentNoteToNotebook);
    connect(m_headerBar, &NoteHeaderBar::exportRequested, this, &MainWindow::exportCurrentNote);
    connect(m_headerBar, &NoteHeaderBar::printRequested, this, &MainWindow::printCurrentNote);
    connect(m_noteList, &NoteListWidget::noteContextMenuRequested, this, &MainWindow::onNoteContextMenu);
    connect(m_welcomePage, &WelcomeScreen::dismissRequested, this,
            [this] { m_centralStack->setCurrentWidget(m_editorPage); });
    connect(m_welcomePage, &WelcomeScreen::signInRequested, this, &MainWindow::startSignIn);
    connect(m_welcomePage, &WelcomeScreen::signOutRequested, this, &MainWindow::signOut);
    connect(m_state, &AppState::canShareChanged, this, [this](bool canShare) {
        m_sharedWithMeAction->setVisible(canShare);
        m_sharedByMeAction->setVisible(canShare);
        updateShareButton();
    });

    connect(m_state->notes(), &NoteRepository::noteWritten, this,
            [this](const QString& noteId) { m_updatedNoteId = noteId; });
    connect(m_state, &AppState::notesChanged, this, &MainWindow::onNotesChanged);
    // What others shared arrives with a sync; an open shared screen follows.
    connect(m_state, &AppState::notesChanged, this, [this] {
        for (SharedScreen* screen : {m_sharedByMeScreen, m_sharedWithMeScreen}) {
            if (screen && screen->isVisible())
                screen->refresh();
        }
    });
    connect(m_state, &AppState::notebooksChanged, this, &MainWindow::refreshNotebookList);
    connect(m_state, &AppState::noteUpdatedExternally, this, [this](const QString& noteId, QObject* source) {
        if (source == this || noteId != m_editor->noteId())
            return;
        // Another device's body wins over typing not yet written back, but the typing is kept in the
        // note's history first. Another window's change waits until the typing here is saved.
        if (source == m_state->sync() && NoteActions::keepUnsavedTyping(m_state, m_editor, noteId))
            openNote(noteId, true);
        else if (m_editor->isSaved())
            openNote(noteId);
    });
    connect(m_state, &AppState::otherAccountLibrary, this, &MainWindow::askAboutOtherAccount);
    connect(m_state, &AppState::statusMessage, this,
            [this](const QString& text) { m_statusBar->showMessage(text, kLongMessageMs); });
    if (SyncEngine* sync = m_state->sync()) {
        connect(sync, &SyncEngine::stateChanged, this, &MainWindow::updateSyncIndicator);
        connect(sync, &SyncEngine::leftBehindChanged, this, &MainWindow::updateSyncIndicator);
        connect(sync, &SyncEngine::syncFailed, this, &MainWindow::updateSyncIndicator);
        connect(sync, &SyncEngine::syncProgress, this, [this](const QString& label, int current, int total) {
            if (m_state->sync()->state() != SyncEngine::Syncing)
                return;
            m_statusBar->showBusy(total > 0 ? label + QStringLiteral(" %1/%2").arg(current).arg(total) : label);
        });
        connect(sync, &SyncEngine::attachmentsChanged, this, [this] {
            if (!m_editor->noteId().isEmpty() && m_editor->isSaved())
                openNote(m_editor->noteId(), true);
        });
    }
    connect(m_state, &AppState::noteDeletedExternally, this, [this](const QString& noteId) {
        if (noteId == m_editor->noteId()) {
            clearOpenNote();
            updateCentralPage();
        }
    });
}

void MainWindow::refreshNoteList()
{
    const QString query = m_searchEdit->text().trimmed();
    const QString notebookId = m_state->currentNotebookId();
    // Only the row ids are read here; each row reads its id and texts when it is first shown.
    const bool searching = !query.isEmpty();
    using Scope = NoteRepository::ListScope;
    QList<qint64> rowids =
        searching ? m_state->notes()->searchRowids(query)
                  : m_state->notes()->listRowids(notebookId.isEmpty() ? Scope::AllNotes : Scope::Notebook, notebookId);

    // Steno mode writes downwards like a pad, but a search keeps its best match first.
    if (query.isEmpty() && m_state->preferences()->boolValue(PrefKey::StenoMode, PrefKey::StenoModeDefault))
        std::reverse(rowids.begin(), rowids.end());

    // Without an account nothing waits to be synchronised, whatever the notes' marks say.
    m_noteList->setSyncMarksShown(signedIn());
    m_noteList->setRowids(rowids, query);
    m_noteList->setEmptyText(searching ? tr("No notes match") : QString());

    updateListTitle();
}

void MainWindow::updateListTitle()
{
    const QString notebookId = m_state->currentNotebookId();
    QString title = tr("All Notes");
    if (!notebookId.isEmpty()) {
        if (const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId))
            title = notebook->name;
    }
    m_statusBar->setListTitle(title, m_noteList->count());
}

void MainWindow::refreshNotebookList()
{
    m_noteCounts = m_state->notes()->noteCountsByNotebook();
    showNotebookCounts();
}

void MainWindow::showNotebookCounts()
{
    m_notebookList->setNotebooks(m_state->notebooks()->allNotebooks(), m_noteCounts, m_state->currentNotebookId(),
                                 m_state->notes()->trashedCount());
}

void MainWindow::onNotesChanged()
{
    const QString updated = std::exchange(m_updatedNoteId, QString());
    if (updated.isEmpty() || !refreshOneNote(updated)) {
        refreshNoteList();
        refreshNotebookList();
    }
    // Typing that is not yet written back must never be replaced by the stored body.
    const QString open = m_editor->noteId();
    if (!open.isEmpty() && m_editor->isSaved() && m_state->notes()->noteById(open))
        openNote(open);
}

// Writing one note (a new note, an autosave, a note window, a to-do tick) puts that note at the
// head of the list and changes nothing else in it, so its row alone is built: a full refresh reads
// every note and grows with the library. Anything less plain takes the full refresh.
bool MainWindow::refreshOneNote(const QString& noteId)
{
    if (!m_searchEdit->text().trimmed().isEmpty())
        return false; // search ranks by content, so an edit can move the note anywhere
    const std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (!note || note->isTrashed())
        return false;
    const bool steno = m_state->preferences()->boolValue(PrefKey::StenoMode, PrefKey::StenoModeDefault);
    const NoteListModel* model = m_noteList->noteModel();
    const int row = model->rowOfNote(noteId);
    const int rows = model->rowCount() - (row >= 0 ? 1 : 0);
    const int head = steno ? rows : 0;
    const int headRow = rows == 0 ? -1 : (steno ? model->rowCount() - 1 : 0);
    if (headRow >= 0 && headRow != row && model->updatedAt(headRow) > note->updatedAt)
        return false; // not the newest: its place is somewhere in the middle

    if (row >= 0) {
        if (model->index(row).data(NoteListRole::NotebookId).toString() != note->notebookId)
            return false; // notebook counts and the current notebook's list change too
        return m_noteList->replaceNote(*note, head);
    }
    // A new note: listed when the view shows its notebook; the counts change by one.
    const QString notebookId = m_state->currentNotebookId();
    if (!notebookId.isEmpty() && notebookId != note->notebookId)
        return false;
    m_noteList->insertNote(*note, head);
    updateListTitle();
    // Counting every notebook's notes again grows with the library; one more note is one more.
    m_noteCounts[note->notebookId] += 1;
    if (!note->notebookId.isEmpty())
        m_noteCounts[QString()] += 1;
    showNotebookCounts();
    return true;
}

void MainWindow::createNote()
{
    saveCurrentNote();
    Note note;
    note.id = newId();
    note.notebookId = m_state->currentNotebookId();
    note.body = kEmptyBody;
    note.createdAt = Clock::nowUtc();
    note.updatedAt = note.createdAt;
    note.modifiedAt = note.createdAt;
    if (!m_state->notes()->insert(note))
        return;
    m_noteList->selectNote(note.id);
    m_state->setCurrentNote(note.id);
    openNote(note.id);
    m_editor->setFocus(Qt::OtherFocusReason);
}

void MainWindow::openNote(const QString& noteId, bool force)
{
    const QString previous = m_editor->noteId();
    if (!previous.isEmpty() && noteId != previous) {
        // The note on screen is left only once its text is stored somewhere.
        if (!NoteActions::secureEditorNote(m_state, m_editor, this)) {
            m_statusBar->showMessage(NoteActions::saveFailedMessage());
            m_noteList->selectNote(previous);
            m_state->setCurrentNote(previous);
            return;
        }
        // Leaving a note that changed since its last snapshot adds one, whether or not the
        // autosave already wrote the change.
        saveSnapshotIfChanged();
    }
    if (m_findBar->isVisible() && noteId != previous)
        m_findBar->closeBar();

    const std::optional<Note> note = noteId.isEmpty() ? std::nullopt : m_state->notes()->noteById(noteId);
    if (!note) {
        clearOpenNote();
        updateCentralPage();
        return;
    }
    m_editor->loadNote(note->id, note->body, force);
    const bool editable = NoteActions::mayEdit(*note);
    m_editor->setReadOnly(!editable);
    m_toolbar->setEnabled(editable);
    m_moveToNotebookAction->setEnabled(editable);
    m_moveToTrashAction->setEnabled(editable);

    m_headerBar->setNote(*note);
    m_headerBar->setNoteEditable(editable);
    QString notebookName;
    if (!note->notebookId.isEmpty()) {
        if (const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(note->notebookId))
            notebookName = notebook->name;
    }
    m_headerBar->setNotebookName(notebookName);
    m_headerBar->setUpdatedText(NoteActions::updatedText(*note));
    m_headerBar->setShared(note->isShared);
    m_headerBar->setShareAvailable(m_state->canShare() && note->ownerId.isEmpty());
    m_headerBar->setIncludeInTodos(m_state->notes()->includeInTodos(note->id));
    // A reload of the same note (after an autosave, or a change made in another window) keeps the
    // body the last snapshot was compared with. It is taken as the editor writes it, which may
    // spell the same content differently from the stored text.
    if (note->id != previous || m_lastSnapshotBody.isEmpty())
        m_lastSnapshotBody = m_editor->bodyJson();
    m_statusBar->setNoteOpen(true);
    updateCentralPage();
}

void MainWindow::clearOpenNote()
{
    if (!m_editor->noteId().isEmpty()) {
        NoteActions::secureEditorNote(m_state, m_editor, this);
        saveSnapshotIfChanged();
    }
    m_editor->clear();
    m_toolbar->setEnabled(false);
    m_moveToNotebookAction->setEnabled(false);
    m_moveToTrashAction->setEnabled(false);
    m_headerBar->clear();
    m_lastSnapshotBody.clear();
    m_statusBar->setNoteOpen(false);
}

bool MainWindow::mayChangeNote(const QString& noteId) const
{
    const std::optional<Note> note = noteId.isEmpty() ? std::nullopt : m_state->notes()->noteById(noteId);
    return note && NoteActions::mayEdit(*note);
}

void MainWindow::saveCurrentNote()
{
    NoteActions::saveEditorNote(m_state, m_editor, this);
}

void MainWindow::saveSnapshotIfChanged()
{
    NoteActions::snapshotIfChanged(m_state, m_editor, m_lastSnapshotBody);
}

void MainWindow::onNoteSelected(const QString& noteId)
{
    if (noteId == m_editor->noteId())
        return;
    if (!m_editor->isSaved()) {
        saveCurrentNote();
        saveSnapshotIfChanged();
    }
    m_state->setCurrentNote(noteId);
    openNote(noteId);
}

void MainWindow::moveCurrentNoteToTrash(bool confirm)
{
    // The note on screen, which the list's selection need not be (a new note during a search, a
    // note left open after switching notebooks).
    const QString noteId = m_editor->noteId();
    if (!mayChangeNote(noteId))
        return;
    // The last second of typing goes with the note, so a restore brings it back.
    saveCurrentNote();
    if (confirm && !NoteActions::confirmMoveToTrash(this, m_state, noteId))
        return;
    const int row = m_noteList->rowOfNote(noteId);
    clearOpenNote();
    m_state->notes()->moveToTrash(noteId);

    const int count = m_noteList->count();
    if (count == 0) {
        m_state->setCurrentNote(QString());
        updateCentralPage();
        return;
    }
    // The note that took the trashed one's row, or the new last one; a note that was not listed
    // leaves the list's selection where it is.
    if (row >= 0)
        m_noteList->setCurrentRow(std::min(row, count - 1));
    openSelectedAsCurrent();
}

void MainWindow::showNote(const QString& noteId)
{
    const std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (!note || note->isTrashed())
        return;
    if (noteId != m_editor->noteId()) {
        if (!m_editor->isSaved()) {
            saveCurrentNote();
            saveSnapshotIfChanged();
        }
        // The list may be filtered to a notebook or a search that leaves this note out; then no
        // row stays selected, rather than one that is not the note on screen.
        m_noteList->selectNote(noteId);
        if (m_noteList->selectedNoteId() != noteId) {
            const QSignalBlocker blocker(m_noteList);
            m_noteList->clearCurrent();
        }
        m_state->setCurrentNote(noteId);
        openNote(noteId);
    }
    if (!isVisible() || isMinimized())
        showNormal();
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // Ctrl+Backspace trashes the selected note without asking. It is no shortcut, which would win
    // over every text input; it reaches here only when the focus widget did not take it: the note
    // list or the window itself, never an editor or a search box, where it deletes a word.
    if (event->key() == Qt::Key_Backspace && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
        moveCurrentNoteToTrash(false);
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The sidebar refuses a note the user may not change as soon as it is dragged in, so no
    // notebook lights up under it and the pointer shows that it cannot be dropped.
    const QEvent::Type type = event->type();
    if ((type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) &&
        watched == m_notebookList->viewport()) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QByteArray noteId = drop->mimeData()->data(QString::fromLatin1(kNoteIdMimeType));
        if (!noteId.isEmpty() && !mayChangeNote(QString::fromUtf8(noteId))) {
            drop->ignore();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::openSelectedAsCurrent()
{
    const QString noteId = m_noteList->selectedNoteId();
    m_state->setCurrentNote(noteId);
    openNote(noteId);
}

void MainWindow::onNoteDeleteRequested(const QString& noteId)
{
    if (!mayChangeNote(noteId))
        return;
    if (noteId == m_editor->noteId()) {
        clearOpenNote();
        updateCentralPage();
    }
    m_state->notes()->moveToTrash(noteId);
}

void MainWindow::createNotebook()
{
    NotebookDialog dialog(tr("New Notebook"), QString(), this);
    if (dialog.exec() != QDialog::Accepted || dialog.name().isEmpty())
        return;
    const QString name = dialog.name();
    Notebook notebook;
    notebook.id = newId();
    notebook.name = name;
    notebook.createdAt = Clock::nowUtc();
    notebook.updatedAt = notebook.createdAt;
    m_state->notebooks()->insert(notebook);
}

void MainWindow::renameNotebook(const QString& notebookId)
{
    std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
    if (!notebook)
        return;
    NotebookDialog dialog(tr("Rename Notebook"), notebook->name, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString name = dialog.name();
    if (name.isEmpty() || name == notebook->name)
        return;
    notebook->name = name;
    notebook->updatedAt = Clock::nowUtc();
    notebook->version += 1;
    notebook->syncStatus = SyncStatus::Pending;
    m_state->notebooks()->update(*notebook);
}

void MainWindow::deleteNotebook(const QString& notebookId)
{
    const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
    if (!notebook)
        return;
    const auto answer = Interaction::question(
        this, tr("Delete Notebook"), tr("Delete \"%1\"? Its notes will move to All Notes.").arg(notebook->name),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    for (const Note& note : m_state->notes()->notesInNotebook(notebookId))
        m_state->notes()->moveToNotebook(note.id, QString());
    m_state->notebooks()->markDeleted(notebookId);
    m_state->setCurrentNotebook(QString());
    refreshNoteList();
    refreshNotebookList();
}

void MainWindow::onNotebookContextMenu(const QString& notebookId, const QPoint& globalPos)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("notebookContextMenu"));
    QAction* rename = menu.addAction(tr("Rename Notebook…"));
    QAction* share = menu.addAction(tr("Share Notebook…"));
    const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
    // Only the owner shares a notebook, and only with a group to share with.
    share->setEnabled(m_state->canShare() && notebook && notebook->ownerId.isEmpty());
    QAction* remove = menu.addAction(tr("Delete Notebook"));
    QAction* chosen = menu.exec(globalPos);
    if (chosen == rename)
        renameNotebook(notebookId);
    else if (chosen == share)
        NoteActions::openNotebookShareDialog(this, m_state, notebookId);
    else if (chosen == remove)
        deleteNotebook(notebookId);
}

void MainWindow::onPreferenceChanged(const QString& key)
{
    if (key == QLatin1String(PrefKey::StenoMode)) {
        applyStenoMode(true);
    } else if (key == QLatin1String(PrefKey::CloseToTray) || key == QLatin1String(PrefKey::StartMinimized)) {
        setupTrayIcon();
    }
}

void MainWindow::applyStenoMode(bool refresh)
{
    const bool steno = m_state->preferences()->boolValue(PrefKey::StenoMode, PrefKey::StenoModeDefault);
    m_listLayout->removeWidget(m_searchContainer);
    m_listLayout->removeWidget(m_noteList);
    // In steno mode the newest line is at the bottom, so the search box sits under the list.
    if (steno) {
        m_listLayout->addWidget(m_noteList);
        m_listLayout->addWidget(m_searchContainer);
    } else {
        m_listLayout->addWidget(m_searchContainer);
        m_listLayout->addWidget(m_noteList);
    }
    if (refresh)
        refreshNoteList();
}

void MainWindow::setFocusMode(bool on)
{
    m_focusMode = on;
    {
        const QSignalBlocker blocker(m_focusModeAction);
        m_focusModeAction->setChecked(on);
    }
    applyLayoutMode();
    QSettings settings;
    settings.setValue(kSettingsGroup + QStringLiteral("/focusMode"), on);
}

void MainWindow::setSidebarVisible(bool visible)
{
    m_sidebarVisible = visible;
    {
        const QSignalBlocker blocker(m_sidebarAction);
        m_sidebarAction->setChecked(visible);
    }
    applyLayoutMode();
    QSettings settings;
    settings.setValue(kSettingsGroup + QStringLiteral("/notebookSidebarVisible"), visible);
}

void MainWindow::applyLayoutMode()
{
    const bool showSidebar = !m_focusMode && m_sidebarVisible;
    const bool showList = !m_focusMode;
    m_sidebarPane->setVisible(showSidebar);
    m_listPane->setVisible(showList);
    m_headerBar->setFocusMode(m_focusMode);
    if (m_splitter->count() != 3)
        return;
    const QList<int> base =
        m_normalSplitterSizes.size() == 3 ? m_normalSplitterSizes : QList<int>{200, 260, std::max(width() - 460, 400)};
    const int sidebar = showSidebar ? base[0] : 0;
    const int list = showList ? base[1] : 0;
    m_splitter->setSizes({sidebar, list, std::max(width() - sidebar - list, 100)});
}

void MainWindow::restoreWindowState()
{
    QSettings settings;
    settings.beginGroup(kSettingsGroup);
    const QByteArray geometry = settings.value(QStringLiteral("geometry")).toByteArray();
    const QByteArray state = settings.value(QStringLiteral("windowState")).toByteArray();
    const QString sizes = settings.value(QStringLiteral("normalSplitterSizes")).toString();
    settings.endGroup();

    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        // The first start fits a smaller screen instead of reaching past its edges.
        QSize size(1280, 1024);
        if (const QScreen* display = screen()) {
            const QRect available = display->availableGeometry();
            size = size.boundedTo(available.size());
            move(available.topLeft() +
                 QPoint((available.width() - size.width()) / 2, (available.height() - size.height()) / 2));
        }
        resize(size);
    }
    if (!state.isEmpty())
        restoreState(state);

    const QStringList parts = sizes.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.size() != 3)
        return;
    QList<int> parsed;
    for (const QString& part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok, 10);
        if (!ok || value < 0)
            return;
        parsed << value;
    }
    m_normalSplitterSizes = parsed;
}

void MainWindow::saveWindowState()
{
    QSettings settings;
    settings.beginGroup(kSettingsGroup);
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("windowState"), saveState());
    if (!m_focusMode && m_sidebarVisible && m_sidebarPane->isVisible() && m_listPane->isVisible())
        m_normalSplitterSizes = m_splitter->sizes();
    if (m_normalSplitterSizes.size() == 3) {
        QStringList parts;
        for (int size : m_normalSplitterSizes)
            parts << QString::number(size);
        settings.setValue(QStringLiteral("normalSplitterSizes"), parts.join(QLatin1Char(',')));
    }
    settings.endGroup();
}

bool MainWindow::editorPageCurrent() const
{
    return m_centralStack->currentWidget() == m_editorPage;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    saveWindowState();
    saveCurrentNote();
    saveSnapshotIfChanged();
    if (m_closeToTray && m_trayIcon && m_trayIcon->isVisible()) {
        event->ignore();
        hide();
        return;
    }
    // Text that is neither stored nor kept in a recovery file keeps the window open.
    if (!NoteActions::secureEditorNote(m_state, m_editor, this)) {
        m_statusBar->showMessage(NoteActions::saveFailedMessage());
        event->ignore();
        return;
    }
    m_editor->releaseRemovedAttachments();
    event->accept();
}

void MainWindow::backupDatabase()
{
    saveCurrentNote();
    const QString path = Interaction::getSaveFileName(
        this, tr("Save Backup"), QStringLiteral("norvane-notes-backup.zip"), tr("ZIP Archive (*.zip)"));
    if (path.isEmpty())
        return;
    const BackupResult result =
        createBackup(path, LibraryRepositories{m_state->notes(), m_state->notebooks(), m_state->attachments()});
    if (result.failed) {
        Interaction::warning(this, tr("Backup Failed"), result.error);
        return;
    }
    m_statusBar->showMessage(tr("Backup saved: %n note(s)", nullptr, result.noteCount), 3000);
}

// The local import: never overwrites a note or notebook that exists here. Restoring to an account
// (overwrite and re-upload) joins this flow once sync is part of the application.
void MainWindow::restoreDatabase()
{
    const QString path = Interaction::getOpenFileName(this, tr("Select Backup"), QString(), tr("ZIP Archive (*.zip)"));
    if (path.isEmpty())
        return;
    if (signedIn() && m_state->sync()) {
        restoreToAccount(path);
        return;
    }
    if (Interaction::question(this, tr("Restore Backup"),
                              tr("Import notes from backup? Existing notes with the same ID will be "
                                 "skipped.")) != QMessageBox::Yes)
        return;
    saveCurrentNote();
    const RestoreResult result =
        restoreBackup(path, LibraryRepositories{m_state->notes(), m_state->notebooks(), m_state->attachments()},
                      RestoreMode::SkipExisting, false);
    // A failed restore changed nothing; say why rather than show a count of nothing.
    if (!result.error.isEmpty()) {
        Interaction::warning(this, tr("Restore Failed"), result.error);
        return;
    }
    Interaction::information(
        this, tr("Restore Complete"),
        tr("Imported: %1\nSkipped: %2\nErrors: %3").arg(result.imported).arg(result.skipped).arg(result.errors));
}

// Signed in, a restore brings the backup back everywhere: sync first (so nothing newer on the
// server is missed), overwrite from the archive as pending, then sync again to upload it.
void MainWindow::restoreToAccount(const QString& path)
{
    if (Interaction::question(this, tr("Restore Backup"),
                              tr("Restore this backup to your account? Everything in the backup is "
                                 "brought back and synced to all your devices — including notes you "
                                 "deleted or changed after the backup was made.")) != QMessageBox::Yes)
        return;
    saveCurrentNote();
    SyncEngine* sync = m_state->sync();
    auto* progress = new QProgressDialog(tr("Syncing before restore…"), QString(), 0, 0, this);
    progress->setObjectName(QStringLiteral("restoreProgress"));
    progress->setWindowTitle(tr("Restoring Backup"));
    progress->setCancelButton(nullptr);
    progress->setMinimumDuration(0);
    progress->setWindowModality(Qt::WindowModal);
    progress->show();

    struct Flow
    {
        bool restored = false;
        int imported = 0;
        QList<QMetaObject::Connection> connections;
    };
    auto flow = std::make_shared<Flow>();
    QPointer<QProgressDialog> dialog(progress);
    auto end = [flow, dialog] {
        for (const QMetaObject::Connection& c : std::as_const(flow->connections))
            QObject::disconnect(c);
        if (dialog)
            dialog->deleteLater();
    };
    flow->connections << connect(sync, &SyncEngine::syncCompleted, this, [this, flow, dialog, end, path, sync] {
        if (!flow->restored) {
            flow->restored = true;
            if (dialog)
                dialog->setLabelText(tr("Restoring notes…"));
            const RestoreResult result =
                restoreBackup(path, LibraryRepositories{m_state->notes(), m_state->notebooks(), m_state->attachments()},
                              RestoreMode::Overwrite, true);
            flow->imported = result.imported;
            sync->syncNow();
            return;
        }
        end();
        Interaction::information(this, tr("Restore Complete"),
                                 tr("Restored %1 items and synced them to your account.").arg(flow->imported));
    });
    flow->connections << connect(sync, &SyncEngine::syncFailed, this, [this, flow, end](const QString& error) {
        end();
        if (!flow->restored) {
            Interaction::warning(this, tr("Restore Aborted"),
                                 tr("Couldn't sync before restoring, so nothing was changed:\n%1").arg(error));
            return;
        }
        Interaction::information(this, tr("Restore Complete"),
                                 tr("Restored %1 items. They'll finish uploading to your account "
                                    "automatically once syncing succeeds.")
                                     .arg(flow->imported));
    });
    sync->syncNow();
}

void MainWindow::openImportWizard()
{
    saveCurrentNote();
    auto* wizard = new ImportDialog(m_state, this);
    wizard->show();
}

bool MainWindow::welcomePageShown() const
{
    return m_centralStack->currentWidget() == m_welcomePage;
}

bool MainWindow::signedIn() const
{
    return m_state->signedIn();
}

void MainWindow::connectAccount()
{
    NorvAccount::Client* account = m_state->account();
    if (!account)
        return;
    NorvAccount::AuthClient* auth = account->auth();
    connect(account, &NorvAccount::Client::authStateChanged, this, &MainWindow::updateAuthUI);
    connect(auth, &NorvAccount::AuthClient::loginPendingChanged, m_welcomePage, &WelcomeScreen::setWaiting);
    connect(m_welcomePage, &WelcomeScreen::cancelSignInRequested, auth, &NorvAccount::AuthClient::cancelLogin);
    connect(auth, &NorvAccount::AuthClient::loginSucceeded, this, [this] {
        m_statusBar->showMessage(tr("Signed in."), kMessageMs);
        // The browser had the focus; the user comes back here.
        if (isVisible()) {
            raise();
            activateWindow();
        }
    });
    connect(auth, &NorvAccount::AuthClient::loginFailed, this, [this](const QString& error) {
        m_statusBar->showMessage(tr("Sign-in did not complete: %1").arg(error), kMessageMs);
    });
    connect(auth, &NorvAccount::AuthClient::sessionEnded, this,
            [this](const QString& message) { m_statusBar->showMessage(message, kMessageMs); });
    connect(account, &NorvAccount::Client::sessionOnlyTokens, this, [this] {
        m_statusBar->showMessage(tr("No keyring is available: you stay signed in only until you quit."), 4000);
    });
}

void MainWindow::updateAuthUI()
{
    const bool in = signedIn();
    m_signInAction->setVisible(!in);
    m_manageAccountAction->setVisible(in);
    m_signOutAction->setVisible(in);
    updateSyncIndicator();
    m_welcomePage->setSignedIn(in);
    if (m_settings)
        m_settings->setSignedIn(in);
    if (m_sharedByMeScreen)
        m_sharedByMeScreen->refresh();
    if (m_sharedWithMeScreen)
        m_sharedWithMeScreen->refresh();
    updateCentralPage();
}

void MainWindow::updateShareButton()
{
    const QString noteId = m_editor->noteId();
    const std::optional<Note> note = noteId.isEmpty() ? std::nullopt : m_state->notes()->noteById(noteId);
    m_headerBar->setShareAvailable(m_state->canShare() && note && note->ownerId.isEmpty());
}

NorvAccount::AccountScreen* MainWindow::openAccountScreen()
{
    NorvAccount::Client* account = m_state->account();
    if (!account || !signedIn())
        return nullptr;
    if (!m_accountScreen) {
        m_accountScreen = new NorvAccount::AccountScreen(account);
        m_accountScreen->setAttribute(Qt::WA_DeleteOnClose);
        m_accountScreen->setWindowTitle(tr("Norvane Account"));
        m_accountScreen->resize(720, 560);
        connect(m_accountScreen, &NorvAccount::AccountScreen::logoutRequested, this, [this] {
            signOut();
            if (m_accountScreen)
                m_accountScreen->close();
        });
        // Signed out elsewhere: nothing on the screen can be managed any more.
        connect(account, &NorvAccount::Client::authStateChanged, m_accountScreen, [this] {
            if (!signedIn() && m_accountScreen)
                m_accountScreen->close();
        });
    }
    m_accountScreen->refreshAll();
    m_accountScreen->show();
    m_accountScreen->raise();
    m_accountScreen->activateWindow();
    return m_accountScreen;
}

void MainWindow::updateSyncIndicator()
{
    SyncEngine* sync = m_state->sync();
    m_statusBar->showSync(sync, signedIn());
    if (m_settings && sync && signedIn())
        m_settings->setSyncStateText(SyncEngine::stateText(sync->state()));
}

void MainWindow::askAboutOtherAccount()
{
    saveCurrentNote();
    const auto answer = Interaction::question(
        this, tr("Another Account"),
        tr("This library last synced with a different account than the one you signed in with.\n\n"
           "Upload its notes to this account? Choose No to keep them apart: the library is first saved "
           "as a backup in the data folder, then emptied and filled from this account."));
    if (answer == QMessageBox::Yes) {
        m_state->uploadLibraryToAccount();
        return;
    }
    const QString backup = m_state->keepLibraryApart();
    if (backup.isEmpty()) {
        Interaction::warning(this, tr("Another Account"),
                             tr("The library could not be saved as a backup, so it was left as it is and "
                                "nothing is synced. Sign out, or sign in again to choose anew."));
        return;
    }
    clearOpenNote();
    updateCentralPage();
    m_statusBar->showMessage(tr("Your previous library was saved as %1.").arg(backup), 8000);
}

void MainWindow::syncNow()
{
    if (!signedIn() || !m_state->sync())
        return;
    saveCurrentNote();
    m_state->sync()->syncNow();
}

void MainWindow::forceFullResync()
{
    if (!signedIn() || !m_state->sync())
        return;
    if (Interaction::question(
            this, tr("Force Full Resync"),
            tr("Re-upload every local note and notebook to the server, and re-download everything the "
               "server has?\n\nThis is safe — no data is lost — but it can take a while if you have a "
               "lot of notes or attachments. Use this only if your local copy and the server seem out "
               "of sync.")) != QMessageBox::Yes)
        return;
    saveCurrentNote();
    const int count = m_state->sync()->fullResync();
    m_statusBar->showMessage(tr("Marked %n note(s) for re-sync.", nullptr, count), kLongMessageMs);
}

void MainWindow::startSignIn()
{
    NorvAccount::Client* account = m_state->account();
    if (!account || signedIn())
        return;
    m_centralStack->setCurrentWidget(m_welcomePage);
    account->auth()->login();
}

void MainWindow::signOut()
{
    if (NorvAccount::Client* account = m_state->account())
        account->auth()->logout();
}

void MainWindow::updateCentralPage()
{
    const bool noteOpen = !m_editor->noteId().isEmpty();
    m_centralStack->setCurrentWidget(noteOpen || signedIn() ? m_editorPage : static_cast<QWidget*>(m_welcomePage));
}

void MainWindow::onNoteContextMenu(const QString& noteId, const QPoint& globalPos)
{
    const std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (!note)
        return;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("noteContextMenu"));
    // Each entry acts through its own signal, so the menu works the same whether it was clicked
    // or triggered from the keyboard or an accessibility tool.
    connect(menu.addAction(tr("Open in New Window")), &QAction::triggered, this,
            [this, noteId] { m_state->openNoteWindow(noteId); });
    QMenu* move = menu.addMenu(tr("Move to Notebook"));
    for (const Notebook& notebook : m_state->notebooks()->allNotebooks()) {
        QAction* entry = move->addAction(notebook.name);
        entry->setCheckable(true);
        entry->setChecked(notebook.id == note->notebookId);
        if (notebook.id == note->notebookId)
            continue;
        connect(entry, &QAction::triggered, this, [this, noteId, target = notebook.id] {
            if (noteId == m_editor->noteId())
                saveCurrentNote();
            m_state->notes()->moveToNotebook(noteId, target);
        });
    }
    // Someone else's note shared for viewing stays where its owner keeps it.
    const bool editable = NoteActions::mayEdit(*note);
    move->setEnabled(editable && !move->isEmpty());
    // Notes shared with the user belong to someone else; only the owner manages sharing.
    if (m_state->canShare() && note->ownerId.isEmpty()) {
        menu.addSeparator();
        connect(menu.addAction(note->isShared ? tr("Manage Sharing…") : tr("Share…")), &QAction::triggered, this,
                [this, noteId] { NoteActions::openShareDialog(this, m_state, noteId); });
    }
    menu.addSeparator();
    QAction* trash = menu.addAction(tr("Move to Trash"));
    trash->setEnabled(editable);
    connect(trash, &QAction::triggered, this, [this, noteId] {
        m_noteList->selectNote(noteId);
        moveCurrentNoteToTrash(true);
    });
    menu.exec(globalPos);
}

void MainWindow::onNotebookChipClicked()
{
    const std::optional<Note> note =
        m_editor->noteId().isEmpty() ? std::nullopt : m_state->notes()->noteById(m_editor->noteId());
    if (!note)
        return;
    m_state->setCurrentNotebook(note->notebookId);
    refreshNoteList();
    refreshNotebookList();
    m_noteList->selectNote(note->id);
}

void MainWindow::exportCurrentNote()
{
    saveCurrentNote();
    NoteActions::exportNote(this, m_state, m_editor->noteId(), m_statusBar);
}

void MainWindow::printCurrentNote()
{
    saveCurrentNote();
    NoteActions::printNote(this, m_state, m_editor, m_statusBar);
}

void MainWindow::printPreviewCurrentNote()
{
    saveCurrentNote();
    NoteActions::printPreview(this, m_state, m_editor, m_statusBar);
}

void MainWindow::moveCurrentNoteToNotebook()
{
    if (m_editor->noteId().isEmpty())
        return;
    saveCurrentNote();
    NoteActions::moveToNotebook(this, m_state, m_editor->noteId());
}

void MainWindow::openVersionHistory()
{
    if (m_editor->noteId().isEmpty())
        return;
    saveCurrentNote();
    NoteActions::openVersionHistory(this, m_state, m_editor->noteId());
}

void MainWindow::showSecondaryWindow(QWidget* window, const QString& title)
{
    window->setWindowTitle(title);
    if (!window->isVisible())
        window->resize(600, 500);
    window->show();
    window->raise();
    window->activateWindow();
}

// The secondary screens are created on first use as windows of their own and kept: closing one
// only hides it.
template <typename Screen, typename... Args> Screen* MainWindow::ensureScreen(Screen*& screen, Args... args)
{
    if (!screen) {
        screen = new Screen(m_state, args..., this);
        screen->setWindowFlag(Qt::Window);
        for (NoteListWidget* list : screen->template findChildren<NoteListWidget*>())
            list->setSyncMarksShown(signedIn());
        if constexpr (requires { &Screen::noteOpenRequested; })
            connect(screen, &Screen::noteOpenRequested, this, &MainWindow::showNote);
    }
    return screen;
}

void MainWindow::showTodosScreen()
{
    ensureScreen(m_todosScreen)->rebuild();
    showSecondaryWindow(m_todosScreen, tr("To-Dos — Norvane Notes"));
}

void MainWindow::showSearchScreen()
{
    ensureScreen(m_searchScreen)->runSearch();
    showSecondaryWindow(m_searchScreen, tr("Search — Norvane Notes"));
    m_searchScreen->focusSearch();
}

void MainWindow::showTrashScreen()
{
    ensureScreen(m_trashScreen)->refresh();
    showSecondaryWindow(m_trashScreen, tr("Trash — Norvane Notes"));
}

void MainWindow::showSharedScreen(bool byMe)
{
    SharedScreen* screen = ensureScreen(byMe ? m_sharedByMeScreen : m_sharedWithMeScreen, byMe);
    screen->refresh();
    showSecondaryWindow(screen, byMe ? tr("Shared by Me — Norvane Notes") : tr("Shared with Me — Norvane Notes"));
}

SettingsDialog* MainWindow::openSettings()
{
    if (!m_settings) {
        m_settings = new SettingsDialog(m_state, this);
        m_settings->setAttribute(Qt::WA_DeleteOnClose);
        m_settings->setModal(false);
        m_settings->setSignedIn(signedIn());
        connect(m_settings, &SettingsDialog::signInRequested, this, &MainWindow::startSignIn);
        connect(m_settings, &SettingsDialog::manageAccountRequested, this, &MainWindow::openAccountScreen);
        connect(m_settings, &SettingsDialog::syncNowRequested, this, &MainWindow::syncNow);
        if (m_state->sync())
            m_settings->setSyncStateText(SyncEngine::stateText(m_state->sync()->state()));
        connect(m_settings, &SettingsDialog::signOutRequested, this, &MainWindow::signOut);
    }
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
    return m_settings;
}

void MainWindow::loadSampleNotes()
{
    if (Interaction::question(this, tr("Load Sample Notes"),
                              tr("Insert 7 sample notes into this database?\n\nThey'll appear in the "
                                 "unorganized pool with staggered dates from today to 28 days ago. "
                                 "Existing notes are not modified."),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    const int loaded = m_state->loadSampleNotes();
    m_statusBar->showMessage(tr("Loaded %n sample note(s).", nullptr, loaded), kMessageMs);
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, tr("About Norvane Notes"),
                       tr("Norvane Notes %1\n\nSearch-first, zero-friction note-taking.\n\n%2")
                           .arg(QCoreApplication::applicationVersion(), kWebsiteUrl));
}

QMenu* MainWindow::trayMenu()
{
    if (m_trayMenu)
        return m_trayMenu;
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("trayMenu"));
    m_trayShowAction = m_trayMenu->addAction(tr("Show Norvane Notes"));
    connect(m_trayShowAction, &QAction::triggered, this, [this] {
        if (isVisible() && !isMinimized()) {
            hide();
            return;
        }
        showNormal();
        raise();
        activateWindow();
    });
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(tr("New Note"), this, [this] {
        showNormal();
        raise();
        activateWindow();
        createNote();
    });
    m_trayMenu->addAction(tr("Search…"), this, &MainWindow::showSearchScreen);
    m_trayMenu->addAction(tr("To-Dos"), this, &MainWindow::showTodosScreen);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(tr("Quit"), this, &MainWindow::quitApplication);
    connect(m_trayMenu, &QMenu::aboutToShow, this, &MainWindow::updateTrayMenuText);
    updateTrayMenuText();
    return m_trayMenu;
}

void MainWindow::updateTrayMenuText()
{
    if (m_trayShowAction)
        m_trayShowAction->setText(isVisible() && !isMinimized() ? tr("Hide Norvane Notes") : tr("Show Norvane Notes"));
}

void MainWindow::setupTrayIcon()
{
    PreferencesRepository* prefs = m_state->preferences();
    m_closeToTray = prefs->boolValue(PrefKey::CloseToTray, PrefKey::CloseToTrayDefault);
    const bool wanted = m_closeToTray || prefs->boolValue(PrefKey::StartMinimized, PrefKey::StartMinimizedDefault);
    if (wanted && !QSystemTrayIcon::isSystemTrayAvailable()) {
        // Hiding to a tray that does not exist would leave no way back to the window.
        m_closeToTray = false;
        return;
    }
    if (!wanted) {
        if (m_trayIcon)
            m_trayIcon->hide();
        qApp->setQuitOnLastWindowClosed(true);
        return;
    }
    if (!m_trayIcon) {
        QIcon icon(QStringLiteral(":/icons/app-icon.png"));
        if (icon.isNull())
            icon = windowIcon();
        if (icon.isNull())
            icon = style()->standardIcon(QStyle::SP_FileIcon);
        m_trayIcon = new QSystemTrayIcon(icon, this);
        m_trayIcon->setObjectName(QStringLiteral("trayIcon"));
        m_trayIcon->setToolTip(QStringLiteral("Norvane Notes"));
        m_trayIcon->setContextMenu(trayMenu());
        connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick)
                return;
            showNormal();
            raise();
            activateWindow();
        });
    }
    // With the window in the tray, closing the last note window must not end the application.
    qApp->setQuitOnLastWindowClosed(false);
    m_trayIcon->show();
}

void MainWindow::quitApplication()
{
    if (!NoteActions::secureEditorNote(m_state, m_editor, this)) {
        m_statusBar->showMessage(NoteActions::saveFailedMessage());
        return;
    }
    saveSnapshotIfChanged();
    m_editor->releaseRemovedAttachments();
    PreferencesRepository* prefs = m_state->preferences();
    prefs->setValue(QLatin1String(PrefKey::RestoreNoteWindows), m_state->openNoteWindowIds().join(QLatin1Char(',')));
    prefs->setBool(QLatin1String(PrefKey::RestoreTodosWindow), m_todosScreen && m_todosScreen->isVisible());
    m_closeToTray = false;
    m_state->closeAllNoteWindows();
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window != this && window->isVisible())
            window->close();
    }
    close();
    qApp->quit();
}
