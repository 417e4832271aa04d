#pragma once

// Everything the console sends to the display board goes through here: the ON/OFF switch, the
// bit rate, the count-down and clock lines, the brightness command and the test frames. Nothing
// waits on the board: a board that takes no data only costs the lines it cannot take, and the
// status line says so once.
//
// A board that takes bytes slowly (or a port with a deep buffer) must not show every line late:
// while the port still has bytes to send, what comes next waits here instead of in the port. A
// newer time line replaces a time line that waits; frames (brightness, test frames, the blank
// line) wait in their order and are never dropped. The waiting lines go out as the port empties.

#include "console/StepSequence.h"

#include <QByteArray>
#include <QString>
#include <deque>
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
    // How often the lines that wait look whether the port has emptied.
    static constexpr int WaitPollMs = 20;

    BoardControl(BoardPort& port, Scheduler& scheduler, View view);

    // The switch (RGgaz). ON opens the port; when it does not open, the switch goes back to OFF
    // and the status line says why. OFF sends the blank line and closes the port once it is out.
    bool switchOn();
    void switchOff();

    // The bit rate (RGbrate index 0 = 2400, 1 = 9600): the port closes and takes the rate; while
    // the board is ON it opens again a moment later (unless the switch has moved meanwhile).
    void setBitRateIndex(int index, bool boardOn);
    static int bitRateOfIndex(int index) { return index == 0 ? 2400 : 9600; }

    // Sends the time line for `in` when there is one to send now; true when there was one.
    bool send(const BoardLineInput& in);
    // Sends a time line built elsewhere (the timing server's race line).
    void sendTimeLine(const QByteArray& line);
    // Sends a whole frame (blank line, test frames).
    void sendFrame(const QByteArray& frame);
    // Lines and frames that wait for the port to empty, oldest first.
    int waiting() const { return static_cast<int>(m_waiting.size()); }

    // "Set": the brightness command, then the all-segments frame. Ignored while a previous one
    // runs; false then.
    bool brightness(int level);
    bool brightnessRunning() const { return m_brightness.Running(); }

private:
    struct Pending {
        QByteArray bytes;
        bool timeLine;
    };
    // Hands the bytes over now when nothing waits and the port has sent all it was given; else
    // they wait.
    void offer(const QByteArray& bytes, bool timeLine);
    // Hands over what waits while the port is empty; looks again later while anything waits.
    void handWaiting();
    void pollLater();
    void hand(const QByteArray& bytes);
    void openFailed();

    BoardPort& m_port;
    Scheduler& m_scheduler;
    View m_view;
    // The status line has said that the board takes no data; said again only after it took some.
    bool m_congestionShown = false;
    std::deque<Pending> m_waiting;
    bool m_polling = false;
    // The status line has said that the board is behind; said again after it has caught up.
    bool m_behindShown = false;
    StepSequence m_brightness;
    // Tells a pending reopen of an earlier bit-rate change from the current one.
    unsigned m_reopen = 0;
    std::shared_ptr<bool> m_alive;
};

} // namespace console
