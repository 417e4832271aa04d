#include "console/ScheduleItems.h"

#include "app/Udm1.h"
#include "console/Schedule.h"
#include "console/ScheduleSql.h"
#include "platform/ClockText.h"
#include "platform/DataSet.h"
#include "platform/TypedText.h"

namespace console {

using namespace schedule_sql;
using platform::longTimeTextOfSeconds;

ScheduleItems::ScheduleItems(TDM1& dm, QString eventCode)
    : m_dm(dm)
    , m_code(std::move(eventCode))
{
}

void ScheduleItems::setNext(int start, int end, const QString& text, int now)
{
    m_nextStart = QTime::fromMSecsSinceStartOfDay(start * 1000);
    m_labels.next = platform::oneLineText(text);
    m_labels.nextTimes = longTimeTextOfSeconds(start) + QLatin1Char('-') + longTimeTextOfSeconds(end);
    // A next item that should have started already (rows that overlap) is not watched: the
    // ticker would otherwise work the items out afresh at every tick.
    m_waiting = start >= now;
}

const ItemLabels& ScheduleItems::show(const QTime& now)
{
    const int second = seconds(now);
    platform::Query& q = *m_dm.Qnext;
    Open(q,
        { eventRows(m_code),
            QStringLiteral("and etime>='") + longTimeTextOfSeconds(second) + QLatin1Char('\''),
            QStringLiteral("order by btime") });
    m_labels = {};
    m_waiting = false;
    q.First();
    if (q.Eof())
        return m_labels;
    ScheduleRow row = readScheduleRow(q);
    if (now.msecsSinceStartOfDay() > row.btime * 1000) {
        m_labels.current = platform::oneLineText(row.rmenu);
        q.Next();
        if (q.Eof())
            return m_labels;
        row = readScheduleRow(q);
    }
    setNext(row.btime, row.etime, row.rmenu, second);
    return m_labels;
}

const ItemLabels& ScheduleItems::Tick(const QTime& now, const QTime& scheduleEnd)
{
    const int second = seconds(now);
    const int start = seconds(m_nextStart);
    if (m_waiting && second == start) {
        platform::Query& q = *m_dm.Qnext;
        Open(q,
            { eventRows(m_code),
                QStringLiteral("and btime>='") + longTimeTextOfSeconds(second) + QLatin1Char('\''),
                QStringLiteral("order by btime") });
        q.First();
        if (!q.Eof() && readScheduleRow(q).btime == second) {
            m_labels.current = platform::oneLineText(readScheduleRow(q).rmenu);
            q.Next();
            if (q.Eof()) {
                m_labels.next.clear();
                m_labels.nextTimes.clear();
                m_waiting = false;
            } else {
                const ScheduleRow next = readScheduleRow(q);
                setNext(next.btime, next.etime, next.rmenu, second);
            }
        } else {
            // The item has gone from the schedule: never show one that has not started.
            show(now);
        }
    } else if (m_waiting && second > start) {
        show(now);
    }
    if (second > seconds(scheduleEnd))
        m_labels = {};
    return m_labels;
}

} // namespace console
