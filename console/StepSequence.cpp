#include "console/StepSequence.h"

#include "console/ConsoleDevices.h"

namespace console {

StepSequence::StepSequence(Scheduler& scheduler)
    : m_scheduler(scheduler)
    , m_alive(std::make_shared<bool>(true))
{
}

StepSequence::~StepSequence() { *m_alive = false; }

bool StepSequence::run(std::vector<Step> steps, std::function<bool()> keepGoing)
{
    if (m_running)
        return false;
    m_steps = std::move(steps);
    m_keepGoing = std::move(keepGoing);
    m_running = true;
    runStep(++m_run, 0);
    return true;
}

void StepSequence::Cancel()
{
    if (m_running)
        Finish();
}

void StepSequence::Finish()
{
    m_running = false;
    ++m_run;
}

void StepSequence::runStep(unsigned long long run, size_t index)
{
    if (!m_running || run != m_run)
        return;
    if (index >= m_steps.size()) {
        Finish();
        return;
    }
    if (index > 0 && m_keepGoing && !m_keepGoing()) {
        Finish();
        return;
    }
    const int pause = m_steps[index].pauseAfterMs;
    // The action may end the run (or the sequence) itself; the next step is booked first only
    // when the run is still this one afterwards.
    if (m_steps[index].action)
        m_steps[index].action();
    if (!m_running || run != m_run)
        return;
    std::weak_ptr<bool> alive = m_alive;
    m_scheduler.after(pause, [this, alive, run, index] {
        if (auto a = alive.lock(); a && *a)
            runStep(run, index + 1);
    });
}

} // namespace console
