#pragma once

// Recording stand-ins for the console's devices, for tests that run the console's logic
// without ports, sound or files.

#include "console/ConsoleDevices.h"
#include "console/MonitorFiles.h"

#include <QByteArrayList>
#include <QStringList>
#include <deque>
#include <map>
#include <vector>

namespace testing_support {

// Keeps every line the console sends to the board.
class FakeBoardPort final : public console::BoardPort {
public:
    void SendString(const QByteArray& bytes) override
    {
        sent << bytes;
        calls << QStringLiteral("send");
    }
    void Close() override
    {
        ++closes;
        calls << QStringLiteral("close");
    }
    QByteArrayList sent;
    int closes = 0;
    QStringList calls; // "send" and "close" in order
};

// Records the waits instead of waiting.
class FakeSleeper final : public console::Sleeper {
public:
    void Sleep(int ms) override { waits.push_back(ms); }
    std::vector<int> waits;
};

// Keeps the state of the three ports' lines and every call in order ("open 1", "rts 1 on", ...).
class FakeSignalLines final : public console::SignalLines {
public:
    struct Port {
        bool open = false, rts = false, dtr = false;
    };
    bool Open(int port) override
    {
        calls << QStringLiteral("open %1").arg(port);
        if (!Valid(port))
            return false;
        ports[port].open = true;
        return opens;
    }
    void Close(int port) override
    {
        calls << QStringLiteral("close %1").arg(port);
        if (Valid(port))
            ports[port] = Port {};
    }
    void SetRts(int port, bool high) override { SetLine(port, high, QStringLiteral("rts"), &Port::rts); }
    void SetDtr(int port, bool high) override { SetLine(port, high, QStringLiteral("dtr"), &Port::dtr); }

    bool opens = true; // what Open reports
    QStringList calls;
    std::map<int, Port> ports;

private:
    static bool Valid(int port) { return port >= 1 && port <= 3; }
    void SetLine(int port, bool high, const QString& name, bool Port::*line)
    {
        calls << QStringLiteral("%1 %2 %3").arg(name).arg(port).arg(high ? "on" : "off");
        if (Valid(port) && ports[port].open)
            ports[port].*line = high;
    }
};

// Records what was done with the player; End() plays a cue to its end.
class FakeCuePlayer final : public console::CuePlayer {
public:
    bool Open(const QString& fileName) override
    {
        calls << QStringLiteral("open ") + fileName;
        const bool opens = !unopenable.contains(fileName);
        file = opens ? fileName : QString();
        return opens;
    }
    bool Play() override
    {
        calls << QStringLiteral("play");
        playing = !refusePlay;
        return playing;
    }
    void Stop() override
    {
        calls << QStringLiteral("stop");
        playing = false;
    }
    void Close() override
    {
        calls << QStringLiteral("close");
        file.clear();
        playing = false;
    }
    QString FileName() const override { return file; }
    void End()
    {
        playing = false;
        if (OnEnded)
            OnEnded();
    }

    QString file;
    bool playing = false;
    QStringList calls;
    QStringList unopenable; // files Open refuses, as the real player refuses one it cannot read
    bool refusePlay = false; // Play reports that playing did not start
};

// Keeps what each monitor file would hold, as text, and how often each was written.
class FakeMonitorFiles final : public console::MonitorFiles {
public:
    bool WriteTime(const QString& clockText, QChar letter) override
    {
        times << clockText.left(8) + letter;
        return !failing;
    }
    bool WriteSchedule(const std::vector<console::ScheduleLine>& rows) override
    {
        schedules.push_back(rows);
        return !failing;
    }
    bool WriteMemo(const QString& memo, bool shown) override
    {
        memos << (shown ? memo : QString());
        return !failing;
    }

    bool failing = false;
    QStringList times; // "00:04:59B"
    std::vector<std::vector<console::ScheduleLine>> schedules;
    QStringList memos; // empty text when the information is not shown
};

// Answers from a script; 0 once the script is used up.
class FakeRandomSource final : public console::RandomSource {
public:
    int Below(int n) override
    {
        asked.push_back(n);
        if (script.empty())
            return 0;
        const int v = script.front();
        script.pop_front();
        return n > 0 ? v % n : 0;
    }
    std::deque<int> script;
    std::vector<int> asked;
};

} // namespace testing_support
