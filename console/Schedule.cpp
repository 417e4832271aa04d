#include "console/Schedule.h"

#include "app/Udm1.h"
#include "app/uComm.h"
#include "console/ScheduleSql.h"
#include "platform/Asker.h"
#include "platform/ClockText.h"
#include "platform/DataSet.h"

#include <algorithm>
#include <functional>

namespace console {

using namespace schedule_sql;
using platform::longTimeTextOfSeconds;

namespace {

void refuseIfPastMidnight(qint64 end)
{
    if (end >= SecondsPerDay)
        throw ScheduleRefusal { schedule_text::PastMidnight };
}

ScheduleOutcome placed(ScheduleOutcome::Place place, int uc = 0) { return { true, place, uc, {} }; }

// A row to insert. Heats carry their round and heat numbers and titles; plain rows are round
// and heat "0" without titles.
struct NewRow {
    int rr = 1;
    int start = 0;
    int end = 0;
    QString text;
    int uc = 0;
    QString round = QStringLiteral("0");
    QString heat = QStringLiteral("0");
    bool titled = false;
    QString roundtl {};
    QString heattl {};
};

NewRow plainRow(int start, int end, const QString& text, int uc)
{
    return { .start = start, .end = end, .text = text, .uc = uc };
}

void insertRow(platform::Query& q, const QString& code, const NewRow& row)
{
    exec(q,
        { QStringLiteral("insert into rmenu (tcode,rr,btime,etime,kara,rmenu,round,heat,uc")
                + (row.titled ? QStringLiteral(",roundtl,heattl)values(") : QStringLiteral(")values(")),
            quoted(code) + QLatin1Char(',') + QString::number(row.rr) + QLatin1Char(',')
                + quoted(longTimeTextOfSeconds(row.start)) + QLatin1Char(','),
            quoted(longTimeTextOfSeconds(row.end)) + QStringLiteral(",'-',") + quoted(row.text)
                + QLatin1Char(','),
            quoted(row.round) + QLatin1Char(',') + quoted(row.heat) + QLatin1Char(',')
                + quoted(QString::number(row.uc)),
            row.titled ? QLatin1Char(',') + quoted(row.roundtl) + QLatin1Char(',') + quoted(row.heattl)
                    + QLatin1Char(')')
                       : QStringLiteral(")") });
}

// "and round='R' and roundtl='T'": the heats of one round.
QString roundFilter(const ScheduleRow& heat)
{
    return QStringLiteral("and round=") + quoted(heat.round) + QStringLiteral(" and roundtl=")
        + quoted(heat.roundtl);
}

QString ucFilter(int uc) { return QStringLiteral(" and uc=") + quoted(QString::number(uc)); }

// The heats of a round are numbered 1, 2, ... 10, 11: they compare and sort as numbers.
const QString HeatNumber = QStringLiteral("cast(heat as integer)");

std::optional<size_t> indexOf(const std::vector<ScheduleRow>& rows, std::optional<int> uc)
{
    if (!uc)
        return std::nullopt;
    const auto it = std::find_if(rows.begin(), rows.end(), [&](const ScheduleRow& r) { return r.uc == *uc; });
    return it == rows.end() ? std::nullopt : std::optional(size_t(it - rows.begin()));
}

bool sameRound(const ScheduleRow& a, const ScheduleRow& b)
{
    return a.round == b.round && a.roundtl == b.roundtl;
}

// Every row of an open query; the query is closed after.
std::vector<ScheduleRow> readAll(platform::Query& q)
{
    std::vector<ScheduleRow> rows;
    for (q.First(); !q.Eof(); q.Next())
        rows.push_back(readScheduleRow(q));
    q.Close();
    return rows;
}

// Live edits of the scratch query end with a closed, read-only query however the command ends.
struct LiveEdits {
    platform::Query& q;
    ~LiveEdits()
    {
        q.Close();
        q.RequestLive = false;
    }
};

} // namespace

bool ScheduleRow::isRound() const { return !round.isEmpty() && round != QLatin1String("0"); }

int ScheduleRow::duration() const
{
    const int d = etime - btime;
    return d >= 0 ? d : d + SecondsPerDay;
}

QString heatText(const QString& title, const QString& round, const QString& heatWord, int heat)
{
    const bool numbered = !round.isEmpty() && round != QLatin1String("0");
    const QString name = numbered ? title + QLatin1Char(' ') + round : title;
    return name + QLatin1Char(' ') + heatWord + QLatin1Char(' ') + QString::number(heat);
}

QString schedule_text::deleteRound(const QString& round)
{
    return QStringLiteral("選択したラウンド ") + round + QStringLiteral(" を削除してよろしいですか？");
}

ScheduleRow readScheduleRow(platform::Query& q)
{
    auto text = [&q](const char* name) {
        platform::Field* f = q.FindField(QLatin1String(name));
        return f ? f->AsString() : QString();
    };
    ScheduleRow row;
    row.uc = text("uc").toInt();
    row.btime = seconds(q.FieldByName(QStringLiteral("btime"))->AsTime());
    row.etime = seconds(q.FieldByName(QStringLiteral("etime"))->AsTime());
    row.rmenu = text("rmenu");
    row.round = text("round");
    row.heat = text("heat");
    row.roundtl = text("roundtl");
    row.heattl = text("heattl");
    return row;
}

Schedule::Schedule(TDM1& dm, QString eventCode, platform::Asker* asker)
    : m_dm(dm)
    , m_code(std::move(eventCode))
    , m_asker(asker)
{
}

platform::Asker& Schedule::ask() const { return m_asker ? *m_asker : platform::currentAsker(); }

bool Schedule::zeroRefused(int duration) const
{
    // A row of no length would share its start with the next row, which the first-row test of a
    // change and the search for a row by its start cannot tell apart.
    if (duration != 0)
        return false;
    ask().inform(QString(), schedule_text::ZeroDuration);
    return true;
}

template <class Body> ScheduleOutcome Schedule::run(Body&& body)
{
    try {
        platform::Transaction tx(*m_dm.Database1);
        ScheduleOutcome out = body();
        if (out.done)
            tx.Commit();
        return out;
    } catch (const ScheduleRefusal& refusal) {
        // The transaction is gone by now: no lock is held while the box is open.
        ask().inform(QString(), refusal.message);
        return {};
    }
}

std::vector<ScheduleRow> Schedule::rows()
{
    platform::Query& q = *m_dm.Qtemp;
    Open(q, { eventRows(m_code), QStringLiteral("order by btime") });
    return readAll(q);
}

std::vector<ScheduleRow> Schedule::heats(const ScheduleRow& heat, const QString& order)
{
    platform::Query& q = *m_dm.Qtemp;
    Open(q, { eventRows(m_code), roundFilter(heat), QStringLiteral("order by ") + order });
    return readAll(q);
}

std::optional<ScheduleRow> Schedule::row(int uc)
{
    platform::Query& q = *m_dm.Qtemp;
    Open(q, { eventRows(m_code), ucFilter(uc) });
    std::optional<ScheduleRow> row;
    if (!q.Eof())
        row = readScheduleRow(q);
    q.Close();
    return row;
}

std::optional<ScheduleRow> Schedule::askOnHeat(
    std::optional<int> selected, const std::function<QString(const ScheduleRow&)>& question)
{
    if (!selected)
        return std::nullopt;
    std::optional<ScheduleRow> row = this->row(*selected);
    if (!row || !row->isRound() || !ask().askYesNo(schedule_text::Confirm, question(*row)))
        return std::nullopt;
    return row;
}

template <class Body> ScheduleOutcome Schedule::runOnRow(std::optional<int> selected, Body&& body)
{
    return run([&] {
        const std::vector<ScheduleRow> rows = this->rows();
        const std::optional<size_t> at = indexOf(rows, selected);
        return at ? body(rows, *at) : ScheduleOutcome {};
    });
}

template <class Body>
ScheduleOutcome Schedule::runOnRound(std::optional<int> selected,
    const std::function<QString(const ScheduleRow&)>& question, const QString& order, Body&& body)
{
    const std::optional<ScheduleRow> heat = askOnHeat(selected, question);
    if (!heat)
        return {};
    return run([&] {
        const std::vector<ScheduleRow> roundHeats = heats(*heat, order);
        return roundHeats.empty() ? ScheduleOutcome {} : body(*heat, roundHeats);
    });
}

int Schedule::newUc()
{
    platform::Query& q = *m_dm.Qtemp;
    Open(q, { QStringLiteral("select max(uc) as vmax from rmenu ") + eventWhere(m_code) });
    const int highest = q.FieldByName(QStringLiteral("vmax"))->AsString().toInt();
    q.Close();
    return highest + 1;
}

QTime Schedule::latestEnd()
{
    platform::Query& q = *m_dm.Qtemp;
    Open(q, { eventRows(m_code), QStringLiteral("order by etime desc") });
    const QTime end = q.Eof() ? QTime(0, 0) : q.FieldByName(QStringLiteral("etime"))->AsTime();
    q.Close();
    return end;
}

QString Schedule::RechainSchedule(const QString& order, const QString& startText)
{
    platform::Query& q = *m_dm.Qtemp;
    Open(q,
        { eventRows(m_code),
            startText.isEmpty() ? QString(QStringLiteral("order by ") + order)
                                : QString(QStringLiteral("and btime>=") + quoted(startText)
                                    + QStringLiteral(" order by ") + order) });
    const QString select = q.SQL.join(QLatin1Char(' '));

    // Every new time is known and checked before the first row is written.
    struct Laid {
        int uc, start, end;
    };
    std::vector<Laid> laid;
    for (q.First(); !q.Eof(); q.Next()) {
        const ScheduleRow row = readScheduleRow(q);
        const int start = laid.empty() ? row.btime : laid.back().end;
        refuseIfPastMidnight(start + row.duration());
        laid.push_back({ row.uc, start, start + row.duration() });
    }
    q.Close();
    if (laid.empty())
        return select;
    for (const Laid& row : laid)
        exec(*m_dm.Qedit,
            { QStringLiteral("update rmenu set btime=") + quoted(longTimeTextOfSeconds(row.start)),
                QStringLiteral(",etime=") + quoted(longTimeTextOfSeconds(row.end))
                    + QStringLiteral(",rr='-1'"),
                eventWhere(m_code) + ucFilter(row.uc) });
    exec(q, { QStringLiteral("update rmenu set rr=1 ") + eventWhere(m_code) });
    return select;
}

QString Schedule::resettime(const QString& startText)
{
    return RechainSchedule(QStringLiteral("rr,btime"), startText);
}

ScheduleOutcome Schedule::Add(
    const ScheduleEditor& editor, std::optional<int> selected, const std::optional<RoundEditor>& round)
{
    const int duration = seconds(editor.duration);
    if (zeroRefused(duration))
        return {};
    return run([&] {
        const int uc = newUc();
        const std::vector<ScheduleRow> rows = this->rows();
        if (rows.empty()) {
            // The first row starts the schedule, in round mode too.
            const int start = seconds(editor.start);
            refuseIfPastMidnight(start + duration);
            insertRow(*m_dm.Qtemp, m_code, plainRow(start, start + duration, editor.text, uc));
            return placed(ScheduleOutcome::Place::Last);
        }
        if (round) {
            const std::optional<size_t> at = indexOf(rows, selected);
            return addRound(*round, duration, rows[at.value_or(rows.size() - 1)], uc);
        }
        const int start = rows.back().end();
        refuseIfPastMidnight(start + duration);
        insertRow(*m_dm.Qtemp, m_code, plainRow(start, start + duration, editor.text, uc));
        return placed(ScheduleOutcome::Place::Last);
    });
}

ScheduleOutcome Schedule::addRound(const RoundEditor& round, int duration, const ScheduleRow& after, int uc)
{
    platform::Query& q2 = *m_dm.Qtemp2;
    const QString number = QString::number(round.round);
    ScheduleRow newRound;
    newRound.round = number;
    newRound.roundtl = round.title;
    Open(q2, { eventRows(m_code), roundFilter(newRound) });
    const bool taken = !q2.Eof();
    q2.Close();
    if (taken)
        throw ScheduleRefusal { schedule_text::DuplicateRound };

    // After the selected plain row, or after the last heat of the selected round.
    int start = after.end();
    if (after.isRound()) {
        Open(q2, { eventRows(m_code), roundFilter(after), QStringLiteral("order by btime desc") });
        if (!q2.Eof())
            start = readScheduleRow(q2).end();
        q2.Close();
    }
    const int heats = std::max(0, round.heats);
    refuseIfPastMidnight(start + qint64(heats) * duration);
    for (int i = 1; i <= heats; ++i) {
        const int heatStart = start + (i - 1) * duration;
        insertRow(*m_dm.Qtemp, m_code,
            { .rr = -1,
                .start = heatStart,
                .end = heatStart + duration,
                .text = heatText(round.title, number, round.heatWord, i),
                .uc = uc + i - 1,
                .round = number,
                .heat = QString::number(i),
                .titled = true,
                .roundtl = round.title,
                .heattl = round.heatWord });
    }
    // The new heats (marked to go in front) keep their times; the rows that followed the
    // round's start move back behind them.
    ScheduleOutcome out = placed(ScheduleOutcome::Place::Last);
    out.shownSql = resettime(longTimeTextOfSeconds(start));
    return out;
}

ScheduleOutcome Schedule::insert(const ScheduleEditor& editor, std::optional<int> selected)
{
    const int duration = seconds(editor.duration);
    if (zeroRefused(duration))
        return {};
    return runOnRow(selected, [&](const std::vector<ScheduleRow>& rows, size_t at) {
        const ScheduleRow& row = rows[at];
        if (row.isRound() && at + 1 < rows.size() && sameRound(rows[at + 1], row))
            throw ScheduleRefusal { schedule_text::InsertInRound };
        const int uc = newUc();
        const int start = row.end();
        refuseIfPastMidnight(start + duration);
        exec(*m_dm.Qtemp,
            { QStringLiteral("update rmenu set rr=2 ") + eventWhere(m_code),
                QStringLiteral("and btime>=") + quoted(longTimeTextOfSeconds(start)) });
        insertRow(*m_dm.Qtemp, m_code, plainRow(start, start + duration, editor.text, uc));
        RechainSchedule(QStringLiteral("rr,btime"));
        return placed(ScheduleOutcome::Place::Row, uc);
    });
}

ScheduleOutcome Schedule::change(const ScheduleEditor& editor, std::optional<int> selected)
{
    if (!selected)
        return {};
    const int duration = seconds(editor.duration);
    if (zeroRefused(duration))
        return {};
    const std::optional<ScheduleRow> chosen = row(*selected);
    if (!chosen)
        return {};
    if (chosen->isRound()) {
        if (!ask().askYesNo(schedule_text::Confirm, schedule_text::ChangeRound))
            return {};
        return run([&] {
            // Every heat of the round takes the new duration from its own start.
            const std::vector<ScheduleRow> roundHeats = heats(*chosen, QStringLiteral("btime"));
            for (const ScheduleRow& heat : roundHeats)
                refuseIfPastMidnight(heat.btime + duration);
            for (const ScheduleRow& heat : roundHeats)
                exec(*m_dm.Qedit,
                    { QStringLiteral("update rmenu set etime=")
                            + quoted(longTimeTextOfSeconds(heat.btime + duration)),
                        eventWhere(m_code) + ucFilter(heat.uc) });
            RechainSchedule(QStringLiteral("rr,btime"));
            return placed(ScheduleOutcome::Place::Row, chosen->uc);
        });
    }
    return runOnRow(selected, [&](const std::vector<ScheduleRow>& rows, size_t at) {
        const ScheduleRow& row = rows[at];
        // Only the first row takes the start picker's time: it is the start of the schedule.
        const int start = rows.front().btime == row.btime ? seconds(editor.start) : row.btime;
        refuseIfPastMidnight(start + duration);
        exec(*m_dm.Qedit,
            { QStringLiteral("update rmenu set rr='-1' ") + eventWhere(m_code),
                QStringLiteral("and btime<=") + quoted(longTimeTextOfSeconds(row.btime)) });
        exec(*m_dm.Qedit,
            { QStringLiteral("update rmenu set btime=") + quoted(longTimeTextOfSeconds(start))
                    + QStringLiteral(",etime=") + quoted(longTimeTextOfSeconds(start + duration))
                    + QStringLiteral(",rr='-1'"),
                QStringLiteral(",rmenu=") + quoted(editor.text) + QLatin1Char(' ') + eventWhere(m_code)
                    + ucFilter(row.uc) });
        RechainSchedule(QStringLiteral("rr,btime"));
        return placed(ScheduleOutcome::Place::Row, row.uc);
    });
}

ScheduleOutcome Schedule::remove(std::optional<int> selected)
{
    const std::vector<ScheduleRow> rows = this->rows();
    const std::optional<size_t> at = indexOf(rows, selected);
    if (!at)
        return {};
    const ScheduleRow row = rows[*at];
    if (row.isRound()) {
        ask().inform(QString(), schedule_text::DeleteRoundRow);
        return {};
    }
    if (rows.front().btime == row.btime
        && !ask().askYesNo(schedule_text::Confirm, schedule_text::DeleteFirst))
        return {};
    // The grid goes to the row that takes the deleted one's place: the next, else the one before.
    std::optional<int> follow;
    if (*at + 1 < rows.size())
        follow = rows[*at + 1].uc;
    else if (*at > 0)
        follow = rows[*at - 1].uc;
    return run([&] {
        ScheduleOutcome out = follow ? placed(ScheduleOutcome::Place::Row, *follow) : placed({});
        out.shownSql = exec(*m_dm.Qtemp,
            { QStringLiteral("delete from rmenu ") + eventWhere(m_code), ucFilter(row.uc).mid(1) });
        RechainSchedule(QStringLiteral("btime"));
        return out;
    });
}

ScheduleOutcome Schedule::heatOrder(std::optional<int> selected)
{
    const auto question = [](const ScheduleRow&) { return schedule_text::HeatOrder; };
    return runOnRound(
        selected, question, QStringLiteral("btime"), [&](const ScheduleRow& heat, const auto& byStart) {
            // Every heat takes the slot length of the round's earliest heat, from its start on.
            const int length = byStart.front().duration();
            int start = byStart.front().btime;
            refuseIfPastMidnight(start + qint64(byStart.size()) * length);
            platform::Query& q = *m_dm.Qtemp;

            // The selected heat and those numbered after it, then those numbered before it.
            const QString number = QString::number(heat.heat.toInt());
            LiveEdits live { q };
            for (const char* compare : { ">=", "<" }) {
                Open(q,
                    { eventRows(m_code),
                        roundFilter(heat) + QStringLiteral(" and ") + HeatNumber + QLatin1String(compare)
                            + number,
                        QStringLiteral("order by ") + HeatNumber },
                    true);
                for (q.First(); !q.Eof(); q.Next()) {
                    q.Edit();
                    q.FieldByName(QStringLiteral("btime"))->SetAsString(longTimeTextOfSeconds(start));
                    q.FieldByName(QStringLiteral("etime"))
                        ->SetAsString(longTimeTextOfSeconds(start + length));
                    q.FieldByName(QStringLiteral("rr"))->SetAsInteger(-1);
                    q.Post();
                    start += length;
                }
            }
            exec(q, { QStringLiteral("update rmenu set rr=1 ") + eventWhere(m_code) });
            return placed(ScheduleOutcome::Place::Row, heat.uc);
        });
}

ScheduleOutcome Schedule::deleteRound(std::optional<int> selected)
{
    const auto question = [](const ScheduleRow& heat) { return schedule_text::deleteRound(heat.round); };
    return runOnRound(selected, question, QStringLiteral("btime"), [&](const ScheduleRow& heat, const auto&) {
        ScheduleOutcome out = placed({});
        out.shownSql = exec(
            *m_dm.Qtemp, { QStringLiteral("delete from rmenu ") + eventWhere(m_code), roundFilter(heat) });
        RechainSchedule(QStringLiteral("btime"));
        return out;
    });
}

ScheduleOutcome Schedule::addHeat(std::optional<int> selected)
{
    const auto question = [](const ScheduleRow&) { return schedule_text::AddHeat; };
    return runOnRound(selected, question, HeatNumber + QStringLiteral(" desc"),
        [&](const ScheduleRow& heat, const auto& byNumber) {
            const ScheduleRow& last = byNumber.front();
            platform::Query& q = *m_dm.Qtemp;
            const int length = last.duration();
            if (length == 0)
                throw ScheduleRefusal { schedule_text::ZeroDuration };
            const int start = last.end();
            refuseIfPastMidnight(start + length);
            const int number = last.heat.toInt() + 1;
            const int uc = newUc();
            exec(q,
                { QStringLiteral("update rmenu set rr=2 ") + eventWhere(m_code),
                    QStringLiteral("and btime>=") + quoted(longTimeTextOfSeconds(start)) });
            // The text is built from the round's titles, which may hold blanks of their own.
            insertRow(q, m_code,
                { .rr = 1,
                    .start = start,
                    .end = start + length,
                    .text = heatText(heat.roundtl, heat.round, heat.heattl, number),
                    .uc = uc,
                    .round = heat.round,
                    .heat = QString::number(number),
                    .titled = true,
                    .roundtl = heat.roundtl,
                    .heattl = heat.heattl });
            RechainSchedule(QStringLiteral("rr,btime"));
            return placed(ScheduleOutcome::Place::Row, uc);
        });
}

ScheduleOutcome Schedule::deleteHeat(std::optional<int> selected)
{
    const auto question = [](const ScheduleRow&) { return schedule_text::DeleteHeat; };
    return runOnRound(selected, question, HeatNumber + QStringLiteral(" desc"),
        [&](const ScheduleRow& heat, const auto& byNumber) {
            const int removed = byNumber.front().uc;
            exec(*m_dm.Qtemp,
                { QStringLiteral("delete from rmenu ") + eventWhere(m_code), ucFilter(removed).mid(1) });
            RechainSchedule(QStringLiteral("rr,btime"));
            // The grid stays on the selected heat; when that was the one removed, on the round's new
            // last heat.
            if (heat.uc != removed)
                return placed(ScheduleOutcome::Place::Row, heat.uc);
            return byNumber.size() > 1 ? placed(ScheduleOutcome::Place::Row, byNumber[1].uc) : placed({});
        });
}

} // namespace console
