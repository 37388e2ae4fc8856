#include "TrashScreen.h"

#include "AppState.h"
#include "Interaction.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

TrashScreen::TrashScreen(AppState* state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("trashScreen"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    auto* buttons = new QHBoxLayout;
    m_restoreButton = new QPushButton(QStringLiteral("Restore"), this);
    m_restoreButton->setObjectName(QStringLiteral("restoreButton"));
    m_deleteButton = new QPushButton(QStringLiteral("Delete Permanently"), this);
    m_deleteButton->setObjectName(QStringLiteral("deletePermanentlyButton"));
    m_emptyButton = new QPushButton(QStringLiteral("Empty Trash"), this);
    m_emptyButton->setObjectName(QStringLiteral("emptyTrashButton"));
    buttons->addWidget(m_restoreButton);
    buttons->addWidget(m_deleteButton);
    buttons->addWidget(m_emptyButton);
    buttons->addStretch();
    layout->addLayout(buttons);

    m_list = new NoteListWidget(this);
    // Trashed notes stay where they are until restored; dragging one onto a notebook would not.
    m_list->setDragEnabled(false);
    m_list->setRowLoader([this](const QStringList& ids, const QList<qint64>& rowids) {
        return m_state->notes()->listRows(ids, rowids);
    });
    m_list->setNotebookNameLookup([this](const QString& notebookId) {
        const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
        return notebook ? notebook->name : QString();
    });
    layout->addWidget(m_list);

    m_restoreButton->setEnabled(false);
    m_deleteButton->setEnabled(false);

    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TrashScreen::updateSelectionButtons);
    connect(m_restoreButton, &QPushButton::clicked, this, &TrashScreen::restoreSelected);
    connect(m_deleteButton, &QPushButton::clicked, this, &TrashScreen::deleteSelected);
    connect(m_emptyButton, &QPushButton::clicked, this, &TrashScreen::emptyTrash);

    // Notes trashed, restored or purged elsewhere show up while the screen is open; a burst of
    // changes (emptying the trash) reloads once. A hidden screen is refreshed when shown again.
    m_reloadTimer = new QTimer(this);
    m_reloadTimer->setSingleShot(true);
    m_reloadTimer->setInterval(0);
    connect(m_state, &AppState::notesChanged, m_reloadTimer, qOverload<>(&QTimer::start));
    connect(m_reloadTimer, &QTimer::timeout, this, [this] {
        if (isVisible())
            reload();
    });

    refresh();
}

void TrashScreen::reload()
{
    const QString selected = selectedNoteId();
    {
        const QSignalBlocker blocker(m_list);
        m_list->setRowids(m_state->notes()->listRowids(NoteRepository::ListScope::Trash));
        m_list->clearCurrent();
        m_list->selectNote(selected);
    }
    updateSelectionButtons();
    m_emptyButton->setEnabled(m_list->count() > 0);
}

void TrashScreen::refresh()
{
    m_list->setRowids(m_state->notes()->listRowids(NoteRepository::ListScope::Trash));
    m_list->clearCurrent();
    m_restoreButton->setEnabled(false);
    m_deleteButton->setEnabled(false);
    m_emptyButton->setEnabled(m_list->count() > 0);
}

QString TrashScreen::selectedNoteId() const
{
    const QModelIndexList selected = m_list->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? QString() : selected.first().data(NoteListRole::NoteId).toString();
}

void TrashScreen::updateSelectionButtons()
{
    const bool selected = !selectedNoteId().isEmpty();
    m_restoreButton->setEnabled(selected);
    m_deleteButton->setEnabled(selected);
}

void TrashScreen::restoreSelected()
{
    const QString noteId = selectedNoteId();
    if (noteId.isEmpty())
        return;
    m_state->notes()->restore(noteId);
    refresh();
}

void TrashScreen::deleteSelected()
{
    const QString noteId = selectedNoteId();
    if (noteId.isEmpty())
        return;
    const auto answer =
        Interaction::question(this, QStringLiteral("Delete Permanently"),
                              QStringLiteral("This note will be permanently deleted. This cannot be undone."),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    m_state->notes()->purge(noteId);
    refresh();
}

void TrashScreen::emptyTrash()
{
    // Exactly the notes the user sees and is asked about: one trashed from another window while the
    // screen was not yet refreshed stays in the trash, one restored or purged meanwhile is left alone.
    QStringList listed;
    for (const QString& noteId : m_list->noteModel()->noteIds()) {
        const std::optional<Note> note = m_state->notes()->noteById(noteId);
        if (note && note->isTrashed())
            listed << noteId;
    }
    if (listed.isEmpty()) {
        refresh();
        return;
    }
    const auto answer = Interaction::question(
        this, QStringLiteral("Empty Trash"),
        tr("Permanently delete all %n note(s) in trash? This cannot be undone.", nullptr, int(listed.size())),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    for (const QString& noteId : std::as_const(listed)) {
        const std::optional<Note> note = m_state->notes()->noteById(noteId);
        if (note && note->isTrashed()) // restored while the question was open: not the user's to lose
            m_state->notes()->purge(noteId);
    }
    refresh();
}
