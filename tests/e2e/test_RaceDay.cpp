// A race day as the operator runs it, through the windows, in simulated time: the event is made
// in the event list and opened in the console, the schedule gets a reception item and a round of
// heats, the signals and sound cues are set, the timing server is connected on the loop-back
// address, three races run in automatic operation, and the schedule is printed to a PDF file.
// What the board, the signal lines and the cue players saw makes one time-stamped transcript,
// compared with golden/race_day.txt; the monitor files, the server's log and the PDF are checked
// for what the day must produce.

#include "app/Udm1.h"
#include "app/uComm.h"
#include "app/uselecttaikai.h"
#include "components/CuteBtn.h"
#include "console/ConsoleWidgets.h"
#include "console/CueTable.h"
#include "console/MonitorFiles.h"
#include "console/TimeServerLink.h"
#include "console/Utaikai.h"
#include "console_core/ConsoleFakes.h"
#include "console_core/CountdownRig.h"
#include "platform/Clock.h"
#include "platform/TextCodec.h"
#include "printout/PreviewCapture.h"
#include "support/SocketTestSupport.h"
#include "support/SoundFiles.h"
#include "support/TestSupport.h"
#include "support/WindowInput.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <gtest/gtest.h>

namespace {

using namespace testing_support;

class RaceDay : public ::testing::Test {
protected:
    void SetUp() override
    {
        transcript.clock = &clock;
        transcript.originMs = clock.monotonicMs();
        dm = std::make_unique<TDM1>();
        DM1 = dm.get();
        dm->reconnect();
        loadSettings(); // a first start: every setting at its default
    }
    void TearDown() override
    {
        OpenRaceConsole = nullptr;
        DM1 = nullptr;
        dm.reset();
    }

    console::ConsoleDevices devices()
    {
        console::ConsoleDevices d = fakeDevices(clock, board, lines, sleeper, scheduler, random, dm.get());
        d.makeCuePlayer = [this](const QString& name) {
            return std::make_unique<TranscriptPlayer>(transcript, name, QString());
        };
        return d;
    }

    // "大会選択": a new event on the day, chosen, which opens the console over the list. Both run
    // modally, as the start window and the list open them; the console's buttons and pages are
    // clicked through its window.
    void makeAndOpenEvent(const std::function<void(console::TFtaikai&)>& day)
    {
        TFselecttaikai list(nullptr, clock);
        list.setWindowModality(Qt::ApplicationModal);
        list.show();
        list.bAddClick();
        list.DTP1->setDate(QDate(2024, 3, 9));
        QTest::keyClick(list.DTP1, Qt::Key_Return); // proposes the day's first sequence digit
        list.eTName->setText(QStringLiteral("春季大会"));
        list.Btouroku->Click();
        OpenRaceConsole = [&](QWidget* owner) {
            console::TFtaikai console(owner, devices());
            console.resize(997, 696);
            console.setWindowModality(Qt::ApplicationModal);
            console.show();
            day(console);
            userClick(console.CuteButton13); // "×"
            EXPECT_FALSE(console.isVisible());
        };
        userClick(list.CuteButton1);
    }

    // The schedule page: reception from 9:00 for half an hour, then round 1 "予選" of three
    // heats of five minutes.
    static void buildSchedule(console::TFtaikai& f)
    {
        userClickTab(f.PageControl1, f.TabSheet4);
        f.DTPb->setTime(QTime(9, 0));
        f.DTPe->setTime(QTime(0, 30));
        f.Edit2->setText(QStringLiteral("受付"));
        userClick(f.CTBadd);
        f.CkBround->setChecked(true);
        f.SEdround->setValue(1);
        f.CBxround->setEditText(QStringLiteral("予選"));
        f.SEdheat->setValue(3);
        f.CBxheat->setEditText(QStringLiteral("ヒート"));
        f.DTPe->setTime(QTime(0, 5));
        userClick(f.CTBadd);
    }

    // The settings page: signal 1 on 20 s before the start, signal 2 at 10 s, signal 3 at 5 s.
    static void setSignals(console::TFtaikai& f)
    {
        userClickTab(f.PageControl1, f.TabSheet5);
        for (auto [slot, at] :
            { std::pair { console::SlotOn1, 20 }, { console::SlotOn2, 10 }, { console::SlotOn3, 5 } }) {
            QTimeEdit* picker = f.DTPsig[static_cast<size_t>(slot)];
            picker->setTime(QTime(0, 0).addSecs(at));
            emit picker->editingFinished(); // the operator leaves the field
        }
    }

    // The sound set page: a cue 10 s before the start, two in the race (30 s and 10 s to go), one
    // 5 s before the end of the over-time and one 10 s before the end of the interval.
    void registerCues(console::TFtaikai& f)
    {
        userClickTab(f.PageControl1, f.TabSheet2);
        const struct {
            console::CuePhase phase;
            int at;
            const char* file;
        } cues[] = { { console::CuePhase::Warm, 10, "10秒前.wav" },
            { console::CuePhase::Race, 30, "残り30秒.wav" }, { console::CuePhase::Race, 10, "残り10秒.wav" },
            { console::CuePhase::Over, 5, "残り5秒.wav" },
            { console::CuePhase::Interval, 10, "次のレース.wav" } };
        for (const auto& c : cues) {
            const auto k = static_cast<size_t>(c.phase);
            const QString file = home.file(QString::fromUtf8(c.file));
            ASSERT_TRUE(writeWav(file, 200));
            f.CueTimes[k]->setTime(QTime(0, 0).addSecs(c.at));
            f.CueFiles[k]->setText(file);
            userClick(f.CueSetButtons[k]);
        }
    }

    // The settings page: the link to the timing server at the address and port the operator types.
    void connectTimeServer(console::TFtaikai& f)
    {
        userClickTab(f.PageControl1, f.TabSheet5);
        f.Edit9->setText(QStringLiteral("127.0.0.1"));
        f.Edit10->setText(server.portText());
        userClick(f.Button2);
        ASSERT_TRUE(waitUntil([&] { return f.link().state() == console::LinkState::Connected; }));
        ASSERT_TRUE(server.takeClient());
    }

    // The timing server's time line with `toGo` seconds to go, once the console has read it and
    // the board has been sent its time.
    void feed(int toGo)
    {
        const qsizetype sent = board.sent.size();
        const QByteArray line = QStringLiteral("$F,14,\"00:00:%1\",\"13:34:23\",\"00:09:47\",\"Green \"\r\n")
                                    .arg(toGo, 2, 10, QLatin1Char('0'))
                                    .toLatin1();
        fed += line;
        server.send(line);
        ASSERT_TRUE(waitUntil([&] { return board.sent.size() > sent; }));
    }

    // Three races in automatic operation: 30 s warm-up, 1 min race, 10 s over-time and a 20 s
    // interval each, the board on, the first started by hand; during the third race the operator
    // goes back to manual operation, so that the day ends with its over-time. Ticked at the
    // timers' pace; `at` runs at each tenth.
    static constexpr int Run = 1200; // tenths from one start to the next
    void runRaces(console::TFtaikai& f, const std::function<void(int tenth)>& at)
    {
        userClickTab(f.PageControl1, f.TabSheet1);
        userClick(f.RGgaz->Button(0));
        asker.answer(true);
        userClick(f.CTBa); // automatic operation, confirmed
        f.DTP1->setTime(QTime(0, 0, 30));
        f.DTP2->setTime(QTime(0, 1, 0));
        f.DTP3->setTime(QTime(0, 0, 10));
        f.DTP4->setTime(QTime(0, 0, 0));
        f.DTPauto->setTime(QTime(0, 0, 20));
        asker.answer(true);
        userClick(f.CuteButton5); // reset, confirmed
        userClick(f.CuteButton1); // start
        for (int tenth = 1; tenth <= 3 * Run - 190; ++tenth) {
            clock.advanceMs(100);
            if (f.Tm1.isActive())
                f.Tm1Timer();
            if (f.tmr2.isActive())
                f.tmr2Timer();
            if (tenth == 2 * Run + 600) {
                asker.answer(true);
                userClick(f.CTBm); // manual operation, confirmed
            }
            at(tenth);
        }
    }

    static QString monitorFile(const QString& name)
    {
        QFile file(console::MonitorFileWriter().filePath(name));
        return file.open(QIODevice::ReadOnly) ? platform::fromCp932(file.readAll())
                                              : QStringLiteral("<missing>");
    }

    // The lines of a golden file next to this source, found from the source folder as the build
    // names it (__FILE__ can be relative to a compiler cache's base folder).
    static QStringList golden(const QString& name)
    {
        QFile file(
            QDir(QString::fromUtf8(QT_TESTCASE_SOURCEDIR)).filePath(QStringLiteral("e2e/golden/") + name));
        return file.open(QIODevice::ReadOnly)
            ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
            : QStringList();
    }

    // Saves a transcript where the tests' pictures go.
    static void saveTranscript(const QStringList& lines, const QString& name)
    {
        const QString dir
            = qEnvironmentVariable("TAVO_TEST_PNG_DIR", QDir::current().filePath(QStringLiteral("test-png")));
        QDir().mkpath(dir);
        QFile file(QDir(dir).filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write((lines.join(u'\n') + u'\n').toUtf8());
    }

    TempHome home;
    ScriptedAsker asker;
    StandardPreviewInstalled preview;
    FeedServer server; // the timing server, on the loop-back address
    QByteArray fed; // what it sent
    platform::ManualClock clock { QDateTime(QDate(2024, 3, 9), QTime(9, 50)) };
    Transcript transcript; // tenths since the start of the day's test, and what happened
    TranscriptBoard board { transcript };
    TranscriptLines lines { transcript };
    FakeSleeper sleeper;
    FakeScheduler scheduler;
    FakeRandomSource random;
    std::unique_ptr<TDM1> dm;
};

TEST_F(RaceDay, ThreeRacesRunInAutomaticOperationAndTheSchedulePrints)
{
    const QString pdf = home.file(QStringLiteral("race day.pdf"));
    QString rinfo;
    QStringList dtime, raceDay;
    PreviewShown printed;
    makeAndOpenEvent([&](console::TFtaikai& f) {
        buildSchedule(f);
        rinfo = monitorFile(console::RInfoFileName);
        setSignals(f);
        registerCues(f);
        connectTimeServer(f);
        runRaces(f, [&](int tenth) {
            const int inRun = tenth % Run;
            // The time file mid-phase in the first run, once its background writer has caught up.
            if (tenth < Run && inRun % 300 == 150 && f.devices().monitor->flush())
                dtime << monitorFile(console::DtimeFileName).trimmed();
            if (inRun > 300 && inRun < 900 && inRun % 100 == 50) // the server's time, every 10 s
                feed((900 - inRun) / 10);
        });
        // While the preview is open the board's clock may show the time of day: what follows
        // is not pinned.
        raceDay = transcript.entries;
        // The board's time of day comes from a real 250 ms timer whenever no count-down runs, so a
        // slow build (sanitizers) may send one between the operator's clicks before the first
        // start: the day pins what the count-down sends, not those.
        static const QRegularExpression clockLine(QStringLiteral("^\\d+ board \"8 +\\d+:\\d\\d:\\d\\d +\"$"));
        raceDay.removeIf([](const QString& entry) { return clockLine.match(entry).hasMatch(); });
        userClickTab(f.PageControl1, f.TabSheet4);
        printed = capturePreview([&] { userClick(f.CuteButton15); }, printToPdf(pdf));
    });

    if (raceDay != golden(QStringLiteral("race_day.txt")))
        saveTranscript(raceDay, QStringLiteral("race_day.txt")); // for review against the golden one
    EXPECT_EQ(Lines(raceDay), Lines(golden(QStringLiteral("race_day.txt"))));
    // "×" leaves the board blank.
    const QStringList sent = transcript.entries.filter(QStringLiteral("board \""));
    EXPECT_TRUE(sent.last().endsWith(QStringLiteral("board \"                      \"")))
        << sent.last().toStdString();
    EXPECT_EQ(rinfo,
        QStringLiteral(
            "9:00:00,9:30:00,受付\r\n9:30:00,9:35:00,予選 1 ヒート 1\r\n9:35:00,9:40:00,予選 1 ヒート 2\r\n"
            "9:40:00,9:45:00,予選 1 ヒート 3\r\n"));
    EXPECT_EQ(Lines(dtime), "00:00:15R\n00:00:45B\n00:00:15B\n00:00:20W");
    QFile log(home.file(QStringLiteral("TCPDATA.txt")));
    EXPECT_TRUE(log.open(QIODevice::ReadOnly) && log.readAll() == fed && fed.count('\n') == 18);
    ASSERT_EQ(printed.texts.size(), 1);
    const QString text = printer_support::run("pdftotext", { "-layout", pdf, "-" }).simplified();
    for (const char* expected : { "春季大会", "開始時刻", "9:30:00 受付", "9:35:00 予選 1 ヒート 1",
             "9:45:00 予選 1 ヒート 3", "1/1", "印刷 2024年03月09日 9時55分" })
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n" << text.toStdString();
    EXPECT_TRUE(asker.errors().isEmpty()) << Lines(asker.errors());
}

} // namespace
