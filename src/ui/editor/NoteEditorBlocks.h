#pragma once

// Block rules the editor's seams share: what a line is (list item, heading, code), which lines
// belong together (one table cell, one frame) and how lines are styled after their kind changed.

#include <QChar>
#include <QString>
#include <QTextBlock>

class QTextBlockFormat;
class QTextCharFormat;

namespace EditorBlocks {

constexpr QChar kObjectChar = QChar::ObjectReplacementCharacter;

QString listTypeOf(const QTextBlock& block);
bool isListItem(const QTextBlock& block);
int headingOf(const QTextBlockFormat& format);
bool isCodeFormat(const QTextCharFormat& format);
// Blocks of one paragraph container: the same table cell, or the same frame outside tables.
bool sameContainer(const QTextBlock& a, const QTextBlock& b);
bool inTable(const QTextBlock& block);
// Margins and line height from the block's kind; lines that hold a picture stay single spaced,
// as they are when loaded, or a tall image would get half its height again as line spacing.
void styleBlockFormat(QTextBlockFormat& format, const QTextBlock& block);
// After list items changed, the items that follow are re-attached the way a load would attach
// them, so numbering restarts after a plain paragraph and joins across a new neighbour.
void relistFollowing(const QTextBlock& last);

} // namespace EditorBlocks
