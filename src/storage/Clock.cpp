#include "Clock.h"

namespace {
std::function<QDateTime()>& overrideFn()
{
    static std::function<QDateTime()> fn;
    return fn;
}
} // namespace

namespace Clock {

QDateTime nowUtc()
{
    const auto& fn = overrideFn();
    return fn ? fn().toUTC() : QDateTime::currentDateTimeUtc();
}

qint64 nowMs()
{
    return nowUtc().toMSecsSinceEpoch();
}

void setOverride(std::function<QDateTime()> now)
{
    overrideFn() = std::move(now);
}

Fixed::Fixed(const QDateTime& start)
    : m_now(start.toUTC())
{
    setOverride([this] { return m_now; });
}

Fixed::~Fixed()
{
    setOverride({});
}

void Fixed::set(const QDateTime& t)
{
    m_now = t.toUTC();
}

void Fixed::advanceMs(qint64 ms)
{
    m_now = m_now.addMSecs(ms);
}

} // namespace Clock
