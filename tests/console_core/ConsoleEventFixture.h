#pragma once

// An event ready for the race console's logic: the tables created in a temporary data folder, one
// event row with signal times and presets, the settings globals set, and recording devices.

#include "app/Udm1.h"
#include "app/uComm.h"
#include "console/CountdownEngine.h"
#include "console/MonitorFiles.h"
#include "console_core/ConsoleFakes.h"
#include "platform/Clock.h"
#include "platform/DataSet.h"
#include "support/TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>
#include <memory>

namespace testing_support {

class ConsoleEventFixture : public ::testing::Test {
protected:
    static inline const QString kCode = QStringLiteral("202403091");

    void SetUp() override
    {
        dm = std::make_unique<TDM1>();
        DM1 = dm.get();
        dm->reconnect();
        exec("insert into taikai (tcode,tname,tdate,status,on1,of1,on2,of2,on3,of3,on4,of4,on5,of5,ons,cont,"
             "sq1,sq2,sq3,sq4,sq5) values (202403091,'春季大会','03/09/2024',1,'0:01:00','0:00:10','0:00:50',"
             "'0:00:20','0:00:40','0:00:05','0:00:30','0:00:00','0:00:25','0:00:15','0:00:03',1,"
             "'0:05:00','0:10:00','0:01:00','0:00:05','0:03:00')");
        exec("update tnow set tcode=202403091");
        CurrentEventCode = kCode;
        WarmUpTimePreset = QStringLiteral("0:05:00");
        RaceTimePreset = QStringLiteral("0:10:00");
        OverTimePreset = QStringLiteral("0:01:00");
        BlankTimePreset = QStringLiteral("0:00:05");
        AutoIntervalPreset = QStringLiteral("0:03:00");
        BlindTimeTenths = QStringLiteral("30");
        HideClockPausedWarmUp = QStringLiteral("1");
        HideClockPausedRace = QStringLiteral("0");
        HideClockPausedOverTime = QStringLiteral("0");
        TimeServerAddress = QStringLiteral("192.168.0.10");
        TimeServerPort = QStringLiteral("5000");
        BoardBitRateIndex = 1;
        OffControlMode = 0;
        SignalPortNo1 = 2;
        SignalPortNo2 = 3;
        SignalPortNo3 = 4;
        BoardPortNo = 5;
    }

    void TearDown() override
    {
        DM1 = nullptr;
        dm.reset();
    }

    void exec(const char* sql) { dm->Database1->execute(QString::fromUtf8(sql)); }

    QString scalar(const QString& sql)
    {
        platform::Query q(dm->Database1);
        q.addSQL(sql);
        q.Open();
        q.First();
        return q.Eof() ? QString() : q.Fields(0)->AsString();
    }

    void addScheduleRow(const char* btime, const char* etime, const char* text, int uc)
    {
        dm->Database1->execute(
            QStringLiteral("insert into rmenu (tcode,rr,btime,etime,kara,rmenu,uc,round,heat)"
                           " values (202403091,1,'%1','%2','-','%3',%4,0,0)")
                .arg(QLatin1String(btime), QLatin1String(etime), QString::fromUtf8(text))
                .arg(uc));
    }

    // A cue row of the phase `bun` (R, B, Y or X).
    void addCue(char bun, const QString& tno, const QString& file, const QString& code = kCode)
    {
        platform::Query q(dm->Database1);
        q.addSQL(QStringLiteral("insert into music (tcode,bun,tno,mname) values (%1,'%2','%3','%4')")
                     .arg(code, QString(QLatin1Char(bun)), tno,
                         QString(file).replace(u'\'', QStringLiteral("''"))));
        q.ExecSQL();
    }

    console::ConsoleDevices devices()
    {
        return fakeDevices(clock, board, lines, sleeper, scheduler, random, dm.get());
    }

    static QByteArray fileBytes(const QString& name)
    {
        return readFileBytes(console::MonitorFileWriter().filePath(name));
    }

    TempHome home;
    ScriptedAsker asker;
    platform::ManualClock clock { QDateTime(QDate(2024, 3, 9), QTime(9, 35)) };
    FakeBoardPort board;
    FakeSignalLines lines;
    FakeSleeper sleeper;
    FakeScheduler scheduler;
    FakeRandomSource random;
    std::unique_ptr<TDM1> dm;
};

} // namespace testing_support
