#include "../TestLibrary.h"
#include "AttachmentRenderer.h"
#include "AttachmentRepository.h"
#include "Clock.h"
#include "NoteRepository.h"
#include "TextFormats.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QtTest>
#include <memory>

namespace {

const QString kUrlPrefix = QStringLiteral("norvane-notes://attachment/");

QByteArray pngBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A red picture with a blue top-left and a green bottom-right pixel, so that position and
// scale of a drawing can be read back exactly.
QImage markedImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.setPixelColor(0, 0, Qt::blue);
    image.setPixelColor(width - 1, height - 1, Qt::green);
    return image;
}

QTextCharFormat objectFormat(const QString& url)
{
    QTextCharFormat format;
    format.setObjectType(TextFormats::AttachmentObjectType);
    format.setProperty(TextFormats::EmbedValueProperty, url);
    return format;
}

constexpr int kMargin = 10;

// Paints one object at (kMargin, kMargin) on a white canvas with a margin all round.
QImage paintObject(AttachmentRenderer& renderer, const QString& url)
{
    const QTextCharFormat format = objectFormat(url);
    const QSizeF size = renderer.intrinsicSize(nullptr, 0, format);
    QImage canvas(size.toSize() + QSize(2 * kMargin, 2 * kMargin), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    renderer.drawObject(&painter, QRectF(QPointF(kMargin, kMargin), size), nullptr, 0, format);
    painter.end();
    return canvas;
}

QPalette paletteWithWindow(const QString& colour)
{
    QPalette palette = QGuiApplication::palette();
    palette.setColor(QPalette::Window, QColor(colour));
    return palette;
}

} // namespace

class tst_AttachmentRenderer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void imageLayout_data();
    void imageLayout();
    void chipSize();
    void fallbackChips_data();
    void fallbackChips();
    void cacheKeepsEntryUntilReset();
    void chipFollowsDarkPalette_data();
    void chipFollowsDarkPalette();

private:
    QString addAttachment(const QString& fileName, const QString& mimeType, const QByteArray& bytes);

    std::unique_ptr<TestDb> m_t;
    std::unique_ptr<AttachmentRepository> m_attachments;
    QString m_noteId;
    QFont m_initialFont;
    QPalette m_initialPalette;
};

void tst_AttachmentRenderer::initTestCase()
{
    m_initialFont = QGuiApplication::font();
    m_initialPalette = QGuiApplication::palette();
}

void tst_AttachmentRenderer::init()
{
    m_t = std::make_unique<TestDb>();
    QVERIFY(m_t->ok);
    m_attachments =
        std::make_unique<AttachmentRepository>(&m_t->database, nullptr, m_t->dir.filePath(QStringLiteral("files")));
    m_noteId = newId();
    QVERIFY(NoteRepository(&m_t->database).insert(makeNote(m_noteId, QStringLiteral(R"([{"insert":"A\n"}])"))));
}

void tst_AttachmentRenderer::cleanup()
{
    m_attachments.reset();
    m_t.reset();
    QGuiApplication::setFont(m_initialFont);
    QGuiApplication::setPalette(m_initialPalette);
}

QString tst_AttachmentRenderer::addAttachment(const QString& fileName, const QString& mimeType, const QByteArray& bytes)
{
    Attachment attachment;
    attachment.id = newId();
    attachment.noteId = m_noteId;
    attachment.filename = fileName;
    attachment.mimeType = mimeType;
    attachment.sizeBytes = bytes.size();
    attachment.createdAt = Clock::nowUtc();
    if (!m_attachments->saveFile(attachment.id, bytes) || !m_attachments->insert(attachment))
        return QString();
    return attachment.id;
}

void tst_AttachmentRenderer::imageLayout_data()
{
    QTest::addColumn<QSize>("original");
    QTest::addColumn<QSize>("stored");

    // Wider than 560: scaled to 560 keeping the proportion (373.3 gives 373).
    QTest::newRow("1200x800") << QSize(1200, 800) << QSize(560, 373);
    QTest::newRow("300x200 unscaled") << QSize(300, 200) << QSize(300, 200);
}

void tst_AttachmentRenderer::imageLayout()
{
    QFETCH(QSize, original);
    QFETCH(QSize, stored);
    const QString id = addAttachment(QStringLiteral("picture.png"), QStringLiteral("image/png"),
                                     pngBytes(markedImage(original.width(), original.height())));
    QVERIFY(!id.isEmpty());
    AttachmentRenderer renderer(m_attachments.get());

    const RenderedAttachment entry = renderer.entry(kUrlPrefix + id);
    QVERIFY(entry.isImage);
    QCOMPARE(entry.image.size(), stored);
    QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat(kUrlPrefix + id)),
             QSizeF(stored.width(), stored.height() + AttachmentRenderer::kImageExtraHeight));

    const QImage canvas = paintObject(renderer, kUrlPrefix + id);
    const int right = kMargin + stored.width() - 1;
    const int bottom = kMargin + stored.height() - 1;
    QCOMPARE(canvas.pixelColor(kMargin + stored.width() / 2, kMargin + stored.height() / 2), QColor(Qt::red));
    // Nothing beyond the picture, the extra rows below it included.
    QCOMPARE(canvas.pixelColor(right + 1, kMargin + 1), QColor(Qt::white));
    QCOMPARE(canvas.pixelColor(kMargin + 1, canvas.height() - kMargin - 1), QColor(Qt::white));
    if (original == stored) {
        // Unscaled: the marker pixels land exactly on the corners.
        QCOMPARE(canvas.pixelColor(kMargin, kMargin), QColor(Qt::blue));
        QCOMPARE(canvas.pixelColor(right, bottom), QColor(Qt::green));
        QCOMPARE(canvas.pixelColor(right - 1, bottom - 1), QColor(Qt::red));
    }
}

void tst_AttachmentRenderer::chipSize()
{
    AttachmentRenderer renderer(m_attachments.get());
    const auto size = [&](const QString& name) {
        const QString id = addAttachment(name, QStringLiteral("text/plain"), QByteArrayLiteral("hello"));
        return renderer.intrinsicSize(nullptr, 0, objectFormat(kUrlPrefix + id));
    };
    const QSizeF minimum(AttachmentRenderer::kChipMinWidth, AttachmentRenderer::kChipHeight);
    QCOMPARE(size(QStringLiteral("a.txt")), minimum);
    // A long name widens the chip to show all of it.
    const QString longName = QStringLiteral("quarterly-report-for-the-board-with-all-appendices-2024-final.pdf");
    const QSizeF wide = size(longName);
    QCOMPARE(wide.height(), minimum.height());
    QVERIFY(wide.width() >= QFontMetrics(QGuiApplication::font()).horizontalAdvance(longName));
}

void tst_AttachmentRenderer::fallbackChips_data()
{
    // clang-format off
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("mimeType");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("lookup");        // 0 stored id, 1 unknown id, 2 renderer without repository, 3 empty URL
    QTest::addColumn<QString>("looksLike"); // file name of an ordinary file chip drawn identically

    const QByteArray png = pngBytes(markedImage(40, 30));
    QTest::newRow("empty file name") << "" << "text/plain" << QByteArray("x") << 0 << "Attachment";
    QTest::newRow("undecodable image") << "broken.png" << "image/png" << QByteArray("not a png") << 0 << "broken.png";
    // Only an image/ MIME type makes a picture, whatever the bytes.
    QTest::newRow("image bytes, other type") << "photo.png" << "application/octet-stream" << png << 0 << "photo.png";
    QTest::newRow("unknown id") << "real.png" << "image/png" << png << 1 << "Attachment";
    QTest::newRow("no repository") << "real.png" << "image/png" << png << 2 << "Attachment";
    // clang-format on
}

void tst_AttachmentRenderer::fallbackChips()
{
    QFETCH(QString, fileName);
    QFETCH(QString, mimeType);
    QFETCH(QByteArray, bytes);
    QFETCH(int, lookup);
    QFETCH(QString, looksLike);

    const QString id = addAttachment(fileName, mimeType, bytes);
    QVERIFY(!id.isEmpty());
    const QString referenceId = addAttachment(looksLike, QStringLiteral("text/plain"), QByteArrayLiteral("ref"));

    AttachmentRenderer renderer(m_attachments.get());
    AttachmentRenderer withoutRepository(nullptr);
    AttachmentRenderer& subject = lookup == 2 ? withoutRepository : renderer;
    QString url = kUrlPrefix + id;
    if (lookup == 1)
        url = kUrlPrefix + newId();
    else if (lookup == 3)
        url = QString();

    QCOMPARE(subject.intrinsicSize(nullptr, 0, objectFormat(url)),
             QSizeF(AttachmentRenderer::kChipMinWidth, AttachmentRenderer::kChipHeight));
    QVERIFY(subject.entry(url).image.isNull());
    const QImage drawn = paintObject(subject, url);
    const QImage reference = paintObject(renderer, kUrlPrefix + referenceId);
    QCOMPARE(drawn, reference);
    // A chip with another name must look different, or the comparison above proves nothing.
    const QString otherId =
        addAttachment(QStringLiteral("zz-other.bin"), QStringLiteral("text/plain"), QByteArrayLiteral("y"));
    QVERIFY(paintObject(renderer, kUrlPrefix + otherId) != reference);
}

void tst_AttachmentRenderer::cacheKeepsEntryUntilReset()
{
    const QString id =
        addAttachment(QStringLiteral("pic.png"), QStringLiteral("image/png"), pngBytes(markedImage(300, 200)));
    AttachmentRenderer renderer(m_attachments.get());
    const QTextCharFormat format = objectFormat(kUrlPrefix + id);
    QCOMPARE(renderer.intrinsicSize(nullptr, 0, format), QSizeF(300, 204));

    QVERIFY(m_attachments->saveFile(id, pngBytes(markedImage(100, 50))));
    QCOMPARE(renderer.intrinsicSize(nullptr, 0, format), QSizeF(300, 204));
    // The bare id finds the entry cached under the URL; another scheme is not stripped, so the
    // whole text is an unknown id.
    QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat(id)), QSizeF(300, 204));
    QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat(QStringLiteral("https://example.org/attachment/") + id)),
             QSizeF(200, 36));
    QCOMPARE(paintObject(renderer, kUrlPrefix + id).pixelColor(kMargin + 299, kMargin + 199), QColor(Qt::green));

    renderer.resetCache();
    QCOMPARE(renderer.intrinsicSize(nullptr, 0, format), QSizeF(100, 54));

    // A corrupted file after a reset falls back to the chip.
    QVERIFY(m_attachments->saveFile(id, QByteArrayLiteral("garbage")));
    QCOMPARE(renderer.intrinsicSize(nullptr, 0, format), QSizeF(100, 54));
    renderer.resetCache();
    QCOMPARE(renderer.intrinsicSize(nullptr, 0, format), QSizeF(200, 36));
}

void tst_AttachmentRenderer::chipFollowsDarkPalette_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("dark");
    // Lightness 30 like #1E1E1E counts as dark; 31 does not.
    QTest::newRow("equal lightness") << "#3c0000" << true;
    QTest::newRow("one lighter") << "#3e0000" << false;
}

void tst_AttachmentRenderer::chipFollowsDarkPalette()
{
    QFETCH(QString, window);
    QFETCH(bool, dark);
    const QString url =
        kUrlPrefix + addAttachment(QStringLiteral("IIII"), QStringLiteral("text/plain"), QByteArrayLiteral("x"));
    AttachmentRenderer renderer(m_attachments.get());
    const auto paintUnder = [&](const QString& colour) {
        QGuiApplication::setPalette(paletteWithWindow(colour));
        return paintObject(renderer, url);
    };
    const QImage darkChip = paintUnder(QStringLiteral("#1e1e1e"));
    const QImage lightChip = paintUnder(QStringLiteral("#fafafa"));
    QVERIFY(darkChip != lightChip);
    QCOMPARE(paintUnder(window), dark ? darkChip : lightChip);
}

QTEST_MAIN(tst_AttachmentRenderer)
#include "tst_AttachmentRenderer.moc"
