#pragma once

// The bank of cue players: per phase a fixed row of players, slot 1 first, that the cues of a
// run are loaded into, and the cue list the count-down works through.

#include "console/CueTable.h"

#include <QString>
#include <QStringList>
#include <array>
#include <vector>

namespace console {

class CuePlayer;

class CueBank {
public:
    using Players = std::array<std::vector<CuePlayer*>, CuePhaseCount>;
    // The players stay their owner's and are never null; a phase has as many slots as players
    // given.
    explicit CueBank(Players players);

    struct Loaded {
        // The entries in firing order (phase prefix and time), then the terminator "-".
        QStringList cueList;
        // Files that could not be opened, in the order met; they got no slot and no entry.
        QStringList skipped;
    };
    // Closes every player, then gives each phase's cues, largest time first, to its players from
    // slot 1 on. A file that cannot be opened is passed over and the next cue takes the slot;
    // cues beyond the phase's players are left out.
    Loaded Load(const CueRows& rows);
    // Closes every player and forgets what the slots held.
    void Clear();
    // Stops every player that holds a file.
    void stopAll();

    // The file of a slot (from 0); empty when the slot has no cue.
    QString slotFile(CuePhase phase, int slot) const;
    CuePlayer* player(CuePhase phase, int slot) const;
    int slotCount(CuePhase phase) const;
    const Players& allPlayers() const { return m_players; }

    // The text of the terminator that ends every cue list.
    static inline const QString Terminator = QStringLiteral("-");

private:
    Players m_players;
    std::array<std::vector<QString>, CuePhaseCount> m_files;
};

} // namespace console
