#include "Records.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QUuid>

SyncStatus syncStatusFromString(const QString& text)
{
    if (text == QLatin1String("synced"))
        return SyncStatus::Synced;
    if (text == QLatin1String("conflict"))
        return SyncStatus::Conflict;
    return SyncStatus::Pending;
}

QString syncStatusToString(SyncStatus status)
{
    switch (status) {
    case SyncStatus::Synced:
        return QStringLiteral("synced");
    case SyncStatus::Conflict:
        return QStringLiteral("conflict");
    case SyncStatus::Pending:
        break;
    }
    return QStringLiteral("pending");
}

QString toDbTimestamp(const QDateTime& t)
{
    return t.toUTC().toString(Qt::ISODateWithMs);
}

namespace {

// Reads the exact form this system writes ("2024-03-11T09:30:00.000Z"). Listing 50,000 notes parses
// three timestamps per row, and Qt's general ISO parser is several times slower than this.
std::optional<QDateTime> parseStoredForm(const QString& t)
{
    if (t.size() != 24 || t[4] != u'-' || t[7] != u'-' || t[10] != u'T' || t[13] != u':' || t[16] != u':' ||
        t[19] != u'.' || t[23] != u'Z')
        return std::nullopt;
    auto num = [&t](int from, int len, int* out) {
        int v = 0;
        for (int i = from; i < from + len; ++i) {
            const char16_t c = t[i].unicode();
            if (c < u'0' || c > u'9')
                return false;
            v = v * 10 + (c - u'0');
        }
        *out = v;
        return true;
    };
    int y, mo, d, h, mi, s, ms;
    if (!num(0, 4, &y) || !num(5, 2, &mo) || !num(8, 2, &d) || !num(11, 2, &h) || !num(14, 2, &mi) ||
        !num(17, 2, &s) || !num(20, 3, &ms))
        return std::nullopt;
    const QDate date(y, mo, d);
    const QTime time(h, mi, s, ms);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

QDateTime fromDbTimestamp(const QString& text)
{
    if (text.isEmpty())
        return {};
    if (auto fast = parseStoredForm(text))
        return *fast;
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString noteTitle(const QString& body)
{
    QString plain;
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8());
    if (doc.isArray()) {
        const QJsonArray ops = doc.array();
        for (const QJsonValue& op : ops) {
            const QJsonValue insert = op.toObject().value(QLatin1String("insert"));
            if (insert.isString())
                plain += insert.toString();
            // Embeds (objects) contribute no text.
        }
    } else {
        plain = body;
    }
    // Bodies imported by earlier versions may still break lines with a line separator.
    plain.replace(QChar::LineSeparator, QLatin1Char('\n'));
    const qsizetype lineBreak = plain.indexOf(QLatin1Char('\n'));
    return (lineBreak < 0 ? plain : plain.left(lineBreak)).trimmed();
}

QString Note::title() const
{
    return noteTitle(body);
}
