// The console's grids: the cue lists of the sound page and the schedule of the race information page.

#include "app/Udm1.h"
#include "app/uComm.h"
#include "components/CuteBtn.h"
#include "console/ScheduleSql.h"
#include "console/Utaikai.h"
#include "platform/DataSet.h"

#include <QComboBox>
#include <QMenu>
#include <QTimeEdit>

namespace console {
namespace {

void fillDistinct(platform::Query& q, const QString& column, QComboBox* box)
{
    schedule_sql::Open(q, { QStringLiteral("select distinct(%1) from rmenu").arg(column) });
    box->clear();
    for (q.First(); !q.Eof(); q.Next()) {
        const QString value = q.Fields(0)->AsString();
        if (!value.isEmpty())
            box->addItem(value);
    }
    q.Close();
    box->setCurrentIndex(box->count() > 0 ? 0 : -1);
}

} // namespace

void TFtaikai::resetdbg()
{
    for (CuePhase phase : AllCuePhases)
        reopenCueGrid(phase);
}

void TFtaikai::checkctb()
{
    if (!m_dev.dm)
        return;
    platform::Query& q = *dm().Qrmenu;
    schedule_sql::Open(q, { schedule_sql::eventRows(CurrentEventCode), QStringLiteral("order by btime") });
    const int rows = q.RecordCount();
    DTPb->setEnabled(rows == 0);
    if (rows == 0)
        CTBedi->hide();
    CTBins->setVisible(rows > 1);
    CTBdel->setVisible(rows > 1);
    if (ScheduleAdded == 0) {
        q.Close();
        q.Open();
    } else {
        q.Last();
    }
}

void TFtaikai::setcbx()
{
    if (!m_dev.dm)
        return;
    fillDistinct(*dm().Qtemp, QStringLiteral("roundtl"), CBxround);
    fillDistinct(*dm().Qtemp, QStringLiteral("heattl"), CBxheat);
}

} // namespace console
