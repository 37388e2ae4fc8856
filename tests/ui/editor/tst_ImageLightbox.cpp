#include "ImageLightbox.h"

#include <QApplication>
#include <QGraphicsView>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QWheelEvent>
#include <QtTest>

class tst_ImageLightbox : public QObject
{
    Q_OBJECT

private slots:
    void dialogShapeAndCaption();
    void initialSize_data();
    void initialSize();
    void fitsOnFirstShow();
    void keysZoom_data();
    void keysZoom();
    void wheelZoomsUnderTheMouse();
    void closeKeysDeleteTheDialog_data();
    void closeKeysDeleteTheDialog();

private:
    static QImage image(int w, int h)
    {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(Qt::darkCyan);
        return img;
    }
};

void tst_ImageLightbox::dialogShapeAndCaption()
{
    ImageLightbox box(image(200, 100), QStringLiteral("photo.png"));
    QVERIFY(box.isModal());
    auto* caption = box.findChild<QLabel*>(QStringLiteral("lightboxCaption"));
    QVERIFY(caption);
    QCOMPARE(caption->text(), QStringLiteral("photo.png"));
    QCOMPARE(box.view()->sceneRect(), QRectF(0, 0, 200, 100));

    ImageLightbox bare(image(10, 10), QString());
    QVERIFY(!bare.findChild<QLabel*>());
}

void tst_ImageLightbox::initialSize_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<QSize>("expected"); // (-1, -1): three quarters of the screen
    QTest::newRow("small image gets the minimum") << QSize(100, 50) << QSize(480, 360);
    QTest::newRow("wide but short") << QSize(600, 100) << QSize(600, 360);
    QTest::newRow("huge image is bounded by the screen") << QSize(3000, 2400) << QSize(-1, -1);
}

void tst_ImageLightbox::initialSize()
{
    QFETCH(QSize, imageSize);
    QFETCH(QSize, expected);
    ImageLightbox box(image(imageSize.width(), imageSize.height()), QString());
    if (expected == QSize(-1, -1)) {
        QVERIFY(box.screen()->availableGeometry().width() * 3 / 4 < imageSize.width());
        const QSize available = box.screen()->availableGeometry().size();
        expected = QSize(std::max(available.width() * 3 / 4, 480), std::max(available.height() * 3 / 4, 360));
    }
    QCOMPARE(box.size(), expected);
}

void tst_ImageLightbox::fitsOnFirstShow()
{
    ImageLightbox box(image(1600, 1200), QString());
    box.resize(640, 480);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QRect viewport = box.view()->viewport()->rect();
    const QRectF shown = box.view()->mapFromScene(box.view()->sceneRect()).boundingRect();
    // Fitted keeping the aspect ratio: inside the view, touching it on one axis.
    QVERIFY2(viewport.contains(shown.toAlignedRect().adjusted(1, 1, -1, -1)), qPrintable(QStringLiteral("%1x%2")
                                                                                           .arg(shown.width())
                                                                                           .arg(shown.height())));
    QVERIFY(box.zoom() < 1.0);
    QVERIFY(std::abs(shown.width() - viewport.width()) <= 6 || std::abs(shown.height() - viewport.height()) <= 6);
    QCOMPARE(box.view()->transform().m22(), box.zoom());
}

void tst_ImageLightbox::keysZoom_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<double>("factor"); // relative to the fitted zoom; 0 means actual size
    QTest::newRow("+") << int(Qt::Key_Plus) << 1.25;
    QTest::newRow("-") << int(Qt::Key_Minus) << 0.8;
    QTest::newRow("1 actual size") << int(Qt::Key_1) << 0.0;
    QTest::newRow("other keys leave it") << int(Qt::Key_A) << 1.0;
}

void tst_ImageLightbox::keysZoom()
{
    QFETCH(int, key);
    QFETCH(double, factor);
    ImageLightbox box(image(1600, 1200), QString());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const double fitted = box.zoom();
    QTest::keyClick(box.view(), Qt::Key(key));
    QCOMPARE(box.zoom(), factor == 0.0 ? 1.0 : fitted * factor);
    // "0" fits again whatever came before.
    QTest::keyClick(box.view(), Qt::Key_0);
    QCOMPARE(box.zoom(), fitted);
}

void tst_ImageLightbox::wheelZoomsUnderTheMouse()
{
    ImageLightbox box(image(1600, 1200), QString());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const double fitted = box.zoom();
    QWidget* viewport = box.view()->viewport();
    const QPointF at = viewport->rect().center();
    const auto wheel = [&](QPoint delta) {
        QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), delta, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
        return event.isAccepted();
    };
    QVERIFY(wheel(QPoint(0, 120)));
    QCOMPARE(box.zoom(), fitted * 1.15);
    QVERIFY(wheel(QPoint(0, -120)));
    QCOMPARE(box.zoom(), fitted * 1.15 / 1.15);
    wheel(QPoint(120, 0));
    QCOMPARE(box.zoom(), fitted * 1.15 / 1.15);
}

void tst_ImageLightbox::closeKeysDeleteTheDialog_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Q") << int(Qt::Key_Q);
    QTest::newRow("Escape") << int(Qt::Key_Escape);
}

void tst_ImageLightbox::closeKeysDeleteTheDialog()
{
    QFETCH(int, key);
    QPointer<ImageLightbox> box = new ImageLightbox(image(300, 200), QStringLiteral("x.png"));
    box->open();
    QVERIFY(QTest::qWaitForWindowExposed(box));
    QTest::keyClick(box->view(), Qt::Key(key));
    QTRY_VERIFY(box.isNull());
}

QTEST_MAIN(tst_ImageLightbox)
#include "tst_ImageLightbox.moc"
