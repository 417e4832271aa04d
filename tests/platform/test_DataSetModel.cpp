#include "platform/DataSet.h"
#include "platform/DataSetModel.h"
#include "support/TestSupport.h"

#include <QHeaderView>
#include <QImage>
#include <QTableView>
#include <gtest/gtest.h>

using platform::DataSetModel;
using platform::DataSource;
using platform::Query;

namespace {

class DataSetModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.execute("create table rmenu (tcode integer, btime time, kara varchar(2), etime time, rmenu "
                   "varchar(24), uc integer)");
        db.execute("insert into rmenu values ('202403092','10:00:00','-','10:30:00','決勝 Aメイン',3);"
                   "insert into rmenu values ('202403092','9:00:00','-','9:30:00','予選 1 ヒート 1',1);"
                   "insert into rmenu values ('202403092','9:30:00','-','10:00:00','予選 1 ヒート 2',2);"
                   "insert into rmenu values ('0','9:00:00','-','9:05:00','template',1)");
        q.SQL << "select * from rmenu where tcode='202403092'"
              << "order by btime";
    }

    testing_support::TempHome home;
    platform::Database db;
    Query q { &db };
    DataSource source { &q };
};

} // namespace

TEST_F(DataSetModelTest, RowsAndColumnsFollowTheDataSet)
{
    DataSetModel model(&source);
    EXPECT_EQ(model.rowCount(), 0);
    q.Open();
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 6);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "btime");
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "9:00:00");
    EXPECT_EQ(model.data(model.index(2, 4)).toString(), "決勝 Aメイン");
    EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);

    // Reopened on other rows: the model resets.
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    q.Close();
    q.SQL.clear();
    q.SQL << "select * from rmenu where tcode=0";
    q.Open();
    EXPECT_GE(resets, 1);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.data(model.index(0, 4)).toString(), "template");
}

TEST_F(DataSetModelTest, ChosenColumnsWithTitles)
{
    DataSetModel model(&source);
    model.setColumns({ "BTIME", "kara", "etime", "nosuch", "rmenu" }, { "開始", "～", "終了", "", "内容" });
    q.Open();
    ASSERT_EQ(model.columnCount(), 5);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "開始");
    EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), "nosuch");
    EXPECT_EQ(model.data(model.index(1, 2)).toString(), "10:00:00");
    EXPECT_EQ(model.data(model.index(1, 3)).toString(), "");
}

TEST_F(DataSetModelTest, RowsMapToTheCursor)
{
    DataSetModel model(&source);
    q.Open();
    QList<int> seen;
    QObject::connect(&model, &DataSetModel::currentRowChanged, [&](int row) { seen << row; });
    model.setCurrentRow(2);
    EXPECT_EQ(q.RecNo(), 3);
    EXPECT_EQ(q.FieldByName("uc")->AsInteger(), 3);
    q.First();
    EXPECT_EQ(model.currentRow(), 0);
    EXPECT_EQ(seen, (QList<int> { 2, 0 }));
}

TEST_F(DataSetModelTest, EditingACellOfALiveResultWritesTheRow)
{
    DataSetModel model(&source);
    q.RequestLive = true;
    q.Open();
    ASSERT_TRUE(model.flags(model.index(1, 4)) & Qt::ItemIsEditable);
    EXPECT_TRUE(model.setData(model.index(1, 4), "予選 1 ヒート 9"));
    EXPECT_EQ(model.data(model.index(1, 4)).toString(), "予選 1 ヒート 9");
    Query check(&db);
    check.SQL << "select * from rmenu where uc='2' and tcode='202403092'";
    check.Open();
    EXPECT_EQ(check.FieldByName("rmenu")->AsString(), "予選 1 ヒート 9");

    // A value the column cannot take is refused and reported; the row stays.
    testing_support::ScriptedAsker asker;
    EXPECT_FALSE(model.setData(model.index(1, 1), "not a time"));
    EXPECT_EQ(asker.errors().size(), 1);
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), "9:30:00");
    EXPECT_EQ(q.State(), platform::DataSetState::Browse);
}

TEST_F(DataSetModelTest, ModelFollowsAppendAndDelete)
{
    DataSetModel model(&source);
    q.RequestLive = true;
    q.Open();
    q.Last();
    q.Delete();
    EXPECT_EQ(model.rowCount(), 2);
    q.Append();
    q.FieldByName("tcode")->SetAsString("202403092");
    q.FieldByName("btime")->SetAsString("11:00:00");
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), "11:00:00");
    q.Post();
    EXPECT_EQ(model.data(model.index(2, 0)).toString(), "202403092");
}

TEST_F(DataSetModelTest, GridShowsTheSchedule)
{
    DataSetModel model(&source);
    model.setColumns({ "btime", "kara", "etime", "rmenu" }, { "開始", "～", "終了", "内容" });
    model.setAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
    model.setAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    q.Open();
    QTableView view;
    view.setModel(&model);
    view.resize(420, 160);
    view.verticalHeader()->hide();
    view.setColumnWidth(3, 200);
    view.show();
    const QString png = testing_support::saveGrab(&view, "DataSetModel_schedule");
    QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), view.width());
}
