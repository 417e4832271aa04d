#pragma once

// Everything the console sends to the display board goes through here: the ON/OFF switch, the
// bit rate, the count-down and clock lines, the brightness command and the test frames. Nothing
// waits on the board: a board that takes no data only costs the lines it cannot take, and the
// status line says so once.

#include "console/StepSequence.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace console {

class BoardPort;
class Scheduler;
struct BoardLineInput;

class BoardControl {
public:
    struct View {
        // A problem for the operator's status line.
        std::function<void(const QString& text)> status;
        // The switch is shown OFF again (its port did not open).
        std::function<void()> shownOff;
    };

    // The pause between the brightness command and the all-segments frame, and after that frame.
    static constexpr int BrightnessPauseMs = 200;
    static constexpr int AllSegmentsPauseMs = 500;
    // The pause between closing the port for a new bit rate and opening it again.
    static constexpr int ReopenPauseMs = 300;

    BoardControl(BoardPort& port, Scheduler& scheduler, View view);

    // The switch (RGgaz). ON opens the port; when it does not open, the switch goes back to OFF
    // and the status line says why. OFF sends the blank line and closes the port once it is out.
    bool SwitchOn();
    void SwitchOff();

    // The bit rate (RGbrate index 0 = 2400, 1 = 9600): the port closes and takes the rate; while
    // the board is ON it opens again a moment later (unless the switch has moved meanwhile).
    void SetBitRateIndex(int index, bool boardOn);
    static int BitRateOfIndex(int index) { return index == 0 ? 2400 : 9600; }

    // Sends the time line for `in` when there is one to send now; true when it was handed over.
    bool Send(const BoardLineInput& in);
    // Sends a whole frame (blank line, test frames).
    void SendFrame(const QByteArray& frame);

    // "Set": the brightness command, then the all-segments frame. Ignored while a previous one
    // runs; false then.
    bool Brightness(int level);
    bool BrightnessRunning() const { return m_brightness.Running(); }

private:
    void Hand(const QByteArray& bytes);
    void OpenFailed();

    BoardPort& m_port;
    Scheduler& m_scheduler;
    View m_view;
    // The status line has said that the board takes no data; said again only after it took some.
    bool m_congestionShown = false;
    StepSequence m_brightness;
    // Tells a pending reopen of an earlier bit-rate change from the current one.
    unsigned m_reopen = 0;
    std::shared_ptr<bool> m_alive;
};

} // namespace console
