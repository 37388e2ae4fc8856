#include "RichTextConversion.h"

#include "FontScale.h"
#include "TextFormats.h"

#include <QGuiApplication>
#include <QHash>
#include <QJsonDocument>
#include <QPalette>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <utility>

using namespace TextFormats;

namespace {

constexpr QChar kObjectChar = QChar::ObjectReplacementCharacter;

const QString kInsertKey = QStringLiteral("insert");
const QString kAttributesKey = QStringLiteral("attributes");
const QString kHeader = QStringLiteral("header");
const QString kList = QStringLiteral("list");
const QString kCodeBlock = QStringLiteral("code-block");
const QString kBlockquote = QStringLiteral("blockquote");
const QString kAlign = QStringLiteral("align");
const QString kBold = QStringLiteral("bold");
const QString kItalic = QStringLiteral("italic");
const QString kUnderline = QStringLiteral("underline");
const QString kStrike = QStringLiteral("strike");
const QString kCode = QStringLiteral("code");
const QString kLink = QStringLiteral("link");
const QString kCells = QStringLiteral("cells");
const QString kHasHeader = QStringLiteral("hasHeader");
const QString kChecked = QStringLiteral("checked");
const QString kUnchecked = QStringLiteral("unchecked");
const QString kOrdered = QStringLiteral("ordered");
const QString kNewline = QStringLiteral("\n");

bool isCharKey(const QString& key)
{
    return key == kBold || key == kItalic || key == kUnderline || key == kStrike || key == kCode || key == kLink;
}

bool isLineKey(const QString& key)
{
    return key == kHeader || key == kList || key == kCodeBlock || key == kBlockquote;
}

int headingLevelOf(const QTextBlockFormat& format)
{
    const int level = format.intProperty(HeadingLevelProperty);
    return level >= 1 && level <= 6 ? level : 0;
}

bool isOurObjectType(int type)
{
    return type == AttachmentObjectType || type == DividerObjectType || type == TableObjectType;
}

bool hasMonospaceFamily(const QTextCharFormat& format)
{
    const QString monospace = QStringLiteral("monospace");
    if (format.stringProperty(QTextFormat::FontFamily).contains(monospace, Qt::CaseInsensitive))
        return true;
    const QStringList families = format.property(QTextFormat::FontFamilies).toStringList();
    for (const QString& family : families) {
        if (family.contains(monospace, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// Line breaks of other conventions end lines too; the frame markers are Qt's own and must never
// reach the document as text.
QString normalizedText(const QString& text)
{
    bool clean = true;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u == u'\r' || u == 0x2028 || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1) {
            clean = false;
            break;
        }
    }
    if (clean)
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (u == u'\r') {
            out += QLatin1Char('\n');
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else if (u == 0x2028 || u == 0x2029) {
            out += QLatin1Char('\n');
        } else if (u != 0xFDD0 && u != 0xFDD1) {
            out += text.at(i);
        }
    }
    return out;
}

QString withoutObjectChars(const QString& text)
{
    if (!text.contains(kObjectChar))
        return text;
    QString out = text;
    out.remove(kObjectChar);
    return out;
}

// The string an embed value is kept as on its object character.
QString embedValueString(const QString& key, const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    if (key == QLatin1String(kDividerEmbedKey))
        return QStringLiteral("hr");
    return {};
}

int embedObjectType(const QString& key, const QString& value)
{
    if (key == QLatin1String(kAttachmentEmbedKey))
        return AttachmentObjectType;
    if (key == QLatin1String(kImageEmbedKey) && value.startsWith(QLatin1String(kAttachmentUrlPrefix)))
        return AttachmentObjectType;
    if (key == QLatin1String(kDividerEmbedKey))
        return DividerObjectType;
    if (key == QLatin1String(kTableEmbedKey))
        return TableObjectType;
    return QTextFormat::NoObject;
}

QJsonObject textOp(const QString& text, const QJsonObject& attributes)
{
    QJsonObject op;
    if (!attributes.isEmpty())
        op.insert(kAttributesKey, attributes);
    op.insert(kInsertKey, text);
    return op;
}

QByteArray compactJson(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Appends a JSON string exactly as QJsonDocument writes one: UTF-8, escaping only the quote, the
// backslash and control characters, and writing unpaired surrogates as \u escapes.
void appendJsonString(QByteArray& out, QStringView text)
{
    static constexpr char hex[] = "0123456789abcdef";
    // At most six bytes per UTF-16 unit (an escape), plus the quotes.
    const qsizetype start = out.size();
    out.resize(start + text.size() * 6 + 2);
    char* d = out.data() + start;
    const auto escape = [&d](char16_t u) {
        *d++ = '\\';
        *d++ = 'u';
        for (int shift = 12; shift >= 0; shift -= 4)
            *d++ = hex[(u >> shift) & 0xF];
    };
    *d++ = '"';
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    while (p != end) {
        const char16_t u = *p++;
        if (u < 0x80) {
            if (u >= 0x20 && u != u'"' && u != u'\\') {
                *d++ = char(u);
                continue;
            }
            switch (u) {
            case u'"':
                *d++ = '\\';
                *d++ = '"';
                break;
            case u'\\':
                *d++ = '\\';
                *d++ = '\\';
                break;
            case u'\b':
                *d++ = '\\';
                *d++ = 'b';
                break;
            case u'\f':
                *d++ = '\\';
                *d++ = 'f';
                break;
            case u'\n':
                *d++ = '\\';
                *d++ = 'n';
                break;
            case u'\r':
                *d++ = '\\';
                *d++ = 'r';
                break;
            case u'\t':
                *d++ = '\\';
                *d++ = 't';
                break;
            default:
                escape(u);
            }
        } else if (u < 0x800) {
            *d++ = char(0xC0 | (u >> 6));
            *d++ = char(0x80 | (u & 0x3F));
        } else if (!QChar::isSurrogate(u)) {
            *d++ = char(0xE0 | (u >> 12));
            *d++ = char(0x80 | ((u >> 6) & 0x3F));
            *d++ = char(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u) && p != end && QChar::isLowSurrogate(*p)) {
            const char32_t ucs4 = QChar::surrogateToUcs4(u, *p++);
            *d++ = char(0xF0 | (ucs4 >> 18));
            *d++ = char(0x80 | ((ucs4 >> 12) & 0x3F));
            *d++ = char(0x80 | ((ucs4 >> 6) & 0x3F));
            *d++ = char(0x80 | (ucs4 & 0x3F));
        } else {
            escape(u);
        }
    }
    *d++ = '"';
    out.resize(d - out.constData());
}

// Calls fn for every block of a frame in document order, descending into child frames.
template <typename Fn> void forEachBlock(QTextFrame::iterator it, Fn&& fn)
{
    for (; !it.atEnd(); ++it) {
        if (QTextFrame* child = it.currentFrame())
            forEachBlock(child->begin(), fn);
        else if (it.currentBlock().isValid())
            fn(it.currentBlock());
    }
}

QString tableJsonText(const QTextTable* table)
{
    QJsonArray rows;
    for (int r = 0; r < table->rows(); ++r) {
        QJsonArray row;
        for (int c = 0; c < table->columns(); ++c)
            row.append(cellToDelta(table->cellAt(r, c)));
        rows.append(row);
    }
    QJsonObject object;
    object.insert(kCells, rows);
    object.insert(kHasHeader, table->format().headerRowCount() >= 1);
    return QString::fromUtf8(compactJson(object));
}

// Writes runs and line endings, either as a JSON array or straight as compact JSON text (saving
// a long note that way skips building thousands of JSON objects only to print them). Attributes
// are cached per format index, since a long note uses only a handful of formats, and neighbouring
// runs with equal attributes are merged, so a body reads back into the runs it was written from.
class DeltaWriter
{
public:
    explicit DeltaWriter(QJsonArray* array)
        : m_array(array)
    {}
    explicit DeltaWriter(QByteArray* json)
        : m_json(json)
    {}

    void block(const QTextBlock& block)
    {
        fragments(block, true);
        lineEndOf(block);
    }

    // A line inside a table cell: text runs only.
    void cellLine(const QTextBlock& block) { fragments(block, false); }

    void newline()
    {
        flush();
        if (m_array) {
            m_array->append(textOp(kNewline, {}));
        } else {
            beginOp();
            *m_json += R"({"insert":"\n"})";
        }
    }

    void table(const QTextTable* table)
    {
        flush();
        embed(QLatin1String(kTableEmbedKey), tableJsonText(table));
        newline();
    }

    void flush()
    {
        if (m_text.isEmpty())
            return;
        if (m_array) {
            m_array->append(textOp(m_text, m_textAttributes));
        } else {
            beginOp();
            *m_json += '{';
            if (!m_textAttributes.isEmpty()) {
                *m_json += R"("attributes":)";
                *m_json += m_textAttributesJson;
                *m_json += ',';
            }
            *m_json += R"("insert":)";
            appendJsonString(*m_json, m_text);
            *m_json += '}';
        }
        m_text.clear();
        m_textAttributes = {};
        m_textAttributesJson.clear();
    }

private:
    struct CharInfo
    {
        int objectType = QTextFormat::NoObject;
        QString embedKey; // for object characters we draw
        QString embedValue;
        QJsonObject attributes;
        QByteArray attributesJson; // only when writing text
    };

    struct LineEnd
    {
        QJsonObject op;
        QByteArray json;
    };

    void beginOp()
    {
        if (!m_firstOp)
            *m_json += ',';
        m_firstOp = false;
    }

    void embed(const QString& key, const QString& value)
    {
        flush();
        if (m_array) {
            m_array->append(QJsonObject{{kInsertKey, QJsonObject{{key, value}}}});
        } else {
            beginOp();
            *m_json += R"({"insert":{)";
            appendJsonString(*m_json, key);
            *m_json += ':';
            appendJsonString(*m_json, value);
            *m_json += "}}";
        }
    }

    void text(const QString& text, const CharInfo& info)
    {
        if (text.isEmpty())
            return;
        if (!m_text.isEmpty() && info.attributes != m_textAttributes)
            flush();
        if (m_text.isEmpty()) {
            m_textAttributes = info.attributes;
            m_textAttributesJson = info.attributesJson;
        }
        m_text += text;
    }

    void fragments(const QTextBlock& block, bool withEmbeds)
    {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const CharInfo& info = charInfo(fragment);
            const QString fragmentText = fragment.text();
            if (!withEmbeds || !isOurObjectType(info.objectType)) {
                lines(withoutObjectChars(fragmentText), info, block, withEmbeds);
                continue;
            }
            // One embed per object character; adjacent equal embeds share one fragment.
            qsizetype start = 0;
            for (qsizetype i = 0; i <= fragmentText.size(); ++i) {
                if (i < fragmentText.size() && fragmentText.at(i) != kObjectChar)
                    continue;
                lines(fragmentText.mid(start, i - start), info, block, withEmbeds);
                if (i < fragmentText.size())
                    embed(info.embedKey, info.embedValue);
                start = i + 1;
            }
        }
    }

    // A line separator inside a block (Shift+Enter, or <br> read from HTML) ends a line of the
    // body like any other line break: titles, tasks, exports and search all see lines.
    void lines(const QString& runText, const CharInfo& info, const QTextBlock& block, bool topLevel)
    {
        if (!runText.contains(QChar::LineSeparator)) {
            text(runText, info);
            return;
        }
        const QStringList parts = runText.split(QChar::LineSeparator);
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i > 0) {
                if (topLevel)
                    lineEndOf(block);
                else
                    newline();
            }
            text(parts.at(i), info);
        }
    }

    void lineEndOf(const QTextBlock& block)
    {
        flush();
        const LineEnd& end = lineEnd(block);
        if (m_array) {
            m_array->append(end.op);
        } else {
            beginOp();
            *m_json += end.json;
        }
    }

    const CharInfo& charInfo(const QTextFragment& fragment)
    {
        const int index = fragment.charFormatIndex();
        auto it = m_charInfo.find(index);
        if (it != m_charInfo.end())
            return *it;
        const QTextCharFormat format = fragment.charFormat();
        CharInfo info;
        info.objectType = format.objectType();
        if (isOurObjectType(info.objectType)) {
            info.embedKey = format.stringProperty(EmbedKeyProperty);
            info.embedValue = format.stringProperty(EmbedValueProperty);
        }
        info.attributes = charFormatToCharAttributes(format);
        if (m_json && !info.attributes.isEmpty())
            info.attributesJson = compactJson(info.attributes);
        return *m_charInfo.insert(index, info);
    }

    const LineEnd& lineEnd(const QTextBlock& block)
    {
        const int index = block.blockFormatIndex();
        auto it = m_lineEnds.find(index);
        if (it != m_lineEnds.end())
            return *it;
        // Every list has its own object index, so equal lines of different lists have different
        // formats; compare them without it before converting once more.
        QTextBlockFormat format = block.blockFormat();
        format.setObjectIndex(-1);
        for (const auto& [known, end] : std::as_const(m_lineEndsByFormat)) {
            if (known == format)
                return *m_lineEnds.insert(index, end);
        }
        LineEnd end;
        end.op = textOp(kNewline, blockFormatToLineAttributes(format));
        if (m_json)
            end.json = compactJson(end.op);
        if (m_lineEndsByFormat.size() < 64)
            m_lineEndsByFormat.append({format, end});
        return *m_lineEnds.insert(index, end);
    }

    QJsonArray* m_array = nullptr;
    QByteArray* m_json = nullptr;
    bool m_firstOp = true;
    QString m_text;
    QJsonObject m_textAttributes;
    QByteArray m_textAttributesJson;
    QHash<int, CharInfo> m_charInfo;
    QHash<int, LineEnd> m_lineEnds;
    QList<std::pair<QTextBlockFormat, LineEnd>> m_lineEndsByFormat;
};

void writeFrame(const QTextFrame* frame, DeltaWriter& writer)
{
    struct Item
    {
        QTextBlock block;
        QTextFrame* frame = nullptr;
        bool isTable = false;
    };
    QList<Item> items;
    for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it) {
        QTextFrame* child = it.currentFrame();
        items.append({it.currentBlock(), child, qobject_cast<QTextTable*>(child) != nullptr});
    }
    for (qsizetype i = 0; i < items.size(); ++i) {
        const Item& item = items.at(i);
        if (item.isTable) {
            writer.table(static_cast<const QTextTable*>(item.frame));
            continue;
        }
        if (item.frame) {
            writeFrame(item.frame, writer);
            continue;
        }
        if (!item.block.isValid())
            continue;
        const bool nextToTable =
            (i > 0 && items.at(i - 1).isTable) || (i + 1 < items.size() && items.at(i + 1).isTable);
        if (nextToTable && isTableSpacer(item.block))
            continue;
        writer.block(item.block);
    }
}

void setBlockProperty(const QTextBlock& block, int property, const QVariant& value)
{
    QTextCursor cursor(block);
    QTextBlockFormat format = block.blockFormat();
    if (value.isValid())
        format.setProperty(property, value);
    else
        format.clearProperty(property);
    cursor.setBlockFormat(format);
}

void fillCell(QTextCursor& cursor, const QJsonValue& value, const QTextCharFormat& base)
{
    const auto insertRun = [&](const QString& text, const QJsonObject& attributes) {
        const QString normalized = normalizedText(text);
        QTextCharFormat format = base;
        if (!attributes.isEmpty())
            format.merge(charAttributesToCharFormat(attributes));
        qsizetype start = 0;
        while (true) {
            const qsizetype newline = normalized.indexOf(QLatin1Char('\n'), start);
            const qsizetype end = newline < 0 ? normalized.size() : newline;
            if (end > start)
                cursor.insertText(normalized.mid(start, end - start), format);
            if (newline < 0)
                break;
            cursor.insertBlock(QTextBlockFormat(), base);
            start = newline + 1;
        }
    };
    if (value.isString()) {
        insertRun(value.toString(), {});
        return;
    }
    const QJsonArray ops = value.toArray();
    for (const QJsonValue& element : ops) {
        const QJsonObject op = element.toObject();
        const QJsonValue insert = op.value(kInsertKey);
        if (insert.isString())
            insertRun(insert.toString(), op.value(kAttributesKey).toObject());
    }
}

// Walks parsed ops line by line. Segments of the current line are collected until its line
// ending arrives; then the line is built in one go.
class DocumentFiller
{
public:
    explicit DocumentFiller(QTextDocument* document)
        : m_document(document)
        , m_cursor(document)
    {}

    void run(const QList<DeltaOp>& ops)
    {
        m_cursor.beginEditBlock();
        for (const DeltaOp& op : ops) {
            if (op.kind == DeltaOp::InsertText)
                addText(op);
            else if (op.kind == DeltaOp::InsertEmbed)
                addEmbed(op);
        }
        if (!m_pending.isEmpty())
            completeLine({});
        m_cursor.endEditBlock();
    }

private:
    struct Segment
    {
        bool isEmbed = false;
        QString text; // text, or the embed value as a string
        QString key;  // embed key
        QJsonObject attributes;
        int objectType = QTextFormat::NoObject;
    };

    // Cached per distinct line attributes: most lines of a note share a few of them.
    struct LineStyle
    {
        QJsonObject attributes;
        QTextBlockFormat blockFormat;
        QTextCharFormat charFormat;
        QString listType;
    };

    void addText(const DeltaOp& op)
    {
        const QString text = normalizedText(op.text);
        qsizetype start = 0;
        while (true) {
            const qsizetype newline = text.indexOf(QLatin1Char('\n'), start);
            if (newline < 0)
                break;
            if (newline > start)
                m_pending.append({false, text.mid(start, newline - start), {}, op.attributes});
            completeLine(op.attributes);
            start = newline + 1;
        }
        if (start < text.size())
            m_pending.append({false, start == 0 ? text : text.mid(start), {}, op.attributes});
    }

    void addEmbed(const DeltaOp& op)
    {
        Segment segment;
        segment.isEmbed = true;
        if (!op.embed.isEmpty()) {
            segment.key = op.embed.begin().key();
            segment.text = embedValueString(segment.key, op.embed.begin().value());
        }
        segment.attributes = op.attributes;
        segment.objectType = embedObjectType(segment.key, segment.text);
        m_pending.append(std::move(segment));
    }

    // The table embed when it is all of the line that a save would keep; text made only of object
    // characters and embeds nobody draws would vanish on save, and must not turn a table into an
    // inline object on one load but not on the next.
    const Segment* tableSegment() const
    {
        const Segment* table = nullptr;
        for (const Segment& segment : m_pending) {
            const bool kept = segment.isEmbed ? segment.objectType != QTextFormat::NoObject
                                              : !withoutObjectChars(segment.text).isEmpty();
            if (!kept)
                continue;
            if (table || segment.objectType != TableObjectType)
                return nullptr;
            table = &segment;
        }
        return table;
    }

    const LineStyle& lineStyle(const QJsonObject& attributes)
    {
        for (const LineStyle& style : m_styles) {
            if (style.attributes == attributes)
                return style;
        }
        if (m_styles.size() >= 32)
            m_styles.clear();
        LineStyle style;
        style.attributes = attributes;
        style.blockFormat = lineAttributesToBlockFormat(attributes);
        style.charFormat = lineCharFormat(style.blockFormat);
        style.listType = style.blockFormat.stringProperty(ListTypeProperty);
        m_styles.append(style);
        return m_styles.last();
    }

    QTextCharFormat runFormat(const QTextCharFormat& lineFormat, const QJsonObject& attributes)
    {
        if (attributes.isEmpty())
            return lineFormat;
        if (m_lastRunAttributes == attributes && m_lastRunLineFormat == lineFormat)
            return m_lastRunFormat;
        QTextCharFormat format = lineFormat;
        format.merge(charAttributesToCharFormat(attributes));
        m_lastRunAttributes = attributes;
        m_lastRunLineFormat = lineFormat;
        m_lastRunFormat = format;
        return format;
    }

    void completeLine(const QJsonObject& lineAttributes)
    {
        if (const Segment* table = tableSegment()) {
            const std::optional<TableData> data = parseTableJson(table->text);
            if (!data) {
                m_pending.clear();
                return;
            }
            if (qint64(data->rowCount) * data->columnCount <= kMaxTableCells) {
                const bool first = m_firstLine;
                insertParsedTable(m_cursor, *data);
                // The paragraph in front of a table on the first line exists only to hold it.
                if (first)
                    setBlockProperty(m_document->firstBlock(), TableSpacerProperty, true);
                m_firstLine = false;
                m_afterTable = true;
                m_pending.clear();
                return;
            }
        }

        const LineStyle& style = lineStyle(lineAttributes);
        bool singleSpaced = false;
        for (const Segment& segment : m_pending) {
            if (segment.isEmbed &&
                (segment.key == QLatin1String(kAttachmentEmbedKey) || segment.key == QLatin1String(kImageEmbedKey)))
                singleSpaced = true;
        }
        QTextBlockFormat blockFormat = style.blockFormat;
        if (singleSpaced)
            blockFormat.setLineHeight(0, QTextBlockFormat::SingleHeight);

        if (m_firstLine || m_afterTable) {
            m_cursor.setBlockFormat(blockFormat);
            m_cursor.setBlockCharFormat(style.charFormat);
        } else {
            m_cursor.insertBlock(blockFormat, style.charFormat);
        }
        m_firstLine = false;
        m_afterTable = false;
        if (!style.listType.isEmpty())
            applyList(m_cursor, style.listType);

        // The style reference may not survive runFormat's cache; copy what is needed.
        const QTextCharFormat lineFormat = style.charFormat;
        for (const Segment& segment : m_pending) {
            if (segment.isEmbed)
                m_cursor.insertText(QString(kObjectChar), embedCharFormat(segment.key, segment.text));
            else
                m_cursor.insertText(segment.text, runFormat(lineFormat, segment.attributes));
        }
        m_pending.clear();
    }

    QTextDocument* m_document;
    QTextCursor m_cursor;
    QList<Segment> m_pending;
    QList<LineStyle> m_styles;
    QJsonObject m_lastRunAttributes;
    QTextCharFormat m_lastRunLineFormat;
    QTextCharFormat m_lastRunFormat;
    bool m_firstLine = true;
    bool m_afterTable = false;
};

} // namespace

int HeadingStyle::pixelSize() const
{
    return FontScale::scaled(sizeBase);
}

HeadingStyle headingStyle(int level)
{
    switch (level) {
    case 1:
        return {28, 700, 130, 24, 12, false};
    case 2:
        return {22, 700, 130, 20, 10, false};
    case 3:
        return {18, 600, 140, 16, 8, false};
    case 4:
        return {16, 600, 140, 12, 6, false};
    case 5:
        return {14, 600, 140, 10, 4, false};
    case 6:
        return {13, 600, 140, 8, 4, true};
    default:
        return {16, 400, 150, 0, 8, false};
    }
}

QColor mutedTextColor()
{
    return isDarkPalette() ? QColor(0xC4, 0xC6, 0xCF) : QColor(0x44, 0x47, 0x4E);
}

QColor codeBlockBackground()
{
    return isDarkPalette() ? QColor(0x2A, 0x2D, 0x31) : QColor(0xEC, 0xEE, 0xF1);
}

void applyBlockStyle(QTextBlockFormat& format)
{
    const auto set = [&format](int top, int bottom, int lineHeight, int left, int right) {
        format.setTopMargin(top);
        format.setBottomMargin(bottom);
        format.setLineHeight(lineHeight, QTextBlockFormat::ProportionalHeight);
        format.setLeftMargin(left);
        format.setRightMargin(right);
    };
    if (const int level = headingLevelOf(format)) {
        const HeadingStyle style = headingStyle(level);
        set(style.topMargin, style.bottomMargin, style.lineHeight, 0, 0);
        format.clearBackground();
    } else if (format.hasProperty(CodeBlockProperty)) {
        set(8, 8, 140, 12, 12);
        format.setBackground(codeBlockBackground());
    } else if (format.boolProperty(BlockquoteProperty)) {
        set(0, 8, 150, 16, 0);
        format.clearBackground();
    } else {
        set(0, 8, 150, 0, 0);
        format.clearBackground();
    }
}

void applyList(const QTextCursor& at, const QString& type)
{
    QTextBlock block = at.block();
    if (!block.isValid())
        return;
    QTextCursor cursor(block);
    if (QTextList* list = block.textList())
        list->remove(block);
    QTextBlockFormat format = block.blockFormat();
    format.setMarker(QTextBlockFormat::MarkerType::NoMarker);
    format.setObjectIndex(-1);
    format.setIndent(0);
    format.clearProperty(ListTypeProperty);
    if (type.isEmpty()) {
        cursor.setBlockFormat(format);
        return;
    }

    const QTextListFormat::Style style = type == kOrdered ? QTextListFormat::ListDecimal : QTextListFormat::ListDisc;
    if (type == kUnchecked)
        format.setMarker(QTextBlockFormat::MarkerType::Unchecked);
    else if (type == kChecked)
        format.setMarker(QTextBlockFormat::MarkerType::Checked);
    format.setProperty(ListTypeProperty, type);

    const QTextBlock previous = block.previous();
    QTextList* previousList = previous.isValid() ? previous.textList() : nullptr;
    if (previousList && previousList->format().style() == style) {
        format.setObjectIndex(previousList->objectIndex());
        cursor.setBlockFormat(format);
        return;
    }
    cursor.setBlockFormat(format);
    QTextListFormat listFormat;
    listFormat.setStyle(style);
    listFormat.setIndent(1);
    cursor.createList(listFormat);
}

QTextBlockFormat lineAttributesToBlockFormat(const QJsonObject& attributes)
{
    QTextBlockFormat format;
    QJsonObject extras;
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        if (key == kHeader) {
            const int level = value.toInt(0);
            if (level >= 1 && level <= 6)
                format.setProperty(HeadingLevelProperty, level);
        } else if (key == kList) {
            if (!value.toString().isEmpty())
                format.setProperty(ListTypeProperty, value.toString());
        } else if (key == kCodeBlock) {
            format.setProperty(CodeBlockProperty, value.isString() ? QVariant(value.toString()) : QVariant(true));
        } else if (key == kBlockquote) {
            format.setProperty(BlockquoteProperty, true);
        } else if (key == kAlign) {
            const QString align = value.toString();
            if (align == QLatin1String("center"))
                format.setAlignment(Qt::AlignHCenter);
            else if (align == QLatin1String("right"))
                format.setAlignment(Qt::AlignRight);
            else if (align == QLatin1String("justify"))
                format.setAlignment(Qt::AlignJustify);
            else
                format.setAlignment(Qt::AlignLeft);
        } else if (!isCharKey(key)) {
            extras.insert(key, value);
        }
    }
    if (!extras.isEmpty())
        format.setProperty(ExtraLineAttributesProperty, extras);
    applyBlockStyle(format);
    return format;
}

QTextCharFormat charAttributesToCharFormat(const QJsonObject& attributes)
{
    QTextCharFormat format;
    QJsonObject extras;
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        const bool isTrue = value.isBool() && value.toBool();
        if (key == kBold && isTrue) {
            format.setFontWeight(700);
        } else if (key == kItalic && isTrue) {
            format.setFontItalic(true);
        } else if (key == kUnderline && isTrue) {
            format.setFontUnderline(true);
        } else if (key == kStrike && isTrue) {
            format.setFontStrikeOut(true);
        } else if (key == kCode && isTrue) {
            format.merge(inlineCodeFormat());
        } else if (key == kLink && value.isString() && !value.toString().isEmpty()) {
            format.setAnchor(true);
            format.setAnchorHref(value.toString());
            format.setFontUnderline(true);
            format.setForeground(QColor(QLatin1String(kLinkColor)));
        } else if (!isLineKey(key)) {
            // Includes "bold": false and friends, and a link without a target: kept as written.
            extras.insert(key, value);
        }
    }
    if (!extras.isEmpty())
        format.setProperty(ExtraCharAttributesProperty, extras);
    return format;
}

QJsonObject blockFormatToLineAttributes(const QTextBlockFormat& format)
{
    QJsonObject attributes;
    if (const int level = headingLevelOf(format))
        attributes.insert(kHeader, level);

    const QTextBlockFormat::MarkerType marker = format.marker();
    if (marker == QTextBlockFormat::MarkerType::Checked) {
        attributes.insert(kList, kChecked);
    } else if (marker == QTextBlockFormat::MarkerType::Unchecked) {
        attributes.insert(kList, kUnchecked);
    } else {
        const QString listType = format.stringProperty(ListTypeProperty);
        if (!listType.isEmpty())
            attributes.insert(kList, listType);
    }

    if (format.hasProperty(CodeBlockProperty)) {
        const QVariant value = format.property(CodeBlockProperty);
        if (value.typeId() == QMetaType::QString && !value.toString().isEmpty())
            attributes.insert(kCodeBlock, value.toString());
        else
            attributes.insert(kCodeBlock, true);
    }
    if (format.boolProperty(BlockquoteProperty))
        attributes.insert(kBlockquote, true);

    const Qt::Alignment alignment = format.alignment();
    if (alignment & Qt::AlignHCenter)
        attributes.insert(kAlign, QStringLiteral("center"));
    else if (alignment & Qt::AlignRight)
        attributes.insert(kAlign, QStringLiteral("right"));
    else if (alignment & Qt::AlignJustify)
        attributes.insert(kAlign, QStringLiteral("justify"));

    const QJsonObject extras = format.property(ExtraLineAttributesProperty).toJsonObject();
    for (auto it = extras.begin(); it != extras.end(); ++it) {
        if (!attributes.contains(it.key()))
            attributes.insert(it.key(), it.value());
    }
    return attributes;
}

QJsonObject charFormatToCharAttributes(const QTextCharFormat& format)
{
    QJsonObject attributes;
    if (format.fontWeight() >= 700)
        attributes.insert(kBold, true);
    if (format.fontItalic())
        attributes.insert(kItalic, true);
    const bool anchor = format.isAnchor();
    if (format.fontUnderline() && !anchor)
        attributes.insert(kUnderline, true);
    if (format.fontStrikeOut())
        attributes.insert(kStrike, true);
    if (format.fontFixedPitch() || hasMonospaceFamily(format))
        attributes.insert(kCode, true);
    if (anchor && !format.anchorHref().isEmpty())
        attributes.insert(kLink, format.anchorHref());

    const QJsonObject extras = format.property(ExtraCharAttributesProperty).toJsonObject();
    for (auto it = extras.begin(); it != extras.end(); ++it) {
        if (!attributes.contains(it.key()))
            attributes.insert(it.key(), it.value());
    }
    return attributes;
}

QTextCharFormat lineCharFormat(const QTextBlockFormat& blockFormat)
{
    QTextCharFormat format;
    if (const int level = headingLevelOf(blockFormat)) {
        const HeadingStyle style = headingStyle(level);
        format.setProperty(QTextFormat::FontPixelSize, style.pixelSize());
        format.setFontWeight(style.weight);
        if (style.muted)
            format.setForeground(mutedTextColor());
    } else if (blockFormat.hasProperty(CodeBlockProperty)) {
        format.setFont(codeFont(FontScale::scaled(14)), QTextCharFormat::FontPropertiesSpecifiedOnly);
        format.setForeground(mutedTextColor());
    } else {
        format.setProperty(QTextFormat::FontPixelSize, FontScale::scaled(16));
    }
    return format;
}

QTextCharFormat inlineCodeFormat()
{
    QTextCharFormat format;
    format.setFont(codeFont(FontScale::scaled(14)), QTextCharFormat::FontPropertiesSpecifiedOnly);
    if (isDarkPalette()) {
        format.setForeground(QColor(0xD6, 0xE3, 0xF7));
        format.setBackground(QColor(0x33, 0x44, 0x5C));
    } else {
        format.setForeground(QColor(0x0E, 0x1B, 0x2C));
        format.setBackground(QColor(0xDC, 0xE6, 0xF4));
    }
    return format;
}

QFont codeFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixelSize);
    return font;
}

QTextCharFormat embedCharFormat(const QString& key, const QString& value)
{
    QTextCharFormat format;
    QString stored = value;
    if (key == QLatin1String(kAttachmentEmbedKey) && !stored.startsWith(QLatin1String(kAttachmentUrlPrefix)))
        stored.prepend(QLatin1String(kAttachmentUrlPrefix));
    format.setProperty(EmbedKeyProperty, key);
    format.setProperty(EmbedValueProperty, stored);
    const int type = embedObjectType(key, stored);
    if (type != QTextFormat::NoObject)
        format.setObjectType(type);
    return format;
}

std::optional<TableData> parseTableJson(const QString& json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject object = doc.object();
    TableData table;
    table.rows = object.value(kCells).toArray();
    table.rowCount = int(table.rows.size());
    for (const QJsonValue& row : std::as_const(table.rows))
        table.columnCount = std::max(table.columnCount, int(row.toArray().size()));
    if (table.rowCount == 0 || table.columnCount == 0)
        return std::nullopt;
    table.hasHeader = object.value(kHasHeader).toBool(true);
    return table;
}

QTextTableFormat tableFormat(bool hasHeader)
{
    QTextTableFormat format;
    format.setBorder(1);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    const QColor base = QGuiApplication::palette().color(QPalette::Active, QPalette::Base);
    format.setBorderBrush(base.lightness() >= 128 ? base.darker(150) : base.lighter(220));
    format.setBorderCollapse(true);
    format.setCellPadding(6);
    format.setCellSpacing(0);
    format.setHeaderRowCount(hasHeader ? 1 : 0);
    return format;
}

QTextTable* insertNoteTable(QTextCursor& cursor, int rows, int columns, const QTextTableFormat& format)
{
    if (rows < 1 || columns < 1 || cursor.isNull())
        return nullptr;
    QTextDocument* document = cursor.document();
    // Only the paragraph the table is inserted into can end up next to it; every other paragraph
    // touching the table afterwards was created by the insertion.
    const QTextBlock original = cursor.block();
    setBlockProperty(original, TableMarkProperty, true);
    QTextTable* table = cursor.insertTable(rows, columns, format);

    const QTextBlock before = document->findBlock(table->firstPosition() - 1);
    const QTextBlock after = document->findBlock(table->lastPosition() + 1);
    for (const QTextBlock& block : {before, after}) {
        if (!block.isValid() || QTextCursor(block).currentTable() == table)
            continue;
        if (block.blockFormat().boolProperty(TableMarkProperty))
            setBlockProperty(block, TableMarkProperty, {});
        else
            setBlockProperty(block, TableSpacerProperty, true);
    }
    if (original.isValid() && original.blockFormat().hasProperty(TableMarkProperty))
        setBlockProperty(original, TableMarkProperty, {});
    return table;
}

QTextTable* insertTableFromJson(QTextCursor& cursor, const QString& json)
{
    const std::optional<TableData> table = parseTableJson(json);
    return table ? insertParsedTable(cursor, *table) : nullptr;
}

QTextTable* insertParsedTable(QTextCursor& cursor, const TableData& data)
{
    QTextTable* table = insertNoteTable(cursor, data.rowCount, data.columnCount, tableFormat(data.hasHeader));
    if (!table)
        return nullptr;
    QTextCharFormat headerFormat;
    headerFormat.setFontWeight(700);
    const QColor headerBackground = QGuiApplication::palette().color(QPalette::Active, QPalette::AlternateBase);
    for (int r = 0; r < data.rowCount; ++r) {
        const QJsonArray row = data.rows.at(r).toArray();
        const bool header = data.hasHeader && r == 0;
        const QTextCharFormat base = header ? headerFormat : QTextCharFormat();
        for (int c = 0; c < data.columnCount; ++c) {
            QTextTableCell cell = table->cellAt(r, c);
            if (header) {
                // The cell's format is also its first paragraph's character format, so text
                // typed into an empty header cell comes out bold as well.
                QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
                cellFormat.setBackground(headerBackground);
                cellFormat.setFontWeight(700);
                cell.setFormat(cellFormat);
            }
            QTextCursor cellCursor = cell.firstCursorPosition();
            if (c < row.size())
                fillCell(cellCursor, row.at(c), base);
        }
    }
    cursor.setPosition(table->lastPosition() + 1);
    return table;
}

bool isTableSpacer(const QTextBlock& block)
{
    // Anything on the line, a picture or a file included, is content the user put there.
    return block.isValid() && block.blockFormat().boolProperty(TableSpacerProperty) && block.length() <= 1;
}

QJsonArray documentToDelta(const QTextDocument* document)
{
    QJsonArray out;
    if (!document)
        return out;
    DeltaWriter writer(&out);
    writeFrame(document->rootFrame(), writer);
    writer.flush();
    return out;
}

QByteArray documentToDeltaJson(const QTextDocument* document)
{
    QByteArray json;
    json.reserve(document ? document->characterCount() * 2 + 64 : 2);
    json += '[';
    if (document) {
        DeltaWriter writer(&json);
        writeFrame(document->rootFrame(), writer);
        writer.flush();
    }
    json += ']';
    return json;
}

void tableToDelta(const QTextTable* table, QJsonArray& out)
{
    DeltaWriter writer(&out);
    writer.table(table);
}

QJsonArray cellToDelta(const QTextTableCell& cell)
{
    QJsonArray out;
    if (!cell.isValid())
        return out;
    DeltaWriter writer(&out);
    bool first = true;
    forEachBlock(cell.begin(), [&](const QTextBlock& block) {
        if (!first)
            writer.newline();
        first = false;
        writer.cellLine(block);
    });
    writer.flush();
    return out;
}

void fillDocument(QTextDocument* document, const QList<DeltaOp>& ops)
{
    if (!document || ops.isEmpty())
        return;
    DocumentFiller(document).run(ops);
}
