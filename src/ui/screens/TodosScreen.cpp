#include "TodosScreen.h"

#include "AppState.h"
#include "Clock.h"
#include "NoteActions.h"
#include "NoteRepository.h"
#include "Records.h"
#include "Todos.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSet>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QColor kDoneColor(QStringLiteral("#9E9E9E"));

} // namespace

TodosScreen::TodosScreen(AppState* state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
{
    setObjectName(QStringLiteral("todosScreen"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    auto* top = new QHBoxLayout;
    auto* sortLabel = new QLabel(QStringLiteral("Sort:"), this);
    top->addWidget(sortLabel);
    m_sortCombo = new QComboBox(this);
    m_sortCombo->setObjectName(QStringLiteral("sortCombo"));
    m_sortCombo->addItem(QStringLiteral("Note Updated"), QStringLiteral("updated"));
    m_sortCombo->addItem(QStringLiteral("Alphabetical"), QStringLiteral("alpha"));
    sortLabel->setBuddy(m_sortCombo);
    top->addWidget(m_sortCombo);
    m_showCompleted = new QCheckBox(QStringLiteral("Show Completed"), this);
    m_showCompleted->setObjectName(QStringLiteral("showCompletedCheck"));
    top->addWidget(m_showCompleted);
    top->addStretch();
    m_filterEdit = new QLineEdit(this);
    m_filterEdit->setObjectName(QStringLiteral("filterEdit"));
    m_filterEdit->setPlaceholderText(QStringLiteral("Filter tasks..."));
    m_filterEdit->setClearButtonEnabled(true);
    m_filterEdit->setMaximumWidth(200);
    top->addWidget(m_filterEdit);
    layout->addLayout(top);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("todoList"));
    m_list->setWordWrap(true);
    m_list->setSpacing(2);
    layout->addWidget(m_list);

    m_rebuildTimer = new QTimer(this);
    m_rebuildTimer->setSingleShot(true);
    m_rebuildTimer->setInterval(0);

    connect(m_sortCombo, &QComboBox::currentIndexChanged, this, &TodosScreen::rebuild);
    connect(m_showCompleted, &QCheckBox::toggled, this, &TodosScreen::rebuild);
    connect(m_filterEdit, &QLineEdit::textChanged, this, &TodosScreen::rebuild);
    connect(m_state, &AppState::notesChanged, m_rebuildTimer, qOverload<>(&QTimer::start));
    connect(m_state->notes(), &NoteRepository::includeInTodosChanged, m_rebuildTimer, qOverload<>(&QTimer::start));
    // Reading every note's tasks is the expensive part; a hidden screen waits until it is shown
    // again, when the main window rebuilds it anyway.
    connect(m_rebuildTimer, &QTimer::timeout, this, [this] {
        if (isVisible())
            rebuild();
    });
    connect(m_list, &QListWidget::itemChanged, this, &TodosScreen::onItemChanged);
    connect(m_list, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { m_state->openNoteWindow(item->data(NoteIdRole).toString()); });

    rebuild();
}

namespace {

bool isReadOnlyShare(const Note& note)
{
    return !NoteActions::mayEdit(note);
}

} // namespace

void TodosScreen::rebuild()
{
    m_rebuildTimer->stop();
    m_rebuilding = true;
    const bool blocked = m_list->blockSignals(true);
    m_list->clear();

    const QString filter = m_filterEdit->text().trimmed().toLower();
    const bool showCompleted = m_showCompleted->isChecked();

    QList<TodoItem> todos;
    QSet<QString> readOnlyNotes;
    NoteRepository* repository = m_state->notes();
    for (const Note& note : repository->allNotes()) {
        if (!repository->includeInTodos(note.id))
            continue;
        if (isReadOnlyShare(note))
            readOnlyNotes.insert(note.id);
        const QString title = note.title();
        for (TodoItem todo : extractTodos(note.id, note.body, note.updatedAt)) {
            if (!filter.isEmpty() && !todo.text.toLower().contains(filter))
                continue;
            if (!showCompleted && todo.done)
                continue;
            todo.noteTitle = title;
            todos.append(todo);
        }
    }
    sortTodos(todos, todoOrderFromKey(m_sortCombo->currentData().toString()));

    for (const TodoItem& todo : std::as_const(todos)) {
        auto* item = new QListWidgetItem(
            todo.noteTitle.isEmpty() ? todo.text : todo.text + QStringLiteral("  — ") + todo.noteTitle);
        item->setData(NoteIdRole, todo.noteId);
        item->setData(LineIndexRole, todo.lineIndex);
        item->setData(KindRole, todo.kind);
        // Only check-list lines can be ticked here: a "- [ ]" or "TODO:" line is plain text in the
        // body, and ticking it would mean rewriting the user's words.
        // A note shared with view permission is someone else's text: its tasks show, untickable.
        Qt::ItemFlags flags = item->flags();
        if (todo.kind == TodoItem::ChecklistTodo && !readOnlyNotes.contains(todo.noteId))
            flags |= Qt::ItemIsUserCheckable;
        else
            flags &= ~Qt::ItemIsUserCheckable;
        item->setFlags(flags);
        item->setCheckState(todo.done ? Qt::Checked : Qt::Unchecked);
        if (todo.done) {
            QFont font = item->font();
            font.setStrikeOut(true);
            item->setFont(font);
            item->setForeground(kDoneColor);
        }
        m_list->addItem(item);
    }

    m_list->blockSignals(blocked);
    m_rebuilding = false;
}

void TodosScreen::onItemChanged(QListWidgetItem* item)
{
    if (m_rebuilding || !item)
        return;

    const QString noteId = item->data(NoteIdRole).toString();
    std::optional<Note> note = m_state->notes()->noteById(noteId);
    if (item->data(KindRole).toInt() != TodoItem::ChecklistTodo || (note && isReadOnlyShare(*note))) {
        const bool blocked = m_list->blockSignals(true);
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        m_list->blockSignals(blocked);
        return;
    }

    const int lineIndex = item->data(LineIndexRole).toInt();
    const bool done = item->checkState() == Qt::Checked;
    if (!note)
        return;
    // Empty when the line is gone or changed shape since the list was built; the rebuild that
    // follows the change shows the note as it is now.
    const QString body = setTodoDone(note->body, lineIndex, done);
    if (body.isEmpty() || body == note->body)
        return;

    const QDateTime now = Clock::nowUtc();
    note->body = body;
    note->updatedAt = now;
    note->modifiedAt = now;
    note->version += 1;
    note->syncStatus = SyncStatus::Pending;
    if (!m_state->notes()->update(*note))
        return;
    emit m_state->noteUpdatedExternally(noteId, this);
}
