#pragma once

// An event with cue rows, opened in the console with recording cue players.

#include "ConsoleFixture.h"

#include <QStringList>
#include <map>

namespace testing_support {

class CueConsoleFixture : public ConsoleFixture {
protected:
    void addCue(char bun, const QString& tno, const QString& file, const QString& code = kCode)
    {
        platform::Query q(dm->Database1);
        q.addSQL(QStringLiteral("insert into music (tcode,bun,tno,mname) values (%1,'%2','%3','%4')")
                     .arg(code, QString(QLatin1Char(bun)), tno,
                         QString(file).replace(u'\'', QStringLiteral("''"))));
        q.ExecSQL();
    }

    // The console with recording players, shown; players[name] is the player of that slot.
    std::unique_ptr<console::TFtaikai> openWithPlayers()
    {
        console::ConsoleDevices d = Devices();
        d.makeCuePlayer = [this](const QString& name) {
            auto player = std::make_unique<FakeCuePlayer>();
            player->unopenable = unopenable;
            players[name] = player.get();
            return player;
        };
        auto f = std::make_unique<console::TFtaikai>(nullptr, d);
        f->resize(997, 696);
        f->show();
        return f;
    }

    std::map<QString, FakeCuePlayer*> players;
    QStringList unopenable; // files the players refuse to open
};

} // namespace testing_support
