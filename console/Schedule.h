#pragma once

// The race information schedule of the open event: its rows in table rmenu, laid back to back
// through the day, and the commands of the schedule page that change them (add, insert, change,
// delete, rounds and heats). Every command that writes runs in one transaction, so that a
// failure or a refusal half way leaves the schedule as it was; questions to the operator are
// asked before the transaction starts, so that no write lock is held while a box is open.
//
// Times are handled as whole seconds since midnight and written as H:MM:SS texts. No row may end
// at or past 24:00:00: a chain that ran past midnight would continue from 0:00:00 and sort first.

#include <QString>
#include <QTime>
#include <functional>
#include <optional>
#include <vector>

class TDM1;

namespace platform {
class Asker;
class Query;
} // namespace platform

namespace console {

inline constexpr int SecondsPerDay = 86400;

// One schedule row as the commands read it.
struct ScheduleRow {
    int uc = 0;
    int btime = 0; // seconds since midnight
    int etime = 0;
    QString rmenu;
    QString round; // "0" (or empty) for a plain row
    QString heat;
    QString roundtl;
    QString heattl;

    // A heat of a round: its round text is neither empty nor "0".
    bool isRound() const;
    // etime - btime; a row that ends after midnight counts the time up to its end.
    int duration() const;
    // btime + duration(): where the next row starts (24:00:00 or later for a row past midnight).
    int end() const { return btime + duration(); }
};

// What the editor of the schedule page holds when a command runs.
struct ScheduleEditor {
    QTime start; // DTPb: the start of the schedule, used for its first row only
    QTime duration; // DTPe
    QString text; // Edit2
};

// The round inputs of the schedule page.
struct RoundEditor {
    int round = 0; // SEdround
    QString title; // CBxround
    int heats = 0; // SEdheat
    QString heatWord; // CBxheat
};

// The text of heat `heat` of a round: "予選 2 ヒート 1"; with round "0" (or empty) the number is
// left out: "予選 ヒート 1".
QString heatText(const QString& title, const QString& round, const QString& heatWord, int heat);

// What a command did and where the schedule grid should stand afterwards.
struct ScheduleOutcome {
    enum class Place {
        Leave, // where reloading the grid leaves it
        Last, // on the last row
        Row // on the row with item number `uc`
    };
    bool done = false; // the schedule changed: the refresh runs
    Place place = Place::Leave;
    int uc = 0;
    QString shownSql; // a statement the page shows in its SQL field (empty: none)
};

// The refusal texts and questions of the schedule commands.
namespace schedule_text {
inline const QString Confirm = QStringLiteral("確認してください。");
inline const QString ZeroDuration = QStringLiteral("予定時間が０秒での入力は出来ません。");
inline const QString PastMidnight
    = QStringLiteral("スケジュールの終了が24:00:00以降になるため、この操作は出来ません。");
inline const QString InsertInRound
    = QStringLiteral("ラウンド指定したスケジュールの間にはデータを挿入できません。");
inline const QString DeleteRoundRow = QStringLiteral(
    "ラウンド指定のデータは個別削除は出来ません。対象のラウンドデータ総てを削除してください。");
inline const QString DuplicateRound
    = QStringLiteral("指定したラウンド名、ラウンド数は既に登録されています。");
inline const QString ChangeRound
    = QStringLiteral("指定したデータはラウンドデータです、同じラウンドの総てのヒート"
                     "について変更します、実行してよろしいですか？");
inline const QString DeleteFirst = QStringLiteral(
    "削除選択をしたデータはスケジュールの最初で、基本となるデータです。削除してよろしいですか？");
inline const QString HeatOrder = QStringLiteral("選択したヒートをラウンドの先頭ヒートにしてよろしいですか？");
inline const QString AddHeat = QStringLiteral("選択中のラウンドにヒートを追加してよろしいですか？");
inline const QString DeleteHeat = QStringLiteral("選択中のラウンドからヒートを削除してよろしいですか？");
// "選択したラウンド 2 を削除してよろしいですか？"
QString deleteRound(const QString& round);
} // namespace schedule_text

// Raised inside a command that finds, after its transaction began, that it must not go on (a row
// would end past midnight, a round is taken): the command rolls back, then tells the operator.
struct ScheduleRefusal {
    QString message;
};

// The schedule commands over the data module's queries. `selected` is the item number of the
// grid's current row (none when the grid is empty); a command given a row that no longer exists
// does nothing. Failing statements raise platform::DatabaseError after the transaction has been
// rolled back.
class Schedule {
public:
    // Without an asker the program's current one is used at each question.
    Schedule(TDM1& dm, QString eventCode, platform::Asker* asker = nullptr);

    // "追加": a row after the last one (the first row at the editor's start on an empty
    // schedule), or a whole round after the selected row or round when `round` is given.
    ScheduleOutcome Add(
        const ScheduleEditor& editor, std::optional<int> selected, const std::optional<RoundEditor>& round);
    // "挿入": a row after the selected one; the rows behind it move back.
    ScheduleOutcome insert(const ScheduleEditor& editor, std::optional<int> selected);
    // "設定": new start (first row), duration and text of the selected row, or the new duration
    // of every heat of its round; the rows after it follow.
    ScheduleOutcome change(const ScheduleEditor& editor, std::optional<int> selected);
    // "削除": the selected plain row; the rows after it move forward.
    ScheduleOutcome remove(std::optional<int> selected);

    // The round commands of the grid's popup menu, on the round of the selected heat.
    ScheduleOutcome heatOrder(std::optional<int> selected); // the selected heat runs first
    ScheduleOutcome deleteRound(std::optional<int> selected);
    ScheduleOutcome addHeat(std::optional<int> selected); // after the highest-numbered heat
    ScheduleOutcome deleteHeat(std::optional<int> selected); // the highest-numbered heat

    // Lays the rows back to back in `order` ("rr,btime" or "btime"): the first keeps its times,
    // every next one keeps its duration and starts where the one before ends. With a start text
    // only the rows that start at or after it are laid. Raises ScheduleRefusal before writing
    // when a row would end at or past 24:00:00. Runs inside the caller's
    // transaction; returns the select it ran.
    QString RechainSchedule(const QString& order, const QString& startText = {});
    // The re-chain of the rows from a start time on, after the rows marked to go in front.
    QString resettime(const QString& startText);

    // The latest end of the schedule; 0:00:00 without rows.
    QTime latestEnd();
    // The event's rows by start time.
    std::vector<ScheduleRow> rows();
    std::optional<ScheduleRow> row(int uc);

private:
    template <class Body> ScheduleOutcome run(Body&& body);
    ScheduleOutcome addRound(const RoundEditor& round, int duration, const ScheduleRow& after, int uc);
    // The selected row when it is a heat and the operator answers the question with Yes.
    std::optional<ScheduleRow> askOnHeat(
        std::optional<int> selected, const std::function<QString(const ScheduleRow&)>& question);
    // Runs `body` with the event's rows by start and the index of the selected one, in one
    // transaction; nothing when the row is gone.
    template <class Body> ScheduleOutcome runOnRow(std::optional<int> selected, Body&& body);
    // Asks about the selected heat; on Yes runs `body` with the heat and its round's heats in
    // `order`, in one transaction.
    template <class Body>
    ScheduleOutcome runOnRound(std::optional<int> selected,
        const std::function<QString(const ScheduleRow&)>& question, const QString& order, Body&& body);
    // The heats of the round of `heat`, in the order given.
    std::vector<ScheduleRow> heats(const ScheduleRow& heat, const QString& order);
    int newUc();
    platform::Asker& ask() const;
    // True, after telling the operator, when a row would get no length.
    bool zeroRefused(int duration) const;

    TDM1& m_dm;
    QString m_code;
    platform::Asker* m_asker;
};

// Reads the schedule row the query stands on.
ScheduleRow readScheduleRow(platform::Query& q);

} // namespace console
