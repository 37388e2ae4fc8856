#include "DeltaFormat.h"
#include "NoteEditor.h"
#include "NoteEditorBlocks.h"
#include "RichTextConversion.h"
#include "TableDialog.h"
#include "TextFormats.h"

#include <QGuiApplication>
#include <QMenu>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextTable>

using namespace TextFormats;
using namespace EditorBlocks;

void NoteEditor::addTableMenu(QMenu* menu)
{
    // Each action looks the table up again: the document may have changed since the menu opened.
    const auto withCell = [this](const std::function<void(QTextTable*, const QTextTableCell&)>& action) {
        return [this, action] {
            if (isReadOnly())
                return;
            QTextCursor cursor = textCursor();
            QTextTable* table = cursor.currentTable();
            if (!table)
                return;
            action(table, table->cellAt(cursor));
        };
    };
    connect(menu->addAction(tr("Insert Row Above")), &QAction::triggered, this,
            withCell([](QTextTable* table, const QTextTableCell& cell) { table->insertRows(cell.row(), 1); }));
    connect(menu->addAction(tr("Insert Row Below")), &QAction::triggered, this,
            withCell([](QTextTable* table, const QTextTableCell& cell) {
                table->insertRows(cell.row() + cell.rowSpan(), 1);
            }));
    menu->addSeparator();
    connect(menu->addAction(tr("Insert Column Before")), &QAction::triggered, this,
            withCell([](QTextTable* table, const QTextTableCell& cell) { table->insertColumns(cell.column(), 1); }));
    connect(menu->addAction(tr("Insert Column After")), &QAction::triggered, this,
            withCell([](QTextTable* table, const QTextTableCell& cell) {
                table->insertColumns(cell.column() + cell.columnSpan(), 1);
            }));
    menu->addSeparator();
    connect(menu->addAction(tr("Delete Row")), &QAction::triggered, this,
            withCell([this](QTextTable* table, const QTextTableCell& cell) {
                if (table->rows() <= 1)
                    deleteTableAtCursor();
                else
                    table->removeRows(cell.row(), 1);
            }));
    connect(menu->addAction(tr("Delete Column")), &QAction::triggered, this,
            withCell([this](QTextTable* table, const QTextTableCell& cell) {
                if (table->columns() <= 1)
                    deleteTableAtCursor();
                else
                    table->removeColumns(cell.column(), 1);
            }));
    menu->addSeparator();
    connect(menu->addAction(tr("Delete Table")), &QAction::triggered, this,
            withCell([this](QTextTable*, const QTextTableCell&) { deleteTableAtCursor(); }));
    for (QAction* action : menu->actions())
        action->setEnabled(!isReadOnly());
}

void NoteEditor::deleteTableAtCursor()
{
    QTextTable* table = textCursor().currentTable();
    if (!table)
        return;
    QTextCursor remove(document());
    remove.beginEditBlock();
    remove.setPosition(table->firstPosition() - 1);
    remove.setPosition(table->lastPosition() + 1, QTextCursor::KeepAnchor);
    remove.removeSelectedText();
    // The empty paragraph the table insertion added after the table has nothing to stand next to now.
    const QTextBlock after = remove.block();
    const QTextBlock before = after.previous();
    if (before.isValid() && isTableSpacer(after) && after.text().isEmpty() && before.text().isEmpty() &&
        sameContainer(before, after)) {
        remove.setPosition(before.position() + before.length() - 1);
        remove.setPosition(after.position(), QTextCursor::KeepAnchor);
        remove.removeSelectedText();
    }
    remove.endEditBlock();
    setTextCursor(remove);
    emitFormatState();
}

void NoteEditor::insertTableDialog()
{
    if (isReadOnly() || textCursor().currentTable())
        return;
    auto* dialog = new TableDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    const int generation = m_loadGeneration;
    connect(dialog, &QDialog::accepted, this, [this, dialog, generation] {
        if (generation == m_loadGeneration)
            insertTable(dialog->rows(), dialog->columns(), dialog->includeHeader());
    });
    dialog->open();
}

void NoteEditor::insertTable(int rows, int columns, bool header)
{
    QTextCursor cursor = textCursor();
    if (isReadOnly() || rows < 1 || columns < 1 || cursor.currentTable())
        return;
    cursor.beginEditBlock();
    cursor.clearSelection();
    if (!cursor.block().text().isEmpty()) {
        const QTextBlockFormat plain = lineAttributesToBlockFormat({});
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertBlock(plain, lineCharFormat(plain));
    }
    QTextTable* table = insertNoteTable(cursor, rows, columns, tableFormat(header));
    if (table && header) {
        const QColor background = QGuiApplication::palette().color(QPalette::Active, QPalette::AlternateBase);
        for (int column = 0; column < columns; ++column) {
            QTextTableCell cell = table->cellAt(0, column);
            QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
            cellFormat.setBackground(background);
            cellFormat.setFontWeight(700);
            cell.setFormat(cellFormat);
            QTextCursor cellCursor = cell.firstCursorPosition();
            QTextCharFormat bold = cellCursor.blockCharFormat();
            bold.setFontWeight(700);
            cellCursor.setBlockCharFormat(bold);
        }
    }
    cursor.endEditBlock();
    if (table)
        setTextCursor(table->cellAt(0, 0).firstCursorPosition());
    setFocus();
    emitFormatState();
}
