#pragma once

// One cue player on the sound check page: its name, the file it holds, and buttons to play and
// stop it by hand.

#include <QFrame>
#include <functional>

class QLabel;
class QToolButton;

namespace console {

class CuePlayer;

class CuePlayerView : public QFrame {
public:
    CuePlayerView(const QString& name, CuePlayer* player, QWidget* parent = nullptr);

    void setPlayer(CuePlayer* player)
    {
        m_player = player;
        refresh();
    }
    // Shows the file the player holds now.
    void refresh();
    void Play();
    void Stop();
    CuePlayer* player() const { return m_player; }

    // Told the player's name when playing could not start.
    std::function<void(const QString& name)> OnPlayFailed;

private:
    QString m_name;
    CuePlayer* m_player;
    QLabel* m_file;
    QToolButton *m_play, *m_stop;
};

} // namespace console
