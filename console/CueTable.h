#pragma once

// The sound cues of an event: rows of table music, one per cue, each naming a phase (bun), the
// remaining time of that phase at which it sounds (tno, H:MM:SS) and the sound file (mname).
// This unit keeps the registration rules of the sound set page and reads the cues a run can
// play. All statements run on one scratch query of the caller; questions and refusals go
// through the asker.

#include <QString>
#include <QStringList>
#include <QTime>
#include <array>
#include <vector>

namespace platform {
class Asker;
class Query;
} // namespace platform

namespace console {

enum class CuePhase { Warm, Race, Over, Interval };
inline constexpr int CuePhaseCount = 4;
inline constexpr std::array<CuePhase, CuePhaseCount> AllCuePhases
    = { CuePhase::Warm, CuePhase::Race, CuePhase::Over, CuePhase::Interval };

struct CuePhaseInfo {
    char letter; // bun: 'w', 'r', 'o', 'i'
    const char* prefix; // of its cue list entries: "R-", "B-", "Y-", "X-"
    // Players that sound the phase's cues. Registration takes no more rows than play.
    int slotCount;
};
const CuePhaseInfo& phaseInfo(CuePhase phase);
inline int phaseIndex(CuePhase phase) { return static_cast<int>(phase); }

// The three SQL lines of a phase's cue grid: the event's rows of that phase by time.
QStringList cueGridSql(const QString& eventCode, CuePhase phase);

enum class CueRegistration {
    Nothing, // no file given
    Refused, // the phase is full, or the file belongs to another phase
    Kept, // the operator kept the file at its old time
    Registered,
};

// What keeps the sound file from being read, for the operator and naming the file: that it is not
// there ("音声ファイル … が見つかりません。"), or the system's reason; empty when it can be read.
QString cueFileProblem(const QString& path);

// Registers and deletes the cue rows of one event.
class CueTable {
public:
    CueTable(platform::Query& scratch, platform::Asker& asker, QString eventCode);

    // Registers the file for the phase at the time: a second file at the same time replaces the
    // first; a file already in the phase moves to the new time once the operator agrees; a file
    // of another phase, or a phase that has all its rows, is refused with a message. The
    // statements take effect together or not at all. Raises platform::DatabaseError.
    CueRegistration registerCue(CuePhase phase, const QTime& time, const QString& file);
    // Deletes the phase's row at the time (tno as the grid shows it). Raises DatabaseError.
    void remove(CuePhase phase, const QString& tno);

private:
    int count(const QStringList& lines);

    platform::Query& m_q;
    platform::Asker& m_asker;
    QString m_code; // as stored; statements escape it where they use it
};

// One cue as a run plays it.
struct CueRow {
    QString tno; // H:MM:SS
    QString file;
};
using CueRows = std::array<std::vector<CueRow>, CuePhaseCount>;

// The phase lengths a run is loaded for, as the pickers show them.
struct CueRunLengths {
    QTime warm, blank, race, over, interval;
};

// The cues that can sound in a run of these lengths, per phase, largest remaining time first:
// warm-up cues below the warm-up length and not inside the random-start window, race, over-time
// and interval cues up to their phase's length. Every such row is returned; the player bank
// takes as many as it has players. Raises platform::DatabaseError.
CueRows readRunCues(platform::Query& scratch, const QString& eventCode, const CueRunLengths& lengths);

} // namespace console
