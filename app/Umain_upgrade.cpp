#include "app/Umain_upgrade.h"

#include "app/Udm1.h"
#include "app/uComm.h"
#include "platform/DataSet.h"

#include <QDate>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace {

using platform::DatabaseError;
using platform::Query;
using Columns = std::vector<std::pair<QString, QString>>;

// The columns each step adds.
const Columns kPresetColumns { { "sq1", "varchar(8)" }, { "sq2", "varchar(8)" }, { "sq3", "varchar(8)" },
    { "sq4", "varchar(8)" }, { "sq5", "varchar(8)" } };
const Columns kTimeColumns { { "ITT", "time" }, { "WUT", "time" }, { "RCT", "time" }, { "OVT", "time" },
    { "ROUND", "smallint" }, { "HEAT", "smallint" }, { "SCT", "time" } };
const Columns kSerialColumns { { "uc", "integer" } };
const Columns kTitleColumns { { "ROUNDTL", "varchar(20)" }, { "HEATTL", "varchar(20)" } };

class Upgrader {
public:
    Upgrader(TDM1& dm, LayoutUpgradeResult& result, const UpgradeProgress& progress)
        : m_db(*dm.Database1)
        , m_q(*dm.Qtemp)
        , m_result(result)
        , m_progress(progress)
    {
    }

    int readVersion()
    {
        open(QStringLiteral("select * from checkv"), false);
        const int version = m_q.Eof() ? 0 : m_q.FieldByName(QStringLiteral("checkv"))->AsInteger();
        m_q.Close();
        return version;
    }

    // Reads the version to start from. When it was lost (no checkv table, or no row in it),
    // a database whose tables already have the current layout is recorded at the current
    // version, so that no step rewrites rows the operator has changed since; any other starts
    // at version 1.
    void startVersion()
    {
        bool haveTable = true;
        try {
            m_result.versionBefore = readVersion();
        } catch (const DatabaseError&) {
            m_q.Close();
            haveTable = false;
        }
        if (m_result.versionBefore > 0)
            return;
        const int found = hasCurrentLayout() ? CurrentLayoutVersion : 1;
        platform::Transaction record(m_db);
        if (haveTable)
            exec(QStringLiteral("delete from checkv"));
        else
            exec(QStringLiteral("create table checkv (checkv smallint)"));
        exec(QStringLiteral("insert into checkv values (%1)").arg(found));
        record.Commit();
        m_result.versionBefore = found;
    }

    // Runs the step when the version is at most `atMost`; false when it failed (then nothing
    // of it remains and the version stays). The step begins as a writer, so that another
    // program writing the database is waited for (the busy time-out) instead of failing the
    // step at its first write.
    bool step(int atMost, const QString& title, const std::function<void()>& body)
    {
        int version = readVersion();
        if (version > atMost)
            return true;
        try {
            platform::Transaction whole(m_db);
            version = readVersion(); // another copy of the program may have done it meanwhile
            if (version > atMost)
                return true;
            m_stepTitle = title;
            tell();
            body();
            setVersion(atMost + 1);
            whole.Commit();
            return true;
        } catch (const DatabaseError& e) {
            m_q.Close();
            m_q.RequestLive = false;
            m_result.failure
                = QStringLiteral("手順「%1」で止まりました。データベースはバージョン %2 のままで、"
                                 "次回の起動時にこの手順からやり直します。\n%3")
                      .arg(title)
                      .arg(version)
                      .arg(e.message());
            return false;
        }
    }

    bool hasColumns(const QString& table, const Columns& columns)
    {
        const QStringList have = columnsOf(table);
        return std::all_of(columns.begin(), columns.end(),
            [&](const auto& c) { return have.contains(c.first, Qt::CaseInsensitive); });
    }

    bool hasIntegerCode(const QString& table)
    {
        return m_db.columnType(table, QStringLiteral("tcode"))
            .contains(QLatin1String("int"), Qt::CaseInsensitive);
    }

    // Every column the steps add is there, and the event codes are integers.
    bool hasCurrentLayout()
    {
        const QString taikai = QStringLiteral("taikai");
        const QString rmenu = QStringLiteral("rmenu");
        return hasColumns(taikai, kPresetColumns) && hasIntegerCode(taikai) && hasIntegerCode(rmenu)
            && hasColumns(rmenu, kTimeColumns) && hasColumns(rmenu, kSerialColumns)
            && hasColumns(rmenu, kTitleColumns);
    }

    // Adds the columns the table lacks, in one statement; a column already there is left alone.
    void addColumns(const QString& table, const Columns& columns)
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
        int row = 0;
        for (m_q.First(); !m_q.Eof(); m_q.Next()) {
            if (++row % kRowsBetweenProgress == 0)
                tell();
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
    // A large schedule takes seconds to walk; the caller hears from it this often.
    static constexpr int kRowsBetweenProgress = 500;

    void tell()
    {
        if (m_progress)
            m_progress(m_stepTitle);
    }

    platform::Database& m_db;
    Query& m_q;
    LayoutUpgradeResult& m_result;
    const UpgradeProgress& m_progress;
    QString m_stepTitle;
};

// New event codes: the event date's eight digits and a sequence digit. An old code that
// already has this form for its own date stays; the other events of a date take the lowest
// sequence numbers still free, so that no two events share a code.
struct EventRow {
    QString oldCode;
    QString digits; // yyyymmdd, or zeros when the event has no date
    QString newCode;
};

void assignEventCodes(std::vector<EventRow>& events)
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
std::pair<QString, QString> titlesFromHeatText(const QString& text)
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

// The eight date digits of the event on the query's current row, zeros when it has no date.
// A date that cannot be read stops the step with a message that names the event and the value,
// so that the operator can mend it in the maintenance panel before the next start.
QString dateDigitsOf(Query& q, const QString& code)
{
    platform::Field* date = q.FieldByName(QStringLiteral("tdate"));
    if (date->IsNull())
        return QStringLiteral("00000000");
    try {
        return eventCodeDateDigits(shortDateText(date->AsDateTime().date()));
    } catch (const DatabaseError&) {
        const platform::Field* title = q.FindField(QStringLiteral("tname"));
        throw DatabaseError(
            QStringLiteral("大会「%1」(大会コード %2) の開催日 '%3' は日付として読めません。\n"
                           "「大会実行」の「Mente」で、この大会の tdate を mm/dd/yyyy "
                           "の形 (例: 12/31/2024) に直してください。")
                .arg(title ? title->AsString() : QString(), code.isEmpty() ? QStringLiteral("なし") : code,
                    date->AsString())
                .toStdString());
    }
}

void rebuildEventCodes(Upgrader& u)
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
        e.digits = dateDigitsOf(q, e.oldCode);
        events.push_back(e);
        marks.push_back(q.GetBookmark());
    }
    q.Close();
    assignEventCodes(events);

    u.makeIntegerColumn(QStringLiteral("taikai"), QStringLiteral("tcode"), [&] {
        size_t i = 0;
        u.forEachRow(taikaiSelect, [&](Query& row) {
            // Rows come in the same order as read above; the bookmark check guards that.
            if (i >= events.size() || row.GetBookmark() != marks[i])
                throw DatabaseError(
                    QStringLiteral("大会コードを作り直す間に taikai が変更されました。").toStdString());
            row.FieldByName(QStringLiteral("tcode_new"))->SetAsString(events[i++].newCode);
            return true;
        });
    });

    // Schedule, cue and result rows follow their event to its new code, and so does the open
    // event in tnow: the console and the outside programs look them up by the event's code.
    QHash<QString, QString> newCodeOf;
    for (const EventRow& e : events)
        if (!e.oldCode.isEmpty() && e.oldCode != QLatin1String("0") && !newCodeOf.contains(e.oldCode))
            newCodeOf.insert(e.oldCode, e.newCode);
    for (const QString& table : { QStringLiteral("rmenu"), QStringLiteral("music"), QStringLiteral("result"),
             QStringLiteral("tnow") }) {
        if (!u.columnsOf(table).contains(QStringLiteral("tcode"), Qt::CaseInsensitive))
            continue; // a table the results program has not made yet
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

LayoutUpgradeResult upgradeTableLayout(TDM1& dm, const UpgradeProgress& progress)
{
    LayoutUpgradeResult result;
    Upgrader u(dm, result, progress);
    const QString rmenu = QStringLiteral("rmenu");
    const QString taikai = QStringLiteral("taikai");

    u.startVersion();

    // Each step's title says in the operator's words what stopped when it fails.
    const bool done = u.step(2, QStringLiteral("大会にプリセット時間の列を追加"), [&] {
        u.addColumns(taikai, kPresetColumns);
    }) && u.step(3, QStringLiteral("大会コードを開催日から作り直し"), [&] {
        rebuildEventCodes(u);
    }) && u.step(4, QStringLiteral("スケジュールの大会コードを数値に変更"), [&] {
        u.makeIntegerColumn(rmenu, QStringLiteral("tcode"), [&] {
            // Numeric texts become integers through the column's type; the rest stays as it was.
            u.exec(QStringLiteral("update rmenu set tcode_new=tcode"));
        });
    }) && u.step(5, QStringLiteral("スケジュールに時間・ラウンド・ヒートの列を追加"), [&] {
        u.addColumns(rmenu, kTimeColumns);
    }) && u.step(6, QStringLiteral("スケジュールに通し番号を付与"), [&] {
        u.addColumns(rmenu, kSerialColumns);
        int uc = 0;
        u.forEachRow(QStringLiteral("select * from rmenu"), [&](Query& row) {
            row.FieldByName(QStringLiteral("uc"))->SetAsInteger(++uc);
            return true;
        });
    }) && u.step(7, QStringLiteral("スケジュールにラウンド名・ヒート名を追加"), [&] {
        u.addColumns(rmenu, kTitleColumns);
        u.forEachRow(QStringLiteral("select * from rmenu where round<>'0' and round<>''"), [&](Query& row) {
            const auto [roundTitle, heatTitle]
                = titlesFromHeatText(row.FieldByName(QStringLiteral("rmenu"))->AsString());
            row.FieldByName(QStringLiteral("roundtl"))->SetAsString(roundTitle);
            row.FieldByName(QStringLiteral("heattl"))->SetAsString(heatTitle);
            return true;
        });
    });
    Q_UNUSED(done);
    result.versionAfter = u.readVersion();
    return result;
}
