#include "ImageLightbox.h"

#include <QApplication>
#include <QGraphicsView>
#include <QPointer>
#include <QWheelEvent>
#include <QtTest>

class tst_ImageLightbox : public QObject
{
    Q_OBJECT

private slots:
    void zoomInput_data();
    void zoomInput();
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

void tst_ImageLightbox::zoomInput_data()
{
    QTest::addColumn<int>("key"); // 0: a wheel turn instead
    QTest::addColumn<QPoint>("wheel");
    QTest::addColumn<double>("factor"); // relative to the fitted zoom; 0 means actual size
    const double step = ImageLightbox::kWheelStep;
    QTest::newRow("+") << int(Qt::Key_Plus) << QPoint() << ImageLightbox::kKeyZoomIn;
    QTest::newRow("1 actual size") << int(Qt::Key_1) << QPoint() << 0.0;
    QTest::newRow("wheel up") << 0 << QPoint(0, 120) << step;
    QTest::newRow("sideways wheel leaves it") << 0 << QPoint(120, 0) << 1.0;
}

void tst_ImageLightbox::zoomInput()
{
    QFETCH(int, key);
    QFETCH(QPoint, wheel);
    QFETCH(double, factor);
    ImageLightbox box(image(1600, 1200), QString());
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const double fitted = box.zoom();
    if (key) {
        QTest::keyClick(box.view(), Qt::Key(key));
    } else {
        QWidget* viewport = box.view()->viewport();
        const QPointF at = viewport->rect().center();
        QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), wheel, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    }
    QCOMPARE(box.zoom(), factor == 0.0 ? 1.0 : fitted * factor);
    QCOMPARE(box.view()->transform().m22(), box.zoom());
    // "0" fits again whatever came before.
    QTest::keyClick(box.view(), Qt::Key_0);
    QCOMPARE(box.zoom(), fitted);
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
