#pragma once

// tcommthread: the event thread of a Trs232c port. It waits for the port events of its mask and
// hands each completed wait to Trs232c::DispatchCommEvents. Created suspended by Trs232c::Open,
// ended and joined by Trs232c::Close (Terminate wakes its wait at once).

#include <atomic>
#include <thread>

class Trs232c;

namespace platform {
class SerialLine;
}

class tcommthread {
public:
    tcommthread(Trs232c* owner, platform::SerialLine* port, unsigned eventMask);
    ~tcommthread();
    tcommthread(const tcommthread&) = delete;
    tcommthread& operator=(const tcommthread&) = delete;

    void resume();
    // Asks the thread to end and wakes its wait.
    void Terminate();
    // Waits until the thread has ended.
    void waitFor();
    bool terminated() const { return m_terminated; }
    // The events of the last completed wait.
    unsigned eventMask() const { return m_lastEvents; }

private:
    void Execute();

    Trs232c* const m_owner;
    platform::SerialLine* const m_port;
    const unsigned m_mask;
    std::atomic<bool> m_terminated { false };
    std::atomic<unsigned> m_lastEvents { 0 };
    std::thread m_thread;
};
