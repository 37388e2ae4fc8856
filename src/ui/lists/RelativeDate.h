#pragma once

#include <QDateTime>
#include <QString>

// Short "how long ago" text for a note time: "just now", "5m ago", "3h ago", "Yesterday", a weekday
// name within the last week, else "Mar 4" (this year) or "Mar 4, 2023". Both times are compared in
// local time, so "Yesterday" follows the user's calendar. An invalid time gives an empty string.
QString relativeDate(const QDateTime& t, const QDateTime& now);

// The same against Clock::nowUtc().
QString relativeDate(const QDateTime& t);
