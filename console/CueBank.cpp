#include "console/CueBank.h"

#include "console/ConsoleDevices.h"

#include <algorithm>

namespace console {

CueBank::CueBank(Players players)
    : m_players(std::move(players))
{
    for (const auto& phase : m_players)
        Q_ASSERT(std::find(phase.begin(), phase.end(), nullptr) == phase.end());
    for (int i = 0; i < CuePhaseCount; ++i)
        m_files[size_t(i)].resize(m_players[size_t(i)].size());
}

void CueBank::Clear()
{
    for (size_t p = 0; p < m_players.size(); ++p) {
        for (CuePlayer* player : m_players[p])
            player->Close();
        for (QString& file : m_files[p])
            file.clear();
    }
}

void CueBank::stopAll()
{
    for (const auto& phase : m_players)
        for (CuePlayer* player : phase)
            if (!player->FileName().isEmpty())
                player->Stop();
}

CueBank::Loaded CueBank::Load(const CueRows& rows)
{
    Clear();
    Loaded loaded;
    for (CuePhase phase : AllCuePhases) {
        const auto p = size_t(phaseIndex(phase));
        size_t slot = 0;
        for (const CueRow& row : rows[p]) {
            if (slot == m_players[p].size())
                break;
            if (!m_players[p][slot]->Open(row.file)) {
                m_players[p][slot]->Close();
                loaded.skipped << row.file;
                continue;
            }
            m_files[p][slot++] = row.file;
            loaded.cueList << QLatin1String(phaseInfo(phase).prefix) + row.tno;
        }
    }
    loaded.cueList << Terminator;
    return loaded;
}

QString CueBank::slotFile(CuePhase phase, int slot) const
{
    const auto& files = m_files[size_t(phaseIndex(phase))];
    return slot >= 0 && size_t(slot) < files.size() ? files[size_t(slot)] : QString();
}

CuePlayer* CueBank::player(CuePhase phase, int slot) const
{
    const auto& players = m_players[size_t(phaseIndex(phase))];
    return slot >= 0 && size_t(slot) < players.size() ? players[size_t(slot)] : nullptr;
}

int CueBank::slotCount(CuePhase phase) const { return int(m_players[size_t(phaseIndex(phase))].size()); }

} // namespace console
