// The console's race information schedule: its rows, editor commands, rounds and heats, the
// current and next item, and the standard templates. The handlers read the page's controls and
// call the plain classes (Schedule, ScheduleItems, ScheduleTemplates); every command that
// changed the schedule is followed by the same refresh of grid, monitor file and schedule end.

#include "app/DBControls.h"
#include "app/Udm1.h"
#include "app/uComm.h"
#include "components/CuteBtn.h"
#include "console/ConsoleWidgets.h"
#include "console/ScheduleSql.h"
#include "console/ScheduleTemplates.h"
#include "console/Utaikai.h"
#include "platform/Asker.h"
#include "platform/Clock.h"
#include "platform/DataSet.h"
#include "platform/TypedText.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTimeEdit>
#include <algorithm>
#include <initializer_list>
#include <utility>

namespace console {
namespace {

const QString kItemsUnread = QStringLiteral("予定を読み込めませんでした: ");

QTime timeOfSeconds(int seconds) { return QTime::fromMSecsSinceStartOfDay((seconds % SecondsPerDay) * 1000); }

// The editor's texts, by the labels the page shows them with, refused before a command writes.
bool acceptEditorTexts(platform::Asker& asker, std::initializer_list<std::pair<QString, QString>> fields)
{
    return std::all_of(fields.begin(), fields.end(),
        [&](const auto& field) { return platform::acceptTypedText(asker, field.first, field.second); });
}

} // namespace

void TFtaikai::connectScheduleHandlers()
{
    CTBadd->OnClick = [this] { CTBaddClick(); };
    CTBins->OnClick = [this] { CTBinsClick(); };
    CTBedi->OnClick = [this] { CTBediClick(); };
    CTBdel->OnClick = [this] { CTBdelClick(); };
    CuteButton17->OnClick = [this] { CuteButton17Click(); };
    CuteButton18->OnClick = [this] { CuteButton18Click(); };
    CuteButton20->OnClick = [this] { CuteButton20Click(); };
    CuteButton21->OnClick = [this] { CuteButton21Click(); };
    connect(edt, &QAction::triggered, this, &TFtaikai::edtClick);
    connect(N3, &QAction::triggered, this, &TFtaikai::N3Click);
    connect(N4, &QAction::triggered, this, &TFtaikai::N4Click);
    connect(N5, &QAction::triggered, this, &TFtaikai::N5Click);
    connect(N6, &QAction::triggered, this, &TFtaikai::N6Click);
    // Ticked or unticked, by the operator or by a completed round add.
    connect(CkBround, &QCheckBox::toggled, this, &TFtaikai::CkBroundClick);

    connect(DBGrid4, &QAbstractItemView::clicked, this, &TFtaikai::DBGrid4CellClick);
    new EventHook(DBGrid4, QEvent::KeyRelease, [this] { DBGrid4KeyUp(); });
    DBGrid4->OnDblClick = [this] { DBGrid4DblClick(); };
    connect(DBGrid4, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        // A right click on another row selects that row first, as a left click would.
        const QModelIndex at = DBGrid4->indexAt(pos);
        if (at.isValid() && at.row() != DBGrid4->currentIndex().row()) {
            DBGrid4->selectRow(at.row());
            DBGrid4CellClick();
        }
        PopupMenu7Popup();
        PopupMenu7->popup(DBGrid4->viewport()->mapToGlobal(pos));
    });
}

// ---- Refresh and shared steps -----------------------------------------------------------------

void TFtaikai::guardSchedule(const std::function<void()>& step)
{
    if (!m_dev.dm)
        return;
    try {
        step();
    } catch (const platform::DatabaseError& e) {
        asker().error(e.message());
    }
}

void TFtaikai::runScheduleCommand(const std::function<ScheduleOutcome(Schedule&)>& command)
{
    guardSchedule([&] {
        Schedule schedule(dm(), CurrentEventCode, m_dev.asker);
        const ScheduleOutcome outcome = command(schedule);
        if (!outcome.shownSql.isEmpty())
            Edit4->setText(outcome.shownSql);
        if (outcome.done)
            refreshSchedule(outcome);
    });
}

void TFtaikai::refreshSchedule(const ScheduleOutcome& outcome)
{
    checkctb();
    Writeinfo();
    getendtime();
    CTBedi->hide();
    platform::Query& q = *dm().Qrmenu;
    switch (outcome.place) {
    case ScheduleOutcome::Place::Leave:
        break;
    case ScheduleOutcome::Place::Last:
        q.Last();
        break;
    case ScheduleOutcome::Place::Row:
        q.Locate(QStringLiteral("uc"), outcome.uc);
        break;
    }
}

std::optional<int> TFtaikai::selectedScheduleRow() const
{
    const platform::Query& q = *dm().Qrmenu;
    if (!q.Active() || q.RecordCount() == 0 || q.RecNo() < 1)
        return std::nullopt;
    return readScheduleRow(*dm().Qrmenu).uc;
}

ScheduleEditor TFtaikai::scheduleEditorInput() const { return { DTPb->time(), DTPe->time(), Edit2->text() }; }

void TFtaikai::getendtime()
{
    ScheduleEndTime = Schedule(dm(), CurrentEventCode, m_dev.asker).latestEnd();
    ScheduleEndText = longTimeText(ScheduleEndTime);
}

// ---- Editor commands --------------------------------------------------------------------------

void TFtaikai::CTBaddClick()
{
    // A round takes its titles; the first row of a schedule is a plain row, in round mode too.
    const bool round = CkBround->isChecked();
    const bool plain = !round || (m_dev.dm && dm().Qrmenu->RecordCount() == 0);
    if ((plain && !acceptEditorTexts(asker(), { { QStringLiteral("内容"), Edit2->text() } }))
        || (round && !plain
            && !acceptEditorTexts(asker(),
                { { QStringLiteral("ラウンドの表記"), CBxround->currentText() },
                    { QStringLiteral("ヒートの表記"), CBxheat->currentText() } })))
        return;
    runScheduleCommand([this](Schedule& schedule) {
        const bool wasEmpty = dm().Qrmenu->RecordCount() == 0;
        std::optional<RoundEditor> round;
        if (CkBround->isChecked())
            round = RoundEditor { SEdround->value(), CBxround->currentText(), SEdheat->value(),
                CBxheat->currentText() };
        const ScheduleOutcome outcome = schedule.Add(scheduleEditorInput(), selectedScheduleRow(), round);
        if (outcome.done) {
            ScheduleAdded = 1;
            // The first row of a schedule is a plain row, even in round mode.
            if (round && !wasEmpty) {
                CkBround->setChecked(false);
                setcbx();
            }
        }
        return outcome;
    });
}

void TFtaikai::CTBinsClick()
{
    if (!acceptEditorTexts(asker(), { { QStringLiteral("内容"), Edit2->text() } }))
        return;
    runScheduleCommand(
        [this](Schedule& s) { return s.insert(scheduleEditorInput(), selectedScheduleRow()); });
}

void TFtaikai::CTBediClick()
{
    if (!acceptEditorTexts(asker(), { { QStringLiteral("内容"), Edit2->text() } }))
        return;
    runScheduleCommand(
        [this](Schedule& s) { return s.change(scheduleEditorInput(), selectedScheduleRow()); });
}

void TFtaikai::CTBdelClick()
{
    runScheduleCommand([this](Schedule& s) { return s.remove(selectedScheduleRow()); });
}

void TFtaikai::edtClick() { CTBedi->show(); }

void TFtaikai::CkBroundClick()
{
    const bool round = CkBround->isChecked();
    Panel13->setVisible(round);
    Panel16->setVisible(!round);
    Edit2->setVisible(!round);
}

// ---- Rounds and heats -------------------------------------------------------------------------

void TFtaikai::PopupMenu7Popup()
{
    // The round items are offered only on a heat; on an empty grid there is no row to act on.
    bool round = false;
    guardSchedule([&] {
        if (selectedScheduleRow())
            round = readScheduleRow(*dm().Qrmenu).isRound();
    });
    for (QAction* item : { N7, N3, N4, N5, N6 })
        item->setVisible(round);
}

void TFtaikai::N3Click()
{
    runScheduleCommand([this](Schedule& s) { return s.heatOrder(selectedScheduleRow()); });
}

void TFtaikai::N4Click()
{
    runScheduleCommand([this](Schedule& s) { return s.deleteRound(selectedScheduleRow()); });
}

void TFtaikai::N5Click()
{
    runScheduleCommand([this](Schedule& s) { return s.addHeat(selectedScheduleRow()); });
}

void TFtaikai::N6Click()
{
    runScheduleCommand([this](Schedule& s) { return s.deleteHeat(selectedScheduleRow()); });
}

// ---- Grid -------------------------------------------------------------------------------------

void TFtaikai::DBGrid4CellClick()
{
    guardSchedule([this] {
        platform::Query& q = *dm().Qrmenu;
        if (!q.Active() || q.RecordCount() == 0)
            return;
        const ScheduleRow row = readScheduleRow(q);
        // The start can be set only for the first row: it is the start of the whole schedule.
        DTPb->setEnabled(q.RecNo() == 1);
        Edit2->setText(row.rmenu);
        DTPb->setTime(timeOfSeconds(row.btime));
        DTPe->setTime(timeOfSeconds(row.duration()));
    });
}

void TFtaikai::DBGrid4KeyUp() { DBGrid4CellClick(); }

void TFtaikai::DBGrid4DblClick() { Edit4->show(); }

void TFtaikai::TabSheet4Show()
{
    guardSchedule([this] {
        platform::Query& q = *dm().Qrmenu;
        q.Open();
        Edit4->setText(q.SQL.join(QLatin1Char(' ')));
        loadInformationMemo();
        DTPb->setEnabled(q.RecordCount() == 0);
    });
}

void TFtaikai::loadInformationMemo()
{
    // The memo shows whatever row the event table stands on: put it on the open event.
    platform::Table& event = *dm().Tbtaikai;
    event.Open();
    if (event.Locate(QStringLiteral("tcode"), CurrentEventCode))
        return;
    // No row of another event is shown or edited instead.
    DBMemo1->post();
    event.Close();
}

// ---- Standard templates -----------------------------------------------------------------------

void TFtaikai::CuteButton17Click()
{
    guardSchedule([this] { ScheduleTemplates(dm(), CurrentEventCode, m_dev.asker).saveSchedule(); });
}

void TFtaikai::CuteButton18Click()
{
    guardSchedule([this] {
        if (!ScheduleTemplates(dm(), CurrentEventCode, m_dev.asker).loadSchedule())
            return;
        checkctb();
        Writeinfo();
        getendtime();
        CTBedi->hide();
        showItemLabels(items().show(m_dev.clock->now().time()));
    });
}

void TFtaikai::CuteButton20Click()
{
    guardSchedule([this] {
        if (ScheduleTemplates(dm(), CurrentEventCode, m_dev.asker).loadCues())
            resetdbg();
    });
}

void TFtaikai::CuteButton21Click()
{
    guardSchedule([this] { ScheduleTemplates(dm(), CurrentEventCode, m_dev.asker).saveCues(); });
}

// ---- Current and next item --------------------------------------------------------------------

ScheduleItems& TFtaikai::items()
{
    if (!m_items)
        m_items = std::make_unique<ScheduleItems>(dm(), CurrentEventCode);
    return *m_items;
}

QTime TFtaikai::NextItemStart() const { return m_items ? m_items->NextItemStart() : QTime(0, 0); }

void TFtaikai::showItemLabels(const ItemLabels& labels)
{
    Label33->setText(labels.current);
    Label14->setText(labels.next);
    Label15->setText(labels.nextTimes);
}

void TFtaikai::TabSheet1Show()
{
    Tmr3.start();
    if (RGgaz->ItemIndex() == 0)
        Tms.start();
    if (!m_dev.dm)
        return;
    // The control page is where the races are run: a schedule that cannot be read is said in the
    // status line, never in a box.
    try {
        showItemLabels(items().show(m_dev.clock->now().time()));
        schedule_sql::Open(*dm().Qdtime, { QStringLiteral("select * from dtime") }, true);
    } catch (const platform::DatabaseError& e) {
        showStatus(kItemsUnread + e.message());
    }
}

void TFtaikai::Tmr3Timer()
{
    const QTime now = m_dev.clock->now().time();
    Label11->setText(longTimeText(now));
    if (!m_dev.dm)
        return;
    // The next tick tries again.
    try {
        showItemLabels(items().Tick(now, ScheduleEndTime));
    } catch (const platform::DatabaseError& e) {
        showStatus(kItemsUnread + e.message());
    }
}

} // namespace console
