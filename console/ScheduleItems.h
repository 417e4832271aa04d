#pragma once

// The running and the next item of the open event's schedule, as the control page shows them:
// worked out when the page is shown and advanced by the clock ticker at the next item's start.

#include <QString>
#include <QTime>

class TDM1;

namespace console {

// The texts of the three item labels of the control page; a content stored with line breaks
// shows on one line, as on the monitor.
struct ItemLabels {
    QString current; // Label33: content of the running item
    QString next; // Label14: content of the next item
    QString nextTimes; // Label15: "9:40:00-10:00:00"
    bool operator==(const ItemLabels&) const = default;
};

class ScheduleItems {
public:
    ScheduleItems(TDM1& dm, QString eventCode);

    // The page show: the item running at `now` (one that has started and not ended) and the
    // item after it, or the first item when none runs yet.
    const ItemLabels& show(const QTime& now);
    // One tick of the clock. At the second the next item starts, it becomes the running item
    // and the one after it the next. A tick that finds that start already passed (the ticker
    // was held up for more than a second) works the items out afresh once, as the page show
    // does. After the schedule's end every tick empties the labels.
    const ItemLabels& Tick(const QTime& now, const QTime& scheduleEnd);

    const ItemLabels& labels() const { return m_labels; }
    // The start of the item shown as next; 0:00:00 until the page is first shown.
    QTime NextItemStart() const { return m_nextStart; }

private:
    void setNext(int start, int end, const QString& text, int now);

    TDM1& m_dm;
    QString m_code;
    ItemLabels m_labels;
    QTime m_nextStart { 0, 0 };
    // An item is shown as next and has not started: the ticker watches for its start.
    bool m_waiting = false;
};

} // namespace console
