#pragma once

#include <QStyledItemDelegate>

// Pixel sizes of the notebook sidebar at a font scale in percent.
struct NotebookListMetrics
{
    int namePx = 0;
    int smallPx = 0;
    int rowHeight = 0;
};
NotebookListMetrics notebookListMetrics(int fontScale);

// Paints one sidebar row: a line icon for the row kind, the name and the note count.
class NotebookListDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit NotebookListDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
