#include "Todos.h"

#include "DeltaFormat.h"

#include "Clock.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace {

const QString kInsert = QStringLiteral("insert");
const QString kAttributes = QStringLiteral("attributes");
const QString kList = QStringLiteral("list");
const QString kChecked = QStringLiteral("checked");
const QString kUnchecked = QStringLiteral("unchecked");

struct LinePatterns
{
    QRegularExpression markdownDone{QStringLiteral("^-\\s*\\[x\\]\\s*(.+)"),
                                    QRegularExpression::CaseInsensitiveOption};
    QRegularExpression markdownOpen{QStringLiteral("^-\\s*\\[\\s*\\]\\s*(.+)")};
    QRegularExpression keyword{QStringLiteral("^TODO:\\s*(.+)"), QRegularExpression::CaseInsensitiveOption};
};

const LinePatterns& patterns()
{
    static const LinePatterns p;
    return p;
}

struct Found
{
    QString text;
    bool done = false;
    int kind = TodoItem::ChecklistTodo;
};

// A line that is not a check-list item may still be written as a task in plain text.
std::optional<Found> matchPlainLine(const QString& trimmed)
{
    // Every expression starts with "-" or "todo": most lines are ruled out without running one.
    if (trimmed.isEmpty())
        return std::nullopt;
    const QChar first = trimmed.at(0);
    if (first == u'-') {
        const LinePatterns& p = patterns();
        QRegularExpressionMatch m = p.markdownDone.match(trimmed);
        if (m.hasMatch())
            return Found{m.captured(1).trimmed(), true, TodoItem::MarkdownTodo};
        m = p.markdownOpen.match(trimmed);
        if (m.hasMatch())
            return Found{m.captured(1).trimmed(), false, TodoItem::MarkdownTodo};
    } else if (first == u't' || first == u'T') {
        const QRegularExpressionMatch m = patterns().keyword.match(trimmed);
        if (m.hasMatch())
            return Found{m.captured(1).trimmed(), false, TodoItem::KeywordTodo};
    }
    return std::nullopt;
}

} // namespace

QString todoId(const QString& text, const QString& noteId, int lineIndex)
{
    const QByteArray digest = QCryptographicHash::hash(text.trimmed().toUtf8(), QCryptographicHash::Md5).toHex();
    return QStringLiteral("%1_%2_%3").arg(noteId, QString::number(lineIndex), QString::fromLatin1(digest.left(8)));
}

QList<TodoItem> extractTodos(const QString& noteId, const QString& body, const QDateTime& noteUpdatedAt)
{
    QList<TodoItem> items;
    const QList<DeltaOp> ops = parseDelta(body);
    if (ops.isEmpty())
        return items;

    const QDateTime now = Clock::nowUtc();
    QString line;
    int lineIndex = 0;
    qint64 position = 0;

    auto examine = [&](const QJsonObject& attributes) {
        const QString trimmed = line.trimmed();
        std::optional<Found> found;
        const QJsonValue list = attributes.value(kList);
        if (list == kChecked || list == kUnchecked)
            found = Found{trimmed, list == kChecked, TodoItem::ChecklistTodo};
        else
            found = matchPlainLine(trimmed);
        if (!found || found->text.isEmpty())
            return;
        TodoItem item;
        item.id = todoId(found->text, noteId, lineIndex);
        item.noteId = noteId;
        item.text = found->text;
        item.done = found->done;
        item.kind = found->kind;
        item.lineIndex = lineIndex;
        item.position = qint32(position - line.size());
        item.extractedAt = now;
        item.noteUpdatedAt = noteUpdatedAt;
        items.append(std::move(item));
    };

    for (const DeltaOp& op : ops) {
        if (op.kind == DeltaOp::InsertEmbed) {
            ++position;
            continue;
        }
        if (op.kind != DeltaOp::InsertText)
            continue;
        qsizetype start = 0;
        for (;;) {
            const qsizetype newline = op.text.indexOf(u'\n', start);
            if (newline < 0)
                break;
            line += QStringView(op.text).mid(start, newline - start);
            position += newline - start;
            examine(op.attributes);
            line.clear();
            ++lineIndex;
            ++position; // the line ending itself
            start = newline + 1;
        }
        line += QStringView(op.text).mid(start);
        position += op.text.size() - start;
    }
    return items;
}

QString setTodoDone(const QString& body, int lineIndex, bool done)
{
    if (lineIndex < 0)
        return {};
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return {};
    QJsonArray delta = doc.array();
    qint64 seen = 0;
    for (qsizetype i = 0; i < delta.size(); ++i) {
        const QJsonValue element = delta.at(i);
        if (!element.isObject())
            continue;
        QJsonObject op = element.toObject();
        const QJsonValue insert = op.value(kInsert);
        if (!insert.isString())
            continue;
        const QString text = insert.toString();
        const qsizetype newlines = text.count(u'\n');
        if (seen + newlines <= lineIndex) {
            seen += newlines;
            continue;
        }
        // The wanted line ends inside this insert. Only a line ending of its own can carry the
        // state; changing a longer insert would also restyle the text it holds.
        if (text != QLatin1String("\n"))
            return {};
        QJsonObject attributes = op.value(kAttributes).toObject();
        attributes.insert(kList, done ? kChecked : kUnchecked);
        op.insert(kAttributes, attributes);
        delta.replace(i, op);
        return QString::fromUtf8(QJsonDocument(delta).toJson(QJsonDocument::Compact));
    }
    return {};
}

TodoOrder todoOrderFromKey(const QString& key)
{
    return key == QLatin1String("alpha") ? TodoOrder::Alpha : TodoOrder::Updated;
}

bool todoLessThan(const TodoItem& a, const TodoItem& b, TodoOrder order)
{
    if (order == TodoOrder::Alpha)
        return a.text.compare(b.text, Qt::CaseInsensitive) < 0;
    return a.noteUpdatedAt > b.noteUpdatedAt;
}

void sortTodos(QList<TodoItem>& items, TodoOrder order)
{
    std::stable_sort(items.begin(), items.end(),
                     [order](const TodoItem& a, const TodoItem& b) { return todoLessThan(a, b, order); });
}
