#pragma once

#include <QDateTime>
#include <cstdint>

namespace platform {

// Everything that reads the time takes a Clock, so that count-downs can be driven in simulated time.
class Clock {
public:
    virtual ~Clock() = default;
    // Local wall-clock date and time (clock displays, schedules, file stamps).
    virtual QDateTime now() const = 0;
    // Monotonic milliseconds from an arbitrary origin; never jumps back, keeps counting past midnight.
    virtual std::int64_t monotonicMs() const = 0;
};

// The real clock of the machine.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    std::int64_t monotonicMs() const override;
};

// A clock that only moves when told to: for tests and simulations.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2024, 3, 9), QTime(9, 0)));
    QDateTime now() const override { return m_now; }
    std::int64_t monotonicMs() const override { return m_mono; }
    void advanceMs(std::int64_t ms);
    void setNow(const QDateTime& t) { m_now = t; }

private:
    QDateTime m_now;
    std::int64_t m_mono = 0;
};

// The clock the program uses unless a caller passes its own.
Clock& defaultClock();

} // namespace platform
