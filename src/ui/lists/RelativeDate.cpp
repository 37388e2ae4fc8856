#include "RelativeDate.h"

#include "Clock.h"

#include <QCoreApplication>
#include <QLocale>

namespace {

QString monthDay(const QDate& date, const QDate& today)
{
    return date.year() == today.year() ? date.toString(QStringLiteral("MMM d"))
                                       : date.toString(QStringLiteral("MMM d, yyyy"));
}

} // namespace

QString relativeDate(const QDateTime& t, const QDateTime& now)
{
    if (!t.isValid())
        return QString();
    const QDateTime local = t.toLocalTime();
    const QDateTime localNow = now.toLocalTime();
    const QDate today = localNow.date();
    const qint64 secs = local.secsTo(localNow);

    if (secs < 0)
        return monthDay(local.date(), today);
    if (secs < 60)
        return QCoreApplication::translate("RelativeDate", "just now");
    if (secs < 3600)
        return QCoreApplication::translate("RelativeDate", "%1m ago").arg(secs / 60);
    // Hours first: something from last night is "20h ago", not "Yesterday", until a full day has passed.
    if (secs < 86400)
        return QCoreApplication::translate("RelativeDate", "%1h ago").arg(secs / 3600);

    const qint64 daysBack = local.date().daysTo(today);
    if (daysBack <= 1)
        return QCoreApplication::translate("RelativeDate", "Yesterday");
    if (daysBack < 7)
        return QLocale().dayName(local.date().dayOfWeek(), QLocale::LongFormat);
    return monthDay(local.date(), today);
}

QString relativeDate(const QDateTime& t)
{
    return relativeDate(t, Clock::nowUtc());
}
