// How the next run behaves: automatic or manual operation, the phase pickers feeding the presets,
// the blind time of the display board, and the switch that shows the event's information text on
// the external monitor.

#include "app/DBControls.h"
#include "app/Udm1.h"
#include "app/uComm.h"
#include "components/CuteBtn.h"
#include "console/MonitorFiles.h"
#include "console/Utaikai.h"
#include "platform/Asker.h"
#include "platform/DataSet.h"

#include <QLabel>
#include <QTimeEdit>

namespace console {

void TFtaikai::connectModeHandlers()
{
    CTBa->OnClick = [this] { CTBaClick(); };
    CTBm->OnClick = [this] { CTBmClick(); };
    connect(DTP1, &QTimeEdit::timeChanged, this, &TFtaikai::DTP1Change);
    connect(DTP2, &QTimeEdit::timeChanged, this, &TFtaikai::DTP2Change);
    connect(DTP3, &QTimeEdit::timeChanged, this, &TFtaikai::DTP3Change);
    connect(DTP4, &QTimeEdit::timeChanged, this, &TFtaikai::DTP4Change);
    connect(DTPauto, &QTimeEdit::timeChanged, this, &TFtaikai::DTPautoChange);
    connect(DTP, &QTimeEdit::editingFinished, this, &TFtaikai::DTPExit);
    CuteButton14->OnClick = [this] { CuteButton14Click(); };
}

// ---- Operating mode ---------------------------------------------------------------------------

// Automatic operation is the interval picker being shown; the count-down asks nothing else. A
// change takes effect at the end of the running over-time or interval.
void TFtaikai::showOperatingMode(bool automatic)
{
    Label31->setText(QStringLiteral("00:00:00"));
    for (QWidget* w : { static_cast<QWidget*>(Label31), static_cast<QWidget*>(CuteButton22),
             static_cast<QWidget*>(DTPauto) })
        w->setVisible(automatic);
    components::TCuteButton* active = automatic ? CTBa : CTBm;
    components::TCuteButton* other = automatic ? CTBm : CTBa;
    active->setColor(platform::clYellow);
    active->setFontColor(platform::clBlue);
    other->setColor(platform::clBlack);
    other->setFontColor(platform::clWhite);
}

void TFtaikai::changeOperatingMode(bool automatic)
{
    // The mode already on asks nothing.
    if ((automatic ? CTBa : CTBm)->Color() == platform::clYellow)
        return;
    const QString question = automatic ? QStringLiteral("オート運用モードに変更してよろしいですか？")
                                       : QStringLiteral("マニュアル運用モードに変更してよろしいですか？");
    if (asker().askYesNo(QStringLiteral("確認してください。"), question))
        showOperatingMode(automatic);
}

void TFtaikai::CTBaClick() { changeOperatingMode(true); }

void TFtaikai::CTBmClick() { changeOperatingMode(false); }

// ---- Presets ----------------------------------------------------------------------------------

void TFtaikai::DTP1Change() { WarmUpTimePreset = longTimeText(DTP1->time()); }

void TFtaikai::DTP2Change() { RaceTimePreset = longTimeText(DTP2->time()); }

void TFtaikai::DTP3Change() { OverTimePreset = longTimeText(DTP3->time()); }

void TFtaikai::DTP4Change() { BlankTimePreset = longTimeText(DTP4->time()); }

void TFtaikai::DTPautoChange() { AutoIntervalPreset = longTimeText(DTPauto->time()); }

void TFtaikai::DTPExit()
{
    BlindTimeTenths = QString::number(TimeStrToTenths(longTimeText(DTP->time()) + QStringLiteral(".0")));
}

// ---- Information display ----------------------------------------------------------------------

void TFtaikai::CuteButton14Click()
{
    if (!m_dev.dm)
        return;
    try {
        // The text typed into the memo is in the table before the monitor is told to show it.
        platform::Table& event = *dm().Tbtaikai;
        if (event.Active())
            event.Refresh();
        platform::Query& q = *dm().Qedit;
        // Every event row carries the flag: the monitor reads it from whichever row it shows.
        if (!Lbdp->isHidden()) {
            q.SQL.clear();
            q.SQL << QStringLiteral("update taikai set status=1");
            q.ExecSQL();
            Lbdp->hide();
        } else if (!DBMemo1->toPlainText().isEmpty()) {
            q.SQL.clear();
            q.SQL << QStringLiteral("update taikai set status=0");
            q.ExecSQL();
            Lbdp->show();
        }
    } catch (const platform::DatabaseError& e) {
        asker().error(e.message());
        return;
    }
    if (!m_dev.monitor->writeMemo(DBMemo1->toPlainText(), !Lbdp->isHidden()))
        asker().error(QStringLiteral("外部モニタのファイル（") + RInfomemFileName
            + QStringLiteral("）に書き込めませんでした。"));
}

} // namespace console
