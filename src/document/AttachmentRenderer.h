#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QTextObjectInterface>

class AttachmentRepository;
struct Attachment;

// What the renderer knows about one attachment, read once per id until the cache is reset.
struct RenderedAttachment
{
    QImage image; // null when not an image or not decodable; already at most kMaxImageWidth wide
    QString fileName;
    QString mimeType;
    bool isImage = false;
};

// Sizes and paints attachment objects inside the editor's document: images inline as the picture,
// any other file (and anything that cannot be shown) as a rounded chip with a paper clip and the name.
class AttachmentRenderer : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    static constexpr int kMaxImageWidth = 560;
    static constexpr int kImageExtraHeight = 4;
    static constexpr int kChipHeight = 36;
    static constexpr int kChipMinWidth = 200;
    static constexpr int kChipExtraWidth = 48;
    static constexpr int kChipTextInset = 12;
    static constexpr int kChipRadius = 6;
    static constexpr int kChipBorderWidth = 1;

    // The repository is not owned and may be null: every attachment is then a chip.
    explicit AttachmentRenderer(AttachmentRepository* repository, QObject* parent = nullptr);

    // Drops every cached entry, so the next layout reads records and files again.
    void resetCache();

    // True when the MIME type begins with "image/" (case-sensitive).
    static bool isImageAttachment(const Attachment& attachment);

    // The text drawn in a chip: paper clip, two spaces, then the name or the fallback name.
    static QString chipLabel(const QString& fileName);

    // The cached entry for an attachment URL ("norvane-notes://attachment/<id>") or a bare id,
    // built on first use.
    RenderedAttachment entry(const QString& url);

    QSizeF intrinsicSize(QTextDocument* doc, int posInDocument, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int posInDocument,
                    const QTextFormat& format) override;

private:
    const RenderedAttachment& lookup(const QString& url);

    QPointer<AttachmentRepository> m_repository;
    QHash<QString, RenderedAttachment> m_cache;
};
