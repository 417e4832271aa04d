// Opening and closing the race console: what it loads for its event and what it stores back.

#include "app/DBControls.h"
#include "app/Udm1.h"
#include "app/uComm.h"
#include "components/CommX.h"
#include "components/CuteBtn.h"
#include "components/FormParts.h"
#include "components/rs232c.h"
#include "console/BoardControl.h"
#include "console/ConsoleWidgets.h"
#include "console/CountdownEngine.h"
#include "console/MonitorFiles.h"
#include "console/SignalOutputs.h"
#include "console/TimeServerLink.h"
#include "console/Utaikai.h"
#include "platform/Asker.h"
#include "platform/Clock.h"
#include "platform/DataFolder.h"
#include "platform/DataSet.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTimeEdit>

namespace console {
namespace {

const QString kTcpLogName = QStringLiteral("TCPDATA.txt");

} // namespace

int runRaceConsole(QWidget* owner, ConsoleDevices devices)
{
    TFtaikai console(owner, std::move(devices));
    console.resize(997, 696);
    return console.exec();
}

TFtaikai::TFtaikai(QWidget* owner, ConsoleDevices devices)
    : QDialog(owner)
    , m_dev(std::move(devices))
{
    if (!m_dev.clock)
        m_dev.clock = &platform::defaultClock();
    if (!m_dev.dm)
        m_dev.dm = DM1;
    buildForm();
    buildDevices();
    connectHandlers();
    m_release = std::make_unique<DeviceRelease>(DeviceRelease::Steps {
        m_boardControl.get(), m_dev.sleeper, [this] { dropTimeServer(); }, [this] { TcpLogFile.close(); } });
    FormCreate();
}

TFtaikai::~TFtaikai()
{
    // A console destroyed without being closed (its owner went first) still lets go of everything.
    teardown();
}

void TFtaikai::connectHandlers()
{
    CuteButton13->OnClick = [this] { CuteButton13Click(); };
    connect(PageControl1, &QTabWidget::currentChanged, this, &TFtaikai::pageChanged);
    connect(&Tm1, &QTimer::timeout, this, &TFtaikai::Tm1Timer);
    connect(&tmr2, &QTimer::timeout, this, &TFtaikai::tmr2Timer);
    connect(&Tmr3, &QTimer::timeout, this, &TFtaikai::Tmr3Timer);
    connect(&Tms, &QTimer::timeout, this, &TFtaikai::TmsTimer);
    connectCountdownHandlers();
    connectBoardHandlers();
    connectSoundHandlers();
    connectLinkHandlers();
    connectScheduleHandlers();
    connectPrintHandlers();
    connectModeHandlers();
    // A monitor file that cannot be written is said where the console says its device failures.
    m_dev.monitor->setProblemReporter([this](const QString& text) { showStatus(text); });
}

void TFtaikai::showStatus(const QString& text)
{
    const platform::Clock& clock = m_dev.clock ? *m_dev.clock : platform::defaultClock();
    StatusTime->setText(longTimeText(clock.now().time()));
    StatusLine->setText(text);
}

void TFtaikai::clearStatus()
{
    StatusTime->clear();
    StatusLine->clear();
}

// The settings page has nothing to refresh when shown.
void TFtaikai::TabSheet5Show() { }

TDM1& TFtaikai::dm() const { return *m_dev.dm; }

// The asker given, or else the program's current one, looked up at each use: the current asker
// can be replaced while the console is open.
platform::Asker& TFtaikai::asker() const { return m_dev.asker ? *m_dev.asker : platform::currentAsker(); }

void TFtaikai::FormCreate()
{
    for (QTimeEdit* picker : { DTP1, DTP2, DTP3, DTP4 })
        picker->setTime(QTime(0, 0));
    PageControl1->setCurrentWidget(TabSheet1);
    PageControl1->resize(PageControl1->width(), 633);
    ScheduleAdded = 0;
    Label31->setText(QStringLiteral("00:00:00"));
    Eddelay->setText(QString::number(DelaySetting));
    m_countdown->setCueList({});
    Panel14->move(178, 248);
    // The timing server's log starts empty with every console. It lives in the data folder with
    // the other files, not in whatever folder the program happened to be started from.
    TcpLogFile.setFileName(QDir(platform::dataFolder()).filePath(kTcpLogName));
    if (!TcpLogFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        TcpLogOpenFailure = TcpLogFile.errorString();
        TcpLogFile.setFileName(QString());
    }
    Tmr3.start();
    Tms.start();
}

void TFtaikai::FormShow()
{
    rs232c1->portname = QStringLiteral("COM") + QString::number(SignalPortNo1);
    rs232c2->portname = QStringLiteral("COM") + QString::number(SignalPortNo2);
    rs232c3->portname = QStringLiteral("COM") + QString::number(SignalPortNo3);
    CommX1->setPortNo(BoardPortNo);

    const QDir folder(platform::dataFolder());
    SD1.FileName = folder.filePath(DtimeFileName);
    SD2.FileName = folder.filePath(RInfoFileName);
    SD3.FileName = folder.filePath(RInfomemFileName);
    Writeinfo();
    if (m_dev.dm)
        dm().Tbdt->Open();

    // The console opens in manual operation.
    for (QLabel* l : { static_cast<QLabel*>(Panel15), Label14, Label15, Label33 })
        components::setPaletteColor(l, QPalette::Window, platform::clBlack);
    Panel15->setColor(platform::clBlack);
    showOperatingMode(false);

    resetdbg();
    checkctb();

    m_signals->setPortNames({ rs232c1->portname, rs232c2->portname, rs232c3->portname });
    m_signals->closeAll();

    ScheduleEndTime = m_dev.dm ? readScheduleEnd(dm(), CurrentEventCode) : QTime(0, 0);
    ScheduleEndText = longTimeText(ScheduleEndTime);
    const EventSignals event = m_dev.dm ? readEventSignals(dm(), CurrentEventCode) : EventSignals {};
    SignalSlots = event.triggers;
    OffControlMode = event.offControlMode;
    for (int slot = 0; slot < SignalSlotCount; ++slot)
        DTPsig[static_cast<size_t>(slot)]->setTime(
            pickerTimeOfTenths(SignalSlots[static_cast<size_t>(slot)]));
    RGcont->setItemIndex(OffControlMode);
    // Setting the choice runs its handler, as a click on it would.
    RGcontClick();

    DTP1->setTime(pickerTimeOfText(WarmUpTimePreset));
    DTP2->setTime(pickerTimeOfText(RaceTimePreset));
    DTP3->setTime(pickerTimeOfText(OverTimePreset));
    DTP4->setTime(pickerTimeOfText(BlankTimePreset));
    DTPauto->setTime(pickerTimeOfText(AutoIntervalPreset));
    m_eventLoaded = true;

    m_countdown->consoleOpened();

    DTP->setTime(QTime(0, 0));
    DTP->setTime(pickerTimeOfTenths(BlindTimeTenths.trimmed().toLongLong()));

    CkBwup->setChecked(HideClockPausedWarmUp != QLatin1String("1"));
    CkBrace->setChecked(HideClockPausedRace != QLatin1String("1"));
    CkBover->setChecked(HideClockPausedOverTime != QLatin1String("1"));

    Panel13->setColor(platform::clBlack);
    Panel16->setColor(platform::clBlack);
    setcbx();

    Edit9->setText(TimeServerAddress);
    Edit10->setText(TimeServerPort);
    RGbrate->setItemIndex(BoardBitRateIndex);
    // Setting the rate runs its handler: the board's port takes the rate the group shows (it is
    // closed here, so the next opening applies it).
    RGbrateClick();
}

ClosingState TFtaikai::collectClosingState() const
{
    ClosingState state;
    for (size_t slot = 0; slot < DTPsig.size(); ++slot)
        state.signalTimes[slot] = longTimeText(DTPsig[slot]->time());
    state.offControlMode = OffControlMode;
    const QTimeEdit* presets[5] = { DTP1, DTP2, DTP3, DTP4, DTPauto };
    for (size_t i = 0; i < 5; ++i)
        state.presets[i] = longTimeText(presets[i]->time());
    return state;
}

void TFtaikai::FormClose()
{
    QStringList failures;
    // What was typed into the information memo is written before anything else goes.
    try {
        DBMemo1->post();
    } catch (const platform::DatabaseError& e) {
        failures << QStringLiteral("インフォメーションを保存できませんでした。\n") + e.message();
    }
    if (m_dev.dm) {
        try {
            dm().Tbdt->Close();
        } catch (const platform::DatabaseError&) {
            // Closing a data set that cannot close leaves nothing to store.
        }
    }
    // The blank line of the release steps is on its way: the port closes once it is out.
    m_dev.board->closeWhenSent();
    // The next console starts with the board's race line its own.
    BoardFromNetwork = 0;
    if (m_dev.dm)
        failures << storeClosingState(
            dm(), CurrentEventCode, m_eventLoaded ? std::optional(collectClosingState()) : std::nullopt);
    // The monitor is told that no event runs; a file that cannot be replaced keeps its old
    // content. Every such file is said with the other failures of the close, also one the
    // status line said earlier: the status line goes with the console.
    m_dev.monitor->setProblemReporter({});
    m_dev.monitor->writeClosed();
    for (const platform::FileWriteFailure& failure : m_dev.monitor->failingFiles())
        failures << monitorFileFailureText(failure);
    if (m_dev.dm) {
        const QString reopen = reopenEventList(dm(), CurrentEventCode);
        if (!reopen.isEmpty())
            failures << reopen;
    }
    reportFailures(failures);
}

void TFtaikai::reportFailures(const QStringList& failures)
{
    if (!failures.isEmpty())
        asker().error(failures.join(QStringLiteral("\n\n")));
}

void TFtaikai::CuteButton13Click()
{
    m_release->run();
    close();
}

void TFtaikai::dropTimeServer()
{
    // Ends a connect in progress too, and leaves no receive running and no flag set that would
    // hand the next event's race display to a link that is gone.
    m_link->drop();
}

void TFtaikai::teardown()
{
    if (m_closeDone)
        return;
    m_closeDone = true;
    for (QTimer* t : { &Tm1, &tmr2, &Tmr3, &Tms })
        t->stop();
    // The "×" steps run on every way out: the board is left blank and the link dropped.
    m_release->run();
    FormClose();
    m_signals->closeAll();
    auto quiet = [](auto& bank) {
        for (auto& player : bank) {
            if (player && !player->FileName().isEmpty()) {
                player->Stop();
                player->Close();
            }
        }
    };
    quiet(MP);
    quiet(MPt);
    quiet(MPo);
    quiet(MPi);
}

void TFtaikai::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    try {
        FormShow();
    } catch (const platform::DatabaseError& e) {
        asker().error(QStringLiteral("大会データを読み込めませんでした。\n") + e.message());
    }
    pageChanged(PageControl1->currentIndex());
}

void TFtaikai::closeEvent(QCloseEvent* event)
{
    teardown();
    QDialog::closeEvent(event);
}

void TFtaikai::keyPressEvent(QKeyEvent* event)
{
    // An Esc meant for a field (leaving a picker, a half-typed content text) would otherwise end
    // the races: the count-down, the board and the link all stop when the console closes.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFtaikai::done(int result)
{
    teardown();
    QDialog::done(result);
}

void TFtaikai::pageChanged(int index)
{
    // Pages shown while the window is still being built or is already closed run nothing.
    if (!m_shown || m_closeDone)
        return;
    QWidget* page = PageControl1->widget(index);
    if (page == TabSheet1)
        TabSheet1Show();
    else if (page == TabSheet2)
        TabSheet2Show();
    else if (page == TabSheet4)
        TabSheet4Show();
    else if (page == TabSheet5)
        TabSheet5Show();
}

void TFtaikai::Writeinfo()
{
    if (m_dev.dm)
        console::Writeinfo(*dm().Database1, CurrentEventCode, *m_dev.monitor);
}

void TFtaikai::SignalPortOpen(int port)
{
    if (port >= 1 && port <= 3)
        m_dev.signalLines->Open(port);
}

void TFtaikai::SignalPortClose(int port)
{
    if (port >= 1 && port <= 3)
        m_dev.signalLines->Close(port);
}

} // namespace console
