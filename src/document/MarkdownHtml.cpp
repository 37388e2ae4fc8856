#include "MarkdownHtml.h"

#include "DeltaDocument.h"
#include "DeltaFormat.h"
#include "RichTextConversion.h"
#include "TextFormats.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMimeData>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <algorithm>
#include <array>
#include <optional>

namespace {

const QString kInsert = QStringLiteral("insert");
const QString kAttributes = QStringLiteral("attributes");
const QString kNewline = QStringLiteral("\n");

QJsonObject textInsert(const QString& text, const QJsonObject& attributes = {})
{
    QJsonObject op{{kInsert, text}};
    if (!attributes.isEmpty())
        op.insert(kAttributes, attributes);
    return op;
}

QJsonArray emptyBody()
{
    return QJsonArray{textInsert(kNewline)};
}

// ---------------------------------------------------------------------------------------------
// Removing non-content elements.
//
// The rule is the expression <(script|style|nav|header|footer|aside|iframe|noscript)[^>]*>.*?</\1>
// (case-insensitive, dot matching newlines), applied left to right. A backtracking engine needs
// quadratic time for it on text full of unclosed openings, so it is evaluated by hand: at each
// "<name" the tag ends at the first ">", and the element at the first "</name>" after it. Each
// search only moves forward, which keeps the whole pass linear.

constexpr std::array<QLatin1StringView, 8> kNonContentElements = {
    QLatin1StringView("script"), QLatin1StringView("style"), QLatin1StringView("nav"),    QLatin1StringView("header"),
    QLatin1StringView("footer"), QLatin1StringView("aside"), QLatin1StringView("iframe"), QLatin1StringView("noscript"),
};

// The first occurrence of a needle at or after a position, remembered so that later searches
// from further on do not scan the same text again.
class ForwardFinder
{
public:
    ForwardFinder(QStringView text, QString needle)
        : m_text(text)
        , m_needle(std::move(needle))
    {}

    qsizetype from(qsizetype pos)
    {
        if (m_searchedFrom >= 0 && pos >= m_searchedFrom && (m_found < 0 || m_found >= pos))
            return m_found;
        m_searchedFrom = pos;
        m_found = m_text.indexOf(m_needle, pos, Qt::CaseInsensitive);
        return m_found;
    }

private:
    QStringView m_text;
    QString m_needle;
    qsizetype m_searchedFrom = -1;
    qsizetype m_found = -1;
};

// ---------------------------------------------------------------------------------------------
// Bounding the structure of foreign HTML.
//
// The text engine's HTML reader spends time proportional to the nesting depth on every node and
// re-marks every item of a list when one is added, so 100,000 nested <div>s or a list of 100,000
// items take minutes. Tags that would nest deeper than kMaxHtmlNesting are dropped (with their
// matching end tags), keeping their text, and a list is closed and reopened every
// kMaxListItemsPerList items; Delta has no notion of list identity, so nothing visible changes.

bool endsTagName(QChar c)
{
    return c.isSpace() || c == u'>' || c == u'<' || c == u'/' || c == u'=';
}

// Elements the HTML reader never gives children.
bool isChildless(QStringView name)
{
    return name == u"br" || name == u"img" || name == u"hr" || name == u"meta";
}

// Void elements that the HTML reader would nevertheless nest under (it has no content for them):
// they carry nothing a note can show, so they are left out instead of deepening the tree.
bool isDroppedVoid(QStringView name)
{
    static const QSet<QString> names = {
        QStringLiteral("area"),   QStringLiteral("base"),   QStringLiteral("col"),  QStringLiteral("embed"),
        QStringLiteral("input"),  QStringLiteral("keygen"), QStringLiteral("link"), QStringLiteral("param"),
        QStringLiteral("source"), QStringLiteral("track"),  QStringLiteral("wbr"),  QStringLiteral("basefont"),
    };
    return names.contains(name.toString());
}

bool isList(QStringView name)
{
    return name == u"ul" || name == u"ol";
}

// Elements that end an open sibling of the same kind, as HTML writers rely on ("<li>a<li>b").
bool closesSibling(QStringView name, QStringView open)
{
    if (name == u"li" || name == u"p" || name == u"option")
        return open == name;
    if (name == u"dt" || name == u"dd")
        return open == u"dt" || open == u"dd";
    if (name == u"td" || name == u"th")
        return open == u"td" || open == u"th";
    if (name == u"tr")
        return open == u"tr" || open == u"td" || open == u"th";
    return false;
}

struct OpenElement
{
    QString name;
    QString tag; // the start tag as written, for reopening a split list
    int items = 0;
};

// The end of a tag that starts at from (just after the name): the first ">" outside a quoted
// attribute value, or -1.
qsizetype tagEnd(QStringView html, qsizetype from)
{
    const qsizetype n = html.size();
    QChar previous = u' ';
    for (qsizetype i = from; i < n; ++i) {
        const QChar c = html[i];
        if (c == u'>')
            return i;
        if ((c == u'"' || c == u'\'') && (previous == u'=' || previous.isSpace())) {
            const qsizetype close = html.indexOf(c, i + 1);
            if (close < 0)
                return -1;
            i = close;
            previous = c;
            continue;
        }
        if (!c.isSpace() || previous != u'=')
            previous = c;
    }
    return -1;
}

// Keeps the nesting of start tags within kMaxHtmlNesting: a start tag that would go deeper is
// left out, and so is the end tag that closes it. Its text stays.
class NestingBounder
{
public:
    enum Mode
    {
        Html,     // whole documents: also splits long lists and leaves out content-less void tags
        Markdown, // raw HTML inside Markdown: tags only ever left out beyond the limit
    };

    explicit NestingBounder(Mode mode)
        : m_mode(mode)
    {}

    void tag(const QString& name, bool closing, QStringView tag, QString& out)
    {
        if (closing) {
            auto d = m_dropped.find(name);
            if (d != m_dropped.end() && d.value() > 0) {
                --d.value();
                return;
            }
            for (qsizetype k = m_open.size() - 1; k >= 0; --k) {
                if (m_open[k].name == name) {
                    m_open.resize(k);
                    break;
                }
            }
            out += tag;
            return;
        }
        if (m_mode == Html && isDroppedVoid(name))
            return;
        const bool selfClosed = tag.size() >= 2 && tag[tag.size() - 2] == u'/';
        if (isChildless(name) || selfClosed) {
            out += tag;
            return;
        }
        while (!m_open.isEmpty() && closesSibling(name, m_open.last().name))
            m_open.removeLast();
        if (m_mode == Html && name == u"li" && !m_open.isEmpty() && isList(m_open.last().name)) {
            OpenElement& list = m_open.last();
            if (++list.items > kMaxListItemsPerList) {
                out += QStringLiteral("</%1>").arg(list.name);
                out += list.tag;
                list.items = 1;
            }
        }
        if (m_open.size() >= kMaxHtmlNesting) {
            ++m_dropped[name];
            return;
        }
        m_open.append(OpenElement{name, isList(name) ? tag.toString() : QString(), 0});
        out += tag;
    }

private:
    Mode m_mode;
    QList<OpenElement> m_open;
    QHash<QString, int> m_dropped;
};

// Markdown puts containers (quotes, list items) in front of a line; each one nests a level.
// Beyond kMaxMarkdownContainers the markers are left out, the line's text stays.
QString collapseContainers(QStringView line)
{
    qsizetype pos = 0;
    qsizetype keepUntil = -1;
    int count = 0;
    const qsizetype n = line.size();
    for (;;) {
        qsizetype i = pos;
        while (i < n && line[i] == u' ')
            ++i;
        if (i < n && line[i] == u'>') {
            ++i;
        } else if (i + 1 < n && (line[i] == u'-' || line[i] == u'*' || line[i] == u'+') &&
                   (line[i + 1] == u' ' || line[i + 1] == u'\t')) {
            i += 2;
        } else {
            qsizetype d = i;
            while (d < n && d - i < 9 && line[d].isDigit())
                ++d;
            if (d == i || d + 1 >= n || (line[d] != u'.' && line[d] != u')') || line[d + 1] != u' ')
                break;
            i = d + 2;
        }
        pos = i;
        if (++count == kMaxMarkdownContainers)
            keepUntil = pos;
    }
    if (count <= kMaxMarkdownContainers)
        return line.toString();
    return line.left(keepUntil).toString() + line.mid(pos).toString();
}

// The next run of exactly length backticks at or after from within the line, or -1.
qsizetype findBacktickRun(QStringView line, qsizetype from, qsizetype length)
{
    qsizetype i = line.indexOf(u'`', from);
    while (i >= 0) {
        qsizetype end = i;
        while (end < line.size() && line[end] == u'`')
            ++end;
        if (end - i == length)
            return i;
        i = line.indexOf(u'`', end);
    }
    return -1;
}

// Bounds the raw HTML of one Markdown line, leaving code spans alone.
QString boundMarkdownLine(const QString& line, NestingBounder& bounder)
{
    const QStringView text(line);
    const qsizetype n = text.size();
    QString out;
    out.reserve(n);
    QHash<qsizetype, qsizetype> noCloserFrom; // backtick run length -> no closing run after this
    qsizetype pos = 0;
    while (pos < n) {
        qsizetype special = pos;
        while (special < n && text[special] != u'<' && text[special] != u'`')
            ++special;
        out += text.mid(pos, special - pos);
        pos = special;
        if (pos >= n)
            break;

        if (text[pos] == u'`') {
            qsizetype runEnd = pos;
            while (runEnd < n && text[runEnd] == u'`')
                ++runEnd;
            const qsizetype length = runEnd - pos;
            qsizetype closer = -1;
            const auto known = noCloserFrom.constFind(length);
            if (known == noCloserFrom.constEnd() || runEnd < known.value()) {
                closer = findBacktickRun(text, runEnd, length);
                if (closer < 0)
                    noCloserFrom.insert(length, runEnd);
            }
            const qsizetype after = closer >= 0 ? closer + length : runEnd;
            out += text.mid(pos, after - pos);
            pos = after;
            continue;
        }

        // "<" of a tag: a letter (or "/" and a letter) right after it, the name ended by space,
        // "/" or ">"; an escaped "<" and autolinks such as <https://...> are text.
        const bool escaped = pos > 0 && text[pos - 1] == u'\\';
        if (!escaped && text.mid(pos).startsWith(u"<!--")) {
            const qsizetype close = text.indexOf(u"-->", pos + 4);
            const qsizetype after = close < 0 ? n : close + 3;
            out += text.mid(pos, after - pos);
            pos = after;
            continue;
        }
        qsizetype i = pos + 1;
        const bool closing = i < n && text[i] == u'/';
        if (closing)
            ++i;
        const qsizetype nameStart = i;
        while (i < n && (text[i].isLetterOrNumber() || text[i] == u'-') && text[i].unicode() < 128)
            ++i;
        const bool named = !escaped && i > nameStart && text[nameStart].isLetter();
        const bool ended = i < n && (text[i].isSpace() || text[i] == u'>' || text[i] == u'/');
        const qsizetype end = named && ended ? tagEnd(text, i) : -1;
        if (end < 0) {
            out += u'<';
            ++pos;
            continue;
        }
        bounder.tag(text.mid(nameStart, i - nameStart).toString().toLower(), closing, text.mid(pos, end + 1 - pos),
                    out);
        pos = end + 1;
    }
    return out;
}

// A long line of raw HTML reaches the Markdown reader as one piece, and the reader rescans the
// whole piece for every tag in it. Line breaks between tags every kHtmlLinePiece characters keep
// the pieces short; inside an HTML block a line break is only white space.
QString splitHtmlLine(const QString& line)
{
    QString out;
    out.reserve(line.size() + line.size() / kHtmlLinePiece + 1);
    qsizetype since = 0;
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
        out += line[i];
        if (++since < kHtmlLinePiece || line[i] != u'>')
            continue;
        qsizetype next = i + 1;
        while (next < n && (line[next] == u' ' || line[next] == u'\t'))
            ++next;
        if (next < n && line[next] == u'<') {
            out += u'\n';
            since = 0;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// HTML document to Delta.

QJsonObject fragmentAttributes(const QTextCharFormat& format)
{
    QJsonObject attributes;
    if (format.fontWeight() >= 700)
        attributes.insert(QStringLiteral("bold"), true);
    if (format.fontItalic())
        attributes.insert(QStringLiteral("italic"), true);
    if (format.fontUnderline() && !format.isAnchor())
        attributes.insert(QStringLiteral("underline"), true);
    if (format.fontStrikeOut())
        attributes.insert(QStringLiteral("strike"), true);
    // The HTML reader marks <code>, <tt> and <pre> with the "monospace" family only; fixed pitch
    // alone would never see them.
    if (format.fontFixedPitch() ||
        format.fontFamilies().toStringList().contains(QStringLiteral("monospace"), Qt::CaseInsensitive))
        attributes.insert(QStringLiteral("code"), true);
    if (format.isAnchor() && !format.anchorHref().isEmpty())
        attributes.insert(QStringLiteral("link"), format.anchorHref());
    return attributes;
}

QJsonObject blockLineAttributes(const QTextBlock& block)
{
    QJsonObject attributes;
    const int level = block.blockFormat().headingLevel();
    if (level >= 1 && level <= 6)
        attributes.insert(QStringLiteral("header"), level);
    if (const QTextList* list = block.textList()) {
        switch (list->format().style()) {
        case QTextListFormat::ListDecimal:
        case QTextListFormat::ListLowerAlpha:
        case QTextListFormat::ListUpperAlpha:
        case QTextListFormat::ListLowerRoman:
        case QTextListFormat::ListUpperRoman:
            attributes.insert(QStringLiteral("list"), QStringLiteral("ordered"));
            break;
        case QTextListFormat::ListDisc:
        case QTextListFormat::ListCircle:
        case QTextListFormat::ListSquare:
            attributes.insert(QStringLiteral("list"), QStringLiteral("bullet"));
            break;
        default:
            break;
        }
    }
    return attributes;
}

// The outermost table around a block: a table inside a table cell is part of the outer table's
// cell content, so only the outer one becomes an embed.
QTextTable* outermostTable(const QTextDocument& document, const QTextBlock& block)
{
    QTextTable* outermost = nullptr;
    for (QTextFrame* frame = document.frameAt(block.position()); frame; frame = frame->parentFrame()) {
        if (auto* table = qobject_cast<QTextTable*>(frame))
            outermost = table;
    }
    return outermost;
}

QJsonArray documentToImportedDelta(const QTextDocument& document)
{
    QJsonArray out;
    QSet<const QTextTable*> written;
    const QString imagePrefix = QLatin1String(kAttachmentUrlPrefix);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (const QTextTable* table = outermostTable(document, block)) {
            if (!written.contains(table)) {
                written.insert(table);
                tableToDelta(table, out);
            }
            continue;
        }
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat()) {
                const QString name = format.toImageFormat().name();
                // Equal neighbouring images share one fragment: one embed per object character.
                const qsizetype count =
                    std::max<qsizetype>(1, fragment.text().count(QChar::ObjectReplacementCharacter));
                for (qsizetype i = 0; i < count; ++i) {
                    if (name.startsWith(imagePrefix))
                        out.append(QJsonObject{{kInsert, QJsonObject{{QLatin1String(kAttachmentEmbedKey), name}}}});
                    else if (!name.isEmpty())
                        out.append(QJsonObject{{kInsert, QJsonObject{{QLatin1String(kImageEmbedKey), name}}}});
                }
                continue;
            }
            QString text = fragment.text();
            text.remove(QChar::ObjectReplacementCharacter);
            // The HTML reader keeps <br> as a line separator inside the block; in a note it is a
            // line of its own, with the block's line attributes, so titles and tasks end there.
            const QStringList parts = text.split(QChar::LineSeparator);
            for (qsizetype i = 0; i < parts.size(); ++i) {
                if (i > 0)
                    out.append(textInsert(kNewline, blockLineAttributes(block)));
                if (!parts.at(i).isEmpty())
                    out.append(textInsert(parts.at(i), fragmentAttributes(format)));
            }
        }
        out.append(textInsert(kNewline, blockLineAttributes(block)));
    }
    return out.isEmpty() ? emptyBody() : out;
}

// ---------------------------------------------------------------------------------------------
// Sniffing.

struct SniffPatterns
{
    QRegularExpression htmlDocument{QStringLiteral("^<(!doctype\\s+html|html\\b|body\\b|head\\b)"),
                                    QRegularExpression::CaseInsensitiveOption};
    QRegularExpression htmlElement{
        QStringLiteral("<(p|div|span|h[1-6]|ul|ol|li|a|strong|em|b|i|table|tr|td|th|br|hr|img|pre|code|blockquote|"
                       "article|section|main|nav|header|footer|aside|figure|figcaption|dl|dt|dd)\\b"),
        QRegularExpression::CaseInsensitiveOption};
    QList<QRegularExpression> markdown;

    SniffPatterns()
    {
        const QStringList lineRules = {
            QStringLiteral("^\\s{0,3}#{1,6}\\s+\\S"),  // heading
            QStringLiteral("^\\s{0,3}[-*+]\\s+\\S"),   // bullet
            QStringLiteral("^\\s{0,3}\\d+\\.\\s+\\S"), // numbered item
            QStringLiteral("^\\s{0,3}>\\s+\\S"),       // quote
            QStringLiteral("^\\s{0,3}```"),            // fence
            QStringLiteral("^\\s*\\|.*\\|\\s*$"),      // table row
            QStringLiteral("^\\s*[-=]{3,}\\s*$"),      // rule or setext underline
        };
        for (const QString& rule : lineRules)
            markdown.append(QRegularExpression(rule, QRegularExpression::MultilineOption));
        markdown.append(QRegularExpression(QStringLiteral("\\[[^\\]]+\\]\\([^)]+\\)"))); // link
    }
};

const SniffPatterns& sniffPatterns()
{
    static const SniffPatterns patterns;
    return patterns;
}

} // namespace

// -------------------------------------------------------------------------------------------------

QString stripNonContentHtml(const QString& html)
{
    const QStringView text(html);
    const qsizetype n = text.size();
    std::array<std::optional<ForwardFinder>, kNonContentElements.size()> closers;
    std::optional<ForwardFinder> gt;

    QString out;
    qsizetype copied = 0; // start of the text not yet copied
    qsizetype pos = text.indexOf(u'<');
    while (pos >= 0 && pos < n) {
        qsizetype matchEnd = -1;
        for (std::size_t k = 0; k < kNonContentElements.size(); ++k) {
            const QLatin1StringView name = kNonContentElements[k];
            if (!text.mid(pos + 1).startsWith(name, Qt::CaseInsensitive))
                continue;
            if (!gt)
                gt.emplace(text, QStringLiteral(">"));
            const qsizetype tagClose = gt->from(pos + 1 + name.size());
            if (tagClose < 0)
                break;
            if (!closers[k])
                closers[k].emplace(text, QStringLiteral("</%1>").arg(name));
            const qsizetype endTag = closers[k]->from(tagClose + 1);
            if (endTag >= 0)
                matchEnd = endTag + name.size() + 3;
            break; // the names share no prefix: at most one can match here
        }
        if (matchEnd < 0) {
            pos = text.indexOf(u'<', pos + 1);
            continue;
        }
        out += text.mid(copied, pos - copied);
        copied = matchEnd;
        pos = text.indexOf(u'<', matchEnd);
    }
    if (copied == 0)
        return html;
    out += text.mid(copied);
    return out;
}

QString boundHtmlStructure(const QString& html)
{
    const QStringView text(html);
    const qsizetype n = text.size();
    QString out;
    out.reserve(n);
    NestingBounder bounder(NestingBounder::Html);

    qsizetype pos = 0;
    while (pos < n) {
        const qsizetype lt = text.indexOf(u'<', pos);
        if (lt < 0) {
            out += text.mid(pos);
            break;
        }
        out += text.mid(pos, lt - pos);

        qsizetype i = lt + 1;
        while (i < n && text[i].isSpace())
            ++i;
        if (i >= n) {
            out += text.mid(lt);
            break;
        }
        // Comments and declarations do not nest.
        if (text[i] == u'!') {
            const bool comment = text.mid(i).startsWith(u"!--");
            const qsizetype end = comment ? text.indexOf(u"-->", i + 3) : text.indexOf(u'>', i);
            if (end < 0) {
                out += text.mid(lt);
                break;
            }
            const qsizetype after = end + (comment ? 3 : 1);
            out += text.mid(lt, after - lt);
            pos = after;
            continue;
        }
        const bool closing = text[i] == u'/';
        if (closing)
            ++i;
        const qsizetype nameStart = i;
        while (i < n && !endsTagName(text[i]))
            ++i;
        if (i == nameStart) {
            // A tag without a name; the reader gives it no depth either.
            out += u'<';
            pos = lt + 1;
            continue;
        }
        const qsizetype end = tagEnd(text, i);
        if (end < 0) {
            out += text.mid(lt);
            break;
        }
        bounder.tag(text.mid(nameStart, i - nameStart).toString().toLower(), closing, text.mid(lt, end + 1 - lt), out);
        pos = end + 1;
    }
    return out;
}

QString boundMarkdownStructure(const QString& markdown)
{
    QString out;
    out.reserve(markdown.size());
    NestingBounder bounder(NestingBounder::Markdown);
    QChar fenceChar;
    qsizetype fenceLength = 0; // 0: not inside a fenced code block

    const QStringView text(markdown);
    qsizetype lineStart = 0;
    while (lineStart <= text.size()) {
        qsizetype lineEnd = text.indexOf(u'\n', lineStart);
        const bool last = lineEnd < 0;
        if (last)
            lineEnd = text.size();
        const QStringView line = text.mid(lineStart, lineEnd - lineStart);

        qsizetype indent = 0;
        while (indent < line.size() && line[indent] == u' ')
            ++indent;
        const bool indentedCode = indent >= 4 || (indent < line.size() && line[indent] == u'\t');
        const QStringView rest = line.mid(indent);
        qsizetype run = 0;
        if (!indentedCode && !rest.isEmpty() && (rest[0] == u'`' || rest[0] == u'~')) {
            while (run < rest.size() && rest[run] == rest[0])
                ++run;
            if (run < 3)
                run = 0;
        }

        if (fenceLength > 0) {
            // Code is copied untouched; only a matching fence ends it.
            if (run >= fenceLength && rest[0] == fenceChar && rest.mid(run).trimmed().isEmpty())
                fenceLength = 0;
            out += line;
        } else if (run > 0) {
            fenceChar = rest[0];
            fenceLength = run;
            out += line;
        } else if (indentedCode) {
            out += line;
        } else {
            QString bounded = boundMarkdownLine(collapseContainers(line), bounder);
            if (bounded.size() > kLongHtmlLine && bounded.trimmed().startsWith(u'<'))
                bounded = splitHtmlLine(bounded);
            out += bounded;
        }
        if (last)
            break;
        out += u'\n';
        lineStart = lineEnd + 1;
    }
    return out;
}

InertTextDocument::InertTextDocument(QObject* parent)
    : QTextDocument(parent)
{
    setUndoRedoEnabled(false);
}

QVariant InertTextDocument::loadResource(int type, const QUrl& name)
{
    Q_UNUSED(type);
    Q_UNUSED(name);
    return {};
}

void loadForeignHtml(QTextDocument* document, const QString& html)
{
    // Inside an edit block the text engine skips laying out the line at every insertion, which
    // otherwise makes long paragraphs quadratic; the resulting document is the same.
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    document->setHtml(boundHtmlStructure(html));
    cursor.endEditBlock();
}

QJsonArray htmlToDelta(const QString& html)
{
    if (html.trimmed().isEmpty())
        return emptyBody();
    InertTextDocument document;
    loadForeignHtml(&document, stripNonContentHtml(html));
    return documentToImportedDelta(document);
}

QJsonArray markdownToDelta(const QString& markdown)
{
    if (markdown.trimmed().isEmpty())
        return emptyBody();
    QString html;
    {
        InertTextDocument document;
        QTextCursor cursor(&document);
        cursor.beginEditBlock(); // see loadForeignHtml
        document.setMarkdown(boundMarkdownStructure(markdown), QTextDocument::MarkdownDialectGitHub);
        cursor.endEditBlock();
        html = document.toHtml();
    }
    return htmlToDelta(html);
}

QString simpleMarkdownToDelta(const QString& markdown)
{
    static const QRegularExpression ordered(QStringLiteral("^\\s*(\\d+)\\.\\s+(.*)$"));
    struct Prefix
    {
        QLatin1StringView text;
        const char* key;
        QJsonValue value;
    };
    static const std::array<Prefix, 9> prefixes = {{
        {QLatin1StringView("### "), "header", 3},
        {QLatin1StringView("## "), "header", 2},
        {QLatin1StringView("# "), "header", 1},
        {QLatin1StringView("- [ ] "), "list", QStringLiteral("unchecked")},
        {QLatin1StringView("- [x] "), "list", QStringLiteral("checked")},
        {QLatin1StringView("- [X] "), "list", QStringLiteral("checked")},
        {QLatin1StringView("- "), "list", QStringLiteral("bullet")},
        {QLatin1StringView("* "), "list", QStringLiteral("bullet")},
        {QLatin1StringView("> "), "blockquote", true},
    }};

    QStringList lines = markdown.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    QJsonArray out;
    for (const QString& line : std::as_const(lines)) {
        QJsonObject lineAttributes;
        QString text = line;
        bool classified = false;
        for (const Prefix& prefix : prefixes) {
            if (line.startsWith(prefix.text)) {
                lineAttributes.insert(QLatin1String(prefix.key), prefix.value);
                text = line.mid(prefix.text.size());
                classified = true;
                break;
            }
        }
        if (!classified) {
            const QRegularExpressionMatch m = ordered.match(line);
            if (m.hasMatch()) {
                lineAttributes.insert(QStringLiteral("list"), QStringLiteral("ordered"));
                text = m.captured(2);
            }
        }

        bool bold = false;
        bool italic = false;
        QString gathered;
        auto flush = [&] {
            if (gathered.isEmpty())
                return;
            QJsonObject attributes;
            if (bold)
                attributes.insert(QStringLiteral("bold"), true);
            if (italic)
                attributes.insert(QStringLiteral("italic"), true);
            out.append(textInsert(gathered, attributes));
            gathered.clear();
        };
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] != u'*') {
                gathered += text[i];
                continue;
            }
            flush();
            if (i + 1 < text.size() && text[i + 1] == u'*') {
                bold = !bold;
                ++i;
            } else {
                italic = !italic;
            }
        }
        flush();
        out.append(textInsert(kNewline, lineAttributes));
    }
    return QString::fromUtf8(QJsonDocument(out).toJson(QJsonDocument::Compact));
}

bool looksLikeHtml(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || !trimmed.startsWith(u'<'))
        return false;
    const SniffPatterns& p = sniffPatterns();
    return p.htmlDocument.match(trimmed).hasMatch() || p.htmlElement.match(trimmed).hasMatch();
}

bool looksLikeMarkdown(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QRegularExpression& rule : sniffPatterns().markdown) {
        if (rule.match(text).hasMatch())
            return true;
    }
    return false;
}

PasteDecision decidePaste(const QMimeData& data)
{
    static const QString markdownType = QStringLiteral("text/markdown");
    if (data.hasFormat(markdownType))
        return {PasteDecision::FromMarkdown, QString::fromUtf8(data.data(markdownType))};
    if (data.hasHtml())
        return {PasteDecision::FromHtml, data.html()};
    if (data.hasText()) {
        const QString text = data.text();
        if (looksLikeHtml(text))
            return {PasteDecision::FromHtml, text};
        if (looksLikeMarkdown(text))
            return {PasteDecision::FromMarkdown, text};
    }
    return {};
}

QJsonArray pasteToDelta(const PasteDecision& decision)
{
    switch (decision.route) {
    case PasteDecision::FromMarkdown:
        return markdownToDelta(decision.source);
    case PasteDecision::FromHtml:
        return htmlToDelta(decision.source);
    case PasteDecision::DefaultInsert:
        break;
    }
    return {};
}

void insertDelta(QTextCursor& cursor, const QJsonArray& delta)
{
    if (delta.isEmpty() || !cursor.document())
        return;
    DeltaDocument converted;
    QTextDocument* source = converted.textDocument();
    source->setDefaultFont(cursor.document()->defaultFont());
    converted.loadDelta(delta);

    QTextCursor all(source);
    all.select(QTextCursor::Document);
    // Trailing empty lines are not pasted.
    while (all.position() > all.anchor() && source->characterAt(all.position() - 1) == QChar::ParagraphSeparator)
        all.setPosition(all.position() - 1, QTextCursor::KeepAnchor);

    const QTextDocumentFragment fragment(all);
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    // Pasted at the start of a line, the first pasted line is a line of its own and keeps its kind
    // (a heading stays a heading). The fragment only carries that kind along at the very start of
    // the document, so it is set here; after text, the line joins the one it lands in.
    const bool ownLine = cursor.atBlockStart() && !cursor.currentTable() &&
                         !source->firstBlock().blockFormat().boolProperty(TextFormats::TableSpacerProperty);
    const int start = cursor.position();
    cursor.insertFragment(fragment);
    if (ownLine) {
        QTextBlockFormat format = source->firstBlock().blockFormat();
        const QString listType = blockFormatToLineAttributes(format).value(QStringLiteral("list")).toString();
        format.setObjectIndex(-1);
        const QTextBlock line = cursor.document()->findBlock(start);
        if (QTextList* list = line.textList())
            list->remove(line);
        QTextCursor lineCursor(line);
        lineCursor.setBlockFormat(format);
        applyList(lineCursor, listType);
    }
    cursor.endEditBlock();
}
