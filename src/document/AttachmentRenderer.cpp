#include "AttachmentRenderer.h"

#include "AttachmentRepository.h"
#include "Records.h"
#include "TextFormats.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPen>
#include <algorithm>

namespace {

const QString kAttachmentUrlPrefix = QStringLiteral("norvane-notes://attachment/");

QString displayName(const QString& fileName)
{
    return fileName.isEmpty() ? AttachmentRenderer::tr("Attachment") : fileName;
}

} // namespace

AttachmentRenderer::AttachmentRenderer(AttachmentRepository* repository, QObject* parent)
    : QObject(parent)
    , m_repository(repository)
{}

void AttachmentRenderer::resetCache()
{
    m_cache.clear();
}

bool AttachmentRenderer::isImageAttachment(const Attachment& attachment)
{
    return attachment.mimeType.startsWith(QLatin1String("image/"), Qt::CaseSensitive);
}

QString AttachmentRenderer::chipLabel(const QString& fileName)
{
    return QStringLiteral("\U0001F4CE  %1").arg(displayName(fileName));
}

RenderedAttachment AttachmentRenderer::entry(const QString& url)
{
    return lookup(url);
}

const RenderedAttachment& AttachmentRenderer::lookup(const QString& url)
{
    const QString id = url.startsWith(kAttachmentUrlPrefix) ? url.mid(kAttachmentUrlPrefix.size()) : url;
    const auto cached = m_cache.constFind(id);
    if (cached != m_cache.constEnd())
        return *cached;

    RenderedAttachment rendered;
    if (m_repository && !id.isEmpty()) {
        if (const std::optional<Attachment> record = m_repository->attachmentById(id)) {
            rendered.fileName = record->filename;
            rendered.mimeType = record->mimeType;
            rendered.isImage = isImageAttachment(*record);
            if (rendered.isImage) {
                const QByteArray bytes = m_repository->fileData(id);
                QImage image;
                if (!bytes.isEmpty() && image.loadFromData(bytes)) {
                    // Stored already scaled, so layout and painting never touch the full-size picture.
                    if (image.width() > kMaxImageWidth)
                        image = image.scaledToWidth(kMaxImageWidth, Qt::SmoothTransformation);
                    rendered.image = image;
                }
            }
        }
    }
    // Misses are cached too: a missing file keeps its chip until the next reset.
    return *m_cache.insert(id, rendered);
}

QSizeF AttachmentRenderer::intrinsicSize(QTextDocument* doc, int posInDocument, const QTextFormat& format)
{
    Q_UNUSED(doc)
    Q_UNUSED(posInDocument)
    const RenderedAttachment& rendered = lookup(format.stringProperty(TextFormats::EmbedValueProperty));
    if (rendered.isImage && !rendered.image.isNull())
        return QSizeF(rendered.image.width(), rendered.image.height() + kImageExtraHeight);

    const QFontMetrics metrics(QGuiApplication::font());
    const int advance = metrics.horizontalAdvance(displayName(rendered.fileName));
    return QSizeF(std::max(kChipMinWidth, advance + kChipExtraWidth), kChipHeight);
}

namespace {

constexpr char16_t kMaterialPaperClip = 0xE226; // "attach_file" in Material Icons

// The icon font to draw the paper clip with when the text font cannot show U+1F4CE itself, or a
// font with an empty family when no fallback is needed (or none is available).
QFont paperClipFallbackFont(const QFont& textFont)
{
    if (QFontMetrics(textFont).inFontUcs4(0x1F4CE))
        return QFont(QString());
    static const bool haveIcons = QFontDatabase::families().contains(QStringLiteral("Material Icons"));
    if (!haveIcons)
        return QFont(QString());
    QFont icons(QStringLiteral("Material Icons"));
    icons.setPixelSize(QFontMetrics(textFont).height());
    return icons;
}

} // namespace

void AttachmentRenderer::drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int posInDocument,
                                    const QTextFormat& format)
{
    Q_UNUSED(doc)
    Q_UNUSED(posInDocument)
    if (!painter)
        return;
    const RenderedAttachment& rendered = lookup(format.stringProperty(TextFormats::EmbedValueProperty));
    painter->save();

    if (rendered.isImage && !rendered.image.isNull()) {
        painter->drawImage(rect.topLeft(), rendered.image);
        painter->restore();
        return;
    }

    const bool dark = isDarkPalette();
    const QColor background(dark ? QStringLiteral("#2A2D31") : QStringLiteral("#ECEEF1"));
    const QColor border(dark ? QStringLiteral("#3A3A3A") : QStringLiteral("#E0E0E0"));
    const QColor label(dark ? QStringLiteral("#C4C6CF") : QStringLiteral("#44474E"));

    const QRectF box = rect.adjusted(0, 0, 0, -2);
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setBrush(background);
    painter->setPen(QPen(border, kChipBorderWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->drawRoundedRect(box, kChipRadius, kChipRadius, Qt::AbsoluteSize);

    // Drawn with the font the chip was measured with, so the name fits the width given in layout.
    const QFont textFont = QGuiApplication::font();
    const QRectF textBox = box.adjusted(kChipTextInset, 0, -kChipTextInset, 0);
    painter->setFont(textFont);
    painter->setPen(label);
    const QFont clipFont = paperClipFallbackFont(textFont);
    if (clipFont.family().isEmpty()) {
        painter->drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter, chipLabel(rendered.fileName));
    } else {
        // Without an emoji font the paper clip would show as an empty box; the bundled icon font has one.
        const QString clip{QChar(kMaterialPaperClip)};
        painter->setFont(clipFont);
        painter->drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter, clip);
        const qreal clipWidth = QFontMetricsF(clipFont).horizontalAdvance(clip);
        painter->setFont(textFont);
        const QString rest = chipLabel(rendered.fileName).mid(QStringLiteral("\U0001F4CE").size());
        painter->drawText(textBox.adjusted(clipWidth, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, rest);
    }
    painter->restore();
}
