#include "SharedScreen.h"

#include "AppState.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"

#include <QLabel>
#include <QVBoxLayout>

SharedScreen::SharedScreen(AppState* state, bool byMe, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_byMe(byMe)
{
    setObjectName(byMe ? QStringLiteral("sharedByMeScreen") : QStringLiteral("sharedWithMeScreen"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    m_list = new NoteListWidget(this);
    m_list->setRowLoader([this](const QStringList& ids, const QList<qint64>& rowids) {
        return m_state->notes()->listRows(ids, rowids);
    });
    m_list->setNotebookNameLookup([this](const QString& notebookId) {
        const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
        return notebook ? notebook->name : QString();
    });
    layout->addWidget(m_list);

    m_emptyLabel = new QLabel(byMe ? QStringLiteral("You haven't shared any notes yet.")
                                   : QStringLiteral("No notes have been shared with you yet."),
                              this);
    m_emptyLabel->setObjectName(QStringLiteral("emptyLabel"));
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyLabel->setWordWrap(true);
    // Disabled so it takes the palette's greyed text colour in either theme.
    m_emptyLabel->setEnabled(false);
    layout->addWidget(m_emptyLabel, 1);

    connect(m_list, &NoteListWidget::noteSelected, m_state, &AppState::setCurrentNote);
    connect(m_list, &NoteListWidget::noteSelected, this, &SharedScreen::noteOpenRequested);
    // Clicking the row that is already current opens it again, after the main window moved on.
    connect(m_list, &NoteListWidget::noteClicked, this, &SharedScreen::noteOpenRequested);
    connect(m_list, &NoteListWidget::noteDoubleClicked, m_state,
            [this](const QString& noteId) { m_state->openNoteWindow(noteId); });

    refresh();
}

void SharedScreen::refresh()
{
    using Scope = NoteRepository::ListScope;
    m_list->setRowids(m_state->notes()->listRowids(m_byMe ? Scope::SharedByMe : Scope::SharedWithMe));
    const bool empty = m_list->count() == 0;
    m_list->setVisible(!empty);
    m_emptyLabel->setVisible(empty);
}
