#pragma once

#include "DeltaFormat.h"

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTextBlock>
#include <QTextFormat>
#include <optional>

class QTextCursor;
class QTextDocument;
class QTextTable;
class QTextTableCell;

// Mapping between Delta lines and runs and the structures of a QTextDocument. The loader in
// DeltaDocument and the note editor share these routines, so a line formatted by a keystroke
// looks and saves exactly like one loaded from a body.

// Typography of a heading level; any level outside 1..6 gives the body style.
struct HeadingStyle
{
    int sizeBase = 16;    // pixel size at 100 % font scale
    int weight = 400;     // QFont weight
    int lineHeight = 150; // proportional, percent
    int topMargin = 0;
    int bottomMargin = 8;
    bool muted = false;

    // The pixel size at the current font scale.
    int pixelSize() const;
};
HeadingStyle headingStyle(int level);

// Colours that follow the palette (see isDarkPalette in TextFormats.h).
QColor mutedTextColor();
QColor codeBlockBackground();
inline constexpr char kLinkColor[] = "#1565C0";

// Margins, line height and background from the block's custom properties.
void applyBlockStyle(QTextBlockFormat& format);

// Makes the cursor's block an item of a list of that type ("bullet", "ordered", "unchecked",
// "checked", or any other text, which gets bullets), or a plain paragraph when type is empty.
// An item joins the list of the block before it when both use the same marker style.
void applyList(const QTextCursor& cursor, const QString& type);

QTextBlockFormat lineAttributesToBlockFormat(const QJsonObject& attributes);
QTextCharFormat charAttributesToCharFormat(const QJsonObject& attributes);
QJsonObject blockFormatToLineAttributes(const QTextBlockFormat& format);
QJsonObject charFormatToCharAttributes(const QTextCharFormat& format);

// The character format every run of a line starts from: heading font, code font or body font.
QTextCharFormat lineCharFormat(const QTextBlockFormat& blockFormat);

QTextCharFormat inlineCodeFormat();
QFont codeFont(int pixelSize);

// The format of the object character that stands for an embed. Attachment values without the
// URL prefix are taken as bare ids; keys this system does not draw get no object type.
QTextCharFormat embedCharFormat(const QString& key, const QString& value);

// A table embed's JSON text, read but not yet built.
struct TableData
{
    QJsonArray rows; // each row an array of cells; a cell is a Delta array or a plain string
    int rowCount = 0;
    int columnCount = 0; // the longest row
    bool hasHeader = true;
};
// Nothing for text that is not a JSON object or describes no cell at all.
std::optional<TableData> parseTableJson(const QString& json);

// Tables larger than this stay a single embed character when loaded: building and laying out
// hundreds of thousands of cells would freeze the editor, and the embed still saves unchanged.
inline constexpr int kMaxTableCells = 50000;

QTextTableFormat tableFormat(bool hasHeader);
// Inserts a table at the cursor and marks the empty paragraphs the insertion created next to it
// as spacers, which are never saved while they stay empty.
QTextTable* insertNoteTable(QTextCursor& cursor, int rows, int columns, const QTextTableFormat& format);
// Builds a table from a table embed's JSON text and leaves the cursor just after it.
// Returns nullptr and changes nothing for malformed or empty tables.
QTextTable* insertTableFromJson(QTextCursor& cursor, const QString& json);
QTextTable* insertParsedTable(QTextCursor& cursor, const TableData& table);

// True for an empty paragraph created next to a table.
bool isTableSpacer(const QTextBlock& block);

QJsonArray documentToDelta(const QTextDocument* document);
// The same as compact JSON text, byte for byte what QJsonDocument would print for the array,
// without building the array first.
QByteArray documentToDeltaJson(const QTextDocument* document);
void tableToDelta(const QTextTable* table, QJsonArray& out);
QJsonArray cellToDelta(const QTextTableCell& cell);

// Rebuilds an empty document from parsed ops (the loading half of DeltaDocument). The caller
// clears the document first and owns signal blocking and the undo stack.
void fillDocument(QTextDocument* document, const QList<DeltaOp>& ops);
