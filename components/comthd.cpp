#include "components/comthd.h"

#include "components/rs232c.h"
#include "platform/SerialLine.h"

tcommthread::tcommthread(Trs232c* owner, platform::SerialLine* port, unsigned eventMask)
    : m_owner(owner)
    , m_port(port)
    , m_mask(eventMask)
{
}

tcommthread::~tcommthread()
{
    Terminate();
    waitFor();
}

void tcommthread::resume()
{
    if (!m_thread.joinable())
        m_thread = std::thread([this] { Execute(); });
}

void tcommthread::Terminate()
{
    m_terminated = true;
    m_port->cancelWait();
}

void tcommthread::waitFor()
{
    if (m_thread.joinable())
        m_thread.join();
}

void tcommthread::Execute()
{
    while (!m_terminated) {
        const unsigned events = m_port->waitEvent(m_mask, 250);
        if (m_terminated)
            break;
        if (!events)
            continue;
        m_lastEvents = events;
        m_owner->DispatchCommEvents(events);
    }
}
