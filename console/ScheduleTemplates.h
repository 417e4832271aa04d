#pragma once

// The standard templates: one schedule and one set of sound cues kept under event code 0 in the
// ordinary tables, copied from the open event or into it. A copy replaces the target whole, in
// one transaction: a failure half way leaves the target as it was.

#include <QString>

class TDM1;

namespace platform {
class Asker;
}

namespace console {

namespace template_text {
inline const QString SaveSchedule
    = QStringLiteral("現在表示されているスケジュールを標準データとして登録してよろしいですか？");
inline const QString LoadSchedule = QStringLiteral("標準データをスケジュールとして登録してよろしいですか？");
inline const QString SaveCues
    = QStringLiteral("現在表示されている音声データを標準設定として登録してよろしいですか？");
inline const QString LoadCues
    = QStringLiteral("標準設定を現在の音声設定データとして登録してよろしいですか？");
} // namespace template_text

class ScheduleTemplates {
public:
    // Without an asker the program's current one is used at each question.
    ScheduleTemplates(TDM1& dm, QString eventCode, platform::Asker* asker = nullptr);

    // Each asks first and returns true when it copied. Copied schedule rows start at rest (rr 1)
    // with "-" between their times; every other column goes across as it is. Failing statements
    // raise platform::DatabaseError after the copy has been rolled back.
    bool saveSchedule(); // the event's schedule becomes the template
    bool loadSchedule(); // the template becomes the event's schedule
    bool saveCues(); // the event's cues of all four phases become the template
    bool loadCues(); // the template's cues become the event's

private:
    bool copy(const QString& question, bool schedule, const QString& from, const QString& to);

    TDM1& m_dm;
    QString m_code;
    platform::Asker* m_asker;
};

} // namespace console
