#pragma once

#include <QObject>
#include <QTextObjectInterface>

// Dividers run across the text width; tables too large to build stay one object character and
// show as a small labelled box, so they are visible and still saved unchanged.
class EmbedRenderer : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    using QObject::QObject;

    QSizeF intrinsicSize(QTextDocument* doc, int posInDocument, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int posInDocument,
                    const QTextFormat& format) override;

private:
    static QString tableLabel();
};
