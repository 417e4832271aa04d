// The console's display board and signal outputs: the board switch, bit rate, clock line,
// brightness and test frames; the signal buttons, the sweep, the OFF control and the trigger
// pickers. The work is done by the board control and the signal outputs; the handlers read the
// controls and call them.

#include "app/uComm.h"
#include "components/CuteBtn.h"
#include "console/BoardControl.h"
#include "console/BoardLine.h"
#include "console/ConsoleWidgets.h"
#include "console/CountdownEngine.h"
#include "console/SignalOutputs.h"
#include "console/Utaikai.h"
#include "platform/Clock.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSlider>
#include <QTimeEdit>

namespace console {

void TFtaikai::connectBoardHandlers()
{
    RGgaz->OnClick = [this] { RGgazClick(); };
    RGbrate->OnClick = [this] { RGbrateClick(); };
    RGcont->OnClick = [this] { RGcontClick(); };
    for (int output = 0; output < 6; ++output) {
        CBrson[static_cast<size_t>(output)]->OnClick = [this, output] { CBrsonClick(output); };
        CBrsof[static_cast<size_t>(output)]->OnClick = [this, output] { CBrsofClick(output); };
    }
    CuteButton19->OnClick = [this] { CuteButton19Click(); };
    CuteButton26->OnClick = [this] { CuteButton26Click(); };
    const std::pair<components::TCuteButton*, BoardTestFrame> tests[] = {
        { CuteButton27, BoardTestFrame::AllNull },
        { CuteButton28, BoardTestFrame::All8 },
        { CuteButton29, BoardTestFrame::OneToZero },
        { CuteButton30, BoardTestFrame::AllOneToZero },
        { CuteButton31, BoardTestFrame::AToZ },
        { CuteButton11, BoardTestFrame::Hidden1 },
        { CuteButton12, BoardTestFrame::Hidden2 },
    };
    for (const auto& [button, frame] : tests)
        button->OnClick = [this, frame = frame] { m_boardControl->sendFrame(boardFrame(frame)); };
    connect(CkBwup, &QCheckBox::clicked, this, &TFtaikai::CkBwupClick);
    connect(CkBrace, &QCheckBox::clicked, this, &TFtaikai::CkBraceClick);
    connect(CkBover, &QCheckBox::clicked, this, &TFtaikai::CkBoverClick);
    for (int slot = 0; slot < SignalSlotCount; ++slot)
        connect(DTPsig[static_cast<size_t>(slot)], &QTimeEdit::editingFinished, this,
            [this, slot] { DTPsigExit(slot); });
}

void TFtaikai::TmsTimer()
{
    // The board shows the time of day while no count-down runs and the board is switched on,
    // unless the console stands paused in a phase whose option keeps the clock off the board.
    if (Tm1.isActive() || tmr2.isActive())
        return;
    if (m_countdown->clockLineHidden(HideClockPausedWarmUp == QLatin1String("1"),
            HideClockPausedRace == QLatin1String("1"), HideClockPausedOverTime == QLatin1String("1")))
        return;
    BoardLineInput line;
    line.kind = BoardLineKind::Clock;
    line.tenths = secondOfDay(*m_dev.clock) * 10;
    line.boardOn = RGgaz->ItemIndex() == 0;
    m_boardControl->send(line);
}

void TFtaikai::dpgaz(QChar letter, const QString& clockText) { m_countdown->dpgaz(letter, clockText); }

void TFtaikai::RGgazClick()
{
    if (RGgaz->ItemIndex() == 0)
        m_boardControl->switchOn();
    else
        m_boardControl->switchOff();
}

void TFtaikai::RGbrateClick()
{
    BoardBitRateIndex = RGbrate->ItemIndex();
    m_boardControl->setBitRateIndex(BoardBitRateIndex, RGgaz->ItemIndex() == 0);
}

void TFtaikai::RGcontClick()
{
    OffControlMode = RGcont->ItemIndex();
    QTimeEdit* on5 = DTPsig[SlotOn5];
    QTimeEdit* off5 = DTPsig[SlotOff5];
    if (OffControlMode == 1)
        on5->setTime(QTime(0, 0));
    else if (OffControlMode == 0 && off5->time() > on5->time())
        off5->setTime(on5->time());
    // The slots follow at once: a run started before either picker loses the focus uses them.
    DTPsigExit(SlotOn5);
    DTPsigExit(SlotOff5);
}

void TFtaikai::DTPsigExit(int slot)
{
    if (slot >= 0 && slot < SignalSlotCount)
        SignalSlots[static_cast<size_t>(slot)]
            = TimeStrToTenths(longTimeText(DTPsig[static_cast<size_t>(slot)]->time()));
}

int TFtaikai::pulseMs() const
{
    bool ok = false;
    const int ms = Edit3->text().trimmed().toInt(&ok);
    return ok && ms >= 0 ? ms : 100;
}

void TFtaikai::CBrsonClick(int output)
{
    if (output == SignalOutputs::StartOutput)
        m_signals->startPulse(pulseMs());
    else
        m_signals->on(output);
}

void TFtaikai::CBrsofClick(int output)
{
    if (output == SignalOutputs::StartOutput)
        m_signals->allOff();
    else
        m_signals->off(output);
}

void TFtaikai::CuteButton19Click()
{
    m_signals->sweep([this] { return m_countdown->countingDown(); });
}

void TFtaikai::CuteButton26Click() { m_boardControl->brightness(TBarbright->value()); }

void TFtaikai::CkBwupClick()
{
    HideClockPausedWarmUp = CkBwup->isChecked() ? QStringLiteral("0") : QStringLiteral("1");
}

void TFtaikai::CkBraceClick()
{
    HideClockPausedRace = CkBrace->isChecked() ? QStringLiteral("0") : QStringLiteral("1");
}

void TFtaikai::CkBoverClick()
{
    HideClockPausedOverTime = CkBover->isChecked() ? QStringLiteral("0") : QStringLiteral("1");
}

} // namespace console
