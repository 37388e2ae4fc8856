#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QStyledItemDelegate>

class QPalette;

// Colours of the self-painted lists, derived from the view's palette at every paint so both lists
// follow the light and dark themes without colours of their own.
struct ListPalette
{
    QColor base;
    QColor hover;
    QColor selected;
    QColor separator;
    QColor text;
    QColor muted;
    QColor faint;
    QColor soft;
    QColor accent;
    QColor amber;
    QColor coral;
};
ListPalette listPalette(const QPalette& palette);

// Round half away from zero of value * numerator / denominator, for the non-negative sizes below.
inline int scaleRound(int value, int numerator, int denominator)
{
    return (value * numerator * 2 + denominator) / (denominator * 2);
}

// Pixel sizes of the note list at a font scale in percent.
struct NoteListMetrics
{
    int titlePx = 0;
    int previewPx = 0;
    int metaPx = 0;
    int fourthPx = 0;
    int rowHeight = 0;
};
NoteListMetrics noteListMetrics(int fontScale);

// Paints one note row: title (italic after a dash when derived), preview, date and notebook, and the
// shared / pending / conflict marks right of the title.
class NoteListDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    enum class Mark
    {
        Shared,
        Pending,
        Conflict,
    };

    explicit NoteListDelegate(QObject* parent = nullptr);

    static QList<Mark> marks(const QModelIndex& index);
    // The title as painted: derived titles follow a two-em dash.
    static QString displayTitle(const QString& title, bool derived);

    static QFont titleFont(int pixelSize, bool derived);
    static QFont previewFont(int pixelSize);
    static QFont metaFont(int pixelSize);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    static void paintMark(QPainter* painter, Mark mark, const QRectF& square, const ListPalette& colours);
};
