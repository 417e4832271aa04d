#include "console/CountdownEngine.h"

#include "console/BoardControl.h"
#include "console/BoardLine.h"
#include "console/ConsoleLifecycle.h"
#include "console/CueTable.h"
#include "console/MonitorFiles.h"
#include "console/SignalOutputs.h"
#include "platform/Asker.h"

#include <algorithm>

namespace console {

CountdownEngine::CountdownEngine(const Parts& parts)
    : m_asker(parts.asker)
    , m_monitor(parts.monitor)
    , m_random(parts.random)
    , m_controls(parts.controls)
    , m_host(parts.host)
    , m_link(parts.link)
    , m_signals(parts.signalOutputs)
    , m_board(parts.board)
    , m_ticks(parts.clock)
{
    m_lastTick = m_ticks.Tick();
}

// ---- Shared helpers ----

QLatin1String CountdownEngine::cuePrefix(Phase phase)
{
    // The cue bank writes the list with the cue table's prefixes; the phases run in one order.
    static_assert(int(Phase::Warm) == int(CuePhase::Warm) && int(Phase::Race) == int(CuePhase::Race)
        && int(Phase::Over) == int(CuePhase::Over) && int(Phase::Interval) == int(CuePhase::Interval));
    return QLatin1String(phaseInfo(static_cast<CuePhase>(phase)).prefix);
}

std::optional<std::array<int, 6>> CountdownEngine::rowDigits(const QString& clockText)
{
    QString text = clockText.isEmpty() ? QStringLiteral("00:00:00.0") : clockText;
    if (text.indexOf(QLatin1Char(':')) == 1)
        text.prepend(QLatin1Char('0'));
    if (!text.contains(QLatin1Char('.')))
        text += QStringLiteral(".0");
    // The hour tens have no place on the row.
    constexpr int positions[6] = { 1, 3, 4, 6, 7, 9 };
    std::array<int, 6> digits {};
    for (int i = 0; i < 6; ++i) {
        if (positions[i] >= text.size() || !text[positions[i]].isDigit())
            return std::nullopt;
        digits[static_cast<size_t>(i)] = text[positions[i]].digitValue();
    }
    return digits;
}

int CountdownEngine::blankedDigits(qint64 remaining)
{
    if (remaining < 100)
        return 4;
    if (remaining < 600)
        return 3;
    if (remaining < 6000)
        return 2;
    if (remaining < 36000)
        return 1;
    return 0;
}

QString CountdownEngine::cutDisplay(qint32 cut)
{
    const QString digits = QString::number(cut);
    if (digits.size() == 1)
        return QStringLiteral("0.") + digits;
    return digits.left(digits.size() - 1) + QLatin1Char('.') + digits.right(1);
}

qint64 CountdownEngine::presetTenths(Preset preset) const
{
    return TimeStrToTenths(m_controls.presetText(preset));
}

bool CountdownEngine::clockLineHidden(bool hideWarm, bool hideRace, bool hideOver) const
{
    return m_paused
        && ((m_stateWarm == PhaseState::On && hideWarm) || (m_stateRace == PhaseState::On && hideRace)
            || (m_stateOver == PhaseState::On && hideOver));
}

bool CountdownEngine::resumable() const
{
    const bool phaseOn = m_stateWarm == PhaseState::On || m_stateRace == PhaseState::On
        || m_stateOver == PhaseState::On || m_stateInterval == PhaseState::On;
    return m_paused == 1 && phaseOn && m_resetDone == 1;
}

void CountdownEngine::setTimers(bool tm1, bool tmr2)
{
    m_tm1On = tm1;
    m_tmr2On = tmr2;
    m_host.timersChanged();
}

bool CountdownEngine::takeTick(qint32* tick)
{
    const qint32 current = now();
    if (current == m_lastTick)
        return false;
    m_lastTick = current;
    *tick = current;
    return true;
}

void CountdownEngine::stopAfterFailure(const QString& what)
{
    // Recorded as a Stop, so that Start resumes the run from its end ticks.
    Stop();
    m_host.showStatus(QStringLiteral("カウントダウンを止めました（") + what
        + QStringLiteral("）。スタートで続きから再開します。"));
}

// ---- Lifecycle and commands ----

void CountdownEngine::consoleOpened()
{
    m_cueStep = 1;
    m_resetDone = 0;
    m_lastTick = now();
    m_link.setBoardFromNetwork(false);
}

void CountdownEngine::setCueList(const QStringList& list)
{
    m_cueList = list;
    m_cueListCopy = list;
    m_host.cueListChanged(m_cueList);
}

void CountdownEngine::setPlayers(Phase phase, std::vector<CuePlayer*> players)
{
    Q_ASSERT(std::find(players.begin(), players.end(), nullptr) == players.end());
    m_players[static_cast<size_t>(phase)] = std::move(players);
}

void CountdownEngine::start()
{
    if (m_resetDone != 1 || m_tm1On || m_tmr2On)
        return;
    const qint32 current = now();
    if (m_stateInterval == PhaseState::On) {
        // An interval paused by Stop resumes alone.
        m_endInterval = current + m_restInterval;
        setTimers(false, true);
        m_host.lookupResults();
        return;
    }
    m_running = 1;
    if (m_stateWarm != PhaseState::On && m_stateRace != PhaseState::On && m_stateOver != PhaseState::On) {
        // Nothing to resume (a run that ended, a Stop while idle, a reset while paused): a fresh
        // run rather than a resume with no phase running.
        beginRun(current);
    } else {
        const qint32 d = m_paused ? current - m_pauseTick : 0;
        if (m_stateWarm == PhaseState::On) {
            m_endWarm += d;
            m_endRace += d;
            m_endOver += d;
            m_endInterval += d;
        } else if (m_stateRace == PhaseState::On) {
            m_endRace += d;
            m_endOver += d;
            m_endInterval += d;
            m_racePausedTenths += d;
        } else {
            m_endOver += d;
            m_endInterval += d;
        }
    }
    setTimers(true, false);
    m_host.lookupResults();
}

void CountdownEngine::beginRun(qint32 now)
{
    m_paused = 0;
    m_sigOnFired = {};
    m_sigOffFired = {};
    m_cueList = m_cueListCopy;
    m_host.cueListChanged(m_cueList);
    m_cueStep = 1;
    m_racePausedTenths = 0;
    m_stateRace = m_stateOver = m_stateInterval = PhaseState::Mae;
    // A run started again without a reset would otherwise show the previous run's cut colour.
    m_host.setRowColor(Phase::Warm, WarmColor);
    // The pickers are read here, whatever a reset showed.
    const qint64 warm = presetTenths(Preset::Warm);
    const qint64 race = presetTenths(Preset::Race);
    const qint64 over = presetTenths(Preset::Over);
    const qint64 interval = presetTenths(Preset::Interval);
    m_endWarm = static_cast<qint32>(now + warm);
    m_stateWarm = PhaseState::On;
    m_endRace = static_cast<qint32>(now + warm + race);
    m_endOver = static_cast<qint32>(now + warm + race + over);
    m_endInterval = static_cast<qint32>(now + warm + race + over + interval);
}

void CountdownEngine::Stop()
{
    m_paused = 1;
    const qint32 current = now();
    m_pauseTick = current;
    // The board clock takes over (timersChanged lets it run).
    setTimers(false, false);
    m_restWarm = m_restRace = m_restOver = m_restInterval = 0;
    if (m_stateWarm == PhaseState::On)
        m_restWarm = m_endWarm - current;
    else if (m_stateRace == PhaseState::On)
        m_restRace = m_endRace - current;
    else if (m_stateOver == PhaseState::On)
        m_restOver = m_endOver - current;
    else if (m_stateInterval == PhaseState::On)
        m_restInterval = m_endInterval - current;
}

void CountdownEngine::clearRunState()
{
    m_sigOnFired = {};
    m_sigOffFired = {};
    m_running = 0;
    m_cueStep = 1;
    m_stateWarm = m_stateRace = m_stateOver = m_stateInterval = PhaseState::Mae;
    m_restWarm = m_restRace = m_restOver = m_restInterval = 0;
}

void CountdownEngine::stopWarmPlayers()
{
    const auto& warm = m_players[static_cast<size_t>(Phase::Warm)];
    for (size_t i = 0; i < std::min<size_t>(5, warm.size()); ++i) {
        CuePlayer* player = warm[i];
        if (!player->FileName().isEmpty())
            player->Stop();
    }
}

void CountdownEngine::allSignalsOff()
{
    for (int output = 0; output < SignalOutputs::SignalCount; ++output)
        m_signals.off(output);
    m_signals.allOff();
}

void CountdownEngine::Reset()
{
    for (int signal = 0; signal < 5; ++signal)
        m_host.showSignalRemaining(signal, QStringLiteral("0:00"));
    if (m_tm1On || m_tmr2On)
        return;
    // Nothing changes unless the operator confirms.
    if (!m_asker.askYesNo(
            QStringLiteral("確認してください"), QStringLiteral("タイマーをリセットしてよろしいですか？")))
        return;
    m_host.resetConfirmed();
    clearRunState();
    stopWarmPlayers();
    m_link.setBoardFromNetwork(false);
    m_host.showIntervalText(QStringLiteral("00:00:00"));
    m_host.reloadCues();
    setTimers(false, m_tmr2On);
    preparePresets();
    m_resetDone = 1;
    allSignalsOff();
    m_paused = 0;
}

void CountdownEngine::hiddenReset()
{
    if (m_tm1On)
        return;
    m_running = 0;
    m_cueStep = 1;
    stopWarmPlayers();
    m_host.reloadCues();
    setTimers(false, m_tmr2On);
    takePresetTexts();
    m_host.setRowColor(Phase::Warm, WarmColor);
    showPresetDigits();
    allSignalsOff();
}

void CountdownEngine::takePresetTexts()
{
    m_presetWarmText = m_controls.presetText(Preset::Warm).trimmed() + QStringLiteral(".0");
    m_presetRaceText = m_controls.presetText(Preset::Race).trimmed() + QStringLiteral(".0");
    m_presetOverText = m_controls.presetText(Preset::Over).trimmed() + QStringLiteral(".0");
}

void CountdownEngine::preparePresets()
{
    takePresetTexts();
    m_blankTenths = static_cast<qint32>(
        TimeStrToTenths(m_controls.presetText(Preset::Blank).trimmed() + QStringLiteral(".0")));
    if (m_blankTenths != 0) {
        // Uniform over 0 .. m_blankTenths - 1.
        m_randomCut = m_random.below(m_blankTenths);
        m_cutText = cutDisplay(m_randomCut);
    } else {
        m_randomCut = 0;
        m_cutText = QStringLiteral("0");
    }
    m_host.showCut(m_cutText);
    m_host.setRowColor(Phase::Warm, WarmColor);
    showPresetDigits();
}

void CountdownEngine::showPresetDigits()
{
    const std::pair<Phase, const QString*> rows[3] = { { Phase::Warm, &m_presetWarmText },
        { Phase::Race, &m_presetRaceText }, { Phase::Over, &m_presetOverText } };
    for (const auto& [row, text] : rows)
        if (const auto digits = rowDigits(*text))
            m_host.showDigits(row, *digits);
}

void CountdownEngine::segclear()
{
    std::array<int, 6> blank;
    blank.fill(-2);
    for (Phase row : { Phase::Warm, Phase::Race, Phase::Over })
        m_host.showDigits(row, blank);
}

// ---- The tick ----

void CountdownEngine::phaseTick()
{
    if (!m_tm1On || m_inTick)
        return;
    qint32 tick = 0;
    if (!takeTick(&tick))
        return;
    guarded([this, tick] {
        if (m_stateWarm == PhaseState::On)
            warmBlock(tick);
        if (m_stateRace == PhaseState::On)
            raceBlock(tick);
        if (m_stateOver == PhaseState::On)
            overBlock(tick);
    });
}

bool CountdownEngine::showRow(Phase row, const QString& clockText, qint64 remaining)
{
    auto digits = rowDigits(clockText);
    if (!digits)
        return false;
    const int blanks = blankedDigits(remaining);
    for (int i = 0; i < blanks; ++i)
        (*digits)[static_cast<size_t>(i)] = -2;
    m_host.showDigits(row, *digits);
    return true;
}

void CountdownEngine::writeTimeFile(const QString& clockText, QChar letter)
{
    // Once a second; a file the monitor holds keeps its old content this time.
    if (clockText.endsWith(QLatin1Char('0')))
        m_monitor.writeTime(clockText, letter);
}

void CountdownEngine::dpgaz(QChar letter, const QString& clockText)
{
    m_host.showBoardText(clockText);
    BoardLineInput line;
    line.kind = letter == QLatin1Char('O') ? BoardLineKind::OverTime : BoardLineKind::Race;
    // The clock text of a remaining time converts back to the same tenths; past the end it reads
    // 00:00:00.0, which is zero.
    line.tenths = TimeStrToTenths(clockText);
    line.prefix = m_controls.boardPrefix();
    line.boardOn = m_controls.boardOn();
    m_board.send(line);
}

void CountdownEngine::warmSignals(qint64 remaining)
{
    // A trigger fires once, at the first tick at which its time has come.
    auto due = [&](int slot, bool fired) { return !fired && m_controls.triggerSlot(slot) >= remaining; };
    for (int signal = 0; signal < SignalOutputs::SignalCount; ++signal) {
        auto& fired = m_sigOnFired[static_cast<size_t>(signal)];
        if (due(SlotOn1 + signal, fired)) {
            m_signals.on(signal);
            fired = true;
            m_host.showSignalRemaining(signal, QString::number(remaining));
        }
    }
    if (due(SlotOnStart, m_sigOnFired[5])) {
        m_signals.startPulse(m_controls.pulseMs());
        m_sigOnFired[5] = true;
    }
    const int offCount = m_controls.offControl() == 0 ? 5 : 4;
    for (int signal = 0; signal < offCount; ++signal) {
        auto& fired = m_sigOffFired[static_cast<size_t>(signal)];
        if (due(SlotOff1 + signal, fired)) {
            m_signals.off(signal);
            fired = true;
        }
    }
}

void CountdownEngine::warmBlock(qint32 tick)
{
    qint64 remaining = qint64(m_endWarm) - tick;
    const QString text = TenthsToHMST(remaining);
    m_host.showTicks(m_endWarm, tick, remaining < 0);

    BoardLineInput line;
    line.kind = BoardLineKind::WarmUp;
    line.tenths = remaining;
    line.blindTenths = m_controls.blindTenths();
    line.blindSettingOn = m_controls.blindSettingOn();
    line.boardOn = m_controls.boardOn();
    m_board.send(line);
    writeTimeFile(text, QLatin1Char('R'));

    if (m_randomCut != 0 && m_randomCut >= remaining) {
        // The random start ends the warm-up now. The race and over-time move by the warm-up
        // time actually cut (what was left, and the tenth the warm-up ends past zero), so that the
        // race keeps its length even when a late tick brought the warm-up below the cut.
        m_host.setRowColor(Phase::Warm, CutColor);
        const qint64 cut = std::max<qint64>(remaining + 1, 0);
        remaining -= cut;
        m_endRace -= static_cast<qint32>(cut);
        m_endOver -= static_cast<qint32>(cut);
    }
    showRow(Phase::Warm, text, remaining);
    // The cue goes to the sound thread before the signals: the start pulse holds this thread for
    // its length, and a horn due in the same tick must not wait behind it.
    const bool ends = remaining < 0;
    stepCues(Phase::Warm, remaining, ends);
    warmSignals(remaining);
    if (!ends)
        return;
    dropCues(Phase::Warm);
    m_cueStep = 1;
    for (int signal = 0; signal < 4; ++signal)
        m_signals.off(signal);
    if (m_controls.offControl() == 0)
        m_signals.off(4);
    else
        m_signals.on(4);
    m_signals.startPulse(m_controls.pulseMs());
    m_stateWarm = PhaseState::Ato;
    m_stateRace = PhaseState::On;
    m_racePausedTenths = 0;
    // The timing server takes the race line only while its link is up now.
    m_link.setBoardFromNetwork(m_link.serverConnected());
}

void CountdownEngine::raceBlock(qint32 tick)
{
    const qint64 remaining = qint64(m_endRace) - tick;
    const QString text = TenthsToHMST(remaining);
    m_host.showTicks(m_endRace, tick, remaining < 0);
    if (!m_link.BoardFromNetwork())
        dpgaz(QLatin1Char('R'), text);
    if (!showRow(Phase::Race, text, remaining))
        m_host.showStatus(QStringLiteral("B1"));
    writeTimeFile(text, QLatin1Char('B'));

    const bool ends = remaining <= 0;
    stepCues(Phase::Race, remaining, ends);

    // Signal 5 after the start goes off once the race has run for its OFF time, not counting the
    // time the race stood paused.
    if (m_controls.offControl() == 1 && !m_sigOffFired[4]
        && qint64(tick) - m_endWarm - m_racePausedTenths >= m_controls.triggerSlot(SlotOff5)) {
        m_signals.off(4);
        m_signals.allOff();
        m_sigOffFired[4] = true;
    }

    if (!ends)
        return;
    dropCues(Phase::Race);
    m_cueStep = 1;
    m_stateRace = PhaseState::Ato;
    m_stateOver = PhaseState::On;
}

void CountdownEngine::overBlock(qint32 tick)
{
    // The over-time takes the board line back from the timing server.
    m_link.setBoardFromNetwork(false);
    const qint64 remaining = qint64(m_endOver) - tick;
    const QString text = TenthsToHMST(remaining);
    m_host.showTicks(m_endOver, tick, remaining < 0);
    dpgaz(QLatin1Char('O'), text);
    showRow(Phase::Over, text, remaining);
    writeTimeFile(text, QLatin1Char('Y'));

    const bool ends = remaining <= 0;
    stepCues(Phase::Over, remaining, ends);
    if (!ends)
        return;
    dropCues(Phase::Over);
    m_cueStep = 1;
    m_running = 0;
    bool interval = false;
    if (m_controls.automatic()) {
        if (m_cutText != QLatin1String("0"))
            m_endInterval -= 1;
        m_intervalTenths = static_cast<qint32>(
            TimeStrToTenths(m_controls.presetText(Preset::Interval) + QStringLiteral(".0")));
        m_intervalLine = SecondsToHMS(m_intervalTenths / 10);
        m_stateInterval = PhaseState::On;
        interval = true;
    }
    m_stateOver = PhaseState::Ato;
    setTimers(false, interval);
}

// ---- The interval of automatic operation ----

void CountdownEngine::intervalTick()
{
    if (!m_tmr2On || m_inTick)
        return;
    m_paused = 0;
    qint32 tick = 0;
    if (!takeTick(&tick))
        return;
    guarded([this, tick] { intervalBlock(tick); });
}

void CountdownEngine::intervalBlock(qint32 tick)
{
    const qint64 remaining = qint64(m_endInterval) - tick;
    const QString text = TenthsToHMST(remaining);
    m_host.showTicks(m_endInterval, tick, remaining < 0);
    m_host.showIntervalText(text);

    BoardLineInput line;
    line.kind = BoardLineKind::Interval;
    line.tenths = remaining;
    line.boardOn = m_controls.boardOn();
    m_board.send(line);
    // The monitor shows the interval's length, the same line for the whole interval.
    m_monitor.writeTime(m_intervalLine, QLatin1Char('W'));

    const bool ends = remaining <= 0;
    stepCues(Phase::Interval, remaining, ends);
    if (ends)
        intervalEnded();
}

void CountdownEngine::intervalEnded()
{
    dropCues(Phase::Interval);
    m_stateWarm = m_stateRace = m_stateOver = m_stateInterval = PhaseState::Mae;
    setTimers(m_tm1On, false);
    // A run under way, or the operator switched to manual operation during the interval: the
    // console waits for the operator's Start.
    if (m_tm1On || !m_controls.automatic())
        return;
    // The reset a confirmed Reset would do, without asking: the presets and a new random cut.
    // The players keep their files and no OFF is pressed. Start's fresh run then clears the
    // triggers and puts the cue list back as it was loaded.
    m_running = 0;
    m_cueStep = 1;
    stopWarmPlayers();
    m_link.setBoardFromNetwork(false);
    preparePresets();
    start();
}

void CountdownEngine::intervalReset()
{
    if (!m_asker.askYesNo(QStringLiteral("確認してください。"),
            QStringLiteral("オートモードのインターバルカウントを初期化してよろしいですか？")))
        return;
    m_host.showIntervalText(QStringLiteral("00:00:00"));
    m_stateInterval = PhaseState::Mae;
    m_restInterval = 0;
    // The interval ends here: a running one would otherwise still start the next race.
    if (m_tmr2On)
        setTimers(m_tm1On, false);
}

// ---- Cues ----

void CountdownEngine::removeCueHead()
{
    m_cueList.removeFirst();
    m_host.cueHeadRemoved();
}

void CountdownEngine::dropCues(Phase phase)
{
    const QLatin1String prefix = cuePrefix(phase);
    while (!m_cueList.isEmpty() && m_cueList.first().startsWith(prefix))
        removeCueHead();
}

void CountdownEngine::stepCues(Phase phase, qint64 remaining, bool endsNow)
{
    const QLatin1String prefix = cuePrefix(phase);
    // The cues whose time has come: one at a normal tick, several after a late one. A cue sounds
    // in the second below its time; a phase ending at exactly 0 gives its cue at 0:00:00 that
    // tick too.
    int due = 0;
    qint64 lastTime = 0;
    for (; due < m_cueList.size() && m_cueList[due].startsWith(prefix); ++due) {
        // Times compare as tenths, so "1:00:00" and "01:00:00" are the same cue time.
        const qint64 time = TimeStrToTenths(m_cueList[due].mid(prefix.size()));
        if (!(remaining < time || (endsNow && remaining == time)))
            break;
        lastTime = time;
    }
    if (due == 0)
        return;
    // Only the one that came due last sounds, and only while it is not too late; the older ones
    // are dropped with their slots, so that the cues after them keep theirs.
    for (int i = 0; i < due; ++i) {
        removeCueHead();
        if (i == due - 1 && remaining >= lastTime - LateCueTenths)
            playCue(phase, m_cueStep);
        ++m_cueStep;
    }
}

bool CountdownEngine::justStarted(CuePlayer* player) const
{
    const auto started = m_startedAt.find(player);
    return started != m_startedAt.end() && m_lastTick - started->second < FreshCueTenths;
}

void CountdownEngine::playCue(Phase phase, int step)
{
    const auto& players = m_players[static_cast<size_t>(phase)];
    if (step < 1 || step > static_cast<int>(players.size()))
        return;
    std::vector<CuePlayer*> stops;
    if (step == 1) {
        // The first cue of a phase silences the phase before it, but for a cue that has only
        // just begun: the start horn fired in the tick that ends the warm-up plays to its end.
        if (phase != Phase::Warm)
            for (CuePlayer* player : m_players[static_cast<size_t>(phase) - 1])
                if (!justStarted(player))
                    stops.push_back(player);
    } else {
        stops.push_back(players[static_cast<size_t>(step - 2)]);
        // After a dropped cue the one sounding is not the slot just before.
        if (m_sounding && std::find(players.begin(), players.end(), m_sounding) != players.end()
            && std::find(stops.begin(), stops.end(), m_sounding) == stops.end())
            stops.push_back(m_sounding);
    }
    for (CuePlayer* player : stops)
        if (!player->FileName().isEmpty())
            player->Stop();
    CuePlayer* player = players[static_cast<size_t>(step - 1)];
    // A slot the loader left empty has nothing to play.
    if (player->FileName().isEmpty())
        return;
    m_sounding = player;
    m_startedAt[player] = m_lastTick;
    if (!player->Play())
        m_host.showStatus(QStringLiteral("音声キューを再生できませんでした: ") + player->FileName());
}

} // namespace console
