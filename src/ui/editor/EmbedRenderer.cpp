#include "EmbedRenderer.h"

#include "FontScale.h"
#include "NoteEditor.h"
#include "TextFormats.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

using namespace TextFormats;

QSizeF EmbedRenderer::intrinsicSize(QTextDocument* doc, int posInDocument, const QTextFormat& format)
{
    if (format.objectType() == DividerObjectType) {
        const QTextBlockFormat block = doc->findBlock(posInDocument).blockFormat();
        const qreal available = doc->textWidth() > 0 ? doc->textWidth() - 2 * doc->documentMargin() : 400;
        // A little short of the line, so the rule never wraps onto a line of its own.
        const qreal width = available - block.leftMargin() - block.rightMargin() - 4;
        return QSizeF(std::max<qreal>(width, 24), FontScale::scaled(16));
    }
    const QFontMetrics metrics(QGuiApplication::font());
    return QSizeF(metrics.horizontalAdvance(tableLabel()) + 24, metrics.height() + 12);
}

void EmbedRenderer::drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int, const QTextFormat& format)
{
    painter->save();
    const bool dark = isDarkPalette();
    if (format.objectType() == DividerObjectType) {
        painter->setPen(QPen(QColor(dark ? 0x4A : 0xD0, dark ? 0x4D : 0xD4, dark ? 0x52 : 0xDA), 1));
        const qreal y = std::floor(rect.center().y()) + 0.5;
        painter->drawLine(QPointF(rect.left(), y), QPointF(rect.right(), y));
    } else {
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->setPen(QColor(dark ? QStringLiteral("#3A3A3A") : QStringLiteral("#E0E0E0")));
        painter->setBrush(QColor(dark ? QStringLiteral("#2A2D31") : QStringLiteral("#ECEEF1")));
        const QRectF box = rect.adjusted(0.5, 0.5, -0.5, -2.5);
        painter->drawRoundedRect(box, 6, 6);
        painter->setFont(QGuiApplication::font());
        painter->setPen(QColor(dark ? QStringLiteral("#C4C6CF") : QStringLiteral("#44474E")));
        painter->drawText(box, Qt::AlignCenter, tableLabel());
    }
    painter->restore();
}

QString EmbedRenderer::tableLabel()
{
    return NoteEditor::tr("Table (too large to show)");
}
