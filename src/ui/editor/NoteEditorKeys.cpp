#include "NoteEditor.h"
#include "NoteEditorBlocks.h"
#include "RichTextConversion.h"
#include "TextFormats.h"

#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextTable>
#include <algorithm>

using namespace TextFormats;
using namespace EditorBlocks;

namespace {

// Modifiers as the key rules see them: the keypad flag says where a key sits, not what it means.
Qt::KeyboardModifiers plainModifiers(const QKeyEvent* event)
{
    return event->modifiers() & ~Qt::KeypadModifier;
}

bool isReturn(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Ctrl+Shift shortcuts name the unshifted key; keyboards report the shifted symbol instead
// (US layout shown, the common case), so both are taken.
bool isKey(int key, Qt::Key plain, Qt::Key shifted)
{
    return key == plain || key == shifted;
}

// A block's content as runs of text with their formats; object characters travel as text with their
// object format. Unlike a document fragment this never carries list or block structure along.
struct Run
{
    QString text;
    QTextCharFormat format;
};

QList<Run> blockRuns(const QTextBlock& block)
{
    QList<Run> runs;
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.isValid())
            runs.append({fragment.text(), fragment.charFormat()});
    }
    return runs;
}

void insertRuns(QTextCursor& cursor, const QList<Run>& runs)
{
    for (const Run& run : runs)
        cursor.insertText(run.text, run.format);
}

} // namespace

bool NoteEditor::event(QEvent* event)
{
    // Our own editing keys win over window shortcuts bound to the same keys while the editor has focus.
    if (event->type() == QEvent::ShortcutOverride && !isReadOnly() &&
        isEditorShortcut(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QTextEdit::event(event);
}

bool NoteEditor::handlesShortcut(const QKeySequence& key) const
{
    if (key.count() != 1)
        return false;
    QKeyEvent event(QEvent::ShortcutOverride, key[0].key(), key[0].keyboardModifiers());
    return isEditorShortcut(&event);
}

bool NoteEditor::isEditorShortcut(QKeyEvent* event) const
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = plainModifiers(event);
    if (mods == Qt::ControlModifier) {
        return (key >= Qt::Key_0 && key <= Qt::Key_3) || key == Qt::Key_B || key == Qt::Key_I || key == Qt::Key_U ||
               key == Qt::Key_QuoteLeft || key == Qt::Key_L || key == Qt::Key_W;
    }
    if (mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
        return isKey(key, Qt::Key_7, Qt::Key_Ampersand) || isKey(key, Qt::Key_8, Qt::Key_Asterisk) ||
               isKey(key, Qt::Key_9, Qt::Key_ParenLeft) || isKey(key, Qt::Key_QuoteLeft, Qt::Key_AsciiTilde) ||
               key == Qt::Key_B || key == Qt::Key_X || key == Qt::Key_D || key == Qt::Key_K;
    }
    if (mods == Qt::AltModifier)
        return key == Qt::Key_Up || key == Qt::Key_Down;
    return false;
}

void NoteEditor::keyPressEvent(QKeyEvent* event)
{
    if (isReadOnly()) {
        QTextEdit::keyPressEvent(event);
        return;
    }
    if (handleListEnter(event) || handleTableTab(event) || handleCtrlKey(event) || handleCtrlShiftKey(event) ||
        handleAltKey(event)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Backspace && plainModifiers(event) == Qt::NoModifier && !textCursor().hasSelection() &&
        textCursor().atBlockStart() && isListItem(textCursor().block())) {
        if (handleFirstBlockBackspace()) {
            event->accept();
            return;
        }
        // The default Backspace at the start of a list item takes the block out of its list but
        // leaves the check marker and our list type behind, which would still save as a list item.
        QTextCursor group = textCursor();
        group.beginEditBlock();
        QTextEdit::keyPressEvent(event);
        const QTextBlock block = textCursor().block();
        if (!block.textList() && isListItem(block)) {
            applyList(QTextCursor(block), QString());
            relistFollowing(block);
        }
        group.endEditBlock();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

bool NoteEditor::handleListEnter(QKeyEvent* event)
{
    if (!isReturn(event->key()) || plainModifiers(event) != Qt::NoModifier)
        return false;
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    if (cursor.hasSelection() || !isListItem(block))
        return false;

    if (block.text().isEmpty()) {
        // Enter on an empty item leaves the list.
        cursor.beginEditBlock();
        applyList(cursor, QString());
        relistFollowing(block);
        cursor.endEditBlock();
        emitFormatState();
        return true;
    }
    if (!cursor.atBlockStart())
        return false;

    // At the start of an item the item moves down and an empty plain line opens above it.
    cursor.beginEditBlock();
    QTextEdit::keyPressEvent(event);
    const QTextBlock lower = textCursor().block();
    const QTextBlock above = lower.previous();
    if (above.isValid() && above.text().isEmpty()) {
        applyList(QTextCursor(above), QString());
        relistFollowing(above);
    }
    cursor.endEditBlock();
    if (above.isValid() && above.text().isEmpty())
        setTextCursor(QTextCursor(above));
    emitFormatState();
    return true;
}

bool NoteEditor::handleFirstBlockBackspace()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const QTextBlock next = block.next();
    if (!cursor.atBlockStart() || !block.text().isEmpty() || !isListItem(block) || block != document()->firstBlock() ||
        !next.isValid() || !sameContainer(block, next))
        return false;

    QTextBlockFormat nextFormat = next.blockFormat();
    nextFormat.setObjectIndex(-1);
    const QTextCharFormat nextChars = next.charFormat();
    const QString nextType = listTypeOf(next);

    cursor.beginEditBlock();
    cursor.setPosition(block.position());
    cursor.setPosition(next.position(), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    // The surviving block gets the following block's formats and list type back, whatever the merge did.
    cursor.setBlockFormat(nextFormat);
    cursor.setBlockCharFormat(nextChars);
    applyList(cursor, nextType);
    relistFollowing(cursor.block());
    cursor.endEditBlock();
    setTextCursor(cursor);
    emitFormatState();
    return true;
}

bool NoteEditor::handleTableTab(QKeyEvent* event)
{
    const int key = event->key();
    const Qt::KeyboardModifiers mods = plainModifiers(event);
    const bool tab = key == Qt::Key_Tab && mods == Qt::NoModifier;
    const bool backtab = key == Qt::Key_Backtab;
    if (!tab && !backtab)
        return false;
    QTextCursor cursor = textCursor();
    QTextTable* table = cursor.currentTable();
    if (!table)
        return false;

    const QTextTableCell cell = table->cellAt(cursor);
    int row = cell.row();
    int column = cell.column();
    if (tab) {
        if (column + cell.columnSpan() < table->columns()) {
            column += cell.columnSpan();
        } else {
            column = 0;
            ++row;
            if (row >= table->rows())
                table->appendRows(1);
        }
    } else {
        if (column > 0) {
            --column;
        } else if (row > 0) {
            --row;
            column = table->columns() - 1;
        }
    }
    const QTextTableCell target = table->cellAt(row, column);
    setTextCursor(target.firstCursorPosition());
    return true;
}

bool NoteEditor::handleCtrlKey(QKeyEvent* event)
{
    if (plainModifiers(event) != Qt::ControlModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_0:
    case Qt::Key_1:
    case Qt::Key_2:
    case Qt::Key_3:
        setHeadingLevel(event->key() - Qt::Key_0);
        return true;
    case Qt::Key_B:
        toggleBold();
        return true;
    case Qt::Key_I:
        toggleItalic();
        return true;
    case Qt::Key_U:
        toggleUnderline();
        return true;
    case Qt::Key_QuoteLeft:
        toggleInlineCode();
        return true;
    case Qt::Key_L: {
        QTextCursor cursor = textCursor();
        cursor.movePosition(QTextCursor::StartOfBlock);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        setTextCursor(cursor);
        return true;
    }
    case Qt::Key_W: {
        QTextCursor cursor = textCursor();
        if (!cursor.hasSelection())
            cursor.movePosition(QTextCursor::PreviousWord, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        setTextCursor(cursor);
        return true;
    }
    default:
        return false;
    }
}

bool NoteEditor::handleCtrlShiftKey(QKeyEvent* event)
{
    if (plainModifiers(event) != (Qt::ControlModifier | Qt::ShiftModifier))
        return false;
    const int key = event->key();
    if (isKey(key, Qt::Key_7, Qt::Key_Ampersand))
        toggleList(QStringLiteral("ordered"));
    else if (isKey(key, Qt::Key_8, Qt::Key_Asterisk))
        toggleList(QStringLiteral("bullet"));
    else if (isKey(key, Qt::Key_9, Qt::Key_ParenLeft))
        toggleList(QStringLiteral("unchecked"));
    else if (key == Qt::Key_B)
        toggleBlockProperty(BlockquoteProperty);
    else if (isKey(key, Qt::Key_QuoteLeft, Qt::Key_AsciiTilde))
        toggleBlockProperty(CodeBlockProperty);
    else if (key == Qt::Key_X)
        toggleStrikethrough();
    else if (key == Qt::Key_D)
        duplicateBlock();
    else if (key == Qt::Key_K)
        deleteBlock();
    else
        return false;
    return true;
}

bool NoteEditor::handleAltKey(QKeyEvent* event)
{
    if (plainModifiers(event) != Qt::AltModifier || (event->key() != Qt::Key_Up && event->key() != Qt::Key_Down))
        return false;
    moveBlock(event->key() == Qt::Key_Up);
    return true;
}

void NoteEditor::duplicateBlock()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const int column = cursor.positionInBlock();
    const QList<Run> content = blockRuns(block);

    QTextCursor insert(block);
    insert.beginEditBlock();
    insert.movePosition(QTextCursor::EndOfBlock);
    insert.insertBlock(block.blockFormat(), block.charFormat());
    const int copyStart = insert.position();
    insertRuns(insert, content);
    insert.endEditBlock();

    QTextCursor inCopy(document());
    inCopy.setPosition(copyStart + std::min(column, insert.block().length() - 1));
    setTextCursor(inCopy);
}

void NoteEditor::deleteBlock()
{
    QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    const QTextBlock next = block.next();
    QTextCursor remove(document());
    remove.beginEditBlock();
    if (next.isValid() && sameContainer(block, next)) {
        // The following block survives the merge with its own formats.
        remove.setPosition(block.position());
        remove.setPosition(next.position(), QTextCursor::KeepAnchor);
        remove.removeSelectedText();
        relistFollowing(remove.block().previous().isValid() ? remove.block().previous() : remove.block());
    } else {
        // The last block of its container keeps its paragraph, only the text goes.
        remove.setPosition(block.position());
        remove.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        remove.removeSelectedText();
    }
    remove.endEditBlock();
    setTextCursor(remove);
    emitFormatState();
}

void NoteEditor::moveBlock(bool up)
{
    QTextCursor cursor = textCursor();
    const QTextBlock current = cursor.block();
    const QTextBlock neighbour = up ? current.previous() : current.next();
    if (!neighbour.isValid() || !sameContainer(current, neighbour))
        return;

    struct Content
    {
        QList<Run> runs;
        QTextBlockFormat format;
        QTextCharFormat chars;
        QString listType;
    };
    const auto capture = [](const QTextBlock& block) {
        QTextBlockFormat format = block.blockFormat();
        format.setObjectIndex(-1);
        return Content{blockRuns(block), format, block.charFormat(), listTypeOf(block)};
    };
    const auto replace = [this](int blockNumber, const Content& content) {
        QTextCursor edit(document()->findBlockByNumber(blockNumber));
        edit.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
        insertRuns(edit, content.runs);
        edit.setBlockFormat(content.format);
        edit.setBlockCharFormat(content.chars);
    };

    const int column = cursor.positionInBlock();
    const int currentNumber = current.blockNumber();
    const int neighbourNumber = neighbour.blockNumber();
    const Content moving = capture(current);
    const Content other = capture(neighbour);
    const int earlier = std::min(currentNumber, neighbourNumber);
    const int later = std::max(currentNumber, neighbourNumber);

    QTextCursor group(document());
    group.beginEditBlock();
    // The later block first, so the earlier one's position stays put.
    replace(later, later == neighbourNumber ? moving : other);
    replace(earlier, earlier == neighbourNumber ? moving : other);
    applyList(QTextCursor(document()->findBlockByNumber(earlier)),
              earlier == neighbourNumber ? moving.listType : other.listType);
    applyList(QTextCursor(document()->findBlockByNumber(later)),
              later == neighbourNumber ? moving.listType : other.listType);
    relistFollowing(document()->findBlockByNumber(later));
    group.endEditBlock();

    const QTextBlock moved = document()->findBlockByNumber(neighbourNumber);
    QTextCursor place(moved);
    place.setPosition(moved.position() + std::min(column, std::max(moved.length() - 1, 0)));
    setTextCursor(place);
    emitFormatState();
}
