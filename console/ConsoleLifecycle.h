#pragma once

// What the console loads for its event when it opens and stores when it closes, without any
// window: the signal trigger times and OFF control of the event row, the end of the schedule,
// the statements that store the console's state, and the steps that release its devices.

#include <QString>
#include <QStringList>
#include <QTime>
#include <QtGlobal>
#include <array>
#include <functional>
#include <optional>

class TDM1;

namespace console {

class BoardControl;
class Sleeper;

// The signal trigger slots, in the order the console keeps them: ON 1-5, ON start, OFF 1-5.
enum SignalSlot {
    SlotOn1,
    SlotOn2,
    SlotOn3,
    SlotOn4,
    SlotOn5,
    SlotOnStart,
    SlotOff1,
    SlotOff2,
    SlotOff3,
    SlotOff4,
    SlotOff5,
    SignalSlotCount
};

// The column of table taikai that stores a slot ("on1".."on5", "ons", "of1".."of5").
QString signalColumn(int slot);

// The event row's signal trigger times (tenths) and OFF-control choice.
struct EventSignals {
    std::array<qint64, SignalSlotCount> triggers {}; // tenths, slot order
    int offControlMode = 0;
    bool found = false; // the event has a row
};

// Reads the open event's row (on the data module's scratch query). An event without a row gives
// zero slots and OFF control 0. Raises platform::DatabaseError when the select fails.
EventSignals readEventSignals(TDM1& dm, const QString& eventCode);

// The end of the event's schedule: the end of its last row by start time; 0:00:00 without rows.
// Raises platform::DatabaseError when the select fails.
QTime readScheduleEnd(TDM1& dm, const QString& eventCode);

// A time-of-day picker's value for a count of tenths; counts outside one day give 0:00:00.
QTime pickerTimeOfTenths(qint64 tenths);
// The same for a clock text such as the presets' "0:05:00".
QTime pickerTimeOfText(const QString& clockText);

// What the console stores in its event row when it closes; every time as H:MM:SS.
struct ClosingState {
    std::array<QString, SignalSlotCount> signalTimes; // slot order
    int offControlMode = 0;
    std::array<QString, 5> presets; // warm-up, race, over-time, blank window, interval
};

// The lines of the statement that stores `state` in the event row.
QStringList taikaiUpdateLines(const QString& eventCode, const ClosingState& state);

// Runs the close statements: table tnow back to "0", then the event row. A failing statement does
// not stop the other; each failure comes back as one Japanese message for the operator.
// Without a state (the console never got the event's values into its controls) the event row
// keeps what it holds: storing the controls' defaults would wipe the event's settings.
QStringList storeClosingState(TDM1& dm, const QString& eventCode, const std::optional<ClosingState>& state);

// Reopens the event list's query and puts it on the event, so that the list shows the event just
// closed. A failure comes back as a message (empty when none).
QString reopenEventList(TDM1& dm, const QString& eventCode);

// The steps that release the console's devices, run once however the console is closed:
// the board is blanked at once (what waits for it dropped, the blank line, a pause, the blank
// line again) and its port closed, the timing-server link dropped and its log closed.
class DeviceRelease {
public:
    struct Steps {
        BoardControl* board = nullptr;
        Sleeper* sleeper = nullptr;
        std::function<void()> dropTimeServer; // closes the link when it is connected
        std::function<void()> closeLog;
    };
    explicit DeviceRelease(Steps steps);

    // Runs the steps the first time; later calls do nothing. False when they had run already.
    bool run();
    bool done() const { return m_done; }

    // The pause between the two blank lines, so that the board takes the second one.
    static constexpr int BlankPauseMs = 200;

private:
    Steps m_steps;
    bool m_done = false;
};

} // namespace console
