// Feeds arbitrary bytes to the to-do extraction as a note body, and ticks every check-list task it
// finds. The extraction reads bodies with its own scanner; it must find exactly the tasks that a
// reading through the JSON library finds. A toggle must change that task's state and nothing else:
// same text, same lines, same tasks.
//
//   QT_QPA_PLATFORM=offscreen fuzz_todos CORPUS

#include "DeltaFormat.h"
#include "Todos.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QString& body)
{
    std::fprintf(stderr, "fuzz_todos: %s\n--- body\n%s\n", what, body.toUtf8().constData());
    std::abort();
}

// The tasks as the JSON library reads the body: "kind done line position text" per task.
QStringList referenceTasks(const QString& body)
{
    static const QRegularExpression done(QStringLiteral("^-\\s*\\[x\\]\\s*(.+)"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression open(QStringLiteral("^-\\s*\\[\\s*\\]\\s*(.+)"));
    static const QRegularExpression keyword(QStringLiteral("^TODO:\\s*(.+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    QStringList tasks;
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    if (body.isEmpty() || !doc.isArray())
        return tasks;
    QString line;
    int index = 0;
    qint64 position = 0;
    for (const DeltaOp& op : parseDelta(doc.array())) {
        if (op.kind == DeltaOp::InsertEmbed)
            ++position;
        if (op.kind != DeltaOp::InsertText)
            continue;
        for (const QChar c : op.text) {
            if (c != u'\n') {
                line += c;
                ++position;
                continue;
            }
            const QString trimmed = line.trimmed();
            const QString list = op.attributes.value(QStringLiteral("list")).toString();
            QString text;
            int kind = -1;
            bool isDone = false;
            QRegularExpressionMatch m;
            if (op.attributes.value(QStringLiteral("list")).isString() && (list == "checked" || list == "unchecked")) {
                kind = 0, text = trimmed, isDone = list == "checked";
            } else if ((m = done.match(trimmed)).hasMatch()) {
                kind = 1, text = m.captured(1).trimmed(), isDone = true;
            } else if ((m = open.match(trimmed)).hasMatch()) {
                kind = 1, text = m.captured(1).trimmed();
            } else if ((m = keyword.match(trimmed)).hasMatch()) {
                kind = 2, text = m.captured(1).trimmed();
            }
            if (kind >= 0 && !text.isEmpty())
                tasks << QStringLiteral("%1 %2 %3 %4 %5")
                             .arg(kind)
                             .arg(isDone)
                             .arg(index)
                             .arg(position - line.size())
                             .arg(text);
            line.clear();
            ++index;
            ++position;
        }
    }
    return tasks;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString body = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString noteId = QStringLiteral("note");
    const QList<TodoItem> items = extractTodos(noteId, body, QDateTime());

    QStringList found;
    for (const TodoItem& item : items)
        found << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(item.kind)
                     .arg(item.done)
                     .arg(item.lineIndex)
                     .arg(item.position)
                     .arg(item.text);
    const QStringList reference = referenceTasks(body);
    if (found != reference)
        fail(qPrintable(QStringLiteral("tasks differ from the JSON library's reading:\n%1\n--- reference\n%2")
                            .arg(found.join(u'\n'), reference.join(u'\n'))),
             body);

    int previousLine = -1;
    for (const TodoItem& item : items) {
        if (item.text.isEmpty() || item.text != item.text.trimmed())
            fail("task text must be trimmed and not empty", body);
        if (item.lineIndex <= previousLine)
            fail("tasks must come in body order, one per line", body);
        previousLine = item.lineIndex;
        if (item.id != todoId(item.text, noteId, item.lineIndex))
            fail("id differs from todoId", body);
    }

    for (const TodoItem& item : items) {
        if (item.kind != TodoItem::ChecklistTodo)
            continue;
        const QString toggled = setTodoDone(body, item.lineIndex, !item.done);
        if (toggled.isEmpty())
            continue; // the line ending shares its insert with text
        if (bodyPlainText(toggled) != bodyPlainText(body))
            fail("toggling changed the text", toggled);
        const QList<TodoItem> after = extractTodos(noteId, toggled, QDateTime());
        if (after.size() != items.size())
            fail("toggling changed the number of tasks", toggled);
        for (qsizetype i = 0; i < after.size(); ++i) {
            const bool target = after[i].lineIndex == item.lineIndex;
            if (after[i].text != items[i].text || after[i].lineIndex != items[i].lineIndex ||
                after[i].done != (target ? !items[i].done : items[i].done))
                fail("toggling changed another task or missed its own", toggled);
        }
    }
    (void)setTodoDone(body, int(size % 7), size % 2 == 0);
    return 0;
}
