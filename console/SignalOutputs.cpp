#include "console/SignalOutputs.h"

#include "console/ConsoleDevices.h"

#include <QStringList>

namespace console {

SignalOutputs::SignalOutputs(SignalLines& lines, Sleeper& sleeper, Scheduler& scheduler, View view)
    : m_lines(lines)
    , m_sleeper(sleeper)
    , m_view(std::move(view))
    , m_sweep(scheduler)
{
}

bool SignalOutputs::portOpened(int port) const
{
    return port >= 1 && port <= 3 && m_opened[static_cast<size_t>(port - 1)];
}

bool SignalOutputs::ensureOpen(int port)
{
    const auto k = static_cast<size_t>(port - 1);
    if (m_opened[k])
        return true;
    // Only a port that opened counts as open, so that the next press tries again.
    if (m_lines.Open(port)) {
        m_opened[k] = true;
        // A port that opens leaves both its lines low: lamps kept red by its failure go grey,
        // also the one of the line this press does not switch.
        if (m_failure[k] != Failure::None)
            portLamps(port, LampOff);
        m_failure[k] = Failure::None;
        m_failureShown[k] = false;
        return true;
    }
    m_failure[k] = Failure::CannotOpen;
    if (!m_failureShown[k]) {
        m_failureShown[k] = true;
        sayFailures();
    }
    return false;
}

void SignalOutputs::sayFailures()
{
    if (!m_view.status)
        return;
    // Several ports can fail at one step of the count-down: one line names them all.
    QStringList cannotOpen, lineFailed;
    for (size_t k = 0; k < m_failure.size(); ++k) {
        if (m_failure[k] == Failure::CannotOpen)
            cannotOpen << m_portNames[k];
        else if (m_failure[k] == Failure::LineFailed)
            lineFailed << m_portNames[k];
    }
    const QString separator = QStringLiteral("、");
    QString text;
    if (!cannotOpen.isEmpty())
        text += QStringLiteral("シグナル出力のポート（%1）を開けませんでした。")
                    .arg(cannotOpen.join(separator));
    if (!lineFailed.isEmpty())
        text += QStringLiteral(
            "シグナル出力のポート（%1）で信号を切り替えられませんでした。ポートを閉じました。")
                    .arg(lineFailed.join(separator));
    m_view.status(text);
}

SignalOutputs::LineResult SignalOutputs::setLine(int output, bool high)
{
    const int port = portOf(output);
    const auto k = static_cast<size_t>(port - 1);
    const bool switched = isRts(output) ? m_lines.setRts(port, high) : m_lines.setDtr(port, high);
    if (!m_opened[k])
        return LineResult::NotOpen;
    if (switched) {
        m_lineFailureShown[k] = false;
        return LineResult::Switched;
    }
    lineFailed(port);
    return LineResult::Failed;
}

void SignalOutputs::lineFailed(int port)
{
    const auto k = static_cast<size_t>(port - 1);
    // Neither line of the port can be trusted any more; closing lets the next press open it anew.
    m_lines.Close(port);
    m_opened[k] = false;
    m_failure[k] = Failure::LineFailed;
    if (!m_lineFailureShown[k]) {
        m_lineFailureShown[k] = true;
        sayFailures();
    }
    portLamps(port, LampNoPort);
}

void SignalOutputs::lampOff(int output, LineResult result)
{
    if (result == LineResult::Switched
        || (result == LineResult::NotOpen
            && m_failure[static_cast<size_t>(portOf(output) - 1)] == Failure::None))
        lamp(output, LampOff);
}

void SignalOutputs::lamp(int output, platform::TColor color)
{
    if (m_view.lamp)
        m_view.lamp(output, color);
}

void SignalOutputs::portLamps(int port, platform::TColor color)
{
    lamp((port - 1) * 2, color);
    lamp((port - 1) * 2 + 1, color);
}

void SignalOutputs::on(int output)
{
    if (output < 0 || output >= SignalCount)
        return;
    const bool open = ensureOpen(portOf(output));
    if (setLine(output, true) != LineResult::Failed)
        lamp(output, open ? LampOn : LampNoPort);
}

void SignalOutputs::off(int output)
{
    if (output < 0 || output >= SignalCount)
        return;
    lampOff(output, setLine(output, false));
}

void SignalOutputs::startPulse(int pulseMs)
{
    const bool open = ensureOpen(3);
    if (setLine(StartOutput, true) == LineResult::Failed)
        return;
    lamp(StartOutput, open ? LampPulse : LampNoPort);
    if (m_view.repaint)
        m_view.repaint();
    // The pulse is short and its length is what the starting light sees: it is timed here, not
    // left to the event loop.
    m_sleeper.sleep(pulseMs);
    allOff();
}

void SignalOutputs::allOff() { lampOff(StartOutput, setLine(StartOutput, false)); }

bool SignalOutputs::sweep(std::function<bool()> countdownRuns)
{
    if (m_sweep.Running())
        return false;
    if (countdownRuns && countdownRuns()) {
        if (m_view.status)
            m_view.status(QStringLiteral("カウントダウン中は初期化できません。"));
        return false;
    }
    std::vector<StepSequence::Step> steps;
    for (int output = 0; output < SignalCount; ++output)
        steps.push_back({ [this, output] { on(output); }, SweepPauseMs });
    for (int output = 0; output < SignalCount; ++output)
        steps.push_back({ [this, output] { off(output); }, SweepPauseMs });
    return m_sweep.run(std::move(steps), [countdownRuns] { return !countdownRuns || !countdownRuns(); });
}

void SignalOutputs::closeAll()
{
    m_sweep.Cancel();
    for (int port = 1; port <= 3; ++port)
        m_lines.Close(port);
    m_opened = {};
    m_failure = {};
    m_failureShown = {};
    m_lineFailureShown = {};
    for (int output = 0; output <= StartOutput; ++output)
        lamp(output, LampOff);
}

} // namespace console
