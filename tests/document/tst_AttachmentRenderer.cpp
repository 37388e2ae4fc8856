#include "../TestLibrary.h"
#include "AttachmentRenderer.h"
#include "AttachmentRepository.h"
#include "Clock.h"
#include "NoteRepository.h"
#include "TextFormats.h"

#include <QBuffer>
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

} // namespace

class tst_AttachmentRenderer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fallbackChips_data();
    void fallbackChips();

private:
    QString addAttachment(const QString& fileName, const QString& mimeType, const QByteArray& bytes);

    std::unique_ptr<TestDb> m_t;
    std::unique_ptr<AttachmentRepository> m_attachments;
    QString m_noteId;
};

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
}

QString tst_AttachmentRenderer::addAttachment(const QString& fileName, const QString& mimeType, const QByteArray& bytes)
{
    const Attachment a{newId(), m_noteId, fileName, mimeType, bytes.size(), Clock::nowUtc(), SyncStatus::Pending};
    return m_attachments->saveFile(a.id, bytes) && m_attachments->insert(a) ? a.id : QString();
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
    QTest::newRow("undecodable image") << "broken.png" << "image/png" << QByteArray("not a png") << 0 << "broken.png";
    // Only an image/ MIME type makes a picture, whatever the bytes.
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

QTEST_MAIN(tst_AttachmentRenderer)
#include "tst_AttachmentRenderer.moc"
