// Feeds arbitrary bytes to the to-do extraction as a note body, and ticks every check-list task it
// finds. A toggle must change that task's state and nothing else: same text, same lines, same tasks.
//
//   QT_QPA_PLATFORM=offscreen fuzz_todos CORPUS

#include "DeltaFormat.h"
#include "Todos.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QString& body)
{
    std::fprintf(stderr, "fuzz_todos: %s\n--- body\n%s\n", what, body.toUtf8().constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString body = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString noteId = QStringLiteral("note");
    const QList<TodoItem> items = extractTodos(noteId, body, QDateTime());

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
            if (after[i].text != items[i].text || after[i].lineIndex != items[i].lineIndex
                || after[i].done != (target ? !items[i].done : items[i].done))
                fail("toggling changed another task or missed its own", toggled);
        }
    }
    (void)setTodoDone(body, int(size % 7), size % 2 == 0);
    return 0;
}
