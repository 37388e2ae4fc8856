#include "Multipart.h"

#include <QRegularExpression>

namespace {

QByteArray boundaryOf(const QByteArray& contentType)
{
    const QList<QByteArray> fields = contentType.split(';');
    if (fields.isEmpty() || fields.first().trimmed().toLower() != "multipart/form-data")
        return {};
    for (const QByteArray& field : fields.mid(1)) {
        const QByteArray f = field.trimmed();
        if (!f.toLower().startsWith("boundary="))
            continue;
        QByteArray b = f.mid(9);
        if (b.size() >= 2 && b.startsWith('"') && b.endsWith('"'))
            b = b.mid(1, b.size() - 2);
        return b.size() <= 200 ? b : QByteArray();
    }
    return {};
}

// Reads name="..." and filename="..." out of a Content-Disposition value.
QString dispositionParam(const QByteArray& value, const char* key)
{
    const QRegularExpression re(QStringLiteral("(?:^|;)\\s*%1=(?:\"([^\"]*)\"|([^;\\s]*))").arg(QLatin1String(key)));
    const auto m = re.match(QString::fromUtf8(value));
    if (!m.hasMatch())
        return {};
    return m.captured(1).isNull() ? m.captured(2) : m.captured(1);
}

} // namespace

std::optional<QList<FormPart>> parseMultipart(const QByteArray& contentType, const QByteArray& body)
{
    const QByteArray boundary = boundaryOf(contentType);
    if (boundary.isEmpty())
        return std::nullopt;
    const QByteArray first = "--" + boundary;
    const QByteArray delimiter = "\r\n--" + boundary;
    if (!body.startsWith(first))
        return std::nullopt;
    QList<FormPart> parts;
    qsizetype pos = first.size();
    while (true) {
        if (body.mid(pos, 2) == "--")
            return parts; // closing delimiter
        if (body.mid(pos, 2) != "\r\n")
            return std::nullopt;
        pos += 2;
        const qsizetype headEnd = body.indexOf("\r\n\r\n", pos);
        if (headEnd < 0)
            return std::nullopt;
        FormPart part;
        bool hasDisposition = false;
        for (const QByteArray& line : body.mid(pos, headEnd - pos).split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "content-disposition") {
                hasDisposition = true;
                part.name = dispositionParam(value, "name");
                part.filename = dispositionParam(value, "filename");
            } else if (name == "content-type") {
                part.contentType = value;
            }
        }
        const qsizetype dataStart = headEnd + 4;
        const qsizetype next = body.indexOf(delimiter, dataStart);
        if (next < 0 || !hasDisposition || part.name.isEmpty() || parts.size() >= 50)
            return std::nullopt;
        part.data = body.mid(dataStart, next - dataStart);
        parts.append(part);
        pos = next + delimiter.size();
    }
}
