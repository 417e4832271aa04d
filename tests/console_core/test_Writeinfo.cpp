#include "ConsoleFakes.h"
#include "console/MonitorFiles.h"
#include "platform/DataSet.h"
#include "platform/TextCodec.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace console;
using testing_support::readFileBytes;

namespace {

class WriteinfoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.setPath(home.file(QStringLiteral("tavo.db")));
        db.setConnected(true);
        // The layout the program's data module gives the table.
        db.execute(
            QStringLiteral("create table rmenu (tcode integer, rr integer, btime time, etime time,"
                           " kara varchar(2), rmenu varchar(60), uc integer, round smallint, heat smallint,"
                           " roundtl varchar(20), heattl varchar(20))"));
    }
    void addRow(const char* tcode, const char* btime, const char* etime, const char* text)
    {
        db.execute(
            QStringLiteral("insert into rmenu (tcode, btime, etime, rmenu) values ('%1', '%2', '%3', '%4')")
                .arg(QLatin1String(tcode), QLatin1String(btime), QLatin1String(etime),
                    QString::fromUtf8(text)));
    }
    QByteArray RInfo() const { return readFileBytes(home.file(RInfoFileName)); }

    testing_support::TempHome home;
    platform::Database db;
    MonitorFileWriter writer;
};

// The rows are written in start-time order, whatever order they were stored in and although
// "10:00:00" sorts before "9:30:00" as text.
TEST_F(WriteinfoTest, WritesTheEventsRowsByStartTimeInCp932)
{
    addRow("202403091", "10:00:00", "10:15:00", "決勝Ａ");
    addRow("202403091", "9:30:00", "9:45:00", "予選①");
    addRow("202403092", "8:00:00", "8:10:00", "other event");
    addRow("202403091", "9:45:00", "10:00:00", "予選②, 2組");

    ASSERT_TRUE(Writeinfo(db, QStringLiteral("202403091"), writer));
    EXPECT_EQ(RInfo(),
        QByteArray("9:30:00,9:45:00,") + platform::toCp932(QStringLiteral("予選①")) + "\r\n"
            + "9:45:00,10:00:00," + platform::toCp932(QStringLiteral("予選②, 2組")) + "\r\n"
            + "10:00:00,10:15:00," + platform::toCp932(QStringLiteral("決勝Ａ")) + "\r\n");
}

TEST_F(WriteinfoTest, AnEventWithoutRowsGivesAnEmptyFile)
{
    addRow("202403092", "8:00:00", "8:10:00", "other event");
    writer.writeSchedule({ { QStringLiteral("9:00:00"), QStringLiteral("9:10:00"), QStringLiteral("old") } });
    ASSERT_TRUE(Writeinfo(db, QStringLiteral("202403091"), writer));
    EXPECT_EQ(RInfo(), QByteArray());
}

TEST_F(WriteinfoTest, AnApostropheInTheCodeCannotBreakTheStatement)
{
    addRow("202403091", "9:00:00", "9:10:00", "x");
    testing_support::FakeMonitorFiles files;
    EXPECT_TRUE(Writeinfo(db, QStringLiteral("1' or '1'='1"), files));
    ASSERT_EQ(files.schedules.size(), 1u);
    EXPECT_TRUE(files.schedules[0].empty());
}

// A failing select reaches the caller and leaves the monitor's file as it was.
TEST_F(WriteinfoTest, AFailingSelectRaisesAndWritesNothing)
{
    writer.writeSchedule({ { QStringLiteral("9:00:00"), QStringLiteral("9:10:00"), QStringLiteral("old") } });
    db.execute(QStringLiteral("drop table rmenu"));
    EXPECT_THROW(Writeinfo(db, QStringLiteral("202403091"), writer), platform::DatabaseError);
    EXPECT_EQ(RInfo(), QByteArray("9:00:00,9:10:00,old\r\n"));
}

} // namespace
