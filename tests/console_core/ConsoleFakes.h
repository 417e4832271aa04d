#pragma once

// Recording stand-ins for the console's devices, for tests that run the console's logic
// without ports, sound or files.

#include "console/ConsoleDevices.h"
#include "console/MonitorFiles.h"

#include <QByteArrayList>
#include <QStringList>
#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace testing_support {

// Keeps every line the console sends to the board, and what it does with the port.
class FakeBoardPort final : public console::BoardPort {
public:
    void SendString(const QByteArray& bytes) override
    {
        if (full) {
            ++dropped;
            calls << QStringLiteral("drop");
            return;
        }
        sent << bytes;
        calls << QStringLiteral("send");
    }
    void Close() override
    {
        ++closes;
        open = false;
        calls << QStringLiteral("close");
    }
    bool Open() override
    {
        calls << QStringLiteral("open");
        open = opens;
        return opens;
    }
    QString openError() const override
    {
        return opens ? QString() : QStringLiteral("ポートをオープンできませんでした");
    }
    void setBitRate(int bitRate) override
    {
        this->bitRate = bitRate;
        calls << QStringLiteral("bitrate %1").arg(bitRate);
    }
    int droppedLines() const override { return dropped; }
    qint64 bytesQueued() const override { return queued; }
    qint64 bytesSent() const override { return sentBytes; }
    void purge() override
    {
        queued = 0;
        calls << QStringLiteral("purge");
    }
    void closeWhenSent() override
    {
        ++closes;
        open = false;
        calls << QStringLiteral("close when sent");
    }
    QByteArrayList sent;
    int closes = 0;
    QStringList calls; // "send", "close", "open", "bitrate 9600", "drop", "purge", "close when sent"
    bool opens = true; // what Open reports
    bool full = false; // the send queue is full: sends are dropped
    bool open = false;
    int dropped = 0;
    int bitRate = 0;
    qint64 queued = 0; // what the port still has to send
    qint64 sentBytes = 0; // what has left the port
};

// Holds the work given to it until the test lets time pass.
class FakeScheduler final : public console::Scheduler {
public:
    void after(int ms, std::function<void()> work) override
    {
        pending.push_back({ now + ms, seq++, std::move(work) });
        delays.push_back(ms);
    }
    // Lets `ms` pass, running what falls due in order.
    void advance(qint64 ms)
    {
        const qint64 end = now + ms;
        for (;;) {
            auto next = std::min_element(pending.begin(), pending.end(),
                [](const Item& a, const Item& b) { return a.due != b.due ? a.due < b.due : a.seq < b.seq; });
            if (next == pending.end() || next->due > end)
                break;
            now = next->due;
            auto work = std::move(next->work);
            pending.erase(next);
            work();
        }
        now = end;
    }
    struct Item {
        qint64 due;
        quint64 seq;
        std::function<void()> work;
    };
    std::vector<Item> pending;
    std::vector<int> delays;
    qint64 now = 0;
    quint64 seq = 0;
};

// Records the waits instead of waiting.
class FakeSleeper final : public console::Sleeper {
public:
    void sleep(int ms) override { waits.push_back(ms); }
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
        if (!valid(port))
            return false;
        ports[port].open = true;
        return opens && !refused.contains(port);
    }
    void Close(int port) override
    {
        calls << QStringLiteral("close %1").arg(port);
        if (valid(port))
            ports[port] = Port {};
    }
    bool setRts(int port, bool high) override
    {
        return setLine(port, high, QStringLiteral("rts"), &Port::rts);
    }
    bool setDtr(int port, bool high) override
    {
        return setLine(port, high, QStringLiteral("dtr"), &Port::dtr);
    }

    bool opens = true; // what Open reports
    std::set<int> refused; // ports that fail to open and, while open, fail every line call
    QStringList calls;
    std::map<int, Port> ports;

private:
    static bool valid(int port) { return port >= 1 && port <= 3; }
    bool setLine(int port, bool high, const QString& name, bool Port::*line)
    {
        calls << QStringLiteral("%1 %2 %3").arg(name).arg(port).arg(high ? "on" : "off");
        if (!valid(port) || !ports[port].open || refused.contains(port))
            return false;
        ports[port].*line = high;
        return true;
    }
};

// Records what was done with the player; end() plays a cue to its end.
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
    void end()
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
    bool writeTime(const QString& clockText, QChar letter) override
    {
        times << clockText.left(8) + letter;
        return !failing;
    }
    bool writeSchedule(const std::vector<console::ScheduleLine>& rows) override
    {
        schedules.push_back(rows);
        return !failing;
    }
    bool writeMemo(const QString& memo, bool shown) override
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
    int below(int n) override
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

// The devices of a console on the fakes above (any board and signal lines): the caller adds the
// asker, monitor and cue players its test wants.
inline console::ConsoleDevices fakeDevices(const platform::Clock& clock, console::BoardPort& board,
    console::SignalLines& lines, FakeSleeper& sleeper, FakeScheduler& scheduler, FakeRandomSource& random,
    TDM1* dm)
{
    console::ConsoleDevices d;
    d.clock = &clock;
    d.board = &board;
    d.signalLines = &lines;
    d.sleeper = &sleeper;
    d.scheduler = &scheduler;
    d.random = &random;
    d.dm = dm;
    return d;
}

} // namespace testing_support
