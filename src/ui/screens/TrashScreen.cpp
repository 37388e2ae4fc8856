#include "TrashScreen.h"

#include "AppState.h"
#include "Interaction.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"

#include <QHBoxLayout>
#include <QPushButton>
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
    m_list->setNotebookNameLookup([this](const QString& notebookId) {
        const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
        return notebook ? notebook->name : QString();
    });
    layout->addWidget(m_list);

    m_restoreButton->setEnabled(false);
    m_deleteButton->setEnabled(false);

    connect(m_list, &QListWidget::itemSelectionChanged, this, &TrashScreen::updateSelectionButtons);
    connect(m_restoreButton, &QPushButton::clicked, this, &TrashScreen::restoreSelected);
    connect(m_deleteButton, &QPushButton::clicked, this, &TrashScreen::deleteSelected);
    connect(m_emptyButton, &QPushButton::clicked, this, &TrashScreen::emptyTrash);

    refresh();
}

void TrashScreen::refresh()
{
    const QList<Note> trashed = m_state->notes()->trashedNotes();
    m_list->setNotes(trashed);
    m_list->clearSelection();
    m_list->setCurrentItem(nullptr);
    m_restoreButton->setEnabled(false);
    m_deleteButton->setEnabled(false);
    m_emptyButton->setEnabled(!trashed.isEmpty());
}

QString TrashScreen::selectedNoteId() const
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(NoteListRole::NoteId).toString();
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
    // Read the trash afresh: the list may be older than notes trashed since it was shown.
    const QList<Note> trashed = m_state->notes()->trashedNotes();
    if (trashed.isEmpty())
        return;
    const auto answer = Interaction::question(
        this, QStringLiteral("Empty Trash"),
        QStringLiteral("Permanently delete all %1 notes in trash? This cannot be undone.").arg(trashed.size()),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    for (const Note& note : trashed)
        m_state->notes()->purge(note.id);
    refresh();
}
