#pragma once

// An event with cue rows, opened in the console with recording cue players.

#include "ConsoleFixture.h"

#include <QStringList>
#include <map>

namespace testing_support {

class CueConsoleFixture : public ConsoleFixture {
protected:
    // The console with recording players, shown; players[name] is the player of that slot.
    std::unique_ptr<console::TFtaikai> openWithPlayers()
    {
        console::ConsoleDevices d = devices();
        d.makeCuePlayer = [this](const QString& name) {
            auto player = std::make_unique<FakeCuePlayer>();
            player->unopenable = unopenable;
            players[name] = player.get();
            return player;
        };
        return show(d);
    }

    std::map<QString, FakeCuePlayer*> players;
    QStringList unopenable; // files the players refuse to open
};

} // namespace testing_support
