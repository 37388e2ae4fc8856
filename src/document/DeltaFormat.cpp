#include "DeltaFormat.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <optional>

namespace {

const QString kInsert = QStringLiteral("insert");
const QString kRetain = QStringLiteral("retain");
const QString kDelete = QStringLiteral("delete");
const QString kAttributes = QStringLiteral("attributes");


} // namespace

std::optional<QJsonArray> parseBodyArray(const QString& body)
{
    if (body.isEmpty())
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    return doc.array();
}

QList<DeltaOp> parseDelta(const QJsonArray& delta)
{
    QList<DeltaOp> ops;
    ops.reserve(delta.size());
    for (const QJsonValue& element : delta) {
        if (!element.isObject())
            continue;
        const QJsonObject object = element.toObject();
        DeltaOp op;
        const QJsonValue insert = object.value(kInsert);
        if (insert.isString()) {
            op.kind = DeltaOp::InsertText;
            op.text = insert.toString();
        } else if (insert.isObject()) {
            op.kind = DeltaOp::InsertEmbed;
            op.embed = insert.toObject();
        } else if (object.contains(kRetain)) {
            op.kind = DeltaOp::Retain;
            op.length = object.value(kRetain).toInt();
        } else if (object.contains(kDelete)) {
            op.kind = DeltaOp::Delete;
            op.length = object.value(kDelete).toInt();
        }
        op.attributes = object.value(kAttributes).toObject();
        ops.append(std::move(op));
    }
    return ops;
}

QList<DeltaOp> parseDelta(const QString& body)
{
    const std::optional<QJsonArray> delta = parseBodyArray(body);
    return delta ? parseDelta(*delta) : QList<DeltaOp>{};
}

QString deltaToPlainText(const QList<DeltaOp>& ops)
{
    QString text;
    for (const DeltaOp& op : ops) {
        if (op.kind == DeltaOp::InsertText)
            text += op.text;
    }
    return text;
}

QString bodyPlainText(const QString& body)
{
    if (body.isEmpty())
        return {};
    const std::optional<QJsonArray> delta = parseBodyArray(body);
    if (!delta)
        return body;
    QString text;
    for (const QJsonValue& element : *delta) {
        const QJsonValue insert = element.toObject().value(kInsert);
        if (insert.isString())
            text += insert.toString();
    }
    // Bodies imported by earlier versions may still break lines with a line separator.
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

bool isBodyBlank(const QString& body)
{
    if (body.isEmpty())
        return true;
    const std::optional<QJsonArray> delta = parseBodyArray(body);
    if (!delta)
        return body.trimmed().isEmpty();
    for (const QJsonValue& element : *delta) {
        const QJsonValue insert = element.toObject().value(kInsert);
        if (insert.isObject())
            return false;
        if (insert.isString() && !insert.toString().trimmed().isEmpty())
            return false;
    }
    return true;
}

QString attachmentUrl(const QString& attachmentId)
{
    return QLatin1String(kAttachmentUrlPrefix) + attachmentId;
}
