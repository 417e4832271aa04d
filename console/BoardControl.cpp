#include "console/BoardControl.h"

#include "console/BoardLine.h"
#include "console/ConsoleDevices.h"

#include <algorithm>

namespace console {

BoardControl::BoardControl(BoardPort& port, Scheduler& scheduler, View view)
    : m_port(port)
    , m_scheduler(scheduler)
    , m_view(std::move(view))
    , m_brightness(scheduler)
    , m_alive(std::make_shared<bool>(true))
{
}

void BoardControl::openFailed()
{
    if (m_view.shownOff)
        m_view.shownOff();
    if (m_view.status) {
        const QString why = m_port.openError();
        m_view.status(QStringLiteral("表示ボードのポートを開けませんでした。")
            + (why.isEmpty() ? QString() : QStringLiteral("（") + why + QStringLiteral("）")));
    }
}

bool BoardControl::switchOn()
{
    ++m_reopen;
    if (m_port.Open())
        return true;
    openFailed();
    return false;
}

void BoardControl::switchOff()
{
    ++m_reopen;
    m_brightness.Cancel();
    // The board goes dark: waiting time lines are moot, frames still go before the blank line.
    std::deque<Pending> waiting;
    waiting.swap(m_waiting);
    for (const Pending& w : waiting)
        if (!w.timeLine)
            hand(w.bytes);
    hand(boardBlankLine());
    m_port.closeWhenSent();
}

void BoardControl::setBitRateIndex(int index, bool boardOn)
{
    const unsigned reopen = ++m_reopen;
    // A closed port takes nothing: what waits would be dropped by it anyway.
    m_waiting.clear();
    m_port.Close();
    m_port.setBitRate(bitRateOfIndex(index));
    if (!boardOn)
        return;
    std::weak_ptr<bool> alive = m_alive;
    m_scheduler.after(ReopenPauseMs, [this, alive, reopen] {
        // A later switch or rate change has taken over meanwhile.
        if (!alive.lock() || reopen != m_reopen)
            return;
        if (!m_port.Open())
            openFailed();
    });
}

void BoardControl::hand(const QByteArray& bytes)
{
    const int droppedBefore = m_port.droppedLines();
    m_port.SendString(bytes);
    if (m_port.droppedLines() == droppedBefore) {
        m_congestionShown = false;
        return;
    }
    if (!m_congestionShown && m_view.status)
        m_view.status(QStringLiteral("表示ボードがデータを受け付けていません。"));
    m_congestionShown = true;
}

void BoardControl::offer(const QByteArray& bytes, bool timeLine)
{
    if (m_waiting.empty() && m_port.bytesQueued() == 0) {
        m_behindShown = false;
        hand(bytes);
        return;
    }
    if (timeLine) {
        const auto older
            = std::find_if(m_waiting.begin(), m_waiting.end(), [](const Pending& w) { return w.timeLine; });
        if (older != m_waiting.end()) {
            // The board would show a time already past: it is behind.
            m_waiting.erase(older);
            if (!m_behindShown && m_view.status)
                m_view.status(QStringLiteral("表示ボードへの送信が遅れています。最新の時刻だけを送ります。"));
            m_behindShown = true;
        }
    }
    m_waiting.push_back({ bytes, timeLine });
    pollLater();
}

void BoardControl::pollLater()
{
    if (m_polling)
        return;
    m_polling = true;
    std::weak_ptr<bool> alive = m_alive;
    m_scheduler.after(WaitPollMs, [this, alive] {
        if (!alive.lock())
            return;
        m_polling = false;
        handWaiting();
    });
}

void BoardControl::handWaiting()
{
    while (!m_waiting.empty() && m_port.bytesQueued() == 0) {
        const QByteArray bytes = std::move(m_waiting.front().bytes);
        m_waiting.pop_front();
        hand(bytes);
    }
    if (!m_waiting.empty())
        pollLater();
}

bool BoardControl::send(const BoardLineInput& in)
{
    const QByteArray line = BoardLine(in);
    if (line.isEmpty())
        return false;
    offer(line, true);
    return true;
}

void BoardControl::sendTimeLine(const QByteArray& line) { offer(line, true); }

void BoardControl::sendFrame(const QByteArray& frame) { offer(frame, false); }

bool BoardControl::brightness(int level)
{
    return m_brightness.run(
        { { [this, level] { sendFrame(boardBrightnessFrame(level)); }, BrightnessPauseMs },
            { [this] { sendFrame(boardFrame(BoardTestFrame::AllSegments)); }, AllSegmentsPauseMs } });
}

} // namespace console
