#include "NoteEditorBlocks.h"

#include "RichTextConversion.h"
#include "TextFormats.h"

#include <QTextCursor>
#include <QTextList>
#include <QTextTable>
#include <algorithm>

using namespace TextFormats;

namespace {

bool hasAttachmentObject(const QTextBlock& block)
{
    for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().charFormat().objectType() == AttachmentObjectType)
            return true;
    }
    return false;
}

} // namespace

namespace EditorBlocks {

QString listTypeOf(const QTextBlock& block)
{
    const QTextBlockFormat format = block.blockFormat();
    switch (format.marker()) {
    case QTextBlockFormat::MarkerType::Checked:
        return QStringLiteral("checked");
    case QTextBlockFormat::MarkerType::Unchecked:
        return QStringLiteral("unchecked");
    default:
        break;
    }
    const QString type = format.stringProperty(ListTypeProperty);
    if (!type.isEmpty())
        return type;
    if (const QTextList* list = block.textList())
        return list->format().style() == QTextListFormat::ListDecimal ? QStringLiteral("ordered")
                                                                      : QStringLiteral("bullet");
    return {};
}

bool isListItem(const QTextBlock& block)
{
    return block.textList() || block.blockFormat().marker() != QTextBlockFormat::MarkerType::NoMarker ||
           !block.blockFormat().stringProperty(ListTypeProperty).isEmpty();
}

int headingOf(const QTextBlockFormat& format)
{
    const int level = format.intProperty(HeadingLevelProperty);
    return level >= 1 && level <= 6 ? level : 0;
}

bool isCodeFormat(const QTextCharFormat& format)
{
    if (format.fontFixedPitch())
        return true;
    const QString monospace = QStringLiteral("monospace");
    if (format.stringProperty(QTextFormat::FontFamily).contains(monospace, Qt::CaseInsensitive))
        return true;
    const QStringList families = format.property(QTextFormat::FontFamilies).toStringList();
    return std::any_of(families.begin(), families.end(),
                       [&](const QString& family) { return family.contains(monospace, Qt::CaseInsensitive); });
}

bool sameContainer(const QTextBlock& a, const QTextBlock& b)
{
    if (!a.isValid() || !b.isValid())
        return false;
    const QTextCursor ca(a);
    const QTextCursor cb(b);
    QTextTable* ta = ca.currentTable();
    QTextTable* tb = cb.currentTable();
    if (ta != tb)
        return false;
    if (ta)
        return ta->cellAt(a.position()) == tb->cellAt(b.position());
    return ca.currentFrame() == cb.currentFrame();
}

bool inTable(const QTextBlock& block)
{
    return QTextCursor(block).currentTable() != nullptr;
}

void styleBlockFormat(QTextBlockFormat& format, const QTextBlock& block)
{
    applyBlockStyle(format);
    if (hasAttachmentObject(block))
        format.setLineHeight(0, QTextBlockFormat::SingleHeight);
}

void relistFollowing(const QTextBlock& last)
{
    QTextBlock block = last.next();
    while (block.isValid() && isListItem(block) && sameContainer(block, last)) {
        applyList(QTextCursor(block), listTypeOf(block));
        block = block.next();
    }
}

} // namespace EditorBlocks
