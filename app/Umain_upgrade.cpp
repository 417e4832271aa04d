#include "app/Umain_upgrade.h"

#include "app/Udm1.h"
#include "app/uComm.h"
#include "platform/DataSet.h"

#include <QDate>
#include <QHash>
#include <QSet>
#include <functional>
#include <utility>
#include <vector>

namespace {

using platform::DatabaseError;
using platform::Query;

class Upgrader {
public:
    Upgrader(TDM1& dm, LayoutUpgradeResult& result)
        : m_db(*dm.Database1)
        , m_q(*dm.Qtemp)
        , m_result(result)
    {
    }

    int readVersion()
    {
        open(QStringLiteral("select * from checkv"), false);
        const int version = m_q.Eof() ? 0 : m_q.FieldByName(QStringLiteral("checkv"))->AsInteger();
        m_q.Close();
        return version;
    }

    void createVersionTableWhenMissing()
    {
        try {
            m_result.versionBefore = readVersion();
            return;
        } catch (const DatabaseError&) {
            m_q.Close();
        }
        exec(QStringLiteral("create table checkv (checkv smallint)"));
        exec(QStringLiteral("insert into checkv values (1)"));
        m_result.versionBefore = 1;
    }

    // Runs the step when the version is at most `atMost`; false when it failed (then nothing
    // of it remains and the version stays).
    bool step(int atMost, const std::function<void()>& body)
    {
        if (readVersion() > atMost)
            return true;
        exec(QStringLiteral("savepoint layout_step"));
        try {
            body();
            setVersion(atMost + 1);
            exec(QStringLiteral("release layout_step"));
            return true;
        } catch (const DatabaseError& e) {
            m_q.Close();
            m_q.RequestLive = false;
            exec(QStringLiteral("rollback to layout_step"));
            exec(QStringLiteral("release layout_step"));
            m_result.failure = QStringLiteral("%1 (version %2)").arg(e.message()).arg(atMost);
            return false;
        }
    }

    // Adds the columns the table lacks, in one statement; a column already there is left alone.
    void addColumns(const QString& table, const std::vector<std::pair<QString, QString>>& columns)
    {
        const QStringList have = columnsOf(table);
        QStringList clauses;
        for (const auto& [name, type] : columns)
            if (!have.contains(name, Qt::CaseInsensitive))
                clauses << name + QLatin1Char(' ') + type;
        if (!clauses.isEmpty())
            exec(QStringLiteral("alter table %1 add %2").arg(table, clauses.join(QStringLiteral(",add "))));
    }

    QStringList columnsOf(const QString& table) { return m_db.columnNames(table); }

    // Gives the column `column` of the table the integer type, keeping each row's value: a new
    // column is filled from the old one before the old one goes, so no row loses its code.
    void makeIntegerColumn(const QString& table, const QString& column, const std::function<void()>& fill)
    {
        const QString temp = column + QStringLiteral("_new");
        exec(QStringLiteral("alter table %1 add %2 integer").arg(table, temp));
        fill();
        if (columnsOf(table).contains(column, Qt::CaseInsensitive))
            exec(QStringLiteral("alter table %1 drop %2").arg(table, column));
        exec(QStringLiteral("alter table %1 rename column %2 to %3").arg(table, temp, column));
    }

    void exec(const QString& sql)
    {
        m_q.Close();
        m_q.SQL = QStringList { sql };
        m_result.statements << sql;
        m_q.ExecSQL();
    }

    void open(const QString& sql, bool live)
    {
        m_q.Close();
        m_q.RequestLive = live;
        m_q.SQL = QStringList { sql };
        m_result.statements << sql;
        m_q.Open();
    }

    // Walks every row of a live select, calling `change` on each; `change` returns true when it
    // set fields, and the row is then posted.
    void forEachRow(const QString& sql, const std::function<bool(Query&)>& change)
    {
        open(sql, true);
        for (m_q.First(); !m_q.Eof(); m_q.Next()) {
            m_q.Edit();
            if (change(m_q))
                m_q.Post();
            else
                m_q.Cancel();
        }
        m_q.Close();
        m_q.RequestLive = false;
    }

    void setVersion(int version)
    {
        exec(QStringLiteral("update checkv set checkv=%1").arg(version));
        // A checkv without its row would make every start run every step again.
        if (m_q.RowsAffected() == 0)
            exec(QStringLiteral("insert into checkv values (%1)").arg(version));
    }

    Query& query() { return m_q; }

private:
    platform::Database& m_db;
    Query& m_q;
    LayoutUpgradeResult& m_result;
};

// New event codes: the event date's eight digits and a sequence digit. An old code that
// already has this form for its own date stays; the other events of a date take the lowest
// sequence numbers still free, so that no two events share a code.
struct EventRow {
    QString oldCode;
    QString digits; // yyyymmdd, or zeros when the event has no date
    QString newCode;
};

void AssignEventCodes(std::vector<EventRow>& events)
{
    QSet<QString> taken;
    for (EventRow& e : events) {
        const bool ownForm = e.oldCode.size() == 9 && e.oldCode.startsWith(e.digits)
            && e.oldCode.at(8) >= QLatin1Char('1') && e.oldCode.at(8) <= QLatin1Char('9');
        if (ownForm && !taken.contains(e.oldCode)) {
            e.newCode = e.oldCode;
            taken.insert(e.oldCode);
        }
    }
    for (EventRow& e : events) {
        if (!e.newCode.isEmpty())
            continue;
        // Past 9 the sequence goes on in two digits rather than giving two events one code.
        for (int seq = 1;; ++seq) {
            const QString code = e.digits + QString::number(seq);
            if (!taken.contains(code)) {
                e.newCode = code;
                taken.insert(code);
                break;
            }
        }
    }
}

// Round and heat titles from a heat text: the first word and the third (the second when the
// text has only two words).
std::pair<QString, QString> TitlesFromHeatText(const QString& text)
{
    const QChar blank = QLatin1Char(' ');
    const qsizetype p = text.indexOf(blank);
    if (p < 0)
        return {};
    const QString round = text.left(p);
    QString rest = text.mid(p + 1);
    const qsizetype q = rest.indexOf(blank);
    if (q >= 0) {
        rest = rest.mid(q + 1);
        const qsizetype r = rest.indexOf(blank);
        if (r >= 0)
            rest = rest.left(r);
    }
    return { round, rest };
}

void RebuildEventCodes(Upgrader& u)
{
    Query& q = u.query();
    const QString taikaiSelect = QStringLiteral("select * from taikai");
    std::vector<EventRow> events;
    std::vector<Query::Bookmark> marks;
    u.open(taikaiSelect, false);
    const bool hadCode = q.FindField(QStringLiteral("tcode")) != nullptr;
    for (q.First(); !q.Eof(); q.Next()) {
        EventRow e;
        if (hadCode)
            e.oldCode = q.FieldByName(QStringLiteral("tcode"))->AsString().trimmed();
        platform::Field* date = q.FieldByName(QStringLiteral("tdate"));
        e.digits = date->IsNull() ? QStringLiteral("00000000")
                                  : EventCodeDateDigits(ShortDateText(date->AsDateTime().date()));
        events.push_back(e);
        marks.push_back(q.GetBookmark());
    }
    q.Close();
    AssignEventCodes(events);

    u.makeIntegerColumn(QStringLiteral("taikai"), QStringLiteral("tcode"), [&] {
        size_t i = 0;
        u.forEachRow(taikaiSelect, [&](Query& row) {
            // Rows come in the same order as read above; the bookmark check guards that.
            if (i >= events.size() || row.GetBookmark() != marks[i])
                throw DatabaseError("taikai changed while its codes were rebuilt");
            row.FieldByName(QStringLiteral("tcode_new"))->SetAsString(events[i++].newCode);
            return true;
        });
    });

    // Schedule and cue rows follow their event to its new code.
    QHash<QString, QString> newCodeOf;
    for (const EventRow& e : events)
        if (!e.oldCode.isEmpty() && e.oldCode != QLatin1String("0") && !newCodeOf.contains(e.oldCode))
            newCodeOf.insert(e.oldCode, e.newCode);
    for (const QString& table : { QStringLiteral("rmenu"), QStringLiteral("music") }) {
        u.forEachRow(QStringLiteral("select * from ") + table, [&](Query& row) {
            platform::Field* code = row.FieldByName(QStringLiteral("tcode"));
            const auto it = newCodeOf.constFind(code->AsString().trimmed());
            if (it == newCodeOf.constEnd() || *it == code->AsString())
                return false;
            code->SetAsString(*it);
            return true;
        });
    }
}

} // namespace

LayoutUpgradeResult UpgradeTableLayout(TDM1& dm)
{
    LayoutUpgradeResult result;
    Upgrader u(dm, result);
    const QString rmenu = QStringLiteral("rmenu");
    const QString taikai = QStringLiteral("taikai");

    u.createVersionTableWhenMissing();

    const bool done = u.step(2, [&] {
        u.addColumns(taikai,
            { { "sq1", "varchar(8)" }, { "sq2", "varchar(8)" }, { "sq3", "varchar(8)" },
                { "sq4", "varchar(8)" }, { "sq5", "varchar(8)" } });
    }) && u.step(3, [&] {
        RebuildEventCodes(u);
    }) && u.step(4, [&] {
        u.makeIntegerColumn(rmenu, QStringLiteral("tcode"), [&] {
            // Numeric texts become integers through the column's type; the rest stays as it was.
            u.exec(QStringLiteral("update rmenu set tcode_new=tcode"));
        });
    }) && u.step(5, [&] {
        u.addColumns(rmenu,
            { { "ITT", "time" }, { "WUT", "time" }, { "RCT", "time" }, { "OVT", "time" },
                { "ROUND", "smallint" }, { "HEAT", "smallint" }, { "SCT", "time" } });
    }) && u.step(6, [&] {
        u.addColumns(rmenu, { { "uc", "integer" } });
        int uc = 0;
        u.forEachRow(QStringLiteral("select * from rmenu"), [&](Query& row) {
            row.FieldByName(QStringLiteral("uc"))->SetAsInteger(++uc);
            return true;
        });
    }) && u.step(7, [&] {
        u.addColumns(rmenu, { { "ROUNDTL", "varchar(20)" }, { "HEATTL", "varchar(20)" } });
        u.forEachRow(QStringLiteral("select * from rmenu where round<>'0' and round<>''"), [&](Query& row) {
            const auto [roundTitle, heatTitle]
                = TitlesFromHeatText(row.FieldByName(QStringLiteral("rmenu"))->AsString());
            row.FieldByName(QStringLiteral("roundtl"))->SetAsString(roundTitle);
            row.FieldByName(QStringLiteral("heattl"))->SetAsString(heatTitle);
            return true;
        });
    });
    Q_UNUSED(done);
    result.versionAfter = u.readVersion();
    return result;
}
