#pragma once

// The console's phase count-down: warm-up, race and over-time, one after the other, and in
// automatic operation the interval after them, at whose end the console resets itself and starts
// the next run. Start, Stop and Reset set up the state the ticks run on; each tick works out the
// remaining time of the running phase from the clock and drives the digits, the board line, the
// time file, the signal outputs, the start pulse and the sound cues.
//
// The tick runs on the count-down ticks (tenths of a second that keep counting past midnight).
// Everything is computed from the clock at each tick, never by counting ticks: a tick equal to
// the last handled one does nothing, a late tick only skips what would have been shown.
//
// The engine knows no widget and no global. What the operator set comes through
// CountdownControls, what it shows goes through CountdownHost, the timing-server link's state
// through CountdownLink, and the devices are the console's (ConsoleDevices), each given as
// the one the engine uses.

#include "console/ConsoleDevices.h"
#include "console/Utaikai_time.h"
#include "platform/ColorRef.h"

#include <QString>
#include <QStringList>
#include <array>
#include <exception>
#include <map>
#include <optional>
#include <vector>

namespace platform {
class Asker;
class Clock;
} // namespace platform

namespace console {

class BoardControl;
class MonitorFiles;
class SignalOutputs;

enum class PhaseState {
    Mae, // before: set by every reset
    On, // running
    Ato, // after
};

// The four count-down phases, in order; also the three digit rows (warm-up, race, over-time).
enum class Phase { Warm, Race, Over, Interval };

// The pickers the engine reads: DTP1, DTP2, DTP3, DTP4 (blank window), DTPauto (interval).
enum class Preset { Warm, Race, Over, Blank, Interval };

// What the operator has set on the console, read when the engine needs it.
class CountdownControls {
public:
    virtual ~CountdownControls() = default;
    // The picker's time as the long time text (H:MM:SS).
    virtual QString presetText(Preset preset) const = 0;
    // The board switch is ON.
    virtual bool boardOn() const = 0;
    // The OFF-control choice: 0 "スタート前" (signal 5 off before the start), 1 "スタート後".
    virtual int offControl() const = 0;
    // Text sent in front of the race and over-time lines.
    virtual QString boardPrefix() const = 0;
    // The blind time in tenths, and whether the blind-time setting is above 0.
    virtual qint64 blindTenths() const = 0;
    virtual bool blindSettingOn() const = 0;
    // Automatic operation: the interval picker is not hidden. Asked here and nowhere else.
    virtual bool automatic() const = 0;
    // A signal trigger slot (SignalSlot order) in tenths of remaining warm-up.
    virtual qint64 triggerSlot(int slot) const = 0;
    // The start pulse in milliseconds.
    virtual int pulseMs() const = 0;
};

// What the engine shows and what it asks of the console around it.
class CountdownHost {
public:
    virtual ~CountdownHost() = default;
    // Six digit values of a row (Phase::Warm..Over); -2 is a blank digit.
    virtual void showDigits(Phase row, const std::array<int, 6>& values) = 0;
    // The colour the row's digits take at their next value write.
    virtual void setRowColor(Phase row, platform::TColor color) = 0;
    // The random cut as the operator reads it ("3.7", "0" without a blank window).
    virtual void showCut(const QString& text) = 0;
    // The hidden read-outs of ON 1-5 (signal 0..4).
    virtual void showSignalRemaining(int signal, const QString& text) = 0;
    // The hidden diagnostics: the phase's end tick, and the tick (only while past the end).
    virtual void showTicks(qint32 endTick, qint32 tick, bool pastEnd) = 0;
    // The clock text behind the last race or over-time board line.
    virtual void showBoardText(const QString& clockText) = 0;
    // The interval display.
    virtual void showIntervalText(const QString& text) = 0;
    // The cue list was replaced, or lost its first entry (the memo mirrors it).
    virtual void cueListChanged(const QStringList& list) = 0;
    virtual void cueHeadRemoved() = 0;
    // A problem for the status line; never a box while the count-down runs.
    virtual void showStatus(const QString& text) = 0;
    // The operator has confirmed a Reset: what the status line says belongs to the race before.
    // Called before the reset's own work, whose problems are then said.
    virtual void resetConfirmed() { }
    // The count-down timers (tm1On, tmr2On) changed, or the board clock is to run again.
    virtual void timersChanged() = 0;
    // Loads the event's cues into the players and sets the cue list (setCueList).
    virtual void reloadCues() = 0;
    // Start's lookup of the next heat's results in automatic operation (when enabled).
    virtual void lookupResults() = 0;
};

// The timing-server link as the count-down sees it. While the server has the board's race line,
// the count-down sends none of its own; the link takes the line back when it goes down.
class CountdownLink {
public:
    virtual ~CountdownLink() = default;
    // The link to the timing server is connected now.
    virtual bool serverConnected() const = 0;
    // The board's race line comes from the timing server.
    virtual bool BoardFromNetwork() const = 0;
    virtual void setBoardFromNetwork(bool fromNetwork) = 0;
};

class CountdownEngine {
public:
    struct Parts {
        const platform::Clock& clock;
        // Asks the operator to confirm a reset.
        platform::Asker& asker;
        // Takes the time file.
        MonitorFiles& monitor;
        // Draws the random cut.
        RandomSource& random;
        CountdownControls& controls;
        CountdownHost& host;
        CountdownLink& link;
        SignalOutputs& signalOutputs;
        BoardControl& board;
    };
    explicit CountdownEngine(const Parts& parts);

    // ---- Commands ----
    // The console was shown: cues start from the first slot, no run is prepared, the network
    // gives back the board.
    void consoleOpened();
    // Tm1Timer: one tick of the running phase.
    void phaseTick();
    // Start (CuteButton1Click): a fresh run when no phase is on, else a resume.
    void start();
    // Stop (CuteButton2Click): pauses whatever runs.
    void Stop();
    // Reset (CuteButton5Click): asks, then prepares a run from the pickers.
    void Reset();
    // The hidden reset (Button1Click): reloads cues and digits without asking.
    void hiddenReset();
    // Blanks all eighteen digits.
    void segclear();
    // tmr2Timer: one tick of the interval; at its end the automatic reset and Start.
    void intervalTick();
    // The interval reset (CuteButton22Click): asks, then ends the interval.
    void intervalReset();
    // The sound page was shown with no run to resume and its players were cleared: Start waits
    // for a new Reset.
    void forgetReset() { m_resetDone = 0; }

    // The cue list as the cue loader built it; also kept as the copy a fresh run starts from.
    void setCueList(const QStringList& list);
    // The cue players of a phase, slot 1 first (warm-up 13, race 14, over-time 3, interval 3);
    // none is null.
    void setPlayers(Phase phase, std::vector<CuePlayer*> players);

    // A count-down (phase or interval) is running.
    bool countingDown() const { return m_tm1On || m_tmr2On; }
    // The race (letter "R") or over-time (letter "O") board line for the clock text of the
    // remaining time, at even tenths only, with the prefix; the host shows the text.
    void dpgaz(QChar letter, const QString& clockText);

    // While paused in a phase whose option says so, the board shows no time of day.
    bool clockLineHidden(bool hideWarm, bool hideRace, bool hideOver) const;
    // Stop paused a run part-way (a phase or the interval is on) after a confirmed Reset: Start
    // resumes it, so it keeps its players and its reset.
    bool resumable() const;
    // The current count-down tick.
    qint32 now() const { return m_ticks.Tick(); }

    // ---- Console phase state, read-only: the commands above change it ----
    PhaseState StateWarm() const { return m_stateWarm; }
    PhaseState StateRace() const { return m_stateRace; }
    PhaseState StateOver() const { return m_stateOver; }
    PhaseState StateInterval() const { return m_stateInterval; }
    // The tick at which each phase ends.
    qint32 EndWarm() const { return m_endWarm; }
    qint32 EndRace() const { return m_endRace; }
    qint32 EndOver() const { return m_endOver; }
    qint32 EndInterval() const { return m_endInterval; }
    // The last tick handled.
    qint32 LastTick() const { return m_lastTick; }
    // Stop paused the run, at PauseTick.
    quint8 Paused() const { return m_paused; }
    qint32 PauseTick() const { return m_pauseTick; }
    quint8 Running() const { return m_running; }
    // A confirmed Reset has prepared a run; Start needs it.
    quint8 ResetDone() const { return m_resetDone; }
    qint32 RandomCut() const { return m_randomCut; }
    qint32 BlankTenths() const { return m_blankTenths; }
    qint32 IntervalTenths() const { return m_intervalTenths; }
    // What was left of the phase that a Stop paused.
    qint32 RestWarm() const { return m_restWarm; }
    qint32 RestRace() const { return m_restRace; }
    qint32 RestOver() const { return m_restOver; }
    qint32 RestInterval() const { return m_restInterval; }
    // Set once the engine has pressed a signal in this run: ON 1-5 and start, OFF 1-5.
    const std::array<bool, 6>& SigOnFired() const { return m_sigOnFired; }
    const std::array<bool, 5>& SigOffFired() const { return m_sigOffFired; }
    // Time spent paused since the race began; the OFF 5 time after the start excludes it.
    qint32 racePausedTenths() const { return m_racePausedTenths; }
    // The presets as a reset took them ("0:05:00.0"), and the random cut as shown.
    const QString& PresetWarmText() const { return m_presetWarmText; }
    const QString& PresetRaceText() const { return m_presetRaceText; }
    const QString& PresetOverText() const { return m_presetOverText; }
    const QString& cutText() const { return m_cutText; }
    // The count-down timers: Tm1 runs the phases, tmr2 the interval.
    bool tm1On() const { return m_tm1On; }
    bool tmr2On() const { return m_tmr2On; }

    // ---- Cue state, read-only ----
    // Pending cues: a phase prefix ("R-", "B-", "Y-", "X-") and the cue's time, in firing order,
    // ended by "-"; and the list as loaded, which a fresh run starts from.
    const QStringList& CueList() const { return m_cueList; }
    const QStringList& CueListCopy() const { return m_cueListCopy; }
    // The slot of the next cue of the running phase, from 1.
    int CueStep() const { return m_cueStep; }

    // ---- Shared by the phase and interval ticks ----
    // The prefix of a phase's cues; no string is built, as the tick asks for it each time.
    static QLatin1String cuePrefix(Phase phase);
    // The digit values of a clock text (HH:MM:SS.t, H:MM:SS.t or without tenths): hour units,
    // minute tens and units, second tens and units, tenths. Empty when a position holds no digit.
    static std::optional<std::array<int, 6>> rowDigits(const QString& clockText);
    // How many leading digits a row blanks at a remaining time.
    static int blankedDigits(qint64 remaining);
    // The random cut as the operator reads it: seconds with one decimal.
    static QString cutDisplay(qint32 cut);

    // Colours of the warm-up digits: before the cut and once the random start has cut it.
    static constexpr platform::TColor WarmColor = platform::clRed;
    static constexpr platform::TColor CutColor = 0x0080FF00;
    // How late a cue may still sound, after a late tick.
    static constexpr qint64 LateCueTenths = 30;
    // A cue younger than this is not stopped by the next phase's first cue.
    static constexpr qint32 FreshCueTenths = 10;

private:
    // Takes the tick; false when it equals the last handled one.
    bool takeTick(qint32* tick);
    // Runs a tick's work; a failure stops the count-down as a Stop would and says why.
    template <typename Work> void guarded(Work work);
    void stopAfterFailure(const QString& what);
    void setTimers(bool tm1, bool tmr2);

    void warmBlock(qint32 tick);
    void raceBlock(qint32 tick);
    void overBlock(qint32 tick);
    void intervalBlock(qint32 tick);
    // The interval has run out: in automatic operation the console resets itself and starts.
    void intervalEnded();
    // Digits of a row: values from `clockText`, blanking from `remaining`.
    bool showRow(Phase row, const QString& clockText, qint64 remaining);
    void writeTimeFile(const QString& clockText, QChar letter);
    void warmSignals(qint64 remaining);

    // The cue step of a running phase; `endsNow`: the phase ends in this tick.
    void stepCues(Phase phase, qint64 remaining, bool endsNow);
    void playCue(Phase phase, int step);
    // The cue step started the player less than FreshCueTenths ago.
    bool justStarted(CuePlayer* player) const;
    void removeCueHead();
    // Drops what is left of a phase's cues when it ends.
    void dropCues(Phase phase);
    void stopWarmPlayers();

    // A fresh run from the pickers.
    void beginRun(qint32 now);
    // Reset steps shared with the interval's automatic reset: presets, blank window, random cut,
    // warm-up colour and the preset digits.
    void preparePresets();
    void takePresetTexts();
    void showPresetDigits();
    void clearRunState();
    void allSignalsOff();
    qint64 presetTenths(Preset preset) const;

    platform::Asker& m_asker;
    MonitorFiles& m_monitor;
    RandomSource& m_random;
    CountdownControls& m_controls;
    CountdownHost& m_host;
    CountdownLink& m_link;
    SignalOutputs& m_signals;
    BoardControl& m_board;
    CountdownTicks m_ticks;

    PhaseState m_stateWarm = PhaseState::Mae, m_stateRace = PhaseState::Mae, m_stateOver = PhaseState::Mae,
               m_stateInterval = PhaseState::Mae;
    qint32 m_endWarm = 0, m_endRace = 0, m_endOver = 0, m_endInterval = 0;
    qint32 m_lastTick = 0;
    quint8 m_paused = 0;
    qint32 m_pauseTick = 0;
    quint8 m_running = 0;
    quint8 m_resetDone = 0;
    qint32 m_randomCut = 0;
    qint32 m_blankTenths = 0;
    qint32 m_intervalTenths = 0;
    // The interval's length as the monitor's time line shows it, made once for all its ticks.
    QString m_intervalLine = QStringLiteral("00:00:00");
    qint32 m_restWarm = 0, m_restRace = 0, m_restOver = 0, m_restInterval = 0;
    std::array<bool, 6> m_sigOnFired {};
    std::array<bool, 5> m_sigOffFired {};
    qint32 m_racePausedTenths = 0;
    QString m_presetWarmText, m_presetRaceText, m_presetOverText;
    QString m_cutText = QStringLiteral("0");
    bool m_tm1On = false, m_tmr2On = false;
    QStringList m_cueList, m_cueListCopy;
    int m_cueStep = 1;

    std::array<std::vector<CuePlayer*>, 4> m_players;
    // The player the cue step started last, and the tick at which it started each player.
    CuePlayer* m_sounding = nullptr;
    std::map<CuePlayer*, qint32> m_startedAt;
    // A tick is being handled: a tick arriving meanwhile (an event loop run inside it) does nothing.
    bool m_inTick = false;
};

template <typename Work> void CountdownEngine::guarded(Work work)
{
    m_inTick = true;
    struct Leave {
        bool& inTick;
        ~Leave() { inTick = false; }
    } leave { m_inTick };
    try {
        work();
    } catch (const std::exception& e) {
        stopAfterFailure(QString::fromUtf8(e.what()));
    } catch (...) {
        stopAfterFailure(QStringLiteral("不明なエラー"));
    }
}

} // namespace console
