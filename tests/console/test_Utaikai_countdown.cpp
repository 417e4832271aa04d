// The console's count-down, board and signal handlers on the form: what the operator presses and
// what the board, the lines and the page show.

#include "ConsoleFixture.h"
#include "components/CommX.h"
#include "components/CuteBtn.h"
#include "components/LED7Seg.h"
#include "console/BoardControl.h"
#include "console/BoardLine.h"
#include "console/ConsoleRealDevices.h"
#include "console/ConsoleWidgets.h"
#include "console/SignalOutputs.h"
#include "support/DeviceTestSupport.h"
#include "support/FakeSerialLine.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <functional>

using console::PhaseState;
using testing_support::ConsoleFixture;

namespace {

class UtaikaiCountdown : public ConsoleFixture {
protected:
    // Opens the console with short presets, confirmed reset.
    std::unique_ptr<console::TFtaikai> openReset(const QTime& warm = QTime(0, 5, 0))
    {
        auto f = Open();
        f->DTP1->setTime(warm);
        f->DTP4->setTime(QTime(0, 0, 0));
        asker.answer(true);
        f->CuteButton5->Click();
        return f;
    }
    void ticks(console::TFtaikai& f, int tenths)
    {
        for (int i = 0; i < tenths; ++i) {
            clock.advanceMs(100);
            f.Tm1Timer();
        }
    }
    // The board's port under the test's hand: TCommX as COM5 without settle delays, and the
    // console's board line over it, waiting on `scheduler`.
    struct BoardOnCom5 {
        explicit BoardOnCom5(console::Scheduler& scheduler, int timeOutTrans = 3000)
            : port(comm, scheduler)
        {
            comm.setSettleDelay(0);
            comm.setPortNo(5);
            comm.setTimeOutTrans(timeOutTrans);
        }
        TCommX comm;
        console::CommXBoardPort port;
    };
    QString digits(const std::array<components::TLED7Seg*, 6>& row)
    {
        QString s;
        for (auto* seg : row)
            s += seg->Value() < 0 ? QChar(u'_') : QChar(u'0' + seg->Value());
        return s;
    }
};

TEST_F(UtaikaiCountdown, MidRaceTheControlPageShowsTheRunningDigitsLampsAndCues)
{
    exec("insert into music (tcode,bun,tno,mname) values (202403091,'r','0:08:00','/sounds/race 8min.wav')");
    auto f = openReset(QTime(0, 0, 30));
    f->engine().setCueList({ "B-0:08:00", "Y-0:00:30", "-" });
    f->RGgaz->setItemIndex(0);
    f->CuteButton1->Click();
    EXPECT_TRUE(f->Tm1.isActive());
    ticks(*f, 300 + 1500); // 2:30 into the race
    EXPECT_EQ(f->engine().StateRace(), PhaseState::On);
    EXPECT_EQ(digits(f->SegRace), "__7300") << "7:30.0 left of 10:00";
    EXPECT_EQ(digits(f->SegWarm), "____00") << "the warm-up shows where it ended";
    EXPECT_EQ(f->Memo1->toPlainText(), "Y-0:00:30\n-") << "the race cue has sounded";
    // Signal 5 went on at the start ("スタート後"), OFF 5 at 0:00:15 of race put it off again.
    EXPECT_EQ(f->PLd[4]->Color(), console::SignalOutputs::LampOff);
    EXPECT_EQ(f->PLd[0]->Color(), console::SignalOutputs::LampOff) << "OFF 1 at 0:00:10";
    EXPECT_EQ(board.sent.last(), QByteArray("8       R   7:30     \r"));
    f->PageControl1->setCurrentWidget(f->TabSheet1);
    EXPECT_FALSE(testing_support::saveGrab(f.get(), QStringLiteral("console-control-mid-race")).isEmpty());
    f->CuteButton2->Click();
    EXPECT_FALSE(f->Tm1.isActive());
    f->close();
}

TEST_F(UtaikaiCountdown, TheWholeWindowIsItsSizeAndTheCrossSitsAboveThePages)
{
    auto f = Open();
    EXPECT_EQ(f->frameGeometry().size(), QSize(997, 696));
    const int paneTop = f->PageControl1->y() + f->PageControl1->tabBar()->height();
    const QRect cross = f->CuteButton13->geometry();
    EXPECT_LT(cross.bottom(), paneTop) << "the cross does not cover the pages' border";
    EXPECT_LE(cross.right(), f->width() - 1);
    EXPECT_TRUE(f->CuteButton13->isVisible());
    // The brightness marks show on the black page: nine light marks under the groove.
    f->PageControl1->setCurrentWidget(f->TabSheet5);
    const QImage slider = f->TabSheet5->grab(f->TBarbright->geometry()).toImage();
    int marks = 0;
    for (int x = 1; x < slider.width(); ++x) {
        const int y = slider.height() - 4;
        marks += qGray(slider.pixel(x, y)) > 80 && qGray(slider.pixel(x - 1, y)) <= 80;
    }
    EXPECT_EQ(marks, 9);
    f->close();
}

TEST_F(UtaikaiCountdown, TheOffControlChoiceMovesTheSlotsAtOnce)
{
    auto f = Open(); // the event opens with "スタート後": ON 5 at 0:00:00
    EXPECT_EQ(f->SignalSlots[console::SlotOn5], 0);
    f->RGcont->Button(0)->click();
    EXPECT_EQ(OffControlMode, 0);
    EXPECT_EQ(console::longTimeText(f->DTPsig[console::SlotOff5]->time()), "0:00:00")
        << "OFF 5 0:00:15 > ON 5";
    EXPECT_EQ(f->SignalSlots[console::SlotOff5], 0);
    f->DTPsig[console::SlotOn5]->setTime(QTime(0, 0, 30));
    f->DTPsig[console::SlotOff5]->setTime(QTime(0, 1, 0));
    f->RGcont->Button(0)->click();
    EXPECT_EQ(f->SignalSlots[console::SlotOn5], 300);
    EXPECT_EQ(f->SignalSlots[console::SlotOff5], 300);
    f->RGcont->Button(1)->click();
    EXPECT_EQ(f->SignalSlots[console::SlotOn5], 0);
    f->close();
}

// The clock line after a Stop, for each phase and each setting of its option.
TEST_F(UtaikaiCountdown, TheClockLineWhilePausedFollowsEachPhasesOption)
{
    struct Case {
        int tenthsIn; // into the run: warm-up 1 s, race 10 min
        QCheckBox* console::TFtaikai::*box;
    };
    const Case cases[] = { { 5, &console::TFtaikai::CkBwup }, { 20, &console::TFtaikai::CkBrace } };
    for (const Case& c : cases) {
        for (const bool shown : { false, true }) {
            auto f = openReset(QTime(0, 0, 1));
            f->RGgaz->setItemIndex(0);
            QCheckBox* box = (*f).*c.box;
            if (box->isChecked() != shown)
                box->click();
            f->CuteButton1->Click();
            ticks(*f, c.tenthsIn);
            f->CuteButton2->Click();
            EXPECT_TRUE(f->Tms.isActive());
            board.sent.clear();
            f->TmsTimer();
            EXPECT_EQ(board.sent.size(), shown ? 1 : 0) << box->objectName().toStdString() << " " << shown;
            f->close();
        }
    }
    EXPECT_EQ(HideClockPausedRace, "0");
    EXPECT_EQ(HideClockPausedWarmUp, "0");
}

TEST_F(UtaikaiCountdown, TheBoardSwitchOpensClosesAndSaysWhenItCannotOpen)
{
    auto f = Open();
    board.calls.clear();
    f->RGgaz->Button(0)->click();
    EXPECT_EQ(board.calls, QStringList({ "open" })) << "switching ON sends nothing";
    f->RGgaz->Button(1)->click();
    EXPECT_EQ(board.calls, QStringList({ "open", "purge", "send", "close when sent" }));
    EXPECT_EQ(board.sent.last(), '\r' + console::boardBlankLine());

    // A rate change while OFF only stores the rate; ON then opens at it.
    board.calls.clear();
    f->RGbrate->Button(0)->click();
    EXPECT_EQ(BoardBitRateIndex, 0);
    scheduler.advance(1000);
    EXPECT_EQ(board.calls, QStringList({ "close", "bitrate 2400" }));
    // While ON the port opens again a moment later.
    f->RGgaz->Button(0)->click();
    board.calls.clear();
    f->RGbrate->Button(1)->click();
    EXPECT_EQ(board.calls, QStringList({ "close", "bitrate 9600" }));
    scheduler.advance(console::BoardControl::ReopenPauseMs);
    EXPECT_EQ(board.calls.last(), "open");

    board.opens = false;
    f->RGgaz->Button(1)->click();
    f->RGgaz->Button(0)->click();
    EXPECT_EQ(f->RGgaz->ItemIndex(), 1) << "a board that did not open is shown OFF";
    EXPECT_TRUE(f->StatusLine->text().startsWith("表示ボードのポートを開けませんでした。"));
    f->close();
}

TEST_F(UtaikaiCountdown, BrightnessAndTestFramesGoOutWithoutBlocking)
{
    auto f = Open();
    board.sent.clear();
    f->TBarbright->setValue(9);
    f->CuteButton26->Click();
    f->CuteButton26->Click(); // ignored while the sequence runs
    EXPECT_EQ(board.sent, QByteArrayList({ "K    9\r" }));
    scheduler.advance(199);
    EXPECT_EQ(board.sent.size(), 1);
    scheduler.advance(1);
    EXPECT_EQ(board.sent.last(), "888     88:88:88.88 88\r");
    scheduler.advance(500);
    EXPECT_TRUE(sleeper.waits.empty()) << "nothing slept";

    board.sent.clear();
    for (auto* b : { f->CuteButton27, f->CuteButton28, f->CuteButton29, f->CuteButton30, f->CuteButton31,
             f->CuteButton11, f->CuteButton12 })
        b->Click();
    EXPECT_EQ(board.sent,
        QByteArrayList({ QByteArray(22, ' ') + '\r', "8888888888:88:88.88 88\r", "0000000012:34:56.78 90\r",
            "0000000000:00:00.00 00\r", "8ABCDEFGAB:CD:EF.GH 88\r", "888     00:00:08.88 00\r",
            "        00:00:0 .   00\r" }));
    f->close();
}

TEST_F(UtaikaiCountdown, AutomaticOperationIsThePickersOwnStateNotWhetherItsPageIsInFront)
{
    auto f = openReset(QTime(0, 0, 1));
    f->DTP2->setTime(QTime(0, 0, 1));
    f->DTP3->setTime(QTime(0, 0, 1));
    f->DTPauto->show();
    f->PageControl1->setCurrentWidget(f->TabSheet5);
    ASSERT_FALSE(f->DTPauto->isVisible());
    f->CuteButton1->Click();
    ticks(*f, 40);
    EXPECT_EQ(f->engine().StateInterval(), PhaseState::On);
    EXPECT_TRUE(f->tmr2.isActive());
    EXPECT_FALSE(f->Tm1.isActive());
    f->close();
}

TEST_F(UtaikaiCountdown, StartLooksUpTheNextHeatsResultsInAutomaticOperation)
{
    exec("insert into rmenu (tcode,rr,btime,etime,kara,rmenu,uc,round,heat) values "
         "(202403091,1,'10:00:00','10:10:00','-','予選',1,2,3),(202403091,2,'10:10:00','10:20:00','-','予選',"
         "2,2,4)");
    exec("insert into result (tcode,round,heat,rank,carno,driver,laps,rtime) values "
         "(202403091,2,3,1,7,'山田',12,'5:01.2')");
    auto f = openReset();
    f->CkBauto->setChecked(true);
    f->CuteButton1->Click();
    EXPECT_EQ(f->Label30->text(), "2-3");
    EXPECT_FALSE(f->Edit8->isHidden());
    EXPECT_EQ(dm->Qresult->RecordCount(), 1);
    f->CuteButton2->Click();
    f->close();
}

TEST_F(UtaikaiCountdown, OpeningAndClosingGiveTheBoardBackFromTheNetwork)
{
    BoardFromNetwork = 1;
    auto f = Open();
    EXPECT_EQ(BoardFromNetwork, 0);
    BoardFromNetwork = 1;
    f->close();
    EXPECT_EQ(BoardFromNetwork, 0);
}

// A board that holds CTS low: the port keeps one line, newer lines wait in the console and give
// way to the newest, the count-down keeps its time and the status line says the board takes
// nothing.
TEST_F(UtaikaiCountdown, ABoardHoldingCtsLowNeverStallsTheCountDown)
{
    platform::FakeSerialPorts ports;
    auto device = ports.add(platform::serialDevicePath(5));
    device->setInputLines(0);
    BoardOnCom5 board5(scheduler);
    TCommX& comm = board5.comm;
    console::CommXBoardPort& port = board5.port;

    auto d = devices();
    d.board = &port;
    console::TFtaikai f(nullptr, d);
    f.show();
    f.RGgaz->Button(0)->click(); // the show closed the port to set its rate: switch it on
    f.DTP1->setTime(QTime(0, 0, 1));
    f.DTP4->setTime(QTime(0, 0, 0));
    asker.answer(true);
    f.CuteButton5->Click();
    f.CuteButton1->Click();
    qint64 slowest = 0;
    for (int i = 0; i < 11 + 400; ++i) { // 40 s of race: 200 lines
        QElapsedTimer wall;
        wall.start();
        ticks(f, 1);
        scheduler.advance(100);
        slowest = std::max(slowest, wall.elapsed());
    }
    EXPECT_LT(slowest, 1000) << "no tick waited for the board's send time-out (3 s)";
    EXPECT_EQ(digits(f.SegRace), "__9199") << "9:19.9 left: the count-down kept its time";
    EXPECT_LE(comm.queuedChunks(), 1) << "the port holds one line";
    EXPECT_EQ(f.board().waiting(), 1) << "the newest time line waits";
    EXPECT_EQ(port.droppedLines(), 0);
    EXPECT_EQ(f.StatusLine->text(), "表示ボードがデータを受け付けていません。");

    // Once the board takes data again the waiting line goes out and lines flow at once.
    device->setInputLines(platform::kLineCts);
    EXPECT_TRUE(testing_support::waitUntil(
        [&] {
            scheduler.advance(console::BoardControl::WaitPollMs);
            return f.board().waiting() == 0 && comm.allSent();
        },
        10000));
    for (int i = 0; i < 10; ++i) {
        ticks(f, 1);
        EXPECT_EQ(f.board().waiting(), 0);
        ASSERT_TRUE(testing_support::waitUntil([&] { return comm.allSent(); }));
    }
    EXPECT_EQ(port.droppedLines(), 0);
    f.CuteButton2->Click();
    f.close();
    comm.Close();
}

// A board that reads slowly behind a full buffer (a pseudo-terminal whose far end reads late):
// the time lines that come meanwhile give way to the newest, the frames keep their order and
// none is dropped. Having taken nothing yet, the board is not said to be behind.
TEST_F(UtaikaiCountdown, ASlowBoardGetsTheNewestTimeAndEveryFrameInOrder)
{
    testing_support::PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    platform::setSerialPortOverrides({ { 5, pty.path() } });
    BoardOnCom5 board5(scheduler, 60000); // the board is slow, not gone: the port waits for it
    TCommX& comm = board5.comm;
    console::CommXBoardPort& port = board5.port;
    QStringList said;
    console::BoardControl control(port, scheduler, clock, { [&](const QString& text) { said << text; }, {} });
    ASSERT_TRUE(control.switchOn());
    const QByteArray backlog = pty.fillDeviceBuffer();
    ASSERT_FALSE(backlog.isEmpty());

    const auto clockAt = [](int second) {
        console::BoardLineInput in;
        in.kind = console::BoardLineKind::Clock;
        in.tenths = (9 * 3600 + second) * 10;
        in.boardOn = true;
        return in;
    };
    const auto clock = [&](int second) { return console::BoardLine(clockAt(second)); };
    control.send(clockAt(1));
    EXPECT_EQ(control.waiting(), 0) << "the port was empty: the line went to it";
    EXPECT_GT(port.bytesQueued(), 0);
    control.send(clockAt(2));
    control.send(clockAt(3));
    control.sendFrame(console::boardFrame(console::BoardTestFrame::All8));
    control.sendTimeLine(clock(4));
    control.brightness(9);
    scheduler.advance(console::BoardControl::BrightnessPauseMs);
    control.sendTimeLine(clock(5));
    EXPECT_EQ(control.waiting(), 4);

    QByteArray got;
    EXPECT_TRUE(testing_support::waitUntil(
        [&] {
            got += pty.receive(1, 5);
            scheduler.advance(console::BoardControl::WaitPollMs);
            return got.size() >= backlog.size() && got.endsWith(clock(5));
        },
        10000));
    EXPECT_EQ(got.mid(backlog.size()),
        clock(1) + console::boardFrame(console::BoardTestFrame::All8) + console::boardBrightnessFrame(9)
            + console::boardFrame(console::BoardTestFrame::AllSegments) + clock(5));
    EXPECT_TRUE(said.isEmpty());
    comm.Close();
    platform::setSerialPortOverrides({});
}

// Switching OFF a board that is behind: what the port has not sent is dropped, and so are the
// waiting time line and test frame; a waiting brightness command still goes, after a CR and
// before the blank line.
TEST_F(UtaikaiCountdown, SwitchingOffABoardBehindDropsAllButABrightnessCommand)
{
    console::BoardControl control(board, scheduler, clock, {});
    board.queued = 23;
    control.sendTimeLine("8       R   1:00     \r");
    control.sendFrame(console::boardFrame(console::BoardTestFrame::All8));
    control.brightness(9);
    control.sendTimeLine("8       R   0:59     \r");
    EXPECT_TRUE(board.sent.isEmpty());
    control.switchOff();
    EXPECT_EQ(board.calls, QStringList({ "purge", "send", "close when sent" }));
    EXPECT_EQ(
        board.sent, QByteArrayList({ "\r" + console::boardBrightnessFrame(9) + console::boardBlankLine() }));
    EXPECT_EQ(control.waiting(), 0);
    scheduler.advance(console::BoardControl::BrightnessPauseMs + console::BoardControl::AllSegmentsPauseMs);
    EXPECT_EQ(board.sent.size(), 1) << "the brightness sequence ended with the switch";
}

// Switching the board OFF during a count-down lets the blank line reach the board before the
// port closes, and the port's settle delay then passes in the scheduler's time: no tick or timer
// of the console waits for it.
TEST_F(UtaikaiCountdown, TheBlankLineGoesOutBeforeTheBoardPortClosesAndNoTickWaitsForIt)
{
    platform::FakeSerialPorts ports;
    auto device = ports.add(platform::serialDevicePath(5));
    BoardOnCom5 board5(scheduler);
    TCommX& comm = board5.comm;
    auto d = devices();
    d.board = &board5.port;
    auto f = show(d);
    f->RGgaz->Button(0)->click(); // the show closed the port to set its rate
    constexpr int settleMs = 1000;
    comm.setSettleDelay(settleMs);
    f->DTP1->setTime(QTime(0, 5, 0));
    f->DTP4->setTime(QTime(0, 0, 0));
    asker.answer(true);
    f->CuteButton5->Click();
    f->CuteButton1->Click();
    ticks(*f, 10);

    device->setInputLines(0); // the board is busy for a moment
    f->RGgaz->Button(1)->click();
    EXPECT_GE(comm.Handle(), 0) << "not closed while the line waits";
    board5.port.SendString("dropped while closing\r");
    device->setInputLines(platform::kLineCts);
    const QByteArray blank = QByteArray("\r").append(console::boardBlankLine());
    qint64 slowest = 0, blankAt = -1, closedAt = -1;
    for (int i = 0; i < 100 && closedAt < 0; ++i) {
        QElapsedTimer wall;
        wall.start();
        testing_support::runEvents(20); // the port's drain and its timers run meanwhile
        if (blankAt < 0 && device->sent().endsWith(blank))
            blankAt = scheduler.now;
        ticks(*f, 1);
        scheduler.advance(100);
        slowest = std::max(slowest, wall.elapsed());
        if (comm.Handle() < 0)
            closedAt = scheduler.now;
    }
    EXPECT_LT(slowest, settleMs / 2) << "a tick waited for the settle delay";
    ASSERT_GE(blankAt, 0);
    EXPECT_GE(closedAt - blankAt, settleMs) << "the port closes a settle delay after the blank line";
    EXPECT_FALSE(device->sent().contains("dropped"));

    EXPECT_EQ(f->engine().StateWarm(), PhaseState::On) << "the count-down went on";
    f->close();
}

// A board that reads more slowly than its bit rate behind a device that keeps its output queue
// out of sight (a pseudo-terminal read at 40 bytes/s, 5 clock lines a second): switched OFF or
// with the console closed it goes blank at once. Ahead of the blank line, which follows a CR,
// comes only what the far end held already. The console's own port (with its settle delay)
// closes as the console goes.
TEST_F(UtaikaiCountdown, ASlowBoardGoesBlankAtOnceWhenSwitchedOffOrClosed)
{
    const qsizetype held = testing_support::PseudoTerminal::farEndHolds();
    const QByteArray blank = console::boardBlankLine();
    const struct {
        const char* name;
        bool ownPort;
        std::function<void(std::unique_ptr<console::TFtaikai>&)> end;
        QByteArray last;
    } cases[] = {
        { "board OFF", false, [](auto& f) { f->RGgaz->Button(1)->click(); }, '\r' + blank },
        { "console closed", false, [](auto& f) { f->close(); }, '\r' + blank + blank },
        { "console on its own port closed", true, [](auto& f) { f->close(), f.reset(); },
            '\r' + blank + blank },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::PseudoTerminal pty;
        ASSERT_TRUE(pty.ok());
        platform::setSerialPortOverrides({ { 5, pty.path() } });
        BoardOnCom5 board5(scheduler);
        auto d = devices();
        d.board = c.ownPort ? nullptr : &board5.port;
        auto f = show(d);
        f->RGgaz->Button(0)->click(); // the show closed the port to set its rate
        TCommX& comm = c.ownPort ? *f->CommX1 : board5.comm;
        qint64 read = 0;
        for (int tenth = 0; tenth < 900; ++tenth) {
            clock.advanceMs(100);
            if (tenth % 2 == 0)
                f->TmsTimer();
            // The device takes each line at once (its buffer has room): the console sees no lag.
            ASSERT_TRUE(testing_support::waitUntil([&] { return comm.allSent(); }));
            scheduler.advance(100);
            read += pty.receiveUpTo(4).size();
        }
        ASSERT_GT(comm.bytesSent() - read, held) << "the board lags by more than the far end holds";

        c.end(f);
        EXPECT_TRUE(testing_support::waitUntil([&] { return !f || f->CommX1->Handle() < 0; }));
        EXPECT_TRUE(testing_support::waitUntil([&] { return board5.comm.Handle() < 0; }));
        const QByteArray rest = pty.receive(1 << 20, 300);
        EXPECT_TRUE(rest.endsWith(c.last));
        EXPECT_LE(rest.size() - c.last.size(), held);
        platform::setSerialPortOverrides({});
    }
}

// What the status line says of a board that takes nothing (CTS held low) and of one that takes
// bytes more slowly than the lines come (CTS open for one line every half second, 44 bytes/s
// against 110), over the fake line driver in simulated time: the first once, 2 s after lines
// began to wait; the second once while the board stays slow, again only after it has kept up
// for 10 s, not after 8.
TEST_F(UtaikaiCountdown, AStalledBoardIsSaidToTakeNothingASlowOneBehindOncePerSpellOfKeepingUp)
{
    platform::FakeSerialPorts ports;
    auto device = ports.add(platform::serialDevicePath(5));
    BoardOnCom5 board5(scheduler, 600000); // only CTS holds the board back
    TCommX& comm = board5.comm;
    console::CommXBoardPort& port = board5.port;
    int tenth = 0;
    QStringList transcript;
    console::BoardControl control(port, scheduler, clock,
        { [&](const QString& text) { transcript << QString::number(tenth) + QLatin1Char(' ') + text; }, {} });
    enum Cts { Low, OneLinePerHalfSecond, High };
    const char* const ctsNames[] = { "CTS low", "CTS open for one line every 0.5 s", "CTS high" };
    const std::pair<int, Cts> script[] = { { 0, Low }, { 200, OneLinePerHalfSecond }, { 400, High },
        { 480, OneLinePerHalfSecond }, { 600, High }, { 720, OneLinePerHalfSecond } };
    device->setInputLines(0);
    ASSERT_TRUE(control.switchOn());
    Cts cts = Low;
    for (; tenth < 900; ++tenth) {
        for (const auto& [from, state] : script)
            if (from == tenth) {
                cts = state;
                transcript << QString::number(tenth) + QLatin1Char(' ') + QLatin1String(ctsNames[cts]);
                device->setInputLines(cts == High ? platform::kLineCts : 0);
            }
        if (cts == OneLinePerHalfSecond && tenth % 5 == 0) {
            device->setInputLines(platform::kLineCts);
            ASSERT_TRUE(testing_support::waitUntil([&] { return comm.allSent(); }));
            device->setInputLines(0);
        }
        clock.advanceMs(100);
        if (tenth % 2 == 0) {
            console::BoardLineInput in;
            in.kind = console::BoardLineKind::Clock;
            in.tenths = 9 * 36000 + tenth;
            in.boardOn = true;
            control.send(in);
        }
        for (int step = 0; step < 100; step += console::BoardControl::WaitPollMs) {
            if (cts == High) {
                ASSERT_TRUE(testing_support::waitUntil([&] { return comm.allSent(); }));
            }
            scheduler.advance(console::BoardControl::WaitPollMs);
        }
    }
    const QString behind = QStringLiteral("表示ボードへの送信が遅れています。最新の時刻だけを送ります。");
    EXPECT_EQ(transcript,
        QStringList({ "0 CTS low", "22 表示ボードがデータを受け付けていません。",
            "200 CTS open for one line every 0.5 s", "200 " + behind, "400 CTS high",
            "480 CTS open for one line every 0.5 s", "600 CTS high", "720 CTS open for one line every 0.5 s",
            "728 " + behind }));
    comm.Close();
}

} // namespace

// A signal adapter pulled out mid-race: the failing line call is said once, the port's lamps go
// red, the port closes and the next press opens it again, when both lamps show its lines. The
// message comes back only after a line call of the port has worked in between.
TEST_F(UtaikaiCountdown, APulledSignalAdapterIsSaidShownRedAndOpenedAgainByTheNextPress)
{
    platform::FakeSerialPorts ports;
    auto adapter = ports.add(platform::serialDevicePath(SignalPortNo1));
    auto d = devices();
    d.signalLines = nullptr; // the console's own rs232c ports, over the fake driver
    console::TFtaikai f(nullptr, d);
    f.show();
    const QString failed = QStringLiteral("シグナル出力のポート（COM2）で信号を切り替えられませんでした。");
    const QString cannotOpen = QStringLiteral("シグナル出力のポート（COM2）を開けませんでした。");
    using console::SignalOutputs;
    const auto lamps = [&] { return std::pair(f.PLd[0]->Color(), f.PLd[1]->Color()); };
    const auto red = std::pair(SignalOutputs::LampNoPort, SignalOutputs::LampNoPort);

    struct Step {
        std::function<void()> before; // what happens to the adapter
        int output; // the button pressed: ON 1 (0), ON 2 (1), or OFF 1 (-1)
        QString status; // what the status line then says (empty: nothing new)
        bool open; // the port is open afterwards
        std::pair<platform::TColor, platform::TColor> lamps;
        unsigned lines; // RTS/DTR of the adapter
    };
    const Step steps[] = {
        { [] {}, 0, {}, true, { SignalOutputs::LampOn, SignalOutputs::LampOff }, platform::kLineRts },
        { [&] { adapter->setUnplugged(true); }, -1, failed, false, red, platform::kLineRts },
        { [] {}, 1, cannotOpen, false, { SignalOutputs::LampNoPort, SignalOutputs::LampNoPort },
            platform::kLineRts },
        // Back, but its lines still fail: no second message without a success in between.
        { [&] {
             adapter->setUnplugged(false);
             adapter->setRefuseModemLines(true);
         },
            0, {}, false, red, platform::kLineRts },
        // Open again: both lamps show the lines, RTS low as the port opened.
        { [&] { adapter->setRefuseModemLines(false); }, 1, {}, true,
            { SignalOutputs::LampOff, SignalOutputs::LampOn }, platform::kLineDtr },
        { [&] { adapter->setUnplugged(true); }, 0, failed, false, red, platform::kLineDtr },
    };
    int row = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(row++);
        f.showStatus(QStringLiteral("-"));
        s.before();
        if (s.output < 0)
            f.CBrsof[0]->Click();
        else
            f.CBrson[static_cast<size_t>(s.output)]->Click();
        const QString status = f.StatusLine->text();
        EXPECT_TRUE(s.status.isEmpty() ? status.endsWith(QStringLiteral("-")) : status.contains(s.status))
            << status.toStdString();
        EXPECT_EQ(adapter->isOpen(), s.open);
        EXPECT_EQ(f.signalOutputs().portOpened(1), s.open);
        EXPECT_EQ(lamps(), s.lamps);
        if (s.open) {
            EXPECT_EQ(adapter->outputLines(), s.lines);
        }
    }
    f.close();
}
