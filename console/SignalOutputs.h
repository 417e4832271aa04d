#pragma once

// The console's five signal outputs and its start signal: what each ON and OFF button does, on
// which line of which modem-line port, the lamps that mirror the outputs, and the "初期化" sweep.
//
//   output  port  line   ON button  OFF button  lamps
//   1       1     RTS    CBrson1    CBrsof1     Pnl1, PLd1
//   2       1     DTR    CBrson2    CBrsof2     Pnl2, PLd2
//   3       2     RTS    CBrson3    CBrsof3     Pnl3, PLd3
//   4       2     DTR    CBrson4    CBrsof4     Pnl4, PLd4
//   5       3     RTS    CBrson5    CBrsof5     Pnl5, PLd5
//   start   3     DTR    CBrsonS    CBrsofS     Pnl6, PLds
//
// The count-down presses the same buttons by code; both end up here, so a press from code and a
// press by the operator do exactly the same.

#include "console/StepSequence.h"
#include "platform/ColorRef.h"

#include <QString>
#include <array>
#include <functional>

namespace console {

class Scheduler;
class SignalLines;
class Sleeper;

class SignalOutputs {
public:
    // Outputs 0..4 are signals 1..5; StartOutput is the start signal.
    static constexpr int SignalCount = 5;
    static constexpr int StartOutput = 5;

    static constexpr platform::TColor LampOn = 0x0000FFFF; // yellow
    static constexpr platform::TColor LampPulse = 0x00FF0000; // blue: the start pulse runs
    static constexpr platform::TColor LampOff = 0x00808080; // grey
    // The output was pressed but its port did not open, or failed when the line was switched:
    // nothing was switched.
    static constexpr platform::TColor LampNoPort = 0x000000FF; // red
    // The sweep's pause after each press.
    static constexpr int SweepPauseMs = 500;

    struct View {
        // Both lamps of an output (0..5) take the colour.
        std::function<void(int output, platform::TColor color)> lamp;
        // Paints the console at once (the start pulse is too short for the event loop).
        std::function<void()> repaint;
        // A problem for the operator's status line.
        std::function<void(const QString& text)> status;
    };

    SignalOutputs(SignalLines& lines, Sleeper& sleeper, Scheduler& scheduler, View view);

    // The names the operator knows the ports by ("COM2"), for messages.
    void setPortNames(const std::array<QString, 3>& names) { m_portNames = names; }

    // ON 1..5 (output 0..4): opens the port when it has not opened yet, raises the line.
    // A line call that fails on an open port (its adapter pulled out) is said once on the status
    // line, shows both lamps of the port red and closes the port, so that the next press opens
    // it again; the message comes again only after a line call of the port has succeeded.
    // A message names every port that has failed and not opened again since.
    void on(int output);
    // OFF 1..5: drops the line. A port never opened stays closed. The red lamps of a port closed
    // by a failure stay red until the port opens again (nothing was switched); then both show
    // its lines.
    void off(int output);
    // START: raises DTR of port 3 for `pulseMs`, lamps blue meanwhile.
    void startPulse(int pulseMs);
    // ALL OFF: drops DTR of port 3.
    void allOff();

    // "初期化": ON 1-5 then OFF 1-5, SweepPauseMs apart, without blocking the console. A press
    // while it runs is ignored; `countdownRuns` refuses it (and ends a sweep under way) while a
    // count-down runs, whose signals its OFF steps would undo. False when not started.
    bool sweep(std::function<bool()> countdownRuns);
    bool sweeping() const { return m_sweep.Running(); }

    // Closes the three ports, forgets that they opened and greys every lamp.
    void closeAll();
    bool portOpened(int port) const;

private:
    enum class LineResult { Switched, NotOpen, Failed };
    // How a port last failed, kept until it opens again.
    enum class Failure { None, CannotOpen, LineFailed };

    static int portOf(int output) { return output / 2 + 1; }
    static bool isRts(int output) { return output % 2 == 0; }
    // Opens the port unless it opened before; true when it is open.
    bool ensureOpen(int port);
    // Switches the output's line. A failure on a port that opened is handled by lineFailed.
    LineResult setLine(int output, bool high);
    void lineFailed(int port);
    // Says every failed port on the status line.
    void sayFailures();
    // After an OFF: grey, unless the port is closed by a failure and the lamp keeps its red.
    void lampOff(int output, LineResult result);
    void lamp(int output, platform::TColor color);
    // Both lamps of the port's two outputs.
    void portLamps(int port, platform::TColor color);

    SignalLines& m_lines;
    Sleeper& m_sleeper;
    View m_view;
    std::array<bool, 3> m_opened {};
    std::array<Failure, 3> m_failure {};
    // A port's failure to open is said once, until it opens.
    std::array<bool, 3> m_failureShown {};
    // A failing line call of a port is said once, until a line call of the port succeeds.
    std::array<bool, 3> m_lineFailureShown {};
    std::array<QString, 3> m_portNames { QStringLiteral("COM1"), QStringLiteral("COM2"),
        QStringLiteral("COM3") };
    StepSequence m_sweep;
};

} // namespace console
