#include "Todos.h"

#include "Clock.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <optional>
#include <vector>

namespace {

const QString kInsert = QStringLiteral("insert");
const QString kAttributes = QStringLiteral("attributes");
const QString kList = QStringLiteral("list");
const QString kChecked = QStringLiteral("checked");
const QString kUnchecked = QStringLiteral("unchecked");

struct LinePatterns
{
    QRegularExpression markdownDone{QStringLiteral("^-\\s*\\[x\\]\\s*(.+)"), QRegularExpression::CaseInsensitiveOption};
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
std::optional<Found> matchPlainLine(QStringView trimmedView)
{
    // Every expression starts with "-" or "todo": most lines are ruled out without running one.
    if (trimmedView.isEmpty())
        return std::nullopt;
    const QChar first = trimmedView.front();
    if (first != u'-' && first != u't' && first != u'T')
        return std::nullopt;
    const QString trimmed = trimmedView.toString();
    if (first == u'-') {
        const LinePatterns& p = patterns();
        QRegularExpressionMatch m = p.markdownDone.match(trimmed);
        if (m.hasMatch())
            return Found{m.captured(1).trimmed(), true, TodoItem::MarkdownTodo};
        m = p.markdownOpen.match(trimmed);
        if (m.hasMatch())
            return Found{m.captured(1).trimmed(), false, TodoItem::MarkdownTodo};
    } else {
        const QRegularExpressionMatch m = patterns().keyword.match(trimmed);
        if (m.hasMatch())
            return Found{m.captured(1).trimmed(), false, TodoItem::KeywordTodo};
    }
    return std::nullopt;
}

// The To-Dos screen extracts from every note on each change, so bodies are not built into JSON
// documents here: this scanner walks the text once, validating it exactly as the JSON reader
// would (a body the reader rejects has no tasks), and keeps only what extraction needs of each
// insert: its text, whether it is an embed, and the "list" attribute. Strings without escapes are
// not copied.
class DeltaScanner
{
public:
    struct Op
    {
        enum Kind
        {
            Text,
            Embed,
            Other, // retain, delete, or an insert of another type
        };
        Kind kind = Other;
        QStringView text;
        QStringView list; // the "list" attribute when it is a string
        bool hasList = false;
    };

    explicit DeltaScanner(QStringView json)
        : m_p(json.data())
        , m_end(json.data() + json.size())
    {
        // A byte order mark is skipped when something follows it.
        if (json.size() > 1 && json.front() == QChar(0xFEFF))
            ++m_p;
    }

    // True when the whole text is one JSON array; ops() then holds its elements.
    bool scan()
    {
        skipSpace();
        if (m_p == m_end || *m_p != u'[')
            return false;
        ++m_p;
        if (!enter())
            return false;
        skipSpace();
        if (m_p < m_end && *m_p == u']') {
            ++m_p;
        } else {
            for (;;) {
                skipSpace();
                if (m_p == m_end)
                    return false;
                if (*m_p == u'{') {
                    if (!element())
                        return false;
                } else if (!value()) {
                    return false;
                }
                skipSpace();
                if (m_p == m_end)
                    return false;
                if (*m_p == u']') {
                    ++m_p;
                    break;
                }
                if (*m_p != u',')
                    return false;
                ++m_p;
            }
        }
        --m_depth;
        skipSpace();
        return m_p == m_end;
    }

    const std::vector<Op>& ops() const { return m_ops; }

private:
    static constexpr int kNestingLimit = 1024; // the JSON reader's limit

    bool enter() { return ++m_depth <= kNestingLimit; }

    void skipSpace()
    {
        while (m_p < m_end && (*m_p == u' ' || *m_p == u'\t' || *m_p == u'\n' || *m_p == u'\r'))
            ++m_p;
    }

    static int hexValue(QChar c)
    {
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9')
            return u - u'0';
        if (u >= u'a' && u <= u'f')
            return u - u'a' + 10;
        if (u >= u'A' && u <= u'F')
            return u - u'A' + 10;
        return -1;
    }

    // At an opening quote. Escape-free strings are returned as a view into the body.
    bool string(QStringView* out)
    {
        ++m_p;
        const QChar* start = m_p;
        while (m_p < m_end && *m_p != u'"' && *m_p != u'\\')
            ++m_p;
        if (m_p == m_end)
            return false;
        if (*m_p == u'"') {
            if (out)
                *out = QStringView(start, m_p);
            ++m_p;
            return true;
        }
        // Most escaped strings of a body are line endings: no need to copy those.
        if (m_end - m_p >= 3 && m_p[1] == u'n' && m_p[2] == u'"' && m_p == start) {
            if (out)
                *out = u"\n";
            m_p += 3;
            return true;
        }
        QString decoded(start, m_p - start);
        while (m_p < m_end && *m_p != u'"') {
            if (*m_p != u'\\') {
                decoded += *m_p++;
                continue;
            }
            if (++m_p == m_end)
                return false;
            switch (m_p->unicode()) {
            case u'"':
                decoded += u'"';
                break;
            case u'\\':
                decoded += u'\\';
                break;
            case u'/':
                decoded += u'/';
                break;
            case u'b':
                decoded += u'\b';
                break;
            case u'f':
                decoded += u'\f';
                break;
            case u'n':
                decoded += u'\n';
                break;
            case u'r':
                decoded += u'\r';
                break;
            case u't':
                decoded += u'\t';
                break;
            case u'u': {
                if (m_end - m_p < 5)
                    return false;
                int code = 0;
                for (int i = 1; i <= 4; ++i) {
                    const int h = hexValue(m_p[i]);
                    if (h < 0)
                        return false;
                    code = code * 16 + h;
                }
                decoded += QChar(char16_t(code));
                m_p += 4;
                break;
            }
            default:
                // The JSON reader takes an unknown escape as the character itself, as long as that
                // is a single byte of UTF-8; anything longer it rejects.
                if (m_p->unicode() >= 0x80)
                    return false;
                decoded += *m_p;
                break;
            }
            ++m_p;
        }
        if (m_p == m_end)
            return false;
        ++m_p;
        if (out) {
            m_decoded.append(decoded);
            *out = m_decoded.constLast();
        }
        return true;
    }

    bool literal(QLatin1StringView word)
    {
        if (m_end - m_p < word.size() || QStringView(m_p, word.size()) != word)
            return false;
        m_p += word.size();
        return true;
    }

    bool number()
    {
        const QChar* start = m_p;
        auto digits = [&] {
            while (m_p < m_end && m_p->unicode() >= u'0' && m_p->unicode() <= u'9')
                ++m_p;
        };
        if (m_p < m_end && *m_p == u'-')
            ++m_p;
        if (m_p < m_end && *m_p == u'0')
            ++m_p;
        else
            digits();
        if (m_p < m_end && *m_p == u'.') {
            ++m_p;
            digits();
        }
        if (m_p < m_end && (*m_p == u'e' || *m_p == u'E')) {
            ++m_p;
            if (m_p < m_end && (*m_p == u'-' || *m_p == u'+'))
                ++m_p;
            digits();
        }
        if (m_p == m_end)
            return false;
        // Accepted exactly when the JSON reader's conversions accept it.
        const QByteArray lexeme = QStringView(start, m_p).toLatin1();
        bool ok = false;
        (void)lexeme.toLongLong(&ok);
        if (!ok)
            (void)lexeme.toDouble(&ok);
        return ok;
    }

    // Any value, validated and skipped.
    bool value()
    {
        skipSpace();
        if (m_p == m_end)
            return false;
        switch (m_p->unicode()) {
        case u'"':
            return string(nullptr);
        case u'{':
            return object([this](QStringView) { return value(); });
        case u'[': {
            ++m_p;
            if (!enter())
                return false;
            skipSpace();
            if (m_p < m_end && *m_p == u']') {
                ++m_p;
                --m_depth;
                return true;
            }
            for (;;) {
                if (!value())
                    return false;
                skipSpace();
                if (m_p == m_end)
                    return false;
                if (*m_p == u']')
                    break;
                if (*m_p != u',')
                    return false;
                ++m_p;
            }
            ++m_p;
            --m_depth;
            return true;
        }
        case u't':
            return literal(QLatin1StringView("true"));
        case u'f':
            return literal(QLatin1StringView("false"));
        case u'n':
            return literal(QLatin1StringView("null"));
        default:
            if (*m_p == u'-' || (m_p->unicode() >= u'0' && m_p->unicode() <= u'9'))
                return number();
            return false;
        }
    }

    // At "{": calls member(key) with the position at the member's value, which it must consume.
    template <typename Member> bool object(Member&& member)
    {
        ++m_p;
        if (!enter())
            return false;
        skipSpace();
        if (m_p < m_end && *m_p == u'}') {
            ++m_p;
            --m_depth;
            return true;
        }
        for (;;) {
            skipSpace();
            if (m_p == m_end || *m_p != u'"')
                return false;
            QStringView key;
            if (!string(&key))
                return false;
            skipSpace();
            if (m_p == m_end || *m_p != u':')
                return false;
            ++m_p;
            skipSpace();
            if (!member(key))
                return false;
            skipSpace();
            if (m_p == m_end)
                return false;
            if (*m_p == u'}')
                break;
            if (*m_p != u',')
                return false;
            ++m_p;
        }
        ++m_p;
        --m_depth;
        return true;
    }

    // One element of the body that is an object. A key given twice counts with its last value.
    bool element()
    {
        Op op;
        const bool ok = object([&](QStringView key) {
            if (key == u"insert") {
                if (m_p < m_end && *m_p == u'"') {
                    op.kind = Op::Text;
                    return string(&op.text);
                }
                op.kind = m_p < m_end && *m_p == u'{' ? Op::Embed : Op::Other;
                op.text = {};
                return value();
            }
            if (key == u"attributes") {
                op.hasList = false;
                op.list = {};
                if (m_p == m_end || *m_p != u'{')
                    return value();
                return object([&](QStringView attribute) {
                    if (attribute != u"list")
                        return value();
                    if (m_p < m_end && *m_p == u'"') {
                        op.hasList = true;
                        return string(&op.list);
                    }
                    op.hasList = false;
                    op.list = {};
                    return value();
                });
            }
            return value();
        });
        if (ok)
            m_ops.push_back(op);
        return ok;
    }

    const QChar* m_p;
    const QChar* m_end;
    int m_depth = 0;
    std::vector<Op> m_ops;
    QList<QString> m_decoded; // strings with escapes; the views in m_ops point into them
};

} // namespace

QString todoId(const QString& text, const QString& noteId, int lineIndex)
{
    const QByteArray digest = QCryptographicHash::hash(text.trimmed().toUtf8(), QCryptographicHash::Md5).toHex();
    return QStringLiteral("%1_%2_%3").arg(noteId, QString::number(lineIndex), QString::fromLatin1(digest.left(8)));
}

QList<TodoItem> extractTodos(const QString& noteId, const QString& body, const QDateTime& noteUpdatedAt)
{
    QList<TodoItem> items;
    DeltaScanner scanner(body);
    if (!scanner.scan())
        return items;

    const QDateTime now = Clock::nowUtc();
    QString line;
    int lineIndex = 0;
    qint64 position = 0;

    auto examine = [&](const DeltaScanner::Op& op) {
        const QStringView trimmed = QStringView(line).trimmed();
        std::optional<Found> found;
        if (op.hasList && (op.list == kChecked || op.list == kUnchecked))
            found = Found{trimmed.toString(), op.list == kChecked, TodoItem::ChecklistTodo};
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

    for (const DeltaScanner::Op& op : scanner.ops()) {
        if (op.kind == DeltaScanner::Op::Embed) {
            ++position;
            continue;
        }
        if (op.kind != DeltaScanner::Op::Text)
            continue;
        qsizetype start = 0;
        for (;;) {
            const qsizetype newline = op.text.indexOf(u'\n', start);
            if (newline < 0)
                break;
            line += op.text.mid(start, newline - start);
            position += newline - start;
            examine(op);
            line.truncate(0); // keeps the buffer for the next line
            ++lineIndex;
            ++position; // the line ending itself
            start = newline + 1;
        }
        line += op.text.mid(start);
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
