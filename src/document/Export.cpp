#include "Export.h"

#include "DeltaFormat.h"
#include "DocumentLog.h"
#include "MarkdownHtml.h"
#include "RichTextConversion.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextStream>
#include <algorithm>
#include <array>
#include <optional>

namespace {

const QString kInsert = QStringLiteral("insert");
const QString kAttributes = QStringLiteral("attributes");
const QString kHeader = QStringLiteral("header");
const QString kList = QStringLiteral("list");
const QString kCodeBlock = QStringLiteral("code-block");
const QString kBlockquote = QStringLiteral("blockquote");
const QString kBold = QStringLiteral("bold");
const QString kItalic = QStringLiteral("italic");
const QString kUnderline = QStringLiteral("underline");
const QString kStrike = QStringLiteral("strike");
const QString kCode = QStringLiteral("code");
const QString kLink = QStringLiteral("link");

struct Segment
{
    QString text;
    QJsonObject attributes;
};

bool flag(const QJsonObject& attributes, const QString& key)
{
    return attributes.value(key).toBool();
}

// The heading level of a line, or 0 when the line is no heading.
int headingLevel(const QJsonObject& lineAttributes)
{
    const int level = lineAttributes.value(kHeader).toInt();
    return level >= 1 && level <= 6 ? level : 0;
}

QString linkTarget(const QJsonObject& attributes)
{
    return attributes.value(kLink).toString();
}

// Walks a body line by line: text runs are gathered until their line ending, dividers and
// tables stand on their own, other embeds (attachments, images) are left out.
template <typename Writer> void walkLines(const QList<DeltaOp>& ops, Writer& writer)
{
    QList<Segment> pending;
    auto flushPending = [&] {
        if (!pending.isEmpty()) {
            writer.line(pending, QJsonObject());
            pending.clear();
        }
    };
    for (const DeltaOp& op : ops) {
        if (op.kind == DeltaOp::InsertText) {
            qsizetype start = 0;
            for (;;) {
                const qsizetype newline = op.text.indexOf(u'\n', start);
                if (newline < 0)
                    break;
                if (newline > start)
                    pending.append(Segment{op.text.mid(start, newline - start), op.attributes});
                writer.line(pending, op.attributes);
                pending.clear();
                start = newline + 1;
            }
            if (start < op.text.size())
                pending.append(Segment{op.text.mid(start), op.attributes});
        } else if (op.kind == DeltaOp::InsertEmbed) {
            if (op.embed.contains(QLatin1String(kDividerEmbedKey))) {
                flushPending();
                writer.divider();
            } else if (op.embed.contains(QLatin1String(kTableEmbedKey))) {
                flushPending();
                writer.table(op.embed.value(QLatin1String(kTableEmbedKey)).toString());
            }
        }
    }
    flushPending();
}

// Cells of a table embed: an array of text inserts or a plain string.
template <typename Fn> void forEachCellInsert(const QJsonValue& cell, Fn&& fn)
{
    const QJsonArray inserts = cell.toArray();
    for (const QJsonValue& item : inserts) {
        const QJsonObject op = item.toObject();
        const QJsonValue insert = op.value(kInsert);
        if (insert.isString())
            fn(insert.toString(), op.value(kAttributes).toObject());
    }
}

// ---------------------------------------------------------------------------------------------
// Markdown

class MarkdownWriter
{
public:
    enum Kind
    {
        Paragraph = 0,
        Heading = 1,
        ListItem = 2,
        CodeLine = 3,
        Quote = 4,
        Divider = 5,
        DocumentStart = 6,
    };

    void line(const QList<Segment>& segments, const QJsonObject& attributes)
    {
        const int level = headingLevel(attributes);
        QString text;
        for (const Segment& segment : segments)
            text += inlineMarkdown(segment, level > 0);

        if (level > 0) {
            if (text.trimmed().isEmpty())
                return; // an empty heading would read back as a literal "#"
            place(QString(level, u'#') + u' ' + text, Heading);
        } else if (attributes.contains(kList)) {
            const QJsonValue list = attributes.value(kList);
            QString marker;
            if (list == QLatin1String("bullet"))
                marker = QStringLiteral("- ");
            else if (list == QLatin1String("ordered"))
                marker = QStringLiteral("1. "); // renderers number the items themselves
            else if (list == QLatin1String("checked"))
                marker = QStringLiteral("- [x] ");
            else if (list == QLatin1String("unchecked"))
                marker = QStringLiteral("- [ ] ");
            place(marker + text, ListItem);
        } else if (attributes.contains(kCodeBlock)) {
            place(QStringLiteral("    ") + text, CodeLine);
        } else if (flag(attributes, kBlockquote)) {
            place(QStringLiteral("> ") + text, Quote);
        } else if (text.trimmed().isEmpty()) {
            ensureParagraphBreak();
            m_last = Paragraph;
        } else {
            place(text, Paragraph);
        }
    }

    void divider()
    {
        if (m_last == ListItem || m_last == CodeLine)
            ensureParagraphBreak();
        m_out += QStringLiteral("---\n\n");
        m_last = Divider;
    }

    void table(const QString& json)
    {
        if (m_last == ListItem || m_last == CodeLine)
            ensureParagraphBreak();
        m_out += markdownTable(json);
        m_out += u'\n';
        m_last = Paragraph;
    }

    QString finish()
    {
        qsizetype end = m_out.size();
        while (end > 0 && (m_out[end - 1] == u'\n' || m_out[end - 1] == u' '))
            --end;
        m_out.truncate(end);
        if (!m_out.isEmpty())
            m_out += u'\n';
        return m_out;
    }

private:
    static QString inlineMarkdown(const Segment& segment, bool heading)
    {
        const QJsonObject& a = segment.attributes;
        QString t = segment.text;
        if (flag(a, kBold) && !heading)
            t = QStringLiteral("**") + t + QStringLiteral("**");
        if (flag(a, kItalic))
            t = u'*' + t + u'*';
        if (flag(a, kCode))
            t = u'`' + t + u'`';
        if (flag(a, kStrike))
            t = QStringLiteral("~~") + t + QStringLiteral("~~");
        const QString link = linkTarget(a);
        if (!link.isEmpty())
            t = QStringLiteral("[%1](%2)").arg(t, link);
        return t;
    }

    static QString escapeCell(QString text)
    {
        text.replace(u'|', QStringLiteral("\\|"));
        text.replace(u'\n', u' ');
        return text;
    }

    static QString cellMarkdown(const QJsonValue& cell, bool headerRow)
    {
        if (cell.isString())
            return escapeCell(cell.toString());
        QString out;
        forEachCellInsert(cell, [&](const QString& text, const QJsonObject& a) {
            if (text.isEmpty() || text == QLatin1String("\n"))
                return; // the lines of a cell run together: a Markdown cell is one line
            QString t = escapeCell(text);
            if (flag(a, kCode))
                t = u'`' + t + u'`';
            if (flag(a, kBold) && !headerRow)
                t = QStringLiteral("**") + t + QStringLiteral("**");
            if (flag(a, kItalic))
                t = u'*' + t + u'*';
            if (flag(a, kStrike))
                t = QStringLiteral("~~") + t + QStringLiteral("~~");
            // The table row is split at every unescaped bar, link addresses included.
            const QString link = linkTarget(a);
            if (!link.isEmpty())
                t = QStringLiteral("[%1](%2)").arg(t, escapeCell(link));
            out += t;
        });
        return out;
    }

    static QString markdownTable(const QString& json)
    {
        const std::optional<TableData> table = parseTableJson(json);
        if (!table)
            return {};
        QString out;
        for (int r = 0; r < table->rowCount; ++r) {
            const QJsonArray row = table->rows.at(r).toArray();
            out += u'|';
            for (int c = 0; c < table->columnCount; ++c) {
                out += u' ';
                if (c < row.size())
                    out += cellMarkdown(row.at(c), table->hasHeader && r == 0);
                out += QStringLiteral(" |");
            }
            out += u'\n';
            // Markdown tables always have a header row; without one the first row serves.
            if (r == 0) {
                out += u'|';
                for (int c = 0; c < table->columnCount; ++c)
                    out += QStringLiteral(" --- |");
                out += u'\n';
            }
        }
        return out;
    }

    void ensureParagraphBreak()
    {
        if (m_out.isEmpty() || m_out.endsWith(QStringLiteral("\n\n")))
            return;
        m_out += m_out.endsWith(u'\n') ? QStringLiteral("\n") : QStringLiteral("\n\n");
    }

    void place(const QString& text, Kind kind)
    {
        const bool tight = kind == ListItem || kind == CodeLine;
        if ((m_last == ListItem || m_last == CodeLine) && m_last != kind)
            ensureParagraphBreak();
        if (tight && m_last != ListItem && m_last != CodeLine && m_last != DocumentStart)
            ensureParagraphBreak();
        m_out += text;
        m_out += tight ? QStringLiteral("\n") : QStringLiteral("\n\n");
        m_last = kind;
    }

    QString m_out;
    Kind m_last = DocumentStart;
};

// ---------------------------------------------------------------------------------------------
// HTML

QString inlineHtml(const QString& escapedText, const QJsonObject& a)
{
    QString t = escapedText;
    if (flag(a, kBold))
        t = QStringLiteral("<strong>") + t + QStringLiteral("</strong>");
    if (flag(a, kItalic))
        t = QStringLiteral("<em>") + t + QStringLiteral("</em>");
    if (flag(a, kUnderline))
        t = QStringLiteral("<u>") + t + QStringLiteral("</u>");
    if (flag(a, kStrike))
        t = QStringLiteral("<del>") + t + QStringLiteral("</del>");
    if (flag(a, kCode))
        t = QStringLiteral("<code>") + t + QStringLiteral("</code>");
    const QString link = linkTarget(a);
    if (!link.isEmpty())
        t = QStringLiteral("<a href=\"%1\">%2</a>").arg(link.toHtmlEscaped(), t);
    return t;
}

class HtmlWriter
{
public:
    HtmlWriter() { m_out = QStringLiteral("<html><body>\n"); }

    void line(const QList<Segment>& segments, const QJsonObject& attributes)
    {
        QString content;
        for (const Segment& segment : segments)
            content += inlineHtml(segment.text.toHtmlEscaped(), segment.attributes);
        if (const int level = headingLevel(attributes))
            m_out += QStringLiteral("<h%1>%2</h%1>\n").arg(QString::number(level), content);
        else if (flag(attributes, kBlockquote))
            m_out += QStringLiteral("<blockquote>%1</blockquote>\n").arg(content);
        else if (attributes.contains(kCodeBlock))
            m_out += QStringLiteral("<pre><code>%1</code></pre>\n").arg(content);
        else
            m_out += QStringLiteral("<p>%1</p>\n").arg(content);
    }

    void divider() { m_out += QStringLiteral("<hr>\n"); }

    void table(const QString& json)
    {
        const std::optional<TableData> table = parseTableJson(json);
        if (!table)
            return;
        m_out += QStringLiteral("<table border=\"1\" cellpadding=\"6\" cellspacing=\"0\" "
                                "style=\"border-collapse:collapse\">\n");
        for (int r = 0; r < table->rowCount; ++r) {
            const QJsonArray row = table->rows.at(r).toArray();
            const bool header = table->hasHeader && r == 0;
            m_out += QStringLiteral("  <tr>");
            for (int c = 0; c < table->columnCount; ++c) {
                QString content = c < row.size() ? cellHtml(row.at(c)) : QString();
                if (content.isEmpty())
                    content = QStringLiteral("&nbsp;"); // keeps the empty cell's borders drawn
                m_out +=
                    header ? QStringLiteral("<th>%1</th>").arg(content) : QStringLiteral("<td>%1</td>").arg(content);
            }
            m_out += QStringLiteral("</tr>\n");
        }
        m_out += QStringLiteral("</table>\n");
    }

    QString finish()
    {
        m_out += QStringLiteral("</body></html>");
        return m_out;
    }

private:
    static QString cellHtml(const QJsonValue& cell)
    {
        if (cell.isString())
            return cell.toString().toHtmlEscaped();
        QString out;
        forEachCellInsert(cell, [&](const QString& text, const QJsonObject& a) {
            if (text == QLatin1String("\n")) {
                out += QStringLiteral("<br>");
                return;
            }
            if (text.isEmpty())
                return;
            QString escaped = text.toHtmlEscaped();
            escaped.replace(u'\n', QStringLiteral("<br>"));
            out += inlineHtml(escaped, a);
        });
        return out;
    }

    QString m_out;
};

} // namespace

QString exportExtension(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Markdown:
        return QStringLiteral(".md");
    case ExportFormat::Html:
        return QStringLiteral(".html");
    case ExportFormat::Pdf:
        return QStringLiteral(".pdf");
    case ExportFormat::PlainText:
        return QStringLiteral(".txt");
    }
    return QStringLiteral(".txt");
}

QString convertBody(const QString& body, ExportFormat format)
{
    if (body.isEmpty())
        return {};
    const std::optional<QJsonArray> delta = parseBodyArray(body);
    if (!delta)
        return body;
    const QList<DeltaOp> ops = parseDelta(*delta);
    switch (format) {
    case ExportFormat::Markdown: {
        MarkdownWriter writer;
        walkLines(ops, writer);
        return writer.finish();
    }
    case ExportFormat::Html:
    case ExportFormat::Pdf: {
        HtmlWriter writer;
        walkLines(ops, writer);
        return writer.finish();
    }
    case ExportFormat::PlainText:
        return deltaToPlainText(ops);
    }
    return deltaToPlainText(ops);
}

QPageSize::PageSizeId exportPageSize(QLocale::Territory territory)
{
    // The territories that print on US Letter.
    static constexpr std::array<int, 14> letter = {41, 49, 54, 59, 69, 72, 99, 152, 168, 181, 185, 189, 248, 254};
    return std::find(letter.begin(), letter.end(), int(territory)) != letter.end() ? QPageSize::Letter : QPageSize::A4;
}

ExportResult exportNote(const Note& note, const QString& path, ExportFormat format)
{
    ExportResult result;
    const QString text = convertBody(note.body, format);

    QFile file(path);
    const QIODevice::OpenMode mode = format == ExportFormat::Pdf
                                         ? QIODevice::WriteOnly | QIODevice::Truncate
                                         : QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text;
    if (!file.open(mode)) {
        result.error = QCoreApplication::translate("Export", "Failed to write file: %1").arg(file.errorString());
        qCWarning(lcDocument).noquote() << "exportNote: cannot open the output file:" << file.errorString();
        return result;
    }

    if (format == ExportFormat::Pdf) {
        QPdfWriter writer(&file);
        writer.setPageSize(QPageSize(exportPageSize(QLocale::system().territory())));
        writer.setResolution(1200);
        // A body that is not Delta arrives here as its raw text, which is read as HTML: it may
        // come from anywhere, so it gets the same protections as pasted HTML.
        InertTextDocument document;
        loadForeignHtml(&document, text);
        document.print(&writer);
    } else {
        QTextStream stream(&file);
        stream.setEncoding(QStringConverter::Utf8);
        stream << text;
        stream.flush();
    }
    file.close();
    result.ok = true;
    result.path = path;
    return result;
}

QString sanitizeFileName(const QString& name)
{
    static const QRegularExpression reserved(QStringLiteral("[<>:\"/\\\\|?*]"));
    QString result = name;
    result.remove(reserved);
    result = result.trimmed();
    if (result.size() > 50) {
        result.truncate(50);
        // Never leave half of a surrogate pair at the cut.
        if (result.back().isHighSurrogate())
            result.chop(1);
        result = result.trimmed();
    }
    if (result.isEmpty())
        result = QStringLiteral("note");
    return result;
}

QString suggestedFileName(const Note& note, ExportFormat format)
{
    QString base = note.title();
    if (base.isEmpty())
        base = QStringLiteral("note-%1").arg(note.id.left(8));
    return sanitizeFileName(base) + exportExtension(format);
}
