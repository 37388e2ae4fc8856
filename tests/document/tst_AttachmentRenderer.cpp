#include "AttachmentRenderer.h"
#include "AttachmentRepository.h"
#include "Clock.h"
#include "Database.h"
#include "NoteRepository.h"
#include "Records.h"
#include "TextFormats.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
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

bool containsColour(const QImage& image, const QColor& colour)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).rgb() == colour.rgb())
                return true;
        }
    }
    return false;
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

    void isImageAttachment_data();
    void isImageAttachment();
    void imageLayout_data();
    void imageLayout();
    void chipWidth_data();
    void chipWidth();
    void fallbackChips_data();
    void fallbackChips();
    void cacheKeepsEntryUntilReset();
    void chipColours_data();
    void chipColours();

private:
    QString addAttachment(const QString& fileName, const QString& mimeType, const QByteArray& bytes);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<NoteRepository> m_notes;
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
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString attachmentsDir = m_dir->filePath(QStringLiteral("attachments"));
    QVERIFY(QDir().mkpath(attachmentsDir));
    m_db = std::make_unique<Database>();
    QVERIFY(m_db->open(m_dir->filePath(QStringLiteral("notes.db"))));
    QVERIFY(m_db->migrate());
    m_notes = std::make_unique<NoteRepository>(m_db.get());
    m_attachments = std::make_unique<AttachmentRepository>(m_db.get(), nullptr, attachmentsDir);

    Note note;
    note.id = newId();
    note.body = QStringLiteral("[{\"insert\":\"Attachments\\n\"}]");
    note.createdAt = note.updatedAt = note.modifiedAt = Clock::nowUtc();
    QVERIFY(m_notes->insert(note));
    m_noteId = note.id;
}

void tst_AttachmentRenderer::cleanup()
{
    m_attachments.reset();
    m_notes.reset();
    m_db.reset();
    m_dir.reset();
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

void tst_AttachmentRenderer::isImageAttachment_data()
{
    QTest::addColumn<QString>("mimeType");
    QTest::addColumn<bool>("expected");
    QTest::newRow("png") << "image/png" << true;
    QTest::newRow("capitalised") << "Image/png" << false;
    QTest::newRow("image later") << "text/image/" << false;
}

void tst_AttachmentRenderer::isImageAttachment()
{
    QFETCH(QString, mimeType);
    QFETCH(bool, expected);
    Attachment attachment;
    attachment.mimeType = mimeType;
    QCOMPARE(AttachmentRenderer::isImageAttachment(attachment), expected);
}

void tst_AttachmentRenderer::imageLayout_data()
{
    QTest::addColumn<QSize>("original");
    QTest::addColumn<QSize>("stored");

    // Wider than 560: scaled to 560 keeping the proportion (373.3 gives 373).
    QTest::newRow("1200x800") << QSize(1200, 800) << QSize(560, 373);
    QTest::newRow("exactly 560") << QSize(560, 100) << QSize(560, 100);
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
             QSizeF(stored.width(), stored.height() + 4));

    const QSize drawn = stored;
    const QImage canvas = paintObject(renderer, kUrlPrefix + id);
    QCOMPARE(canvas.size(), drawn + QSize(2 * kMargin, 4 + 2 * kMargin));

    const int right = kMargin + drawn.width() - 1;
    const int bottom = kMargin + drawn.height() - 1;
    QCOMPARE(canvas.pixelColor(kMargin + drawn.width() / 2, kMargin + drawn.height() / 2), QColor(Qt::red));
    // Nothing beyond the picture, the 4 extra rows below it included.
    QCOMPARE(canvas.pixelColor(right + 1, kMargin + 1), QColor(Qt::white));
    QCOMPARE(canvas.pixelColor(kMargin + 1, bottom + 1), QColor(Qt::white));
    QCOMPARE(canvas.pixelColor(kMargin + 1, bottom + 4), QColor(Qt::white));
    if (original == drawn) {
        // Unscaled: the marker pixels land exactly on the corners.
        QCOMPARE(canvas.pixelColor(kMargin, kMargin), QColor(Qt::blue));
        QCOMPARE(canvas.pixelColor(right, bottom), QColor(Qt::green));
        QCOMPARE(canvas.pixelColor(right - 1, bottom - 1), QColor(Qt::red));
    }
}

void tst_AttachmentRenderer::chipWidth_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("pixelSize");    // application font; 0 keeps the default
    QTest::addColumn<QString>("measured"); // the text whose advance sets the width, empty for 200

    QTest::newRow("short name") << "a.txt" << 0 << "";
    QTest::newRow("long name") << "quarterly-report-for-the-board-with-all-appendices-2024-final.pdf" << 0
                               << "quarterly-report-for-the-board-with-all-appendices-2024-final.pdf";
    // A large font makes even the fallback name wider than the minimum.
    QTest::newRow("empty name, large font") << "" << 60 << "Attachment";
}

void tst_AttachmentRenderer::chipWidth()
{
    QFETCH(QString, fileName);
    QFETCH(int, pixelSize);
    QFETCH(QString, measured);
    if (pixelSize > 0) {
        QFont font = QGuiApplication::font();
        font.setPixelSize(pixelSize);
        QGuiApplication::setFont(font);
    }
    const QString id = addAttachment(fileName, QStringLiteral("text/plain"), QByteArrayLiteral("hello"));
    AttachmentRenderer renderer(m_attachments.get());

    const QSizeF size = renderer.intrinsicSize(nullptr, 0, objectFormat(kUrlPrefix + id));
    QCOMPARE(size.height(), 36.0);
    if (measured.isEmpty()) {
        QCOMPARE(size.width(), 200.0);
    } else {
        const int advance = QFontMetrics(QGuiApplication::font()).horizontalAdvance(measured);
        QVERIFY2(advance + 48 > 200, "row does not exceed the minimum width");
        QCOMPARE(size.width(), qreal(advance + 48));
    }
}

void tst_AttachmentRenderer::fallbackChips_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("mimeType");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("lookup");        // 0 stored id, 1 unknown id, 2 renderer without repository, 3 empty URL
    QTest::addColumn<QString>("looksLike"); // file name of an ordinary file chip drawn identically

    const QByteArray png = pngBytes(markedImage(40, 30));
    QTest::newRow("empty file name") << ""
                                     << "text/plain" << QByteArray("x") << 0 << "Attachment";
    QTest::newRow("undecodable image") << "broken.png"
                                       << "image/png" << QByteArray("not a png") << 0 << "broken.png";
    QTest::newRow("image bytes, other type") << "photo.png"
                                             << "application/octet-stream" << png << 0 << "photo.png";
    QTest::newRow("unknown id") << "real.png"
                                << "image/png" << png << 1 << "Attachment";
    QTest::newRow("no repository") << "real.png"
                                   << "image/png" << png << 2 << "Attachment";
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

    QCOMPARE(subject.intrinsicSize(nullptr, 0, objectFormat(url)), QSizeF(200, 36));
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

void tst_AttachmentRenderer::chipColours_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("otherLabel");

    // Lightness 30 like #1E1E1E counts as dark; 31 does not.
    QTest::newRow("equal lightness") << "#3c0000"
                                     << "#2a2d31"
                                     << "#c4c6cf"
                                     << "#44474e";
    QTest::newRow("one lighter") << "#3e0000"
                                 << "#eceef1"
                                 << "#44474e"
                                 << "#c4c6cf";
}

void tst_AttachmentRenderer::chipColours()
{
    QFETCH(QString, window);
    QFETCH(QString, background);
    QFETCH(QString, label);
    QFETCH(QString, otherLabel);
    QGuiApplication::setPalette(paletteWithWindow(window));
    // Glyphs large enough that some label pixels are fully covered and carry the exact colour.
    QFont font = QGuiApplication::font();
    font.setPixelSize(24);
    QGuiApplication::setFont(font);

    const QString id = addAttachment(QStringLiteral("IIII"), QStringLiteral("text/plain"), QByteArrayLiteral("x"));
    AttachmentRenderer renderer(m_attachments.get());
    const QSizeF size = renderer.intrinsicSize(nullptr, 0, objectFormat(kUrlPrefix + id));
    QCOMPARE(size.height(), 36.0);
    const int width = int(size.width());
    const QImage canvas = paintObject(renderer, kUrlPrefix + id);

    // Inside the box, clear of the label on the right.
    QCOMPARE(canvas.pixelColor(kMargin + width - 8, kMargin + 18).name(), background);
    QVERIFY(containsColour(canvas, QColor(label)));
    QVERIFY(!containsColour(canvas, QColor(otherLabel)));
}

QTEST_MAIN(tst_AttachmentRenderer)
#include "tst_AttachmentRenderer.moc"
