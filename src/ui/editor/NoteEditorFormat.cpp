#include "DeltaFormat.h"
#include "NoteEditor.h"
#include "NoteEditorBlocks.h"
#include "RichTextConversion.h"
#include "TextFormats.h"

#include <QAbstractTextDocumentLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <utility>

using namespace TextFormats;
using namespace EditorBlocks;

namespace {

QList<QTextBlock> blocksOf(const QTextCursor& cursor)
{
    QList<QTextBlock> blocks;
    const QTextDocument* doc = cursor.document();
    QTextBlock block = doc->findBlock(cursor.selectionStart());
    const QTextBlock last = doc->findBlock(cursor.selectionEnd());
    while (block.isValid()) {
        blocks.append(block);
        if (block == last)
            break;
        block = block.next();
    }
    return blocks;
}

// The character formats of a line's runs follow its kind (heading size and weight, code font).
// Each run is rebuilt from its own attributes on top of the new line format, the way loading
// builds it; what the old kind implied (bold of big headings, code of code lines) is dropped.
void restyleBlockText(const QTextBlock& block, const QTextBlockFormat& oldFormat, const QTextBlockFormat& newFormat)
{
    const QTextCharFormat oldLine = lineCharFormat(oldFormat);
    const QTextCharFormat newLine = lineCharFormat(newFormat);
    QTextCursor cursor(block);
    cursor.setBlockCharFormat(newLine);
    if (oldLine == newLine)
        return;
    const bool dropBold = headingOf(oldFormat) && headingStyle(headingOf(oldFormat)).weight >= 700;
    const bool dropCode = oldFormat.hasProperty(CodeBlockProperty);

    struct Run
    {
        int start;
        int length;
        QTextCharFormat format;
    };
    QList<Run> runs;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid() || fragment.charFormat().objectType() != QTextFormat::NoObject)
            continue;
        QJsonObject attributes = charFormatToCharAttributes(fragment.charFormat());
        if (dropBold)
            attributes.remove(QStringLiteral("bold"));
        if (dropCode)
            attributes.remove(QStringLiteral("code"));
        QTextCharFormat format = newLine;
        format.merge(charAttributesToCharFormat(attributes));
        runs.append({fragment.position(), fragment.length(), format});
    }
    for (const Run& run : std::as_const(runs)) {
        cursor.setPosition(run.start);
        cursor.setPosition(run.start + run.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(run.format);
    }
}

bool isWordChar(QChar ch)
{
    return ch.isLetterOrNumber() || ch == QLatin1Char('_');
}

bool insideWord(const QTextCursor& cursor)
{
    const QString text = cursor.block().text();
    const int at = cursor.positionInBlock();
    return at > 0 && at < text.size() && isWordChar(text.at(at - 1)) && isWordChar(text.at(at));
}

void clearCodeFormatting(QTextCharFormat& format, const QTextCharFormat& line)
{
    format.clearProperty(QTextFormat::FontFamily);
    format.clearProperty(QTextFormat::FontFamilies);
    format.clearProperty(QTextFormat::FontFixedPitch);
    format.clearProperty(QTextFormat::FontStyleHint);
    format.clearForeground();
    format.clearBackground();
    if (line.hasProperty(QTextFormat::FontPixelSize))
        format.setProperty(QTextFormat::FontPixelSize, line.property(QTextFormat::FontPixelSize));
    if (line.hasProperty(QTextFormat::ForegroundBrush))
        format.setForeground(line.foreground());
    if (format.isAnchor())
        format.setForeground(QColor(QLatin1String(kLinkColor)));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Character formatting

void NoteEditor::toggleBold()
{
    toggleCharProperty(QTextFormat::FontWeight);
}

void NoteEditor::toggleItalic()
{
    toggleCharProperty(QTextFormat::FontItalic);
}

void NoteEditor::toggleUnderline()
{
    toggleCharProperty(QTextFormat::TextUnderlineStyle);
}

void NoteEditor::toggleStrikethrough()
{
    toggleCharProperty(QTextFormat::FontStrikeOut);
}

void NoteEditor::toggleCharProperty(int property)
{
    if (isReadOnly())
        return;
    const QTextCharFormat current = textCursor().charFormat();
    QTextCharFormat change;
    switch (property) {
    case QTextFormat::FontWeight:
        change.setFontWeight(current.fontWeight() >= 700 ? QFont::Normal : QFont::Bold);
        break;
    case QTextFormat::FontItalic:
        change.setFontItalic(!current.fontItalic());
        break;
    case QTextFormat::TextUnderlineStyle:
        change.setFontUnderline(!current.fontUnderline());
        break;
    case QTextFormat::FontStrikeOut:
        change.setFontStrikeOut(!current.fontStrikeOut());
        break;
    default:
        return;
    }
    mergeAtCursor(change);
    emitFormatState();
}

void NoteEditor::mergeAtCursor(const QTextCharFormat& change)
{
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        cursor.mergeCharFormat(change);
        return;
    }
    // Inside a word the whole word changes; at a word boundary only what is typed next.
    if (insideWord(cursor)) {
        QTextCursor word = cursor;
        word.select(QTextCursor::WordUnderCursor);
        word.mergeCharFormat(change);
    }
    mergeCurrentCharFormat(change);
}

void NoteEditor::toggleInlineCode()
{
    if (isReadOnly())
        return;
    QTextCursor cursor = textCursor();
    const bool isCode = isCodeFormat(cursor.charFormat());
    if (!isCode) {
        mergeAtCursor(inlineCodeFormat());
        emitFormatState();
        return;
    }

    // Switching code off has to remove properties, which merging cannot do.
    const auto clear = [](QTextCharFormat& format, const QTextBlock& block) {
        clearCodeFormatting(format, lineCharFormat(block.blockFormat()));
    };
    if (cursor.hasSelection()) {
        applyToSelectionFragments(cursor, [&](QTextCharFormat& format) { clear(format, cursor.block()); });
    } else {
        if (insideWord(cursor)) {
            QTextCursor word = cursor;
            word.select(QTextCursor::WordUnderCursor);
            applyToSelectionFragments(word, [&](QTextCharFormat& format) { clear(format, cursor.block()); });
        }
        QTextCharFormat typing = textCursor().charFormat();
        clear(typing, cursor.block());
        setCurrentCharFormat(typing);
    }
    emitFormatState();
}

void NoteEditor::applyToSelectionFragments(QTextCursor cursor, const std::function<void(QTextCharFormat&)>& change)
{
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    struct Run
    {
        int start;
        int end;
        QTextCharFormat format;
    };
    QList<Run> runs;
    for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || fragment.charFormat().objectType() != QTextFormat::NoObject)
                continue;
            const int from = std::max(start, fragment.position());
            const int to = std::min(end, fragment.position() + fragment.length());
            if (from >= to)
                continue;
            QTextCharFormat format = fragment.charFormat();
            change(format);
            runs.append({from, to, format});
        }
    }
    QTextCursor edit(document());
    edit.beginEditBlock();
    for (const Run& run : std::as_const(runs)) {
        edit.setPosition(run.start);
        edit.setPosition(run.end, QTextCursor::KeepAnchor);
        edit.setCharFormat(run.format);
    }
    edit.endEditBlock();
}

// ---------------------------------------------------------------------------------------------
// Block formatting

void NoteEditor::changeBlockKind(const std::function<void(QTextBlockFormat&)>& change)
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    for (const QTextBlock& block : blocksOf(cursor)) {
        const QTextBlockFormat old = block.blockFormat();
        QTextBlockFormat format = old;
        change(format);
        styleBlockFormat(format, block);
        if (format == old)
            continue;
        QTextCursor(block).setBlockFormat(format);
        restyleBlockText(block, old, format);
    }
    cursor.endEditBlock();

    takeLineFormatAtCaret();
}

void NoteEditor::setHeadingLevel(int level)
{
    if (isReadOnly())
        return;
    changeBlockKind([level](QTextBlockFormat& format) {
        if (level >= 1 && level <= 6)
            format.setProperty(HeadingLevelProperty, level);
        else
            format.clearProperty(HeadingLevelProperty);
    });
}

void NoteEditor::toggleList(const QString& type)
{
    if (isReadOnly() || type.isEmpty())
        return;
    QTextCursor cursor = textCursor();
    const QList<QTextBlock> blocks = blocksOf(cursor);
    const QString current = listTypeOf(blocks.first());
    // A ticked item counts as a check-list item, so the check-list toggle takes it out of the list.
    const bool off = current == type || (type == QLatin1String("unchecked") && current == QLatin1String("checked"));
    cursor.beginEditBlock();
    for (const QTextBlock& block : blocks) {
        // Lines inside table cells carry no line attributes.
        if (!inTable(block))
            applyList(QTextCursor(block), off ? QString() : type);
    }
    relistFollowing(blocks.last());
    cursor.endEditBlock();
    emitFormatState();
}

void NoteEditor::toggleBlockProperty(int property)
{
    if (isReadOnly() || (property != CodeBlockProperty && property != BlockquoteProperty))
        return;
    QTextCursor cursor = textCursor();
    QList<QTextBlock> blocks = blocksOf(cursor);
    blocks.erase(std::remove_if(blocks.begin(), blocks.end(), inTable), blocks.end());
    if (blocks.isEmpty())
        return;
    const auto has = [property](const QTextBlock& block) {
        const QTextBlockFormat format = block.blockFormat();
        return property == CodeBlockProperty ? format.hasProperty(property) : format.boolProperty(property);
    };
    const bool allHave = std::all_of(blocks.begin(), blocks.end(), has);

    cursor.beginEditBlock();
    for (const QTextBlock& block : std::as_const(blocks)) {
        const QTextBlockFormat old = block.blockFormat();
        if (!allHave && isListItem(block))
            applyList(QTextCursor(block), QString());
        QTextBlockFormat format = block.blockFormat();
        if (allHave) {
            format.clearProperty(property);
        } else {
            // The block kinds exclude each other.
            format.clearProperty(HeadingLevelProperty);
            format.clearProperty(CodeBlockProperty);
            format.clearProperty(BlockquoteProperty);
            format.setProperty(property, true);
        }
        styleBlockFormat(format, block);
        QTextCursor(block).setBlockFormat(format);
        restyleBlockText(block, old, format);
    }
    relistFollowing(blocks.last());
    cursor.endEditBlock();

    takeLineFormatAtCaret();
}

void NoteEditor::setAlignment(Qt::Alignment alignment)
{
    if (isReadOnly())
        return;
    QTextEdit::setAlignment(alignment);
    emitFormatState();
}

void NoteEditor::insertDivider()
{
    if (isReadOnly())
        return;
    QTextCursor cursor = textCursor();
    const QTextBlockFormat plain = lineAttributesToBlockFormat({});
    const QTextCharFormat plainChars = lineCharFormat(plain);
    cursor.beginEditBlock();
    cursor.clearSelection();
    if (!cursor.block().text().isEmpty()) {
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertBlock(plain, plainChars);
    } else {
        applyList(cursor, QString());
        cursor.setBlockFormat(plain);
        cursor.setBlockCharFormat(plainChars);
    }
    cursor.insertText(QString(kObjectChar), embedCharFormat(QLatin1String(kDividerEmbedKey), QStringLiteral("hr")));
    cursor.insertBlock(plain, plainChars);
    cursor.endEditBlock();
    setTextCursor(cursor);
}

// ---------------------------------------------------------------------------------------------
// Painting

void NoteEditor::paintEvent(QPaintEvent* event)
{
    QTextEdit::paintEvent(event);
    // Quoted lines get a bar in their left margin, so a quote reads as one, not as an indent.
    const QRect visible = viewport()->rect();
    const QPoint offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    QTextBlock block = cursorForPosition(QPoint(0, 0)).block();
    if (!block.isValid())
        return;
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    QPainter painter(viewport());
    const QColor bar = isDarkPalette() ? QColor(0x4A, 0x4D, 0x52) : QColor(0xB0, 0xBE, 0xC5);
    for (; block.isValid(); block = block.next()) {
        const QRectF rect = layout->blockBoundingRect(block).translated(-offset);
        if (rect.top() > visible.bottom())
            break;
        const QTextBlockFormat format = block.blockFormat();
        if (!format.boolProperty(BlockquoteProperty) || inTable(block))
            continue;
        const qreal x = rect.left() + std::max<qreal>(format.leftMargin() - 10, 0);
        painter.fillRect(
            QRectF(x, rect.top() + format.topMargin(), 3, rect.height() - format.topMargin() - format.bottomMargin()),
            bar);
    }
}

void NoteEditor::takeLineFormatAtCaret()
{
    // What is typed next follows the new line format, not a format remembered from before: a cursor
    // placed afresh on the same selection reads the format where it stands.
    QTextCursor fresh = textCursor();
    const int anchor = fresh.anchor();
    const int position = fresh.position();
    fresh.setPosition(anchor);
    fresh.setPosition(position, QTextCursor::KeepAnchor);
    setTextCursor(fresh);
    emitFormatState();
}
