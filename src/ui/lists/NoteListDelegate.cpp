#include "NoteListDelegate.h"

#include "FontScale.h"
#include "NoteListWidget.h"
#include "RelativeDate.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <algorithm>

namespace {

constexpr int kMarkStep = 22;
constexpr int kMarkSize = 14;
const QString kDash = QStringLiteral("\u2E3A");

QFont sansFont(int pixelSize, int weight, bool italic = false)
{
    QFont font(QStringLiteral("IBM Plex Sans"));
    font.setPixelSize(pixelSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(italic);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

} // namespace

ListPalette listPalette(const QPalette& palette)
{
    ListPalette c;
    c.base = palette.color(QPalette::Active, QPalette::Base);
    c.text = palette.color(QPalette::Active, QPalette::Text);
    c.accent = palette.color(QPalette::Active, QPalette::Highlight);
    if (c.base.lightness() >= 128) {
        c.hover = c.base.darker(103);
        c.selected = c.base.darker(108);
        c.separator = c.base.darker(112);
        c.muted = c.text.lighter(140);
        c.faint = c.text.lighter(225);
        c.soft = c.text.lighter(175);
    } else {
        c.hover = c.base.lighter(125);
        c.selected = c.base.lighter(150);
        c.separator = c.base.lighter(155);
        c.muted = c.text.darker(118);
        c.faint = c.text.darker(170);
        c.soft = c.text.darker(140);
    }
    c.amber = QColor(230, 178, 59);
    c.coral = QColor(224, 122, 107);
    return c;
}

NoteListMetrics noteListMetrics(int fontScale)
{
    const int base = std::max(16 * fontScale / 100, 1);
    // Each size is round(n * base / 16): n pixels at 100 %.
    NoteListMetrics m;
    m.titlePx = std::max(scaleRound(15, base, 16), 10);
    m.previewPx = std::max(scaleRound(13, base, 16), 9);
    m.metaPx = std::max(scaleRound(11, base, 16), 8);
    m.fourthPx = std::max(scaleRound(12, base, 16), 9);
    m.rowHeight = std::max(
        scaleRound(m.titlePx, 13, 10) + scaleRound(m.previewPx, 13, 10) + scaleRound(m.metaPx, 12, 10) + 41, 72);
    return m;
}

NoteListDelegate::NoteListDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{}

QList<NoteListDelegate::Mark> NoteListDelegate::marks(const QModelIndex& index)
{
    QList<Mark> result;
    if (index.data(NoteListRole::Shared).toBool())
        result << Mark::Shared;
    const int sync = index.data(NoteListRole::SyncState).toInt();
    if (sync == 0)
        result << Mark::Pending;
    else if (sync == 2)
        result << Mark::Conflict;
    return result;
}

QString NoteListDelegate::displayTitle(const QString& title, bool derived)
{
    if (!derived)
        return title;
    if (title.isEmpty())
        return kDash + QStringLiteral("  ") + tr("Untitled");
    if (title.startsWith(kDash + QLatin1Char(' ')))
        return title;
    return kDash + QStringLiteral("  ") + title;
}

QFont NoteListDelegate::titleFont(int pixelSize, bool derived)
{
    return derived ? sansFont(pixelSize, 500, true) : sansFont(pixelSize, 600);
}

QFont NoteListDelegate::previewFont(int pixelSize)
{
    return sansFont(pixelSize, 400);
}

QFont NoteListDelegate::metaFont(int pixelSize)
{
    QFont font(QStringLiteral("IBM Plex Mono"));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Medium);
    font.setCapitalization(QFont::AllUppercase);
    font.setLetterSpacing(QFont::PercentageSpacing, 108);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QSize NoteListDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width(), noteListMetrics(FontScale::percent()).rowHeight};
}

void NoteListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const ListPalette c = listPalette(option.widget ? option.widget->palette() : option.palette);
    const NoteListMetrics m = noteListMetrics(FontScale::percent());
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const bool hovered = option.state & QStyle::State_MouseOver;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::TextAntialiasing);

    painter->fillRect(r, selected ? c.selected : hovered ? c.hover : c.base);
    painter->setPen(QPen(c.separator, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->drawLine(QPointF(r.left(), r.bottom() + 0.5), QPointF(r.right() + 1, r.bottom() + 0.5));
    if (selected)
        painter->fillRect(QRect(r.left(), r.top() + 16, 2, r.height() - 32), c.accent);

    const QList<Mark> rowMarks = marks(index);
    const int markArea = rowMarks.isEmpty() ? 0 : kMarkStep * int(rowMarks.size()) + 4;
    const int textLeft = r.left() + 28;
    const int textRight = r.right() - 24;
    const int textWidth = std::max(textRight - textLeft, 0);

    // Title line.
    const bool derived = index.data(NoteListRole::TitleMissing).toBool();
    const QFont tFont = titleFont(m.titlePx, derived);
    const QFontMetrics tMetrics(tFont);
    const QString title = displayTitle(index.data(NoteListRole::Title).toString(), derived);
    painter->setFont(tFont);
    painter->setPen(derived ? c.muted : c.text);
    const int titleTop = r.top() + 16;
    painter->drawText(QPoint(textLeft, titleTop + tMetrics.ascent()),
                      tMetrics.elidedText(title, Qt::ElideRight, std::max(textWidth - markArea, 0)));

    // Marks, centred on the title line.
    const qreal markTop = titleTop + (tMetrics.ascent() - kMarkSize) * 0.5 + 2;
    qreal markLeft = textRight - kMarkStep * rowMarks.size() + 8;
    for (Mark mark : rowMarks) {
        paintMark(painter, mark, QRectF(markLeft, markTop, kMarkSize, kMarkSize), c);
        markLeft += kMarkStep;
    }

    // Preview line.
    int lineTop = titleTop;
    int lineHeight = tMetrics.height();
    const QString preview = index.data(NoteListRole::Preview).toString();
    if (!preview.isEmpty()) {
        const QFont pFont = previewFont(m.previewPx);
        const QFontMetrics pMetrics(pFont);
        lineTop = r.top() + 21 + tMetrics.height();
        lineHeight = pMetrics.height();
        painter->setFont(pFont);
        painter->setPen(c.soft);
        painter->drawText(QPoint(textLeft, lineTop + pMetrics.ascent()),
                          pMetrics.elidedText(preview, Qt::ElideRight, textWidth));
    }

    // Meta line: relative date, then the notebook.
    const int metaTop = lineTop + lineHeight + 4;
    const QFont mFont = metaFont(m.metaPx);
    const QFontMetrics mMetrics(mFont);
    const QString date = relativeDate(index.data(NoteListRole::UpdatedAt).toDateTime());
    painter->setFont(mFont);
    painter->setPen(c.faint);
    painter->drawText(QPoint(textLeft, metaTop + mMetrics.ascent()), date);
    const QString notebook = index.data(NoteListRole::NotebookName).toString();
    if (!notebook.isEmpty()) {
        const int nameLeft = textLeft + mMetrics.horizontalAdvance(date) + 10;
        const QFont nFont = sansFont(m.metaPx, 400);
        const QFontMetrics nMetrics(nFont);
        painter->setFont(nFont);
        painter->drawText(QPoint(nameLeft, metaTop + mMetrics.ascent()),
                          nMetrics.elidedText(notebook, Qt::ElideRight, std::max(textRight - nameLeft - 20, 0)));
    }

    painter->restore();
}

void NoteListDelegate::paintMark(QPainter* painter, Mark mark, const QRectF& square, const ListPalette& c)
{
    painter->save();
    switch (mark) {
    case Mark::Shared: {
        // Two heads and shoulders: shared with other people.
        painter->setPen(QPen(c.accent, 1.4));
        painter->setBrush(Qt::NoBrush);
        const qreal x = square.left();
        const qreal y = square.top();
        painter->drawEllipse(QPointF(x + 5, y + 4.5), 2.5, 2.5);
        painter->drawArc(QRectF(x + 0.5, y + 8.5, 9, 9), 0, 180 * 16);
        painter->drawEllipse(QPointF(x + 10.5, y + 5), 2, 2);
        painter->drawArc(QRectF(x + 7.5, y + 9, 6.5, 7), 0, 180 * 16);
        break;
    }
    case Mark::Pending: {
        // A small clock: not uploaded yet.
        painter->setPen(QPen(c.amber, 1.5));
        painter->setBrush(Qt::NoBrush);
        const QPointF centre = square.center();
        painter->drawEllipse(centre, 5.5, 5.5);
        painter->drawLine(centre, centre + QPointF(0, -3.5));
        painter->drawLine(centre, centre + QPointF(2.5, 0));
        break;
    }
    case Mark::Conflict: {
        // A warning triangle: this copy and the server's disagree.
        QPainterPath triangle;
        triangle.moveTo(square.center().x(), square.top() + 1);
        triangle.lineTo(square.right() - 0.5, square.bottom() - 1);
        triangle.lineTo(square.left() + 0.5, square.bottom() - 1);
        triangle.closeSubpath();
        painter->setPen(Qt::NoPen);
        painter->setBrush(c.coral);
        painter->drawPath(triangle);
        painter->setPen(QPen(c.base, 1.6, Qt::SolidLine, Qt::RoundCap));
        painter->drawLine(QPointF(square.center().x(), square.top() + 5.5),
                          QPointF(square.center().x(), square.top() + 9));
        painter->drawPoint(QPointF(square.center().x(), square.top() + 11.2));
        break;
    }
    }
    painter->restore();
}
