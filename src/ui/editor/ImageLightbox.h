#pragma once

#include <QDialog>
#include <QImage>

class QGraphicsPixmapItem;
class QGraphicsView;
class QLabel;

// An image attachment shown large on a dark backdrop: fitted on first show, zoomed with the wheel
// or + and -, "0" fits again, "1" shows actual size, Q or Escape closes. Deleted on close.
class ImageLightbox : public QDialog
{
    Q_OBJECT

public:
    static constexpr double kWheelStep = 1.15;
    static constexpr double kKeyZoomIn = 1.25;
    static constexpr double kKeyZoomOut = 0.8;

    ImageLightbox(const QImage& image, const QString& caption, QWidget* parent = nullptr);

    // The view's current horizontal scale factor (1 = actual size).
    double zoom() const;
    QGraphicsView* view() const { return m_view; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitImage();

    QGraphicsView* m_view;
    QGraphicsPixmapItem* m_item;
    QLabel* m_caption = nullptr;
    bool m_fitted = false;
};
