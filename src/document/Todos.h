#pragma once

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>

// Tasks found inside note bodies: check-list lines, Markdown-style "- [ ]" lines and "TODO:" lines.

struct TodoItem
{
    enum Kind
    {
        ChecklistTodo = 0,
        MarkdownTodo = 1,
        KeywordTodo = 2,
    };

    QString id; // "<note id>_<line index>_<first 8 hex digits of md5(text)>"
    QString noteId;
    QString text; // trimmed
    bool done = false;
    qint32 kind = ChecklistTodo;
    qint32 lineIndex = 0; // counts every "\n" of the body from 0
    qint32 position = 0;  // running character count (embeds count one) minus the line's text length
    QString noteTitle;    // filled in by the screen that shows the task
    QDateTime extractedAt;
    QDateTime noteUpdatedAt;
};

// The tasks of one body, in body order. A body that is not a Delta array has none. Text after
// the last line ending is never a task: a task needs its line to be finished.
QList<TodoItem> extractTodos(const QString& noteId, const QString& body, const QDateTime& noteUpdatedAt);

// Stable for the same text on the same line of the same note.
QString todoId(const QString& text, const QString& noteId, int lineIndex);

// Sets the check-list state of the line ending with index lineIndex and returns the new body as
// compact JSON. Empty when the body is not an array, the line does not exist, or its line ending
// shares an insert with text (changing that would move the attributes of the text too).
QString setTodoDone(const QString& body, int lineIndex, bool done);

enum class TodoOrder
{
    Updated, // note update time, newest first
    Alpha,   // task text, case-insensitive ascending
};

// "alpha" gives Alpha; any other key gives Updated.
TodoOrder todoOrderFromKey(const QString& key);
// True when a sorts before b.
bool todoLessThan(const TodoItem& a, const TodoItem& b, TodoOrder order);
// Stable, so tasks with equal keys keep body order.
void sortTodos(QList<TodoItem>& items, TodoOrder order);

Q_DECLARE_METATYPE(TodoItem)
