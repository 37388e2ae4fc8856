#include "SearchScreen.h"

#include "AppState.h"
#include "NoteListWidget.h"
#include "NoteRepository.h"
#include "NotebookRepository.h"

#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The same wait as the main list's search box, so typing feels alike in both.
constexpr int kSearchDelayMs = 300;

} // namespace

SearchScreen::SearchScreen(AppState* state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("searchScreen"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    m_searchEdit = new QLineEdit(this);
    m_searchEdit->setObjectName(QStringLiteral("searchEdit"));
    m_searchEdit->setPlaceholderText(QStringLiteral("Search all notes..."));
    m_searchEdit->setClearButtonEnabled(true);
    layout->addWidget(m_searchEdit);

    m_list = new NoteListWidget(this);
    // Results arrive as ids; a row reads its texts when it is first shown.
    m_list->setRowLoader([this](const QStringList& ids, const QList<qint64>& rowids) {
        return m_state->notes()->listRows(ids, rowids);
    });
    m_list->setNotebookNameLookup([this](const QString& notebookId) {
        const std::optional<Notebook> notebook = m_state->notebooks()->notebookById(notebookId);
        return notebook ? notebook->name : QString();
    });
    layout->addWidget(m_list);

    m_searchTimer = new QTimer(this);
    m_searchTimer->setObjectName(QStringLiteral("searchTimer"));
    m_searchTimer->setSingleShot(true);
    m_searchTimer->setInterval(kSearchDelayMs);

    connect(m_searchEdit, &QLineEdit::textChanged, m_searchTimer, qOverload<>(&QTimer::start));
    connect(m_searchTimer, &QTimer::timeout, this, &SearchScreen::runSearch);
    connect(m_list, &NoteListWidget::noteSelected, m_state, &AppState::setCurrentNote);
    connect(m_list, &NoteListWidget::noteSelected, this, &SearchScreen::noteOpenRequested);
    // Clicking the row that is already current opens it again, after the main window moved on.
    connect(m_list, &NoteListWidget::noteClicked, this, &SearchScreen::noteOpenRequested);
    connect(m_list, &NoteListWidget::noteDoubleClicked, m_state,
            [this](const QString& noteId) { m_state->openNoteWindow(noteId); });
}

void SearchScreen::runSearch()
{
    const QString text = m_searchEdit->text().trimmed();
    // The repository lists everything for a blank query; here a blank box means no results.
    m_list->setRowids(text.isEmpty() ? QList<qint64>() : m_state->notes()->searchRowids(text), text);
    m_list->setEmptyText(text.isEmpty() ? QString() : tr("No notes match"));
}

void SearchScreen::focusSearch()
{
    m_searchEdit->setFocus(Qt::OtherFocusReason);
    m_searchEdit->selectAll();
}
