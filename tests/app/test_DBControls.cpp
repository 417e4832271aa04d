// The data-aware memo on a live table: it shows the current row's field, and what is typed
// reaches the row when the table moves, is refreshed or the memo posts.

#include "app/DBControls.h"
#include "app/Udm1.h"
#include "platform/DataSet.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

QString storedMemo(TDM1& dm, const char* code)
{
    platform::Query q(dm.Database1);
    q.addSQL(QStringLiteral("select tmem from taikai where tcode=%1").arg(QLatin1String(code)));
    q.Open();
    return q.Eof() ? QStringLiteral("<none>") : q.Fields(0)->AsString();
}

TEST(TDBMemo, ShowsTheCurrentRowAndPostsWhatWasTypedBeforeTheRowIsLeft)
{
    testing_support::TempHome home;
    testing_support::ScriptedAsker asker;
    TDM1 dm;
    dm.reconnect();
    dm.Database1->execute(QStringLiteral(
        "insert into taikai (tcode,tname,tmem) values (202403091,'春','晴天'),(202403101,'夏','雨天')"));
    TDBMemo memo(dm.DStaikai, QStringLiteral("tmem"));
    EXPECT_TRUE(memo.isReadOnly()) << "no row while the table is closed";

    platform::Table& t = *dm.Tbtaikai;
    t.Open();
    EXPECT_EQ(memo.toPlainText(), "晴天");
    EXPECT_FALSE(memo.isReadOnly());
    memo.setPlainText(QStringLiteral("晴天\n午後から風"));
    EXPECT_EQ(storedMemo(dm, "202403091"), "晴天") << "typed, not yet posted";
    EXPECT_EQ(t.State(), platform::DataSetState::Edit);

    t.Next();
    EXPECT_EQ(storedMemo(dm, "202403091"), "晴天\n午後から風") << "posted as the table moved";
    EXPECT_EQ(memo.toPlainText(), "雨天");

    memo.setPlainText(QStringLiteral("順延"));
    t.Refresh();
    EXPECT_EQ(storedMemo(dm, "202403101"), "順延") << "posted before the refresh";
    EXPECT_EQ(memo.toPlainText(), "順延");

    memo.setPlainText(QStringLiteral("中止"));
    memo.post();
    EXPECT_EQ(storedMemo(dm, "202403101"), "中止");

    t.Close();
    EXPECT_EQ(memo.toPlainText(), "");
    EXPECT_TRUE(memo.isReadOnly());

    // Text put in while there is no row goes nowhere: no row is made for it.
    dm.Database1->execute(QStringLiteral("delete from taikai"));
    t.Open();
    memo.setPlainText(QStringLiteral("行なし"));
    EXPECT_TRUE(memo.isReadOnly());
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_TRUE(asker.errors().isEmpty());
}

} // namespace
