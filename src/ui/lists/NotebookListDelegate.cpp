#include "NotebookListDelegate.h"

#include "FontScale.h"
#include "NoteListDelegate.h"
#include "NotebookListWidget.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

constexpr int kIconSize = 16;

QFont listFont(const QString& family, int pixelSize, int weight)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void paintKindIcon(QPainter* painter, int kind, const QRectF& box, const QColor& colour)
{
    painter->save();
    painter->setPen(QPen(colour, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter->setBrush(Qt::NoBrush);
    const qreal l = box.left();
    const qreal t = box.top();
    switch (kind) {
    case NotebookRowKind::AllNotes:
        // A stack of pages.
        painter->drawRoundedRect(QRectF(l + 2, t + 4, 10, 11), 1.5, 1.5);
        painter->drawPolyline(QPolygonF({QPointF(l + 5, t + 2), QPointF(l + 14, t + 2), QPointF(l + 14, t + 12)}));
        break;
    case NotebookRowKind::Notebook:
        // A book with its spine.
        painter->drawRoundedRect(QRectF(l + 3, t + 2, 10.5, 12.5), 1.5, 1.5);
        painter->drawLine(QPointF(l + 6, t + 2), QPointF(l + 6, t + 14.5));
        break;
    case NotebookRowKind::Trash:
        painter->drawLine(QPointF(l + 2, t + 4), QPointF(l + 14, t + 4));
        painter->drawLine(QPointF(l + 6.5, t + 2), QPointF(l + 9.5, t + 2));
        painter->drawPolyline(QPolygonF({QPointF(l + 3.5, t + 4), QPointF(l + 4.5, t + 14.5),
                                         QPointF(l + 11.5, t + 14.5), QPointF(l + 12.5, t + 4)}));
        break;
    default:
        painter->drawLine(QPointF(l + 8, t + 3), QPointF(l + 8, t + 13));
        painter->drawLine(QPointF(l + 3, t + 8), QPointF(l + 13, t + 8));
        break;
    }
    painter->restore();
}

} // namespace

NotebookListMetrics notebookListMetrics(int fontScale)
{
    const int base = std::max(16 * fontScale / 100, 1);
    NotebookListMetrics m;
    m.namePx = std::max(scaleRound(14, base, 16), 10);
    m.smallPx = std::max(scaleRound(11, base, 16), 8);
    m.rowHeight = std::max(scaleRound(m.namePx, 22, 10) + 6, 36);
    return m;
}

NotebookListDelegate::NotebookListDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{}

QSize NotebookListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width(), notebookListMetrics(FontScale::percent()).rowHeight};
}

void NotebookListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const ListPalette c = listPalette(option.widget ? option.widget->palette() : option.palette);
    const NotebookListMetrics m = notebookListMetrics(FontScale::percent());
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const bool hovered = option.state & QStyle::State_MouseOver;
    const int kind = index.data(NotebookListRole::Kind).toInt();

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);
    painter->fillRect(r, selected ? c.selected : hovered ? c.hover : c.base);
    if (selected)
        painter->fillRect(QRect(r.left(), r.top() + 8, 2, std::max(r.height() - 16, 0)), c.accent);

    const QRectF iconBox(r.left() + 16, r.top() + (r.height() - kIconSize) / 2.0, kIconSize, kIconSize);
    const QColor iconColour = selected ? c.accent : c.soft;
    paintKindIcon(painter, kind, iconBox, iconColour);

    const int textLeft = r.left() + 16 + kIconSize + 10;
    int textRight = r.right() - 14;

    // Count (not for "New Notebook…"), right-aligned in the mono font.
    if (kind != NotebookRowKind::NewNotebook) {
        const QFont countFont = listFont(QStringLiteral("IBM Plex Mono"), m.smallPx, 500);
        const QFontMetrics cm(countFont);
        const QString count = QString::number(index.data(NotebookListRole::Count).toInt());
        const int countWidth = cm.horizontalAdvance(count);
        painter->setFont(countFont);
        painter->setPen(c.faint);
        painter->drawText(QPoint(textRight - countWidth, r.top() + (r.height() + cm.ascent() - cm.descent()) / 2),
                          count);
        textRight -= countWidth + 8;
        if (index.data(NotebookListRole::Shared).toBool()) {
            // A small dot in the accent colour marks a shared notebook.
            painter->setPen(Qt::NoPen);
            painter->setBrush(c.accent);
            painter->drawEllipse(QPointF(textRight - 3, r.center().y() + 0.5), 3, 3);
            textRight -= 12;
        }
    }

    const QFont nameFont = listFont(QStringLiteral("IBM Plex Sans"), m.namePx, selected ? 600 : 400);
    const QFontMetrics nm(nameFont);
    painter->setFont(nameFont);
    painter->setPen(kind == NotebookRowKind::NewNotebook ? c.soft : c.text);
    const QString name = index.data(NotebookListRole::Text).toString();
    painter->drawText(QPoint(textLeft, r.top() + (r.height() + nm.ascent() - nm.descent()) / 2),
                      nm.elidedText(name, Qt::ElideRight, std::max(textRight - textLeft, 0)));
    painter->restore();
}
