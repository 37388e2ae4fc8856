#include "MainWindow.h"

#include "AppState.h"
#include "BackupArchive.h"
#include "Clock.h"
#include "EditorToolbar.h"
#include "FindBar.h"
#include "ImportDialog.h"
#include "Interaction.h"
#include "NoteEditor.h"
#include "NoteHeaderBar.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NotebookListWidget.h"
#include "NotebookRepository.h"
#include "PreferenceKeys.h"
#include "PreferencesRepository.h"
#include "Records.h"
#include "RelativeDate.h"
#include "SnapshotRepository.h"
#include "StatusBar.h"
#include "TextFormats.h"
#include "ThemeManager.h"
#include "UiLog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QString kSettingsGroup = QStringLiteral("mainWindow");
const QString kEmptyBody = QStringLiteral(R"([{"insert":"\n"}])");

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

    createMenuBar();
    createUI();
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

    applyStenoMode();
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
    m_searchEdit->setPlaceholderText(QStringLiteral("Search..."));
    m_searchEdit->setClearButtonEnabled(true);
    searchLayout->addWidget(m_searchEdit);
    m_noteList = new NoteListWidget(m_listPane);
    m_noteList->setObjectName(QStringLiteral("noteList"));
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
    // Commands whose screens and dialogs are not part of this window yet: present, but off.
    auto later = [](QMenu* menu, const QString& text, const QKeySequence& shortcut = QKeySequence()) {
        QAction* action = menu->addAction(text);
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
        action->setEnabled(false);
        return action;
    };

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    add(file, QStringLiteral("New Note"), QKeySequence(QStringLiteral("Ctrl+N")), [this] { createNote(); }, true);
    add(
        file, QStringLiteral("New Note in Window"), QKeySequence(QStringLiteral("Ctrl+Shift+N")),
        [this] {
            saveCurrentNote();
            m_state->createNoteInWindow();
        },
        true);
    add(file, QStringLiteral("Save Snapshot"), QKeySequence(QKeySequence::Save), [this] { saveCurrentNote(); });
    file->addSeparator();
    add(file, QStringLiteral("Import..."), QKeySequence(QStringLiteral("Ctrl+I")), [this] { openImportWizard(); });
    later(file, QStringLiteral("Export..."), QKeySequence(QStringLiteral("Ctrl+E")));
    file->addSeparator();
    later(file, QStringLiteral("Print..."), QKeySequence(QKeySequence::Print));
    later(file, QStringLiteral("Print Preview..."), QKeySequence(QStringLiteral("Ctrl+Shift+P")));
    file->addSeparator();
    add(file, QStringLiteral("Backup Database..."), QKeySequence(), [this] { backupDatabase(); });
    add(file, QStringLiteral("Restore Database..."), QKeySequence(), [this] { restoreDatabase(); });
    file->addSeparator();
    later(file, QStringLiteral("Sign In…"));
    later(file, QStringLiteral("&Manage Account…"))->setVisible(false);
    later(file, QStringLiteral("Sign &Out"))->setVisible(false);
    file->addSeparator();
    later(file, QStringLiteral("Preferences…"), QKeySequence(QStringLiteral("Ctrl+,")))
        ->setShortcutContext(Qt::ApplicationShortcut);
    file->addSeparator();
    QAction* quit = add(file, QStringLiteral("Quit"), QKeySequence(QKeySequence::Quit), [this] {
        saveCurrentNote();
        saveSnapshotIfChanged();
        m_state->closeAllNoteWindows();
        close();
        qApp->quit();
    });
    quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    add(edit, QStringLiteral("Undo"), QKeySequence(QKeySequence::Undo), [this] { m_editor->undo(); });
    add(edit, QStringLiteral("Redo"), QKeySequence(QKeySequence::Redo), [this] { m_editor->redo(); });
    edit->addSeparator();
    add(edit, QStringLiteral("Find in Note..."), QKeySequence(QKeySequence::Find), [this] {
        if (editorPageCurrent())
            m_findBar->showBar();
    });
    add(edit, QStringLiteral("Find Next"), QKeySequence(QKeySequence::FindNext), [this] {
        if (editorPageCurrent())
            m_findBar->findNext(true);
    });
    add(edit, QStringLiteral("Find Previous"), QKeySequence(QKeySequence::FindPrevious), [this] {
        if (editorPageCurrent())
            m_findBar->findNext(false);
    });
    edit->addSeparator();
    later(edit, QStringLiteral("Preferences…"))->setMenuRole(QAction::PreferencesRole);

    QMenu* format = bar->addMenu(QStringLiteral("F&ormat"));
    add(format, QStringLiteral("Bold"), QKeySequence(QKeySequence::Bold), [this] { m_editor->toggleBold(); });
    add(format, QStringLiteral("Italic"), QKeySequence(QKeySequence::Italic), [this] { m_editor->toggleItalic(); });
    add(format, QStringLiteral("Underline"), QKeySequence(QKeySequence::Underline),
        [this] { m_editor->toggleUnderline(); });
    add(format, QStringLiteral("Strikethrough"), QKeySequence(QStringLiteral("Ctrl+Shift+X")),
        [this] { m_editor->toggleStrikethrough(); });
    add(format, QStringLiteral("Code"), QKeySequence(QStringLiteral("Ctrl+`")),
        [this] { m_editor->toggleInlineCode(); });
    format->addSeparator();
    for (int level = 1; level <= 3; ++level) {
        add(format, QStringLiteral("Heading %1").arg(level), QKeySequence(QStringLiteral("Ctrl+%1").arg(level)),
            [this, level] { m_editor->setHeadingLevel(level); });
    }
    add(format, QStringLiteral("Normal Text"), QKeySequence(QStringLiteral("Ctrl+0")),
        [this] { m_editor->setHeadingLevel(0); });
    format->addSeparator();
    add(format, QStringLiteral("Bullet List"), QKeySequence(QStringLiteral("Ctrl+Shift+8")),
        [this] { m_editor->toggleList(QStringLiteral("bullet")); });
    add(format, QStringLiteral("Numbered List"), QKeySequence(QStringLiteral("Ctrl+Shift+7")),
        [this] { m_editor->toggleList(QStringLiteral("ordered")); });
    add(format, QStringLiteral("Checkbox List"), QKeySequence(QStringLiteral("Ctrl+Shift+9")),
        [this] { m_editor->toggleList(QStringLiteral("unchecked")); });
    format->addSeparator();
    add(format, QStringLiteral("Code Block"), QKeySequence(QStringLiteral("Ctrl+Shift+`")),
        [this] { m_editor->toggleBlockProperty(TextFormats::CodeBlockProperty); });
    add(format, QStringLiteral("Blockquote"), QKeySequence(QStringLiteral("Ctrl+Shift+B")),
        [this] { m_editor->toggleBlockProperty(TextFormats::BlockquoteProperty); });
    format->addSeparator();
    add(format, QStringLiteral("Align Left"), QKeySequence(QStringLiteral("Ctrl+Shift+L")),
        [this] { m_editor->setAlignment(Qt::AlignLeft); });
    add(format, QStringLiteral("Align Center"), QKeySequence(QStringLiteral("Ctrl+Shift+E")),
        [this] { m_editor->setAlignment(Qt::AlignHCenter); });
    add(format, QStringLiteral("Align Right"), QKeySequence(QStringLiteral("Ctrl+Shift+R")),
        [this] { m_editor->setAlignment(Qt::AlignRight); });
    format->addSeparator();
    add(format, QStringLiteral("Insert Link..."), QKeySequence(QStringLiteral("Ctrl+K")),
        [this] { m_editor->insertLinkDialog(); });
    add(format, QStringLiteral("Insert Divider"), QKeySequence(), [this] { m_editor->insertDivider(); });
    add(format, QStringLiteral("Insert Table..."), QKeySequence(QStringLiteral("Ctrl+T")),
        [this] { m_editor->insertTableDialog(); });

    QMenu* note = bar->addMenu(QStringLiteral("&Note"));
    later(note, QStringLiteral("Move to Notebook..."), QKeySequence(QStringLiteral("Ctrl+M")));
    later(note, QStringLiteral("Version History..."), QKeySequence(QStringLiteral("Ctrl+H")));
    add(note, QStringLiteral("Open in New Window"), QKeySequence(QStringLiteral("Ctrl+Shift+O")), [this] {
        if (!m_editor->noteId().isEmpty())
            m_state->openNoteWindow(m_editor->noteId());
    });
    note->addSeparator();
    add(
        note, QStringLiteral("Move to Trash…"), QKeySequence(QStringLiteral("Ctrl+D")),
        [this] { moveCurrentNoteToTrash(true); }, true);
    auto* quickTrash = new QAction(this);
    quickTrash->setShortcut(QKeySequence(QStringLiteral("Ctrl+Backspace")));
    quickTrash->setShortcutContext(Qt::ApplicationShortcut);
    connect(quickTrash, &QAction::triggered, this, [this] { moveCurrentNoteToTrash(false); });
    addAction(quickTrash);

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    later(view, QStringLiteral("To-Dos"), QKeySequence(QStringLiteral("Ctrl+Alt+T")));
    add(view, QStringLiteral("Find"), QKeySequence(Qt::Key_F3), [this] {
        m_searchEdit->setFocus(Qt::ShortcutFocusReason);
        m_searchEdit->selectAll();
    });
    later(view, QStringLiteral("Search All Notes..."), QKeySequence(QStringLiteral("Ctrl+Shift+F")));
    later(view, QStringLiteral("Trash"), QKeySequence(QStringLiteral("Ctrl+Alt+D")));
    later(view, QStringLiteral("Shared with Me"), QKeySequence(QStringLiteral("Ctrl+Alt+S")))
        ->setVisible(m_state->canShare());
    later(view, QStringLiteral("Shared by Me"), QKeySequence(QStringLiteral("Ctrl+Alt+Shift+S")))
        ->setVisible(m_state->canShare());
    view->addSeparator();
    m_focusModeAction = view->addAction(QStringLiteral("Focus Mode"));
    m_focusModeAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+\\")));
    m_focusModeAction->setCheckable(true);
    m_focusModeAction->setToolTip(QStringLiteral("Hide the notebook and note lists to write without distractions"));
    connect(m_focusModeAction, &QAction::toggled, this, &MainWindow::setFocusMode);
    m_sidebarAction = view->addAction(QStringLiteral("Show Notebook Sidebar"));
    m_sidebarAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+B")));
    m_sidebarAction->setCheckable(true);
    m_sidebarAction->setChecked(true);
    connect(m_sidebarAction, &QAction::toggled, this, &MainWindow::setSidebarVisible);
    view->addSeparator();
    // Without an account there is nothing to synchronise.
    later(view, QStringLiteral("Sync Now"), QKeySequence(QStringLiteral("Ctrl+Alt+R")));
    later(view, QStringLiteral("Force Full Resync…"));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    later(help, QStringLiteral("About Norvane Notes"));
    later(help, QStringLiteral("What's &New..."));
    later(help, QStringLiteral("Check for &Updates..."));
    later(help, QStringLiteral("Send &Feedback..."));
    if (qEnvironmentVariable("NOTES_DEV") == QLatin1String("1")) {
        help->addSeparator();
        later(help, QStringLiteral("Load &Sample Notes"));
    }
    help->addSeparator();
    add(help, QStringLiteral("About Qt"), QKeySequence(), [this] { QMessageBox::aboutQt(this); });
}

void MainWindow::connectSignals()
{
    connect(m_searchEdit, &QLineEdit::textChanged, m_searchTimer, qOverload<>(&QTimer::start));
    connect(m_searchTimer, &QTimer::timeout, this, &MainWindow::refreshNoteList);

    connect(m_noteList, &NoteListWidget::noteSelected, this, &MainWindow::onNoteSelected);
    connect(m_noteList, &NoteListWidget::noteDeleteRequested, this, &MainWindow::onNoteDeleteRequested);
    connect(m_noteList, &NoteListWidget::noteDoubleClicked, this,
            [this](const QString& noteId) { m_state->openNoteWindow(noteId); });

    connect(m_notebookList, &NotebookListWidget::allNotesSelected, this, [this] {
        m_state->setCurrentNotebook(QString());
        refreshNoteList();
    });
    connect(m_notebookList, &NotebookListWidget::notebookSelected, this, [this](const QString& notebookId) {
        m_state->setCurrentNotebook(notebookId);
        refreshNoteList();
    });
    connect(m_notebookList, &NotebookListWidget::newNotebookRequested, this, &MainWindow::createNotebook);
    connect(m_notebookList, &NotebookListWidget::notebookContextMenuRequested, this,
            &MainWindow::onNotebookContextMenu);
    connect(m_notebookList, &NotebookListWidget::noteDroppedOnNotebook, this,
            [this](const QString& noteId, const QString& notebookId) {
                m_state->notes()->moveToNotebook(noteId, notebookId);
            });

    connect(m_editor, &NoteEditor::noteModified, this, &MainWindow::saveCurrentNote);
    connect(m_editor, &NoteEditor::savedStateChanged, m_statusBar, &StatusBar::onSavedStateChanged);
    connect(m_editor, &NoteEditor::wordCountChanged, m_statusBar, &StatusBar::setWordCount);
    connect(m_headerBar, &NoteHeaderBar::focusToggleClicked, this, [this] { setFocusMode(!m_focusMode); });
    connect(m_headerBar, &NoteHeaderBar::deleteRequested, this, [this] { moveCurrentNoteToTrash(true); });

    connect(m_state, &AppState::notesChanged, this, &MainWindow::onNotesChanged);
    connect(m_state, &AppState::notebooksChanged, this, &MainWindow::refreshNotebookList);
    connect(m_state, &AppState::noteUpdatedExternally, this, [this](const QString& noteId, QObject* source) {
        if (source != this && noteId == m_editor->noteId())
            openNote(noteId);
    });
    connect(m_state, &AppState::noteDeletedExternally, this, [this](const QString& noteId) {
        if (noteId == m_editor->noteId())
            clearOpenNote();
    });
}

void MainWindow::refreshNoteList()
{
    const QString query = m_searchEdit->text().trimmed();
    const QString notebookId = m_state->currentNotebookId();
    QList<Note> notes;
    if (!query.isEmpty())
        notes = m_state->notes()->search(query);
    else if (!notebookId.isEmpty())
        notes = m_state->notes()->notesInNotebook(notebookId);
    else
        notes = m_state->notes()->allNotes();

    // Steno mode writes downwards like a pad, but a search keeps its best match first.
    if (query.isEmpty() && m_state->preferences()->boolValue(PrefKey::StenoMode, PrefKey::StenoModeDefault))
        std::reverse(notes.begin(), notes.end());

    m_noteList->setNotes(notes);

    QString title = QStringLiteral("All Notes");
    if (!notebookId.isEmpty()) {
        if (const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId))
            title = notebook->name;
    }
    m_statusBar->setListTitle(title, int(notes.size()));
}

void MainWindow::refreshNotebookList()
{
    m_notebookList->setNotebooks(m_state->notebooks()->allNotebooks(), m_state->notes()->noteCountsByNotebook(),
                                 m_state->currentNotebookId(), int(m_state->notes()->trashedNotes().size()));
}

void MainWindow::onNotesChanged()
{
    refreshNoteList();
    refreshNotebookList();
    // Typing that is not yet written back must never be replaced by the stored body.
    const QString open = m_editor->noteId();
    if (!open.isEmpty() && m_editor->isSaved() && m_state->notes()->noteById(open))
        openNote(open);
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
    if (m_findBar->isVisible() && noteId != m_editor->noteId())
        m_findBar->closeBar();

    const std::optional<Note> note = noteId.isEmpty() ? std::nullopt : m_state->notes()->noteById(noteId);
    if (!note) {
        clearOpenNote();
        return;
    }
    m_editor->loadNote(note->id, note->body, force);
    const bool editable = note->ownerId.isEmpty() || note->permission == QLatin1String("edit");
    m_editor->setReadOnly(!editable);
    m_toolbar->setEnabled(editable);

    m_headerBar->setNote(*note);
    QString notebookName;
    if (!note->notebookId.isEmpty()) {
        if (const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(note->notebookId))
            notebookName = notebook->name;
    }
    m_headerBar->setNotebookName(notebookName);
    m_headerBar->setUpdatedText(QStringLiteral("Updated %1").arg(relativeDate(note->updatedAt)));
    m_headerBar->setShared(note->isShared);
    m_headerBar->setIncludeInTodos(m_state->notes()->includeInTodos(note->id));
    m_lastSnapshotBody = note->body;
}

void MainWindow::clearOpenNote()
{
    m_editor->clear();
    m_toolbar->setEnabled(false);
    m_headerBar->clear();
    m_lastSnapshotBody.clear();
}

void MainWindow::saveCurrentNote()
{
    const QString noteId = m_editor->noteId();
    if (noteId.isEmpty() || m_editor->isReadOnly() || m_editor->isSaved())
        return;
    std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (!note)
        return;
    const QString body = m_editor->bodyJson();
    if (body == note->body)
        return;
    note->body = body;
    note->updatedAt = Clock::nowUtc();
    note->modifiedAt = note->updatedAt;
    note->version += 1;
    note->syncStatus = SyncStatus::Pending;
    if (m_state->notes()->update(*note))
        emit m_state->noteUpdatedExternally(noteId, this);
    else
        qCWarning(lcUi) << "Saving the open note failed:" << noteId;
}

void MainWindow::saveSnapshotIfChanged()
{
    const QString noteId = m_editor->noteId();
    if (noteId.isEmpty() || m_editor->isReadOnly() || m_lastSnapshotBody.isEmpty())
        return;
    const QString body = m_editor->bodyJson();
    if (body.isEmpty() || body == m_lastSnapshotBody)
        return;
    const std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (!note)
        return;
    Snapshot snapshot;
    snapshot.id = newId();
    snapshot.noteId = noteId;
    snapshot.version = note->version;
    snapshot.body = body;
    snapshot.createdAt = Clock::nowUtc();
    if (m_state->snapshots()->insert(snapshot))
        m_lastSnapshotBody = body;
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
    const QString noteId = m_noteList->selectedNoteId();
    if (noteId.isEmpty())
        return;
    if (confirm) {
        const std::optional<Note> note = m_state->notes()->noteById(noteId);
        QString title = note ? note->title() : QString();
        if (title.isEmpty())
            title = QStringLiteral("this note");
        const auto answer = Interaction::question(this, QStringLiteral("Move to Trash"),
                                                  QStringLiteral("Move \"%1\" to Trash?").arg(title),
                                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    const int row = m_noteList->currentRow();
    if (noteId == m_editor->noteId())
        clearOpenNote();
    m_state->notes()->moveToTrash(noteId);

    const int count = m_noteList->count();
    if (count == 0) {
        m_state->setCurrentNote(QString());
        return;
    }
    // The note that took the trashed one's row, or the new last one.
    m_noteList->setCurrentRow(std::min(row, count - 1));
    openSelectedAsCurrent();
}

void MainWindow::openSelectedAsCurrent()
{
    const QString noteId = m_noteList->selectedNoteId();
    m_state->setCurrentNote(noteId);
    openNote(noteId);
}

void MainWindow::onNoteDeleteRequested(const QString& noteId)
{
    if (noteId == m_editor->noteId())
        clearOpenNote();
    m_state->notes()->moveToTrash(noteId);
}

void MainWindow::createNotebook()
{
    bool ok = false;
    const QString name =
        Interaction::getText(this, QStringLiteral("New Notebook"), QStringLiteral("Name:"), QString(), &ok).trimmed();
    if (!ok || name.isEmpty())
        return;
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
    bool ok = false;
    const QString name = Interaction::getText(this, QStringLiteral("Rename Notebook"), QStringLiteral("Name:"),
                                              notebook->name, &ok)
                             .trimmed();
    if (!ok || name.isEmpty() || name == notebook->name)
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
        this, QStringLiteral("Delete Notebook"),
        QStringLiteral("Delete \"%1\"? Its notes will move to All Notes.").arg(notebook->name),
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
    QAction* rename = menu.addAction(QStringLiteral("Rename Notebook…"));
    QAction* share = menu.addAction(QStringLiteral("Share Notebook…"));
    share->setEnabled(false);
    QAction* remove = menu.addAction(QStringLiteral("Delete Notebook"));
    QAction* chosen = menu.exec(globalPos);
    if (chosen == rename)
        renameNotebook(notebookId);
    else if (chosen == remove)
        deleteNotebook(notebookId);
}

void MainWindow::onPreferenceChanged(const QString& key)
{
    if (key == QLatin1String(PrefKey::StenoMode))
        applyStenoMode();
}

void MainWindow::applyStenoMode()
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
    const QList<int> base = m_normalSplitterSizes.size() == 3 ? m_normalSplitterSizes
                                                               : QList<int>{200, 260, std::max(width() - 460, 400)};
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

    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(1280, 1024);
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
    event->accept();
}

void MainWindow::backupDatabase()
{
    saveCurrentNote();
    const QString path =
        Interaction::getSaveFileName(this, QStringLiteral("Save Backup"), QStringLiteral("norvane-notes-backup.zip"),
                                     QStringLiteral("ZIP Archive (*.zip)"));
    if (path.isEmpty())
        return;
    const BackupResult result =
        createBackup(path, LibraryRepositories{m_state->notes(), m_state->notebooks(), m_state->attachments()});
    if (result.failed) {
        Interaction::warning(this, QStringLiteral("Backup Failed"), result.error);
        return;
    }
    m_statusBar->showMessage(QStringLiteral("Backup saved: %1 notes").arg(result.noteCount), 3000);
}

// The local import: never overwrites a note or notebook that exists here. Restoring to an account
// (overwrite and re-upload) joins this flow once sync is part of the application.
void MainWindow::restoreDatabase()
{
    const QString path = Interaction::getOpenFileName(this, QStringLiteral("Select Backup"), QString(),
                                                      QStringLiteral("ZIP Archive (*.zip)"));
    if (path.isEmpty())
        return;
    if (Interaction::question(this, QStringLiteral("Restore Backup"),
                              QStringLiteral("Import notes from backup? Existing notes with the same ID will be "
                                             "skipped.")) != QMessageBox::Yes)
        return;
    saveCurrentNote();
    const RestoreResult result =
        restoreBackup(path, LibraryRepositories{m_state->notes(), m_state->notebooks(), m_state->attachments()},
                      RestoreMode::SkipExisting, false);
    Interaction::information(this, QStringLiteral("Restore Complete"),
                             QStringLiteral("Imported: %1\nSkipped: %2\nErrors: %3")
                                 .arg(result.imported)
                                 .arg(result.skipped)
                                 .arg(result.errors));
}

void MainWindow::openImportWizard()
{
    saveCurrentNote();
    auto* wizard = new ImportDialog(m_state, this);
    wizard->show();
}
