// The console's count-downs: the phase count-down with Start, Stop and Reset, and the interval
// that can start the next race by itself. The work is the count-down engine's; the handlers
// here only call it, and the form shows what it says.

#include "app/uComm.h"
#include "components/CuteBtn.h"
#include "components/LED7Seg.h"
#include "console/BoardControl.h"
#include "console/ConsoleWidgets.h"
#include "console/CountdownEngine.h"
#include "console/ResultLookup.h"
#include "console/SignalOutputs.h"
#include "console/Utaikai.h"
#include "platform/Asker.h"
#include "platform/Clock.h"
#include "platform/DataSet.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimeEdit>

namespace console {

// The form as the count-down sees it: the pickers and switches it reads, the digits and
// read-outs it writes, the link's state that the form shares with the timing-server link, and
// the form's asker.
class CountdownFace final : public CountdownHost,
                            public CountdownControls,
                            public CountdownLink,
                            public platform::Asker {
public:
    explicit CountdownFace(TFtaikai& form)
        : m_form(form)
    {
    }

    // ---- Controls ----
    QString presetText(Preset preset) const override { return longTimeText(picker(preset)->time()); }
    bool boardOn() const override { return m_form.RGgaz->ItemIndex() == 0; }
    int offControl() const override { return m_form.RGcont->ItemIndex(); }
    QString boardPrefix() const override { return m_form.Edit11->text(); }
    qint64 blindTenths() const override { return TimeStrToTenths(longTimeText(m_form.DTP->time())); }
    bool blindSettingOn() const override { return BlindTimeTenths.trimmed().toLongLong() > 0; }
    // The picker's own shown/hidden state: it stays shown while another page is in front.
    bool automatic() const override { return !m_form.DTPauto->isHidden(); }
    qint64 triggerSlot(int slot) const override
    {
        return slot >= 0 && slot < SignalSlotCount ? m_form.SignalSlots[static_cast<size_t>(slot)] : 0;
    }
    int pulseMs() const override { return m_form.pulseMs(); }

    // ---- Link ----
    bool serverConnected() const override { return TimeServerConnected != 0; }
    bool BoardFromNetwork() const override { return ::BoardFromNetwork != 0; }
    void setBoardFromNetwork(bool fromNetwork) override { ::BoardFromNetwork = fromNetwork ? 1 : 0; }

    // ---- Asker ----
    // The form's asker is looked up at each question: the program's current one can be replaced
    // while the console is open.
    bool askYesNo(const QString& caption, const QString& text) override
    {
        return m_form.asker().askYesNo(caption, text);
    }
    void inform(const QString& caption, const QString& text) override
    {
        m_form.asker().inform(caption, text);
    }
    void error(const QString& text) override { m_form.asker().error(text); }

    // ---- Host ----
    void showDigits(Phase row, const std::array<int, 6>& values) override
    {
        const auto& segs = digitsOf(row);
        for (size_t i = 0; i < segs.size(); ++i)
            segs[i]->SetValue(values[i]);
    }
    void setRowColor(Phase row, platform::TColor color) override
    {
        for (components::TLED7Seg* seg : digitsOf(row))
            seg->setSegColor(color);
    }
    void showCut(const QString& text) override { m_form.Edit1->setText(text); }
    void showSignalRemaining(int signal, const QString& text) override
    {
        if (signal >= 0 && signal < 5)
            m_form.Lb[static_cast<size_t>(signal)]->setText(text);
    }
    void showTicks(qint32 endTick, qint32 tick, bool pastEnd) override
    {
        const QString text = QString::number(endTick) + QLatin1Char('/') + QString::number(tick);
        m_form.Edit6->setText(text);
        if (pastEnd)
            m_form.Edit7->setText(text);
    }
    void showBoardText(const QString& clockText) override { m_form.Edit8->setText(clockText); }
    void showIntervalText(const QString& text) override { m_form.Label31->setText(text); }
    void cueListChanged(const QStringList& list) override
    {
        m_form.Memo1->setPlainText(list.join(QLatin1Char('\n')));
    }
    void cueHeadRemoved() override
    {
        QTextCursor cursor(m_form.Memo1->document());
        cursor.movePosition(QTextCursor::Start);
        if (!cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor))
            cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    void showStatus(const QString& text) override { m_form.showStatus(text); }
    void resetConfirmed() override { m_form.clearStatus(); }
    void timersChanged() override { m_form.syncTimers(); }
    void reloadCues() override { m_form.setmp(); }
    void lookupResults() override
    {
        if (!m_form.CkBauto->isChecked() || !m_form.devices().dm)
            return;
        m_form.Edit8->show();
        try {
            const NextHeat next = lookupNextHeatResults(
                *m_form.devices().dm, CurrentEventCode, longTimeText(m_form.devices().clock->now().time()));
            m_form.Label30->setText(next.label);
        } catch (const platform::DatabaseError& e) {
            m_form.showStatus(QStringLiteral("結果を読み込めませんでした。") + e.message());
        }
    }

private:
    QTimeEdit* picker(Preset preset) const
    {
        switch (preset) {
        case Preset::Warm:
            return m_form.DTP1;
        case Preset::Race:
            return m_form.DTP2;
        case Preset::Over:
            return m_form.DTP3;
        case Preset::Blank:
            return m_form.DTP4;
        case Preset::Interval:
            return m_form.DTPauto;
        }
        return m_form.DTP1;
    }
    const std::array<components::TLED7Seg*, 6>& digitsOf(Phase row) const
    {
        return row == Phase::Warm ? m_form.SegWarm : row == Phase::Race ? m_form.SegRace : m_form.SegOver;
    }

    TFtaikai& m_form;
};

void TFtaikai::buildCountdown()
{
    SignalOutputs::View signalView;
    signalView.lamp = [this](int output, platform::TColor color) {
        Pnl[static_cast<size_t>(output)]->setColor(color);
        PLd[static_cast<size_t>(output)]->setColor(color);
    };
    signalView.repaint = [this] {
        Pnl[SignalOutputs::StartOutput]->repaint();
        PLd[SignalOutputs::StartOutput]->repaint();
    };
    signalView.status = [this](const QString& text) { showStatus(text); };
    m_signals
        = std::make_unique<SignalOutputs>(*m_dev.signalLines, *m_dev.sleeper, *m_dev.scheduler, signalView);

    BoardControl::View boardView;
    boardView.status = [this](const QString& text) { showStatus(text); };
    boardView.shownOff = [this] { RGgaz->setItemIndex(1); };
    m_boardControl = std::make_unique<BoardControl>(*m_dev.board, *m_dev.scheduler, *m_dev.clock, boardView);

    auto face = std::make_unique<CountdownFace>(*this);
    m_countdown = std::make_unique<CountdownEngine>(CountdownEngine::Parts {
        .clock = *m_dev.clock,
        .asker = *face,
        .monitor = *m_dev.monitor,
        .random = *m_dev.random,
        .controls = *face,
        .host = *face,
        .link = *face,
        .signalOutputs = *m_signals,
        .board = *m_boardControl,
    });
    m_countdownFace = std::move(face);
}

void TFtaikai::syncTimers()
{
    auto sync = [](QTimer& timer, bool on) {
        if (on && !timer.isActive())
            timer.start();
        else if (!on && timer.isActive())
            timer.stop();
    };
    sync(Tm1, m_countdown->tm1On());
    sync(tmr2, m_countdown->tmr2On());
    // The board clock runs whenever the console is open; a stop hands the board back to it.
    if (!m_closeDone && !Tms.isActive())
        Tms.start();
}

void TFtaikai::connectCountdownHandlers()
{
    buildCountdown();
    CuteButton1->OnClick = [this] { CuteButton1Click(); };
    CuteButton2->OnClick = [this] { CuteButton2Click(); };
    CuteButton5->OnClick = [this] { CuteButton5Click(); };
    connect(Button1, &QPushButton::clicked, this, &TFtaikai::Button1Click);
    CuteButton22->OnClick = [this] { CuteButton22Click(); };
}

void TFtaikai::Tm1Timer() { m_countdown->phaseTick(); }

void TFtaikai::tmr2Timer() { m_countdown->intervalTick(); }

void TFtaikai::CuteButton1Click() { m_countdown->start(); }

void TFtaikai::CuteButton2Click() { m_countdown->Stop(); }

void TFtaikai::CuteButton5Click() { m_countdown->Reset(); }

void TFtaikai::Button1Click() { m_countdown->hiddenReset(); }

void TFtaikai::CuteButton22Click() { m_countdown->intervalReset(); }

void TFtaikai::segclear() { m_countdown->segclear(); }

} // namespace console
