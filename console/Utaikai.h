#pragma once

// TFtaikai "大会コントロール": the race console for the open event (CurrentEventCode). The event
// list opens it modally through runRaceConsole. Its handlers keep the names the operators'
// documentation uses (FormShow, CuteButton13Click, Tm1Timer, ...) and stay thin: they read the
// controls, call the console's plain classes, and show the result.
//
// The form is spread over several files by concern: Utaikai_form.cpp lays out the pages and
// controls, Utaikai_lifecycle.cpp opens and closes the console and keeps its status line,
// Utaikai_data.cpp binds the cue and schedule grids to their queries, Utaikai_countdown.cpp runs
// the count-downs, Utaikai_board.cpp the display board and the signal outputs, Utaikai_sound.cpp
// the sound cues, Utaikai_link.cpp the timing-server link, Utaikai_schedule.cpp the race
// information schedule, Utaikai_modes.cpp the operating modes, the preset pickers and the
// information display, and Utaikai_print.cpp the schedule printout. Utaikai_time.h is the
// console's time base (ticks of the day); the logic behind the handlers lives in the plain
// classes beside this file (CountdownEngine, BoardControl, SignalOutputs, CueTable, Schedule, ...).

#include "console/ConsoleDevices.h"
#include "console/ConsoleLifecycle.h"
#include "console/CueBank.h"
#include "console/Schedule.h"
#include "console/ScheduleItems.h"
#include "console/Utaikai_time.h"

namespace platform {
class Asker;
class Query;
} // namespace platform

#include <QDialog>
#include <QFile>
#include <QStringList>
#include <QTime>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLineEdit;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QTableView;
class QTimeEdit;
class QLabel;
class QWidget;
class TCommX;
class TDBGrid;
class TDBMemo;
class Trs232c;

namespace components {
class TCuteButton;
class TLED7Seg;
} // namespace components

namespace console {

class BoardControl;
class CountdownEngine;
class CountdownHost;
class CuePlayerView;
class SignalOutputs;
class TPanel;
class TRadioGroup;
class TimeServerLink;

// Opens the race console for CurrentEventCode as a modal window over `owner` (997 x 696, centred
// on it), runs it until it closes and destroys it. Returns the dialog's result code.
int runRaceConsole(QWidget* owner, ConsoleDevices devices = {});

// Holds the path of one monitor file, as the form's file holders did.
struct PathHolder {
    QString FileName;
};

class TFtaikai : public QDialog {
public:
    // Devices left empty in `devices` are built from the form's own components.
    explicit TFtaikai(QWidget* owner = nullptr, ConsoleDevices devices = {});
    ~TFtaikai() override;

    // Lifecycle.
    void FormCreate();
    void FormShow();
    void FormClose();
    void CuteButton13Click();

    // Page shows: run when the page becomes current, and for the current page once after FormShow.
    void TabSheet1Show();
    void TabSheet2Show();
    void TabSheet4Show();
    void TabSheet5Show();

    // Timers.
    void Tm1Timer();
    void tmr2Timer();
    void Tmr3Timer();
    void TmsTimer();

    // Sends the race (letter "R") or over-time (letter "O") line for the clock text of the
    // remaining time, with the prefix of Edit11, at even tenths only; Edit8 shows the text.
    void dpgaz(QChar letter, const QString& clockText);

    // Rewrites RInfo.txt from the event's schedule.
    void Writeinfo();
    // Reloads the four cue grids of the open event.
    void resetdbg();
    // Reloads the schedule grid and offers the editor's buttons by the number of rows.
    void checkctb();
    // Fills the round-title and heat-word lists from every schedule row.
    void setcbx();
    // Signal port wrappers: port 1..3, anything else does nothing.
    void SignalPortOpen(int port);
    void SignalPortClose(int port);

    // ---- Count-down handlers (Utaikai_countdown.cpp) ----
    void CuteButton1Click(); // Start
    void CuteButton2Click(); // Stop
    void CuteButton5Click(); // Reset
    void Button1Click(); // the hidden reset
    void CuteButton22Click(); // the interval reset
    // Blanks all eighteen digits.
    void segclear();
    // The phase count-down with the console's phase state and cue list.
    CountdownEngine& engine() { return *m_countdown; }

    // ---- Display board and signal handlers (Utaikai_board.cpp) ----
    void RGgazClick();
    void RGbrateClick();
    void RGcontClick();
    void CuteButton19Click(); // "初期化"
    void CuteButton26Click(); // brightness "Set"
    void CkBwupClick();
    void CkBraceClick();
    void CkBoverClick();
    // ON 1-5 and START (output 0..5), OFF 1-5 and ALL OFF.
    void CBrsonClick(int output);
    void CBrsofClick(int output);
    // A signal picker lost the focus: its slot follows it.
    void DTPsigExit(int slot);
    // The start pulse in milliseconds (the hidden box Edit3).
    int pulseMs() const;
    SignalOutputs& signalOutputs() { return *m_signals; }
    BoardControl& board() { return *m_boardControl; }

    // ---- Sound cue handlers (Utaikai_sound.cpp) ----
    // Loads the event's cues into the players and builds the cue list (run by every reset).
    // Never fails: a file that cannot be opened is left out and named on the status line.
    void setmp();
    // Closes every cue player.
    void clearmp();
    // Register ("セット"): warm-up, race, over-time, interval.
    void CuteButton3Click();
    void CuteButton4Click();
    void CuteButton6Click();
    void CuteButton24Click();
    // A double-click on a cue grid puts its current row into the phase's picker and file box.
    void DBGrid1DblClick();
    void DBGrid2DblClick();
    void DBGrid3DblClick();
    void DBGrid5DblClick();
    // "削除" on a cue grid: deletes its current row.
    void MenuItem1Click();
    void MenuItem2Click();
    void MenuItem3Click();
    void N1Click();
    // Test play ("再生"), a toggle per phase on the phase's first player.
    void CuteButton7Click();
    void CuteButton8Click();
    void CuteButton9Click();
    void CuteButton25Click();
    // "開く" on a file box: picks a sound file.
    void Open1Click();
    void Open2Click();
    void Open3Click();
    void N2Click();
    // "サウンドSTOP".
    void CuteButton10Click();
    // "Pre": each loaded cue of the first players half a second.
    void CuteButton23Click();
    // The delay box: stores DelaySetting when left, shows the sound check page on a double-click.
    void EddelayExit();
    void EddelayDblClick();

    // ---- Operating modes, presets and information display (Utaikai_modes.cpp) ----
    void CTBaClick(); // "オート"
    void CTBmClick(); // "マニュアル"
    // The phase pickers: each change goes to its preset at once.
    void DTP1Change();
    void DTP2Change();
    void DTP3Change();
    void DTP4Change();
    void DTPautoChange();
    // The blind picker lost the focus: the blind time follows it.
    void DTPExit();
    void CuteButton14Click(); // the information display toggle
    // The mode buttons' faces and the interval controls for automatic or manual operation.
    void showOperatingMode(bool automatic);

    // ---- Timing-server link handlers (Utaikai_link.cpp) ----
    // Connects to the server of Edit9 and Edit10, disconnects, or cancels a connect in progress.
    void Button2Click();
    // Shows and logs one received line and, while the network drives the race display, sends
    // its time to the board.
    void timeServerLineReceived(const QByteArray& line);
    TimeServerLink& link() const { return *m_link; }

    // ---- Schedule printout handlers (Utaikai_print.cpp) ----
    // "印刷": previews the event's schedule report, from which the operator prints.
    void CuteButton15Click();
    // "ﾍｯﾀﾞｰ･ﾌｯﾀｰ": the picker of the printout's header and footer pictures.
    void CuteButton16Click();

    // ---- Schedule handlers (Utaikai_schedule.cpp) ----
    // The schedule editor's buttons and the grid's popup menu.
    void CTBaddClick();
    void CTBinsClick();
    void CTBediClick();
    void CTBdelClick();
    void edtClick();
    void CkBroundClick();
    void PopupMenu7Popup();
    void N3Click();
    void N4Click();
    void N5Click();
    void N6Click();
    // The standard templates: schedule to and from the template, cues to and from it.
    void CuteButton17Click();
    void CuteButton18Click();
    void CuteButton20Click();
    void CuteButton21Click();
    // Loads the grid's current row into the editor.
    void DBGrid4CellClick();
    void DBGrid4KeyUp();
    // Shows the field with the last statement shown.
    void DBGrid4DblClick();
    // ScheduleEndTime := the latest end of the schedule.
    void getendtime();
    // The start of the item the control page shows as next.
    QTime NextItemStart() const;

    // What the console was given (and built).
    const ConsoleDevices& devices() const { return m_dev; }
    // True once the console's devices have been released (the close has run).
    bool closed() const { return m_closeDone; }

    // ---- Pages ----
    QTabWidget* PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr, *TabSheet2 = nullptr, *TabSheet4 = nullptr, *TabSheet5 = nullptr,
            *TabSheet3 = nullptr;
    components::TCuteButton* CuteButton13 = nullptr; // "×"

    // ---- Control page ----
    std::array<components::TLED7Seg*, 6> SegWarm {}; // Seg1..Seg6
    std::array<components::TLED7Seg*, 6> SegRace {}; // Seg21..Seg26
    std::array<components::TLED7Seg*, 6> SegOver {}; // Seg31..Seg36
    QTimeEdit *DTP1 = nullptr, *DTP2 = nullptr, *DTP3 = nullptr, *DTP4 = nullptr, *DTPauto = nullptr;
    components::TCuteButton *CuteButton1 = nullptr, *CuteButton2 = nullptr, *CuteButton5 = nullptr;
    components::TCuteButton *CTBa = nullptr, *CTBm = nullptr, *CuteButton22 = nullptr,
                            *CuteButton23 = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit6 = nullptr, *Edit7 = nullptr, *Edit8 = nullptr;
    TRadioGroup* RGgaz = nullptr;
    std::array<TPanel*, 6> PLd {}; // PLd1..PLd5, PLds
    TPanel* Panel15 = nullptr;
    QLabel *Label11 = nullptr, *Label14 = nullptr, *Label15 = nullptr, *Label31 = nullptr, *Label33 = nullptr,
           *Label30 = nullptr;
    std::array<QLabel*, 5> Lb {}; // Lb1..Lb5
    QPlainTextEdit *Memo1 = nullptr, *Memo2 = nullptr;
    QCheckBox* CkBauto = nullptr;
    QPushButton* Button1 = nullptr;

    // ---- Sound set page ----
    std::array<TDBGrid*, 4> CueGrids {}; // DBGrid1, DBGrid2, DBGrid3, DBGrid5
    std::array<QTimeEdit*, 4> CueTimes {}; // DTP21..DTP24
    std::array<QLineEdit*, 4> CueFiles {}; // Ed21..Ed24
    std::array<components::TCuteButton*, 4> CueSetButtons {}; // CuteButton3, 4, 6, 24
    std::array<components::TCuteButton*, 4> CueTestButtons {}; // CuteButton7, 8, 9, 25
    std::array<QMenu*, 4> CueGridMenus {}; // PopupMenu4, 5, 6, 8
    std::array<QMenu*, 4> CueFileMenus {}; // with Open1, Open2, Open3, N2
    components::TCuteButton *CuteButton10 = nullptr, *CuteButton20 = nullptr, *CuteButton21 = nullptr;
    TPanel* Panel14 = nullptr;
    QLineEdit* Eddelay = nullptr;
    QFileDialog* OD1 = nullptr;

    // ---- Race information page ----
    TDBGrid* DBGrid4 = nullptr;
    QMenu* PopupMenu7 = nullptr;
    QAction *edt = nullptr, *N7 = nullptr, *N3 = nullptr, *N4 = nullptr, *N5 = nullptr, *N6 = nullptr;
    QTimeEdit *DTPb = nullptr, *DTPe = nullptr;
    QLineEdit *Edit2 = nullptr, *Edit4 = nullptr;
    QCheckBox* CkBround = nullptr;
    TPanel *Panel13 = nullptr, *Panel16 = nullptr;
    QSpinBox *SEdround = nullptr, *SEdheat = nullptr;
    QComboBox *CBxround = nullptr, *CBxheat = nullptr;
    components::TCuteButton *CTBadd = nullptr, *CTBins = nullptr, *CTBedi = nullptr, *CTBdel = nullptr;
    components::TCuteButton *CuteButton14 = nullptr, *CuteButton15 = nullptr, *CuteButton16 = nullptr,
                            *CuteButton17 = nullptr, *CuteButton18 = nullptr;
    TDBMemo* DBMemo1 = nullptr; // the event's tmem, through DStaikai
    QLabel* Lbdp = nullptr;
    TRadioGroup* RGrang = nullptr;

    // ---- Settings page ----
    std::array<QTimeEdit*, SignalSlotCount> DTPsig {}; // DTPsigon1..5, DTPsigons, DTPsigoff1..5
    QTimeEdit* DTPsigoffs = nullptr;
    std::array<components::TCuteButton*, 6> CBrson {}; // CBrson1..CBrson5, CBrsonS
    std::array<components::TCuteButton*, 6> CBrsof {}; // CBrsof1..CBrsof5, CBrsofS
    std::array<TPanel*, 6> Pnl {}; // Pnl1..Pnl6
    components::TCuteButton* CuteButton19 = nullptr; // "初期化"
    TRadioGroup *RGcont = nullptr, *RGbrate = nullptr;
    QTimeEdit* DTP = nullptr; // blind time
    QSlider* TBarbright = nullptr;
    components::TCuteButton *CuteButton26 = nullptr, *CuteButton27 = nullptr, *CuteButton28 = nullptr,
                            *CuteButton29 = nullptr, *CuteButton30 = nullptr, *CuteButton31 = nullptr,
                            *CuteButton11 = nullptr, *CuteButton12 = nullptr;
    QCheckBox *CkBwup = nullptr, *CkBrace = nullptr, *CkBover = nullptr;
    QLineEdit *Edit3 = nullptr, *Edit5 = nullptr, *Edit9 = nullptr, *Edit10 = nullptr, *Edit11 = nullptr;
    QPushButton* Button2 = nullptr;
    TPanel* Panel17 = nullptr;

    // ---- Sound check page: one view per cue player, MP1 first ----
    std::vector<CuePlayerView*> PlayerViews;

    // ---- Components ----
    TCommX* CommX1 = nullptr;
    Trs232c *rs232c1 = nullptr, *rs232c2 = nullptr, *rs232c3 = nullptr;
    std::array<std::unique_ptr<CuePlayer>, 13> MP; // MP1..MP13
    std::array<std::unique_ptr<CuePlayer>, 14> MPt; // MPt1..MPt14
    std::array<std::unique_ptr<CuePlayer>, 9> MPo; // MPo1..MPo9
    std::array<std::unique_ptr<CuePlayer>, 3> MPi; // MPi1..MPi3
    PathHolder SD1, SD2, SD3; // Dtime.txt, RInfo.txt, RInfomem.txt

    // ---- Status line under the pages ----
    QLabel* StatusTime = nullptr; // the time of the message (H:MM:SS), in front of it
    QLabel* StatusLine = nullptr;
    // Shows a problem for the operator with the time it was said; replaces what the line said
    // before.
    void showStatus(const QString& text);
    // Empties the line (a confirmed Reset begins a new race).
    void clearStatus();

    // ---- Timers ----
    QTimer Tm1, tmr2, Tmr3, Tms;

    // ---- Window state ----
    QTime ScheduleEndTime;
    QString ScheduleEndText;
    std::array<qint64, SignalSlotCount> SignalSlots {};
    int ScheduleAdded = 0;
    QFile TcpLogFile;
    // Why the log could not be opened when the console opened; said with every line then.
    QString TcpLogOpenFailure;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Esc does not close the console: it closes by its "×" and the window's own close only.
    void keyPressEvent(QKeyEvent* event) override;

public:
    // Every way out (the "×", the window's close, Esc, the owner ending the dialog) goes through
    // here, so the devices are released and the state stored exactly once.
    void done(int result) override;

private:
    void buildForm();
    // Keeps the window, frame included, at its size.
    void fitToFrame();
    void buildControlPage();
    void buildSoundSetPage();
    void buildRaceInfoPage();
    void buildSettingsPage();
    void buildSoundCheckPage();
    void buildDevices();
    void connectHandlers();
    void pageChanged(int index);
    // The "×" steps and the close steps; runs once.
    void teardown();
    void dropTimeServer();
    void reportFailures(const QStringList& failures);
    ClosingState collectClosingState() const;
    // Each concern wires its own controls and timers.
    void connectCountdownHandlers();
    void connectBoardHandlers();
    void connectSoundHandlers();
    void connectLinkHandlers();
    void connectScheduleHandlers();
    void connectPrintHandlers();
    void connectModeHandlers();
    // Asks, then switches to automatic or manual operation.
    void changeOperatingMode(bool automatic);
    TDM1& dm() const;
    platform::Asker& asker() const;

    ConsoleDevices m_dev;
    // Devices the form built for itself.
    std::unique_ptr<BoardPort> m_ownBoard;
    std::unique_ptr<SignalLines> m_ownSignals;
    std::unique_ptr<MonitorFiles> m_ownMonitor;
    std::unique_ptr<RandomSource> m_ownRandom;
    std::unique_ptr<Sleeper> m_ownSleeper;
    std::unique_ptr<Scheduler> m_ownScheduler;
    std::unique_ptr<DeviceRelease> m_release;
    bool m_shown = false;
    // The event's signal times, OFF control and presets are in the controls: only then does the
    // close store the controls back into the event row.
    bool m_eventLoaded = false;
    bool m_closeDone = false;

    // ---- Count-down state ----
    friend class CountdownFace;
    // Builds the count-down with the board and signal controls it drives.
    void buildCountdown();
    // Keeps the timers as the count-down wants them.
    void syncTimers();
    // The form as the count-down sees it (its controls and displays).
    std::unique_ptr<CountdownHost> m_countdownFace;
    std::unique_ptr<CountdownEngine> m_countdown;

    // ---- Display board and signal state ----
    std::unique_ptr<SignalOutputs> m_signals;
    std::unique_ptr<BoardControl> m_boardControl;

    // ---- Sound cue state ----
    // The handlers of one phase's column of the sound set page (picker, file box, grid).
    void registerCue(CuePhase phase);
    void takeGridRow(CuePhase phase);
    void deleteGridRow(CuePhase phase);
    void testPlay(CuePhase phase);
    void pickCueFile(CuePhase phase);
    platform::Query* cueQuery(CuePhase phase) const;
    void reopenCueGrid(CuePhase phase);
    void refreshPlayerViews();
    std::unique_ptr<CueBank> m_cueBank;
    // Set while a phase's test button plays.
    std::array<bool, CuePhaseCount> m_testPlaying {};
    // The status line has said that there is no sound output, and no cue has sounded since.
    bool m_saidNoSoundOutput = false;

    // ---- Timing-server link state ----
    std::unique_ptr<TimeServerLink> m_link;

    // ---- Schedule state ----
    // Runs a schedule command; when it changed the schedule, the refresh follows. A database
    // failure is reported to the operator.
    void runScheduleCommand(const std::function<ScheduleOutcome(Schedule&)>& command);
    // Runs a step of the schedule page; a database failure is reported to the operator.
    void guardSchedule(const std::function<void()>& step);
    void refreshSchedule(const ScheduleOutcome& outcome);
    std::optional<int> selectedScheduleRow() const;
    ScheduleEditor scheduleEditorInput() const;
    void showItemLabels(const ItemLabels& labels);
    ScheduleItems& items();
    // Puts the event table, and with it the information memo, on the open event's row.
    void loadInformationMemo();
    std::unique_ptr<ScheduleItems> m_items;
};

} // namespace console
