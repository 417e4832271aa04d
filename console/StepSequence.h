#pragma once

// A short sequence of console actions with pauses between them (the signal sweep, the board's
// brightness frames), run through the console's scheduler so that the count-down keeps running
// meanwhile. One run at a time.

#include <functional>
#include <memory>
#include <vector>

namespace console {

class Scheduler;

class StepSequence {
public:
    struct Step {
        std::function<void()> action;
        int pauseAfterMs = 0; // before the next step, or before the sequence counts as done
    };

    explicit StepSequence(Scheduler& scheduler);
    ~StepSequence();
    StepSequence(const StepSequence&) = delete;
    StepSequence& operator=(const StepSequence&) = delete;

    // Runs the first step now and the others after their pauses. `keepGoing`, when given, is
    // asked before every later step: false ends the run there. False (nothing done) while a
    // previous run is under way.
    bool run(std::vector<Step> steps, std::function<bool()> keepGoing = {});
    bool Running() const { return m_running; }
    // Ends the run; steps still pending do nothing.
    void Cancel();

private:
    void runStep(unsigned long long run, size_t index);
    void Finish();

    Scheduler& m_scheduler;
    std::vector<Step> m_steps;
    std::function<bool()> m_keepGoing;
    bool m_running = false;
    // Tells the pending work of an ended run from the current one.
    unsigned long long m_run = 0;
    // Shared with the pending work, so that work outliving the sequence does nothing.
    std::shared_ptr<bool> m_alive;
};

} // namespace console
