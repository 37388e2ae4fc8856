#include "Version.h"

#include <QStringList>

namespace {

// An optional sign and decimal digits, nothing else: "2-beta", " 1" and "" are not numbers.
bool parsePart(const QString& part, int* value)
{
    if (part.isEmpty())
        return false;
    for (qsizetype i = 0; i < part.size(); ++i) {
        const QChar c = part.at(i);
        const bool sign = i == 0 && (c == u'-' || c == u'+') && part.size() > 1;
        if (!sign && (c < u'0' || c > u'9'))
            return false;
    }
    bool ok = false;
    *value = part.toInt(&ok, 10);
    return ok;
}

} // namespace

VersionTriple parseVersion(const QString& text)
{
    const QStringList parts = text.split(u'.', Qt::KeepEmptyParts);
    if (parts.isEmpty() || parts.size() > 3)
        return {};
    int values[3] = {0, 0, 0};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (!parsePart(parts.at(i), &values[i]))
            return {};
    }
    return {values[0], values[1], values[2]};
}

int compareVersions(const QString& a, const QString& b)
{
    const auto order = parseVersion(a) <=> parseVersion(b);
    if (order < 0)
        return -1;
    return order > 0 ? 1 : 0;
}
