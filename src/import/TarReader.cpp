#include "TarReader.h"

#include <QIODevice>
#include <optional>

namespace {

constexpr qint64 kBlock = 512;
constexpr int kNameOffset = 0;
constexpr int kNameLength = 100;
constexpr int kSizeOffset = 124;
constexpr int kSizeLength = 12;

bool isZeroBlock(const QByteArray& block)
{
    for (char c : block) {
        if (c != 0)
            return false;
    }
    return true;
}

QString entryName(const QByteArray& header)
{
    QByteArray raw = header.mid(kNameOffset, kNameLength);
    const qsizetype nul = raw.indexOf('\0');
    if (nul >= 0)
        raw.truncate(nul);
    return QString::fromUtf8(raw).trimmed();
}

} // namespace

std::optional<qint64> parseTarSize(const QByteArray& field)
{
    if (field.isEmpty())
        return qint64(0);
    const auto first = static_cast<unsigned char>(field.at(0));
    if (first & 0x80) {
        // Base-256: big-endian two's complement; only positive values make sense as a size.
        if (first & 0x40)
            return std::nullopt;
        quint64 value = first & 0x3f;
        for (qsizetype i = 1; i < field.size(); ++i) {
            if (value > (quint64(1) << 55))
                return std::nullopt; // would not fit in 63 bits
            value = (value << 8) | static_cast<unsigned char>(field.at(i));
        }
        return qint64(value);
    }

    // Octal digits, padded on either side with spaces or NULs.
    qsizetype i = 0;
    while (i < field.size() && (field.at(i) == ' ' || field.at(i) == '\0'))
        ++i;
    qint64 value = 0;
    bool sawDigit = false;
    for (; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c < '0' || c > '7')
            break;
        value = value * 8 + (c - '0'); // 12 octal digits stay below 2^36
        sawDigit = true;
    }
    for (; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c != ' ' && c != '\0')
            return std::nullopt;
    }
    return sawDigit ? value : qint64(0);
}

TarIndexResult indexTarArchive(QIODevice& device)
{
    TarIndexResult result;
    auto fail = [&result](const QString& error) {
        result.entries.clear();
        result.error = error;
        return result;
    };
    const qint64 end = device.size();
    for (;;) {
        const QByteArray header = device.read(kBlock);
        if (header.size() < kBlock || isZeroBlock(header))
            break;
        const QString name = entryName(header);
        const std::optional<qint64> size = parseTarSize(header.mid(kSizeOffset, kSizeLength));
        if (!size)
            return fail(QStringLiteral("Archive entry \"%1\" has an unreadable size field").arg(name));
        const qint64 offset = device.pos();
        if (*size > end - offset) {
            return fail(QStringLiteral("Archive entry \"%1\" claims %2 bytes, but only %3 bytes are left in the file")
                            .arg(name)
                            .arg(*size)
                            .arg(end - offset));
        }
        result.entries.append(TarIndexEntry{name, offset, *size});
        const qint64 padding = (kBlock - *size % kBlock) % kBlock;
        if (!device.seek(qMin(end, offset + *size + padding)))
            break;
    }
    return result;
}
