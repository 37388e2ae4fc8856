#include "ImageLightbox.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

ImageLightbox::ImageLightbox(const QImage& image, const QString& caption, QWidget* parent)
    : QDialog(parent)
    , m_view(new QGraphicsView(this))
    , m_item(nullptr)
{
    setObjectName(QStringLiteral("imageLightbox"));
    setWindowTitle(tr("Image"));
    setModal(true);
    setAttribute(Qt::WA_DeleteOnClose);
    setStyleSheet(QStringLiteral("QDialog { background-color: #0a0a0a; }"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* scene = new QGraphicsScene(this);
    m_item = scene->addPixmap(QPixmap::fromImage(image));
    m_item->setTransformationMode(Qt::SmoothTransformation);
    scene->setSceneRect(QRectF(QPointF(0, 0), QSizeF(image.size())));

    m_view->setObjectName(QStringLiteral("lightboxView"));
    m_view->setScene(scene);
    m_view->setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    m_view->setDragMode(QGraphicsView::ScrollHandDrag);
    m_view->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    m_view->setResizeAnchor(QGraphicsView::AnchorUnderMouse);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setBackgroundBrush(QColor(0x0a, 0x0a, 0x0a));
    m_view->viewport()->installEventFilter(this);
    layout->addWidget(m_view, 1);

    if (!caption.isEmpty()) {
        m_caption = new QLabel(caption, this);
        m_caption->setObjectName(QStringLiteral("lightboxCaption"));
        m_caption->setAlignment(Qt::AlignCenter);
        m_caption->setStyleSheet(QStringLiteral(
            "QLabel { color: #cccccc; background-color: #0a0a0a; padding: 8px; font-size: 12px; }"));
        layout->addWidget(m_caption);
    }

    QSize size = image.size();
    const QScreen* screen = parent ? parent->screen() : this->screen();
    if (screen) {
        const QSize available = screen->availableGeometry().size();
        size = size.boundedTo(QSize(available.width() * 3 / 4, available.height() * 3 / 4));
    }
    resize(std::max(size.width(), 480), std::max(size.height(), 360));
}

double ImageLightbox::zoom() const
{
    return m_view->transform().m11();
}

void ImageLightbox::fitImage()
{
    m_view->resetTransform();
    m_view->fitInView(m_item, Qt::KeepAspectRatio);
    // Scroll bars shown at the old scale take room from the viewport and go away once the image fits;
    // fitting again into the viewport that is left makes the result independent of the old scale.
    m_view->fitInView(m_item, Qt::KeepAspectRatio);
}

void ImageLightbox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_fitted)
        return;
    m_fitted = true;
    if (layout())
        layout()->activate();
    fitImage();
    // The view's own resize reaches it only after the window is shown; fit again at its final size.
    QMetaObject::invokeMethod(this, &ImageLightbox::fitImage, Qt::QueuedConnection);
}

void ImageLightbox::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        m_view->scale(kKeyZoomIn, kKeyZoomIn);
        break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        m_view->scale(kKeyZoomOut, kKeyZoomOut);
        break;
    case Qt::Key_0:
        fitImage();
        break;
    case Qt::Key_1:
        m_view->resetTransform();
        break;
    case Qt::Key_Q:
    case Qt::Key_Escape:
        close();
        break;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
}

bool ImageLightbox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const int dy = wheel->angleDelta().y();
        if (dy != 0) {
            const double factor = dy > 0 ? kWheelStep : 1.0 / kWheelStep;
            m_view->scale(factor, factor);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
