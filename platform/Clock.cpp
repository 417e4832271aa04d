#include "platform/Clock.h"

#include <chrono>

namespace platform {

QDateTime SystemClock::now() const { return QDateTime::currentDateTime(); }

std::int64_t SystemClock::monotonicMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

ManualClock::ManualClock(QDateTime start)
    : m_now(std::move(start))
{
}

void ManualClock::advanceMs(std::int64_t ms)
{
    m_mono += ms;
    m_now = m_now.addMSecs(ms);
}

Clock& defaultClock()
{
    static SystemClock clock;
    return clock;
}

} // namespace platform
