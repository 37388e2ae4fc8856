#pragma once

#include <QJsonArray>
#include <QString>
#include <QTextDocument>
#include <QVariant>

class QMimeData;
class QTextCursor;

// Foreign rich text (pasted, imported, or the built-in sample notes) turned into Delta arrays.
// HTML goes through the text engine's HTML reader; Markdown is rendered to HTML first.

// Removes script, style, navigation, header, footer, aside, iframe and noscript elements together
// with their content, so none of it can reach a note.
QString stripNonContentHtml(const QString& html);

// HTML to Delta. Text that is blank, or HTML without any content, gives the empty body.
QJsonArray htmlToDelta(const QString& html);
// Markdown (GitHub dialect) to Delta, by way of HTML: check marks are not read, fenced code
// becomes plain lines, tables become table embeds.
QJsonArray markdownToDelta(const QString& markdown);
// The small line-based reader that builds the sample notes; returns compact Delta JSON.
QString simpleMarkdownToDelta(const QString& markdown);

// Sniffing of pasted plain text.
bool looksLikeHtml(const QString& text);
bool looksLikeMarkdown(const QString& text);

// How a paste is converted, decided from the clipboard data alone.
struct PasteDecision
{
    enum Route
    {
        DefaultInsert, // leave it to the editor's own plain-text insertion
        FromMarkdown,
        FromHtml,
    };
    Route route = DefaultInsert;
    QString source; // the Markdown or HTML text to convert
};
// "text/markdown" first, then HTML, then text that looks like HTML or Markdown.
PasteDecision decidePaste(const QMimeData& data);
// The Delta of a decision; empty for DefaultInsert.
QJsonArray pasteToDelta(const PasteDecision& decision);

// Inserts a Delta array at the cursor as one undoable edit, dropping trailing empty lines.
void insertDelta(QTextCursor& cursor, const QJsonArray& delta);

// A text document that never fetches a resource: foreign HTML may name local files
// (<img src="file:...">, <link rel="stylesheet">, @import) and must not make us read them.
class InertTextDocument : public QTextDocument
{
public:
    explicit InertTextDocument(QObject* parent = nullptr);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
};

// setHtml for HTML from outside. Nesting deeper than kMaxHtmlNesting is flattened and very
// long lists are split, because the text engine's HTML reader slows down quadratically with
// both; the text itself is kept.
void loadForeignHtml(QTextDocument* document, const QString& html);
inline constexpr int kMaxHtmlNesting = 128;
inline constexpr int kMaxListItemsPerList = 400;

// The bounding step of loadForeignHtml on its own.
QString boundHtmlStructure(const QString& html);

// The same for Markdown read by markdownToDelta: raw HTML outside code is bounded like HTML,
// more than kMaxMarkdownContainers quote or list markers in front of a line are left out, and
// very long lines of raw HTML are broken between tags. Code blocks and code spans are kept as
// they are.
QString boundMarkdownStructure(const QString& markdown);
inline constexpr int kMaxMarkdownContainers = 64;
inline constexpr int kLongHtmlLine = 4096;
inline constexpr int kHtmlLinePiece = 1024;
