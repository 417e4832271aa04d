#pragma once

// An open event whose schedule the tests fill and read back as one line per row.

#include "console/Schedule.h"
#include "console_core/ConsoleEventFixture.h"

namespace testing_support {

class ScheduleFixture : public ConsoleEventFixture {
protected:
    console::Schedule sched() { return console::Schedule(*dm, kCode); }

    static console::ScheduleEditor editor(const char* start, const char* duration, const QString& text = {})
    {
        return { QTime::fromString(QLatin1String(start), QStringLiteral("H:mm:ss")),
            QTime::fromString(QLatin1String(duration), QStringLiteral("H:mm:ss")), text };
    }

    // The event's rows by start: "9:00:00-9:30:00 受付".
    QStringList chain(const QString& code = kCode)
    {
        platform::Query q(dm->Database1);
        q.addSQL(QStringLiteral("select * from rmenu where tcode='%1' order by btime").arg(code));
        q.Open();
        QStringList rows;
        for (q.First(); !q.Eof(); q.Next())
            rows << q.FieldByName(QStringLiteral("btime"))->AsString() + u'-'
                    + q.FieldByName(QStringLiteral("etime"))->AsString() + u' '
                    + q.FieldByName(QStringLiteral("rmenu"))->AsString();
        return rows;
    }

    // Every rr value of the event, distinct: "1" when no command left a mark behind.
    QString marks() { return scalar(QStringLiteral("select group_concat(distinct rr) from rmenu")); }

    int uc(const QString& text)
    {
        return scalar(QStringLiteral("select uc from rmenu where rmenu='%1'").arg(EscapeApostrophes(text)))
            .toInt();
    }

    // Three plain rows A, B, C: 9:00-9:30, 9:30-9:40, 9:40-10:00.
    void addAbc()
    {
        addScheduleRow("9:00:00", "9:30:00", "A", 1);
        addScheduleRow("9:30:00", "9:40:00", "B", 2);
        addScheduleRow("9:40:00", "10:00:00", "C", 3);
    }

    // A round added by the command after the row `after`.
    void addRound(const QString& after, const char* title, int round, int heats,
        const char* length = "0:05:00", const char* word = "ヒート")
    {
        ASSERT_TRUE(
            sched()
                .Add(editor("0:00:00", length), uc(after),
                    console::RoundEditor { round, QString::fromUtf8(title), heats, QString::fromUtf8(word) })
                .done);
    }
};

} // namespace testing_support
