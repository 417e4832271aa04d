#pragma once

// Everything the console sends to the display board goes through here: the ON/OFF switch, the
// bit rate, the count-down and clock lines, the brightness command and the test frames. Nothing
// waits on the board: a board that takes no data only costs the lines it cannot take.
//
// A board that takes bytes slowly (or a port with a deep buffer) must not show every line late:
// while the port still has bytes to send, what comes next waits here instead of in the port. A
// newer time line replaces a time line that waits; frames (brightness, test frames) wait in their
// order. The waiting lines go out as the port empties.
//
// The status line says once that the board takes nothing (no byte has left the port for
// StallMs while lines wait), and once that it is behind (it takes bytes, but a waiting time line
// had to give way to a newer one); each is said again only when its cause has gone away between:
// bytes left the port again, or no line had to wait for KeepUpMs.
//
// Switching the board OFF or closing the console drops what waits, in the console and in the
// port (a waiting brightness command still goes): the board goes blank at once. A CR goes first,
// as the drop may have cut a line, so that the blank line reaches the board as a line of its own.

#include "console/StepSequence.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <functional>
#include <memory>

namespace platform {
class Clock;
}

namespace console {

class BoardPort;
class Scheduler;
class Sleeper;
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
    // No byte left the port for this long while lines wait: the board takes nothing.
    static constexpr int StallMs = 2000;
    // No line had to wait for this long: the board keeps up again.
    static constexpr int KeepUpMs = 10000;

    BoardControl(BoardPort& port, Scheduler& scheduler, const platform::Clock& clock, View view);

    // The switch (RGgaz). ON opens the port; when it does not open, the switch goes back to OFF
    // and the status line says why. OFF blanks the board at once and closes the port once the
    // blank line is out.
    bool switchOn();
    void switchOff();
    // The console closes: the board is blanked at once, then once more `pauseMs` later so that
    // the board surely takes it, and the port closes once that is out.
    void release(Sleeper& sleeper, int pauseMs);

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
    enum class Kind { TimeLine, Frame, Brightness };
    struct Pending {
        QByteArray bytes;
        Kind kind;
    };
    // Hands the bytes over now when nothing waits and the port has sent all it was given; else
    // they wait.
    void offer(const QByteArray& bytes, Kind kind);
    // Hands over what waits while the port is empty; looks again later while anything waits.
    void handWaiting();
    void pollLater();
    void hand(const QByteArray& bytes);
    // Drops what waits (but a brightness command) and what the port has not sent, and hands
    // over CR, the brightness commands and the blank line.
    void blankAtOnce();
    // Looks whether bytes left the port, and says a board that takes nothing.
    void watch();
    // Starts watching a port just opened or closed.
    void restartWatch();
    void say(const QString& text);
    // Opens the port; on failure shows the board off and says why. True when it opened.
    bool openPort();

    BoardPort& m_port;
    Scheduler& m_scheduler;
    const platform::Clock& m_clock;
    View m_view;
    std::deque<Pending> m_waiting;
    bool m_polling = false;
    // What the watch saw: the port's count of bytes sent, when it last grew (also while lines
    // waited), when lines began to wait and when a line was last seen waiting (ms, monotonic).
    qint64 m_sentSeen = 0;
    qint64 m_movedAt = 0;
    qint64 m_movedWhileWaitingAt = 0;
    bool m_movedWhileWaiting = false;
    qint64 m_waitingSince = 0;
    qint64 m_waitedAt = 0;
    // Said on the status line, until the cause has gone away.
    bool m_stallShown = false;
    bool m_behindShown = false;
    StepSequence m_brightness;
    // Tells a pending reopen of an earlier bit-rate change from the current one.
    unsigned m_reopen = 0;
    std::shared_ptr<bool> m_alive;
};

} // namespace console
