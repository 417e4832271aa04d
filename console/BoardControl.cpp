#include "console/BoardControl.h"

#include "console/BoardLine.h"
#include "console/ConsoleDevices.h"
#include "platform/Clock.h"

#include <algorithm>

namespace console {

BoardControl::BoardControl(BoardPort& port, Scheduler& scheduler, const platform::Clock& clock, View view)
    : m_port(port)
    , m_scheduler(scheduler)
    , m_clock(clock)
    , m_view(std::move(view))
    , m_brightness(scheduler)
    , m_alive(std::make_shared<bool>(true))
{
    restartWatch();
}

void BoardControl::say(const QString& text)
{
    if (m_view.status)
        m_view.status(text);
}

bool BoardControl::openPort()
{
    const bool open = m_port.Open();
    // A port opened afresh has sent nothing yet: its watch starts over.
    restartWatch();
    if (open)
        return true;
    if (m_view.shownOff)
        m_view.shownOff();
    const QString why = m_port.openError();
    say(QStringLiteral("表示ボードのポートを開けませんでした。")
        + (why.isEmpty() ? QString() : QStringLiteral("（") + why + QStringLiteral("）")));
    return false;
}

bool BoardControl::switchOn()
{
    ++m_reopen;
    return openPort();
}

void BoardControl::switchOff()
{
    ++m_reopen;
    blankAtOnce();
    m_port.closeWhenSent();
}

void BoardControl::release(Sleeper& sleeper, int pauseMs)
{
    ++m_reopen;
    blankAtOnce();
    sleeper.sleep(pauseMs);
    hand(boardBlankLine());
    m_port.closeWhenSent();
}

void BoardControl::blankAtOnce()
{
    m_brightness.Cancel();
    // A brightness command sets the board up for later: it still goes. Waiting time lines and
    // test frames would only show something stale.
    QByteArray bytes("\r");
    for (const Pending& w : m_waiting)
        if (w.kind == Kind::Brightness)
            bytes += w.bytes;
    m_waiting.clear();
    m_port.purge();
    hand(bytes + boardBlankLine());
    restartWatch();
}

void BoardControl::setBitRateIndex(int index, bool boardOn)
{
    const unsigned reopen = ++m_reopen;
    // A closed port takes nothing: what waits would be dropped by it anyway.
    m_waiting.clear();
    m_port.Close();
    m_port.setBitRate(bitRateOfIndex(index));
    restartWatch();
    if (!boardOn)
        return;
    std::weak_ptr<bool> alive = m_alive;
    m_scheduler.after(ReopenPauseMs, [this, alive, reopen] {
        // A later switch or rate change has taken over meanwhile.
        if (!alive.lock() || reopen != m_reopen)
            return;
        openPort();
    });
}

void BoardControl::hand(const QByteArray& bytes)
{
    const int droppedBefore = m_port.droppedLines();
    m_port.SendString(bytes);
    if (m_port.droppedLines() != droppedBefore && !m_stallShown) {
        m_stallShown = true;
        say(QStringLiteral("表示ボードがデータを受け付けていません。"));
    }
}

void BoardControl::restartWatch()
{
    const qint64 now = m_clock.monotonicMs();
    m_sentSeen = m_port.bytesSent();
    m_movedAt = now;
    m_movedWhileWaiting = false;
    m_waitingSince = now;
}

void BoardControl::watch()
{
    const qint64 now = m_clock.monotonicMs();
    const qint64 sent = m_port.bytesSent();
    if (sent != m_sentSeen) {
        m_sentSeen = sent;
        m_movedAt = now;
        m_stallShown = false;
        if (!m_waiting.empty()) {
            m_movedWhileWaiting = true;
            m_movedWhileWaitingAt = now;
        }
    }
    if (m_waiting.empty()) {
        if (now - m_waitedAt >= KeepUpMs)
            m_behindShown = false;
        return;
    }
    m_waitedAt = now;
    if (!m_stallShown && now - std::max(m_movedAt, m_waitingSince) >= StallMs) {
        m_stallShown = true;
        say(QStringLiteral("表示ボードがデータを受け付けていません。"));
    }
}

void BoardControl::offer(const QByteArray& bytes, Kind kind)
{
    watch();
    if (m_waiting.empty() && m_port.bytesQueued() == 0) {
        hand(bytes);
        return;
    }
    const qint64 now = m_clock.monotonicMs();
    if (m_waiting.empty())
        m_waitingSince = now;
    m_waitedAt = now;
    if (kind == Kind::TimeLine) {
        const auto older = std::find_if(
            m_waiting.begin(), m_waiting.end(), [](const Pending& w) { return w.kind == Kind::TimeLine; });
        if (older != m_waiting.end()) {
            // The board would show a time already past. It is behind when it takes bytes, only
            // more slowly than the lines come; a board that takes nothing is said by the watch.
            m_waiting.erase(older);
            const bool takesBytes = m_movedWhileWaiting && now - m_movedWhileWaitingAt < StallMs;
            if (takesBytes && !m_behindShown) {
                m_behindShown = true;
                say(QStringLiteral("表示ボードへの送信が遅れています。最新の時刻だけを送ります。"));
            }
        }
    }
    m_waiting.push_back({ bytes, kind });
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
    watch();
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
    offer(line, Kind::TimeLine);
    return true;
}

void BoardControl::sendTimeLine(const QByteArray& line) { offer(line, Kind::TimeLine); }

void BoardControl::sendFrame(const QByteArray& frame) { offer(frame, Kind::Frame); }

bool BoardControl::brightness(int level)
{
    return m_brightness.run(
        { { [this, level] { offer(boardBrightnessFrame(level), Kind::Brightness); }, BrightnessPauseMs },
            { [this] { sendFrame(boardFrame(BoardTestFrame::AllSegments)); }, AllSegmentsPauseMs } });
}

} // namespace console
