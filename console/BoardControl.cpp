#include "console/BoardControl.h"

#include "console/BoardLine.h"
#include "console/ConsoleDevices.h"

namespace console {

BoardControl::BoardControl(BoardPort& port, Scheduler& scheduler, View view)
    : m_port(port)
    , m_scheduler(scheduler)
    , m_view(std::move(view))
    , m_brightness(scheduler)
    , m_alive(std::make_shared<bool>(true))
{
}

void BoardControl::OpenFailed()
{
    if (m_view.shownOff)
        m_view.shownOff();
    if (m_view.status) {
        const QString why = m_port.OpenError();
        m_view.status(QStringLiteral("表示ボードのポートを開けませんでした。")
            + (why.isEmpty() ? QString() : QStringLiteral("（") + why + QStringLiteral("）")));
    }
}

bool BoardControl::SwitchOn()
{
    ++m_reopen;
    if (m_port.Open())
        return true;
    OpenFailed();
    return false;
}

void BoardControl::SwitchOff()
{
    ++m_reopen;
    m_brightness.Cancel();
    Hand(BoardBlankLine());
    m_port.CloseWhenSent();
}

void BoardControl::SetBitRateIndex(int index, bool boardOn)
{
    const unsigned reopen = ++m_reopen;
    m_port.Close();
    m_port.SetBitRate(BitRateOfIndex(index));
    if (!boardOn)
        return;
    std::weak_ptr<bool> alive = m_alive;
    m_scheduler.After(ReopenPauseMs, [this, alive, reopen] {
        // A later switch or rate change has taken over meanwhile.
        if (!alive.lock() || reopen != m_reopen)
            return;
        if (!m_port.Open())
            OpenFailed();
    });
}

void BoardControl::Hand(const QByteArray& bytes)
{
    const int droppedBefore = m_port.DroppedLines();
    m_port.SendString(bytes);
    if (m_port.DroppedLines() == droppedBefore) {
        m_congestionShown = false;
        return;
    }
    if (!m_congestionShown && m_view.status)
        m_view.status(QStringLiteral("表示ボードがデータを受け付けていません。"));
    m_congestionShown = true;
}

bool BoardControl::Send(const BoardLineInput& in)
{
    const QByteArray line = BoardLine(in);
    if (line.isEmpty())
        return false;
    Hand(line);
    return true;
}

void BoardControl::SendFrame(const QByteArray& frame) { Hand(frame); }

bool BoardControl::Brightness(int level)
{
    return m_brightness.Run({ { [this, level] { Hand(BoardBrightnessFrame(level)); }, BrightnessPauseMs },
        { [this] { Hand(BoardFrame(BoardTestFrame::AllSegments)); }, AllSegmentsPauseMs } });
}

} // namespace console
