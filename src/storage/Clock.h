#pragma once

#include <QDateTime>

#include <functional>

// The one source of "now" for everything time-dependent (timestamps written to the database,
// relative dates, autosave and sync holds), so tests can pin or advance time without sleeping.
namespace Clock {

// Current time in UTC, or the test override when one is installed.
QDateTime nowUtc();

// Milliseconds since the epoch from the same source.
qint64 nowMs();

// Installs a replacement clock; an empty function restores the system clock.
void setOverride(std::function<QDateTime()> now);

// Scoped override for tests: pins the clock to a value that the test can advance.
class Fixed
{
public:
    explicit Fixed(const QDateTime& start);
    ~Fixed();
    Fixed(const Fixed&) = delete;
    Fixed& operator=(const Fixed&) = delete;

    void set(const QDateTime& t);
    void advanceMs(qint64 ms);
    QDateTime value() const { return m_now; }

private:
    QDateTime m_now;
};

} // namespace Clock
