#include "app/DBControls.h"
#include "app/Udm1.h"
#include "app/Umain.h"
#include "app/uComm.h"
#include "app/uselecttaikai.h"
#include "components/CuteBtn.h"
#include "platform/Clock.h"
#include "platform/ColorRef.h"
#include "platform/DataSet.h"
#include "platform/DataSetModel.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDateEdit>
#include <QFocusEvent>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kConnectionFailure = QStringLiteral("データベースに接続できません。");

class EventList : public ::testing::Test {
protected:
    void SetUp() override
    {
        dm = std::make_unique<TDM1>();
        DM1 = dm.get();
        dm->reconnect();
        CurrentEventCode.clear();
        OpenRaceConsole = nullptr;
    }
    void TearDown() override
    {
        window.reset();
        OpenRaceConsole = nullptr;
        DM1 = nullptr;
        dm.reset();
    }

    void open()
    {
        window = std::make_unique<TFselecttaikai>(nullptr, clock);
        window->show();
    }

    void exec(const QString& sql) { dm->Database1->execute(sql); }

    void addEvent(const QString& code, const QString& name, const QString& mmddyyyy)
    {
        exec(QStringLiteral("insert into taikai (tcode,tname,tdate,status) values ('%1','%2','%3','1')")
                 .arg(code, EscapeApostrophes(name), mmddyyyy));
    }

    // The values of the first column of a select, as text.
    QStringList column(const QString& sql)
    {
        platform::Query* q = dm->Qtemp2;
        q->Close();
        q->SQL = QStringList { sql };
        q->Open();
        QStringList values;
        for (q->First(); !q->Eof(); q->Next())
            values << q->Fields(0)->AsString();
        q->Close();
        return values;
    }

    // The codes as the grid lists them, top to bottom.
    QStringList listedCodes()
    {
        platform::DataSetModel* model = window->DBGrid1->dataModel();
        QStringList codes;
        for (int row = 0; row < model->rowCount(); ++row)
            codes << model->index(row, 0).data().toString();
        return codes;
    }

    void selectCode(const QString& code)
    {
        ASSERT_TRUE(dm->Qtaikai->Locate(QStringLiteral("tcode"), code)) << code.toStdString();
    }

    QString currentCode() { return dm->Qtaikai->FieldByName(QStringLiteral("tcode"))->AsString(); }

    // Starts add mode on a date and asks for the sequence digit as Enter in the picker does.
    void proposeFor(const QDate& date)
    {
        window->bAddClick();
        window->DTP1->setDate(date);
        QTest::keyClick(window->DTP1, Qt::Key_Return);
    }

    QColor panelColor(QWidget* w) { return w->palette().color(QPalette::Window); }

    testing_support::TempHome home;
    testing_support::ScriptedAsker asker;
    platform::ManualClock clock { QDateTime(QDate(2024, 3, 9), QTime(9, 0)) };
    std::unique_ptr<TDM1> dm;
    std::unique_ptr<TFselecttaikai> window;
};

} // namespace

TEST_F(EventList, ListsEventsNewestFirstWithItsThreeColumns)
{
    addEvent("202312311", "Year end", "12/31/2023");
    addEvent("202403091", "Spring", "03/09/2024");
    addEvent("202401051", "New year", "01/05/2024");
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("大会選択"));
    EXPECT_EQ(window->width(), 688);
    EXPECT_EQ(listedCodes(), (QStringList { "202403091", "202401051", "202312311" }));

    platform::DataSetModel* model = window->DBGrid1->dataModel();
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("大会コード"));
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("タイトル"));
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("開催日"));
    EXPECT_EQ(model->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
        Qt::Alignment(Qt::AlignCenter));
    // At least 66 pixels, and wide enough for the code in the font at hand.
    EXPECT_GE(window->DBGrid1->columnWidth(0), 66);
    EXPECT_GE(
        window->DBGrid1->columnWidth(0), window->DBGrid1->fontMetrics().horizontalAdvance("202403091") + 6);
    EXPECT_EQ(window->DBGrid1->columnWidth(1), 180);
    EXPECT_EQ(window->DBGrid1->columnWidth(2), 80);
    EXPECT_EQ(model->index(0, 2).data().toString(), "2024/03/09");
    EXPECT_EQ(model->index(0, 1).data().toString(), "Spring");
    EXPECT_TRUE(window->pTikiEdit->isHidden());
    EXPECT_TRUE(window->Panel5->isHidden());
    EXPECT_TRUE(window->Panel6->isHidden());
    EXPECT_TRUE(window->Edit1->isHidden());
    EXPECT_EQ(window->DTP1->date(), QDate(2024, 3, 9)); // today by the clock
}

TEST_F(EventList, GridAndCursorMoveTogether)
{
    addEvent("202403091", "A", "03/09/2024");
    addEvent("202403101", "B", "03/10/2024");
    open();
    window->DBGrid1->selectRow(1);
    EXPECT_EQ(currentCode(), "202403091");
    dm->Qtaikai->First();
    EXPECT_EQ(window->DBGrid1->currentIndex().row(), 0);
}

TEST_F(EventList, ModesStartOnlyFromNoneWithTheirColours)
{
    addEvent("202403091", "Spring", "03/09/2024");
    open();

    window->bAddClick();
    EXPECT_EQ(window->tikiMode(), "TIKIADD");
    EXPECT_TRUE(window->pTikiEdit->isVisible());
    EXPECT_EQ(panelColor(window->pTikiEdit), platform::colorFromRef(0x00FF8080));
    EXPECT_EQ(panelColor(window->Panel1), platform::colorFromRef(0x00FF8080));
    EXPECT_EQ(window->Btouroku->Color(), platform::TColor(0x00FF8080));
    EXPECT_EQ(window->Btouroku->Caption(), QStringLiteral("登録"));
    EXPECT_EQ(window->lTCode->text(), QStringLiteral("開催日"));
    EXPECT_TRUE(window->eTName->text().isEmpty());
    EXPECT_FALSE(window->eTName->isReadOnly());
    // The focused button takes the brighter colour and gives it back when it loses the focus.
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(window->Btouroku, &in);
    EXPECT_EQ(window->Btouroku->Color(), platform::TColor(0x00FFFF80));
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(window->Btouroku, &out);
    EXPECT_EQ(window->Btouroku->Color(), platform::TColor(0x00FF8080));

    window->bEditClick(); // a mode is active: nothing changes
    EXPECT_EQ(window->tikiMode(), "TIKIADD");
    window->CbCancelClick();
    EXPECT_EQ(window->tikiMode(), "");
    EXPECT_TRUE(window->pTikiEdit->isHidden());

    window->bEditClick();
    EXPECT_EQ(window->tikiMode(), "TIKIEDIT");
    EXPECT_EQ(window->eTName->text(), "Spring");
    EXPECT_EQ(window->DTP1->date(), QDate(2024, 3, 9));
    EXPECT_EQ(window->lTCode->text(), QStringLiteral("大会コード"));
    EXPECT_EQ(window->lTName->text(), QStringLiteral("大会名"));
    EXPECT_EQ(panelColor(window->Panel2), platform::colorFromRef(0x0080FF80));
    QApplication::sendEvent(window->CbCancel, &in);
    EXPECT_EQ(window->CbCancel->Color(), platform::TColor(0x0007F80E));
    window->CbCancelClick();

    window->bDelClick();
    EXPECT_EQ(window->tikiMode(), "TIKIDEL");
    EXPECT_EQ(window->Btouroku->Caption(), QStringLiteral("削除"));
    EXPECT_TRUE(window->eTName->isReadOnly());
    EXPECT_EQ(window->eTName->text(), "Spring");
    EXPECT_EQ(panelColor(window->pTikiEdit), platform::colorFromRef(0x008080FF));
    QApplication::sendEvent(window->Btouroku, &in);
    EXPECT_EQ(window->Btouroku->Color(), platform::TColor(0x008CDFFB));
}

TEST_F(EventList, EditAndDeleteNeedARow)
{
    open();
    window->bEditClick();
    EXPECT_EQ(window->tikiMode(), "");
    window->bDelClick();
    EXPECT_EQ(window->tikiMode(), "");
}

TEST_F(EventList, AddWritesTheRowWithTheDefaultSignalTimes)
{
    open();
    proposeFor(QDate(2024, 3, 9));
    EXPECT_EQ(window->Edit2->text(), "1"); // the first event of a date
    window->eTName->setText("Spring");
    EXPECT_EQ(window->newEventCode(), "202403091");
    window->Btouroku->Click();
    EXPECT_TRUE(asker.messages().isEmpty()) << asker.messages().join('\n').toStdString();
    EXPECT_EQ(window->tikiMode(), "");
    EXPECT_TRUE(window->pTikiEdit->isHidden());

    EXPECT_EQ(column("select tname from taikai where tcode='202403091'"), QStringList { "Spring" });
    EXPECT_EQ(column("select tdate from taikai where tcode='202403091'"), QStringList { "2024/03/09" });
    EXPECT_EQ(column("select status from taikai"), QStringList { "1" });
    EXPECT_EQ(column("select on1||of1||on2||of2||on3||of3||on4||of4||on5||of5||ons from taikai"),
        QStringList { "0:00:000:00:500:00:000:00:400:00:000:00:300:00:000:00:200:00:000:00:100:00:00" });
    EXPECT_TRUE(window->Edit1->text().contains("insert into taikai (tcode,tname,tdate,status"));
    EXPECT_EQ(listedCodes(), QStringList { "202403091" });

    proposeFor(QDate(2024, 3, 9));
    EXPECT_EQ(window->Edit2->text(), "2"); // the next digit
}

TEST_F(EventList, ControlCharactersInTheTitleOrAStatementAreRefusedWithTheFieldNamed)
{
    open();
    proposeFor(QDate(2024, 3, 9));
    window->eTName->setText(QStringLiteral("ab") + QChar(0));
    window->Btouroku->Click();
    EXPECT_EQ(asker.messages(),
        QStringList { QStringLiteral("「大会名」に使えない制御文字 (NUL など) が含まれています。"
                                     "取り除いてから、もう一度操作してください。") });
    EXPECT_EQ(window->tikiMode(), "TIKIADD") << "the editor stays with what was typed";
    EXPECT_TRUE(column("select tcode from taikai").isEmpty());

    window->CuteButton2Click();
    window->Memo1->setPlainText(QStringLiteral("insert into tnow (tcode) values ('5") + QChar(0x07) + "')");
    window->CuteButton4Click();
    ASSERT_EQ(asker.messages().size(), 2);
    EXPECT_TRUE(asker.messages().last().startsWith(QStringLiteral("「SQL文」に使えない制御文字")));
    EXPECT_TRUE(asker.errors().isEmpty());
    EXPECT_TRUE(column("select tcode from tnow where tcode like '5%'").isEmpty());
}

TEST_F(EventList, ProposalIsOneMoreThanTheHighestDigitOfTheDate)
{
    addEvent("202403091", "A", "03/09/2024");
    addEvent("202403093", "C", "03/09/2024");
    addEvent("202403109", "Other date", "03/10/2024");
    open();
    proposeFor(QDate(2024, 3, 9));
    EXPECT_EQ(window->Edit2->text(), "4");
}

TEST_F(EventList, AfterNineTheProposalTakesAFreeDigitAndAFullDateIsRefused)
{
    addEvent("202403091", "A", "03/09/2024");
    addEvent("202403099", "I", "03/09/2024");
    open();
    proposeFor(QDate(2024, 3, 9));
    EXPECT_EQ(window->Edit2->text(), "2"); // never "10"
    window->CbCancelClick();

    for (int d = 2; d <= 8; ++d)
        addEvent(QStringLiteral("20240309%1").arg(d), "X", "03/09/2024");
    proposeFor(QDate(2024, 3, 9));
    EXPECT_TRUE(window->Edit2->text().isEmpty());
    ASSERT_EQ(asker.messages().size(), 1);
    EXPECT_TRUE(asker.messages().first().contains(QStringLiteral("9件")));

    // Typing a digit anyway does not make a tenth event.
    window->Edit2->setText("5");
    window->eTName->setText("Tenth");
    window->Btouroku->Click();
    ASSERT_EQ(asker.messages().size(), 2);
    EXPECT_TRUE(asker.messages().last().contains(QStringLiteral("9件")));
    EXPECT_EQ(window->tikiMode(), "TIKIADD");
    EXPECT_EQ(column("select count(*) from taikai"), QStringList { "9" });
}

TEST_F(EventList, SequenceDigitMustBeOneToNine)
{
    open();
    window->bAddClick();
    window->DTP1->setDate(QDate(2024, 3, 9));
    QTest::keyClicks(window->Edit2, "0a");
    EXPECT_TRUE(window->Edit2->text().isEmpty()); // the box takes 1 to 9 only
    window->eTName->setText("No digit");
    window->Btouroku->Click();
    ASSERT_EQ(asker.messages().size(), 1);
    EXPECT_TRUE(asker.messages().first().contains(QStringLiteral("1から9")));
    EXPECT_EQ(window->tikiMode(), "TIKIADD");
    EXPECT_EQ(column("select count(*) from taikai"), QStringList { "0" });
}

TEST_F(EventList, DuplicateCodeIsRefusedAndTheEditorStays)
{
    addEvent("202403091", "Spring", "03/09/2024");
    open();
    window->bAddClick();
    window->DTP1->setDate(QDate(2024, 3, 9));
    window->Edit2->setText("1");
    window->eTName->setText("Again");
    window->Btouroku->Click();
    EXPECT_EQ(asker.messages(), QStringList { QStringLiteral("大会コードが重複しています。") });
    EXPECT_EQ(window->tikiMode(), "TIKIADD");
    EXPECT_TRUE(window->pTikiEdit->isVisible());
    EXPECT_EQ(column("select tname from taikai"), QStringList { "Spring" });
}

TEST_F(EventList, AfterAnAddTheListStandsOnTheEventLastOpened)
{
    addEvent("202312311", "Opened last", "12/31/2023");
    addEvent("202403091", "Spring", "03/09/2024");
    CurrentEventCode = "202312311";
    open();
    proposeFor(QDate(2024, 5, 1));
    window->eTName->setText("May");
    window->Btouroku->Click();
    EXPECT_EQ(listedCodes().first(), "202405011");
    EXPECT_EQ(currentCode(), "202312311");
}

TEST_F(EventList, EditingTheDateKeepsTheCode)
{
    addEvent("202403091", "Spring", "03/09/2024");
    addEvent("202405011", "May", "05/01/2024");
    open();
    selectCode("202403091");
    window->bEditClick();
    window->eTName->setText("Spring cup");
    window->DTP1->setDate(QDate(2024, 6, 2));
    window->Btouroku->Click();
    EXPECT_EQ(window->tikiMode(), "");
    EXPECT_EQ(column("select tname from taikai where tcode='202403091'"), QStringList { "Spring cup" });
    EXPECT_EQ(column("select tdate from taikai where tcode='202403091'"), QStringList { "2024/06/02" });
    EXPECT_EQ(column("select count(*) from taikai"), QStringList { "2" });
    EXPECT_EQ(currentCode(), "202403091"); // the edited event, now at the top
    EXPECT_EQ(listedCodes().first(), "202403091");
}

// The editor shows one event; moving the grid meanwhile must not change or delete another.
TEST_F(EventList, CommitGoesToTheEventTheEditorShows)
{
    addEvent("202403091", "Spring", "03/09/2024");
    addEvent("202405011", "May", "05/01/2024");
    addEvent("202406011", "June", "06/01/2024");
    open();
    selectCode("202403091");
    window->bDelClick();
    selectCode("202405011");
    window->Btouroku->Click();
    EXPECT_EQ(column("select tcode from taikai order by tcode"), (QStringList { "202405011", "202406011" }));

    selectCode("202405011");
    window->bEditClick();
    window->eTName->setText("May cup");
    selectCode("202406011");
    window->Btouroku->Click();
    EXPECT_EQ(column("select tname from taikai order by tcode"), (QStringList { "May cup", "June" }));
}

TEST_F(EventList, DeleteRemovesTheEventItsScheduleAndItsCues)
{
    addEvent("202403091", "Spring", "03/09/2024");
    addEvent("202403092", "Other", "03/09/2024");
    for (const char* code : { "202403091", "202403092", "0" }) {
        exec(QStringLiteral("insert into rmenu (tcode,rr,btime,etime,kara,rmenu) values "
                            "('%1',1,'9:00:00','9:10:00','-','Heat')")
                 .arg(QLatin1String(code)));
        exec(QStringLiteral("insert into music (tcode,bun,tno,mname) values ('%1','r','0:01:00','a.wav')")
                 .arg(QLatin1String(code)));
    }
    open();
    selectCode("202403091");
    window->bDelClick();
    window->Btouroku->Click();
    EXPECT_EQ(window->tikiMode(), "");
    EXPECT_EQ(column("select tcode from taikai"), QStringList { "202403092" });
    EXPECT_EQ(column("select tcode from rmenu order by tcode"), (QStringList { "0", "202403092" }));
    EXPECT_EQ(column("select tcode from music order by tcode"), (QStringList { "0", "202403092" }));
    EXPECT_EQ(listedCodes(), QStringList { "202403092" });

    // A new event on the same date and digit starts without the old cues.
    proposeFor(QDate(2024, 3, 9));
    window->Edit2->setText("1");
    window->eTName->setText("New");
    window->Btouroku->Click();
    EXPECT_TRUE(column("select mname from music where tcode='202403091'").isEmpty());
}

TEST_F(EventList, TitlesWithApostrophesRoundTrip)
{
    open();
    proposeFor(QDate(2024, 3, 9));
    window->eTName->setText("Bob's 'Cup' ''");
    window->Btouroku->Click();
    EXPECT_TRUE(asker.errors().isEmpty()) << asker.errors().join('\n').toStdString();
    EXPECT_EQ(column("select tname from taikai"), QStringList { "Bob's 'Cup' ''" });

    window->bEditClick();
    EXPECT_EQ(window->eTName->text(), "Bob's 'Cup' ''");
    window->eTName->setText("O'Neil's");
    window->Btouroku->Click();
    EXPECT_TRUE(asker.errors().isEmpty()) << asker.errors().join('\n').toStdString();
    EXPECT_EQ(column("select tname from taikai"), QStringList { "O'Neil's" });
}

TEST_F(EventList, EnterMovesThroughTheEditor)
{
    open();
    window->activateWindow();
    window->bAddClick();
    // Enter reaches the picker's own text box while the operator types the date.
    auto* dateText = window->DTP1->findChild<QLineEdit*>();
    ASSERT_NE(dateText, nullptr);
    QTest::keyClick(dateText, Qt::Key_Return);
    EXPECT_EQ(window->Edit2->text(), "1");
    EXPECT_EQ(window->focusWidget(), window->Edit2);
    QTest::keyClick(window->Edit2, Qt::Key_Return);
    EXPECT_EQ(window->focusWidget(), window->eTName);
    QTest::keyClick(window->eTName, Qt::Key_Return);
    EXPECT_EQ(window->focusWidget(), window->Btouroku);
}

TEST_F(EventList, OpeningAnEventSetsThePresetsAndTnowAndCallsTheConsole)
{
    addEvent("202403091", "Spring", "03/09/2024");
    exec("update taikai set sq1='0:03:00', sq2='0:05:00' where tcode='202403091'");
    QWidget* owner = nullptr;
    bool loadingShown = false;
    OpenRaceConsole = [&](QWidget* w) {
        owner = w;
        loadingShown = window->Panel5->isVisible();
    };
    open();
    WarmUpTimePreset = RaceTimePreset = OverTimePreset = BlankTimePreset = AutoIntervalPreset = "9:99:99";
    window->CuteButton1->Click();
    EXPECT_EQ(CurrentEventCode, "202403091");
    EXPECT_EQ(WarmUpTimePreset, "0:03:00");
    EXPECT_EQ(RaceTimePreset, "0:05:00");
    EXPECT_EQ(OverTimePreset, "0:00:00"); // empty presets become zero
    EXPECT_EQ(BlankTimePreset, "0:00:00");
    EXPECT_EQ(AutoIntervalPreset, "0:00:00");
    EXPECT_EQ(column("select tcode from tnow"), QStringList { "202403091" });
    EXPECT_EQ(owner, window.get());
    EXPECT_TRUE(loadingShown);
    EXPECT_TRUE(window->Panel5->isHidden());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(asker.messages().isEmpty());
}

TEST_F(EventList, OpeningAnEventPutsBackAMissingTnowRow)
{
    addEvent("202403091", "Spring", "03/09/2024");
    exec("delete from tnow");
    open();
    window->CuteButton1->Click();
    EXPECT_EQ(column("select tcode from tnow"), QStringList { "202403091" });
    EXPECT_TRUE(asker.messages().isEmpty());
}

TEST_F(EventList, MissingTnowTableIsReportedAndTheConsoleOpensAllTheSame)
{
    addEvent("202403091", "Spring", "03/09/2024");
    exec("drop table tnow");
    int consoles = 0;
    OpenRaceConsole = [&](QWidget*) { ++consoles; };
    open();
    window->CuteButton1->Click();
    // The cause follows: a full disk would be said as such, not as a missing table.
    EXPECT_EQ(asker.messages(),
        QStringList {
            QStringLiteral("Tnowが見つかりません。\nデータベースファイル %1 で SQL 文を実行できません。\n"
                           "詳細: no such table: tnow")
                .arg(dm->Database1->path()) });
    EXPECT_EQ(consoles, 1);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(EventList, DoubleClickOpensTheEventOfThatRow)
{
    addEvent("202403091", "Spring", "03/09/2024");
    addEvent("202405011", "May", "05/01/2024");
    int consoles = 0;
    OpenRaceConsole = [&](QWidget*) { ++consoles; };
    open();
    const QRect cell = window->DBGrid1->visualRect(window->DBGrid1->dataModel()->index(1, 1));
    // A press and release, then the double-click as the window system delivers it.
    QWidget* viewport = window->DBGrid1->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, cell.center());
    const QPointF at(cell.center());
    QMouseEvent dbl(
        QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(viewport, &dbl);
    EXPECT_EQ(consoles, 1);
    EXPECT_EQ(CurrentEventCode, "202403091");
}

TEST_F(EventList, ADatabaseFailureWhenChoosingClosesTheListWithTheConnectionMessage)
{
    addEvent("202403091", "Spring", "03/09/2024");
    OpenRaceConsole = [](QWidget*) { throw platform::DatabaseError("no such table: rmenu"); };
    open();
    window->CuteButton1->Click();
    EXPECT_EQ(asker.messages(), QStringList { kConnectionFailure + "\nno such table: rmenu" });
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->Panel5->isHidden());
}

TEST_F(EventList, OtherFailuresWhenChoosingSayWhatFailed)
{
    addEvent("202403091", "Spring", "03/09/2024");
    OpenRaceConsole = [](QWidget*) { throw std::runtime_error("COM3を開けません。"); };
    open();
    window->CuteButton1->Click();
    EXPECT_TRUE(asker.messages().isEmpty());
    EXPECT_EQ(asker.errors(), QStringList { QStringLiteral("COM3を開けません。") });
    EXPECT_TRUE(window->isVisible());

    // A double-click never turns a failure into the connection message.
    OpenRaceConsole = [](QWidget*) { throw platform::DatabaseError("disk I/O error"); };
    window->DBGrid1DblClick();
    EXPECT_EQ(asker.errors().last(), "disk I/O error");
    EXPECT_TRUE(asker.messages().isEmpty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(EventList, MaintenancePanelOpensSelectsAndRunsStatements)
{
    addEvent("202403091", "Spring", "03/09/2024");
    open();
    window->CuteButton2Click();
    ASSERT_TRUE(window->Panel6->isVisible());
    EXPECT_EQ(window->Panel6->pos(), QPoint(32, 16));
    EXPECT_TRUE(window->CuteButton2->isVisible());
    EXPECT_EQ(window->DBGrid2->dataModel()->rowCount(), 1); // checkv
    EXPECT_EQ(window->DBGrid2->dataModel()->index(0, 0).data().toString(), "8");

    window->Memo1->setPlainText("select tcode, tname from taikai");
    window->CuteButton3Click();
    ASSERT_EQ(window->DBGrid2->dataModel()->rowCount(), 1);
    EXPECT_EQ(window->DBGrid2->dataModel()->index(0, 1).data().toString(), "Spring");
    // The result is live: a cell edited in the grid goes to the table.
    EXPECT_TRUE(window->DBGrid2->dataModel()->setData(window->DBGrid2->dataModel()->index(0, 1), "Edited"));
    EXPECT_EQ(column("select tname from taikai"), QStringList { "Edited" });

    // Every statement runs; a trailing select shows its rows.
    window->Memo1->setPlainText("update taikai set tname='First';\n"
                                "insert into tnow (tcode) values ('5');\n"
                                "select tcode from tnow order by tcode");
    window->CuteButton4Click();
    EXPECT_TRUE(asker.errors().isEmpty()) << asker.errors().join('\n').toStdString();
    EXPECT_EQ(column("select tname from taikai"), QStringList { "First" });
    EXPECT_EQ(window->DBGrid2->dataModel()->rowCount(), 2);

    // A broken statement reports the database's own words and changes nothing.
    window->Memo1->setPlainText("update taikai set tname='Second'; update nosuch set a=1");
    window->CuteButton4Click();
    ASSERT_EQ(asker.errors().size(), 1);
    EXPECT_TRUE(asker.errors().first().contains("nosuch")) << asker.errors().first().toStdString();
    EXPECT_EQ(column("select tname from taikai"), QStringList { "First" });
    window->Memo1->setPlainText("selec * from taikai");
    window->CuteButton3Click();
    EXPECT_EQ(asker.errors().size(), 2);
    EXPECT_TRUE(window->isVisible());

    window->CuteButton2Click();
    EXPECT_TRUE(window->Panel6->isHidden());
    EXPECT_FALSE(dm->Qtemp->Active());
    EXPECT_FALSE(dm->Qtemp->RequestLive);
}

TEST_F(EventList, ChangesWaitForTheResultsProgramWritingInsteadOfFailing)
{
    using namespace std::chrono_literals;
    addEvent("202403091", "Spring", "03/09/2024");
    addEvent("202403092", "Other", "03/09/2024");
    open();
    {
        // A maintenance text that reads before it writes.
        const testing_support::OtherWriter results(
            dm->Database1->path(), "insert into result (tcode, round, heat) values (202403092, 1, 1)", 300ms);
        window->CuteButton2Click();
        window->Memo1->setPlainText("select count(*) from result; update taikai set tname='Renamed' "
                                    "where tcode='202403092'");
        window->CuteButton4Click();
    }
    {
        const testing_support::OtherWriter results(
            dm->Database1->path(), "insert into result (tcode, round, heat) values (202403092, 1, 2)", 300ms);
        selectCode("202403091");
        window->bDelClick();
        window->Btouroku->Click();
    }
    EXPECT_TRUE(asker.errors().isEmpty()) << asker.errors().join('\n').toStdString();
    EXPECT_EQ(column("select tname from taikai"), QStringList { "Renamed" });
    EXPECT_EQ(column("select count(*) from result"), QStringList { "2" });
}

TEST_F(EventList, NavigatorMovesTheMaintenanceGrid)
{
    for (int d = 1; d <= 3; ++d)
        addEvent(QStringLiteral("20240309%1").arg(d), "X", "03/09/2024");
    open();
    window->CuteButton2Click();
    window->Memo1->setPlainText("select tcode from taikai order by tcode");
    window->CuteButton3Click();
    window->DBNavigator1->BtnClick(TNavigateBtn::nbLast);
    EXPECT_EQ(window->DBGrid2->currentIndex().row(), 2);
    window->DBNavigator1->BtnClick(TNavigateBtn::nbPrior);
    EXPECT_EQ(dm->Qtemp->FieldByName("tcode")->AsString(), "202403092");
    window->DBNavigator1->BtnClick(TNavigateBtn::nbFirst);
    EXPECT_EQ(window->DBGrid2->currentIndex().row(), 0);
}

TEST_F(EventList, PicturesOfEachEditorMode)
{
    addEvent("202312311", "年末耐久レース", "12/31/2023");
    addEvent("202403091", "スプリングカップ Bob's", "03/09/2024");
    addEvent("202403092", "スプリングカップ 決勝", "03/09/2024");
    open();
    const QImage none(testing_support::saveGrab(window.get(), "event_list_none"));
    EXPECT_FALSE(none.isNull());

    window->bAddClick();
    window->DTP1->setDate(QDate(2024, 3, 9));
    QTest::keyClick(window->DTP1, Qt::Key_Return);
    window->eTName->setText("新しい大会");
    const QImage add(testing_support::saveGrab(window.get(), "event_list_add"));
    const QPoint inEditor = window->pTikiEdit->geometry().topLeft() + QPoint(4, 100);
    EXPECT_EQ(add.pixelColor(inEditor), platform::colorFromRef(0x00FF8080));
    window->CbCancelClick();

    selectCode("202403091");
    window->bEditClick();
    const QImage edit(testing_support::saveGrab(window.get(), "event_list_edit"));
    EXPECT_EQ(edit.pixelColor(inEditor), platform::colorFromRef(0x0080FF80));
    window->CbCancelClick();

    window->bDelClick();
    const QImage del(testing_support::saveGrab(window.get(), "event_list_delete"));
    EXPECT_EQ(del.pixelColor(inEditor), platform::colorFromRef(0x008080FF));
    window->CbCancelClick();

    window->CuteButton2Click();
    window->Memo1->setPlainText("select * from taikai");
    window->CuteButton3Click();
    testing_support::saveGrab(window.get(), "event_list_maintenance");

    window->Panel5->show();
    window->Panel5->raise();
    testing_support::saveGrab(window.get(), "event_list_loading");
}

TEST_F(EventList, StartWindowMakesAFreshListOnEachPress)
{
    resetSettingsLoaded();
    TFmain start;
    QStringList seen; // the modal windows' names while they were open
    for (int press = 0; press < 2; ++press) {
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            seen << (modal ? modal->objectName() : QString());
            if (modal)
                modal->close();
        });
        start.CuteButton1->Click();
        EXPECT_TRUE(start.findChildren<TFselecttaikai*>().isEmpty()); // freed when it closed
    }
    EXPECT_EQ(seen, (QStringList { "Fselecttaikai", "Fselecttaikai" }));
    resetSettingsLoaded();
}

TEST_F(EventList, EscapeKeepsTheListAndWhatIsTyped)
{
    open();
    window->bAddClick();
    window->eTName->setText("Half typed");
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->tikiMode(), "TIKIADD");
    EXPECT_EQ(window->eTName->text(), "Half typed");
}

TEST_F(EventList, ClosingWithTheMaintenancePanelOpenLeavesTheScratchQueryReadOnly)
{
    open();
    window->CuteButton2Click();
    EXPECT_TRUE(dm->Qtemp->RequestLive);
    window->CuteButton6Click();
    EXPECT_FALSE(window->isVisible());
    window.reset();
    EXPECT_FALSE(dm->Qtemp->RequestLive);
    EXPECT_FALSE(dm->Qtemp->Active());
}

TEST_F(EventList, ChoosingInAnEmptyListDoesNothing)
{
    int consoles = 0;
    OpenRaceConsole = [&](QWidget*) { ++consoles; };
    open();
    window->CuteButton1->Click();
    EXPECT_EQ(consoles, 0);
    EXPECT_TRUE(asker.messages().isEmpty());
    EXPECT_TRUE(asker.errors().isEmpty());
    EXPECT_EQ(column("select tcode from tnow"), QStringList { "0" });
}
