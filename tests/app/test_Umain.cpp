#include "app/Udm1.h"
#include "app/Umain.h"
#include "app/uComm.h"
#include "components/CuteBtn.h"
#include "platform/DataSet.h"
#include "platform/MessageBoxAsker.h"
#include "platform/TextCodec.h"
#include "support/TestSupport.h"
#include "support/WindowInput.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>
#include <memory>

namespace {

using testing_support::readCp932File;
using testing_support::writeCp932File;

// The program's start: the data module first, then the start window.
class StartWindow : public ::testing::Test {
protected:
    void SetUp() override { resetSettingsLoaded(); }
    void TearDown() override
    {
        window.reset();
        DM1 = nullptr;
        resetSettingsLoaded();
    }

    void start()
    {
        dm = std::make_unique<TDM1>();
        DM1 = dm.get();
        window = std::make_unique<TFmain>();
        Fmain = window.get();
    }

    // A database of the first layout, without checkv: every step of the upgrade runs.
    static void makeVersion1Database()
    {
        TDM1 old;
        old.Database1->setConnected(true);
        for (const char* sql :
            { "create table taikai (tcode varchar(10), tname varchar(60), tdate date, status smallint)",
                "create table rmenu (tcode varchar(10), rr integer, btime time, etime time, kara varchar(2),"
                " rmenu varchar(60))",
                "create table music (tcode varchar(10), bun varchar(1), tno time, mname varchar(255))",
                "insert into taikai (tcode,tname,tdate) values ('7','Old','05/04/2023')",
                "insert into rmenu (tcode,rr,btime,etime,kara,rmenu) values "
                "('7',1,'9:00:00','9:10:00','-','A')" })
            old.Database1->execute(QLatin1String(sql));
    }

    // Shows the window and lets it run its layout upgrade, which follows the first paint.
    void showAndWait()
    {
        window->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->upgradeWaiting(); }, 10000));
    }

    testing_support::TempHome home;
    testing_support::ScriptedAsker asker;
    std::unique_ptr<TDM1> dm;
    std::unique_ptr<TFmain> window;
};

} // namespace

TEST_F(StartWindow, ShowsItsLayoutAndBringsAFreshDatabaseToVersion8)
{
    start();
    showAndWait();
    EXPECT_EQ(window->windowTitle(), "Race schedule control");
    EXPECT_EQ(window->size(), QSize(658, 313));
    // A fixed layout: dragging the frame does not resize it.
    EXPECT_EQ(window->minimumSize(), QSize(658, 313));
    EXPECT_EQ(window->maximumSize(), QSize(658, 313));
    EXPECT_EQ(window->font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    EXPECT_EQ(window->font().pixelSize(), 12);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window->Image1->pixmap().size(), QSize(457, 153));
    EXPECT_EQ(window->Image1->y(), 16);
    EXPECT_EQ(window->CuteButton1->Caption(), QStringLiteral("大会実行"));
    EXPECT_EQ(window->CuteButton1->size(), QSize(145, 41));
    EXPECT_EQ(window->CuteButton1->Color(), platform::TColor(0x00FF0000));
    EXPECT_EQ(window->CuteButton1->fontColor(), platform::clWhite);
    EXPECT_EQ(window->CuteButton2->Color(), platform::clBlack);
    EXPECT_EQ(window->CuteButton2->fontColor(), platform::clWhite);
    EXPECT_EQ(window->CuteButton2->Caption(), QStringLiteral("ＣＬＯＳＥ"));
    EXPECT_TRUE(window->geometry().contains(window->CuteButton2->geometry().translated(window->pos())));
    EXPECT_FALSE(window->Label1->text().isEmpty());
    EXPECT_TRUE(asker.errors().isEmpty()) << asker.errors().join('\n').toStdString();

    EXPECT_EQ(window->lastUpgrade().versionAfter, 8);
    for (const char* t : { "taikai", "rmenu", "music", "tnow", "checkv", "result", "dtime" })
        EXPECT_TRUE(dm->Database1->tableExists(QLatin1String(t))) << t;

    const QImage picture = QImage(testing_support::saveGrab(window.get(), "start_window"));
    ASSERT_FALSE(picture.isNull());
    // White client area, blue face of "大会実行", black face of "ＣＬＯＳＥ".
    EXPECT_EQ(picture.pixelColor(4, 300), QColor(Qt::white));
    const QPoint b1 = window->CuteButton1->geometry().topLeft() + QPoint(4, 4);
    const QPoint b2 = window->CuteButton2->geometry().topLeft() + QPoint(4, 4);
    EXPECT_EQ(picture.pixelColor(b1), QColor(0, 0, 255));
    EXPECT_EQ(picture.pixelColor(b2), QColor(0, 0, 0));
    testing_support::saveGrab(window->Image1, "start_window_title_picture");
}

TEST_F(StartWindow, OpenButtonCallsTheEventListHook)
{
    start();
    QWidget* owner = nullptr;
    window->OpenEventList = [&](QWidget* w) { owner = w; };
    window->CuteButton1->Click();
    EXPECT_EQ(owner, window.get());
}

TEST_F(StartWindow, CloseWritesTheSettingsWithoutTcodeAndBrateAndEnds)
{
    start();
    showAndWait();
    RaceTimePreset = "0:06:00";
    BoardBitRateIndex = 1;
    CurrentEventCode = "202403092";
    window->CuteButton2->Click();
    EXPECT_FALSE(window->isVisible());
    const QString ini = readCp932File(home.file("Tavo.ini"));
    EXPECT_TRUE(ini.contains("Dtp2v=0:06:00\r\n"));
    EXPECT_TRUE(ini.contains("[Print]\r\nTLstart=Start\r\n"));
    EXPECT_FALSE(ini.contains("Tcode", Qt::CaseInsensitive));
    EXPECT_FALSE(ini.contains("Brate", Qt::CaseInsensitive));
}

TEST_F(StartWindow, WindowManagerCloseSavesLikeTheCloseButton)
{
    start();
    showAndWait();
    DelaySetting = 4;
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(readCp932File(home.file("Tavo.ini")).contains("Dt=4\r\n"));
}

TEST_F(StartWindow, DatabaseFailureStillLoadsTheSettingsAndCloseKeepsThem)
{
    const QString original = QStringLiteral("[Env]\r\nTcode=202403092\r\nPcom2=11\r\nDtp1v=0:04:00\r\n"
                                            "[Print]\r\nTLstart=開始\r\n[D-Line]\r\nBrate=1\r\n");
    writeCp932File(home.file("Tavo.ini"), original);
    QDir(home.path()).mkdir("tavo.db"); // a folder where the database file should be
    start();
    showAndWait();
    ASSERT_EQ(asker.errors().size(), 1);
    // The file and the cause, in Japanese; no database server to look for.
    EXPECT_TRUE(asker.errors().first().startsWith(
        QStringLiteral("データベースに接続できません。\nデータベースファイル ") + home.file("tavo.db")
        + QStringLiteral(" を開けません（")))
        << asker.errors().first().toStdString();
    EXPECT_EQ(SignalPortNo1, 11);
    EXPECT_EQ(WarmUpTimePreset, "0:04:00");
    EXPECT_EQ(ReportTitleStart, QStringLiteral("開始"));

    window->CuteButton2->Click();
    EXPECT_FALSE(window->isVisible());
    const QString ini = readCp932File(home.file("Tavo.ini"));
    for (const QString& line : original.split("\r\n", Qt::SkipEmptyParts))
        EXPECT_TRUE(ini.contains(line + "\r\n")) << line.toStdString();
}

TEST_F(StartWindow, UnreadableSettingsAreNeverWrittenOverAndCloseAsksFirst)
{
    QDir(home.path()).mkdir("Tavo.ini"); // cannot be read as a file
    start();
    ASSERT_FALSE(asker.errors().isEmpty());
    EXPECT_FALSE(settingsLoaded());
    showAndWait();
    // "ＣＬＯＳＥ" says that this session's settings are lost, and why, and asks first.
    asker.answer(false);
    window->CuteButton2->Click();
    ASSERT_EQ(asker.questions().size(), 1);
    const QString question = asker.questions().first();
    EXPECT_TRUE(question.startsWith(
        QStringLiteral("起動時に設定ファイルを読み込めなかったため、設定は保存されません。\n")
        + asker.errors().first()))
        << question.toStdString();
    EXPECT_TRUE(question.endsWith(QStringLiteral("保存せずに終了しますか？")));
    EXPECT_TRUE(window->isVisible());
    asker.answer(true);
    EXPECT_TRUE(window->close()); // the window manager's close asks the same
    EXPECT_EQ(asker.questions().size(), 2);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(QFileInfo(home.file("Tavo.ini")).isDir());
}

TEST_F(StartWindow, FailedSaveAsksBeforeEndingWithoutTheSettings)
{
    start();
    showAndWait();
    // The settings file turns into something that cannot be written.
    QFile::remove(home.file("Tavo.ini"));
    QDir(home.path()).mkdir("Tavo.ini");
    asker.answer(false);
    window->CuteButton2->Click();
    ASSERT_EQ(asker.questions().size(), 1);
    EXPECT_TRUE(asker.questions().first().contains(QStringLiteral("設定ファイルに保存できませんでした。")));
    EXPECT_TRUE(window->isVisible());
    asker.answer(true);
    window->CuteButton2->Click();
    EXPECT_FALSE(window->isVisible());
}

// A disk that fills before "ＣＬＯＳＥ", after K bytes of the new file: the settings file keeps
// every byte it had, never some of the keys, and the operator is told which file was not saved
// before the program may end; with room for the whole file it holds every key and nothing is said.
TEST_F(StartWindow, AFullDiskAtCloseKeepsTheSettingsFileAndSaysSo)
{
    const QByteArray original
        = "; ours\r\n[Env]\r\nTcode=202403092\r\nPcom2=7\r\nDtp1v=0:03:00\r\n[Print]\r\nTLstart=Start\r\n";
    const QString path = home.file("Tavo.ini");
    auto restore = [&] {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(original);
    };
    restore();
    start();
    showAndWait();
    SignalPortNo1 = 9;
    auto closeWithRoomFor = [&](qint64 bytes) {
        return testing_support::inChildWithFileSizeLimit(bytes, [&]() -> QString {
            asker.answer(false);
            window->CuteButton2->Click();
            return asker.questions().join('|') + (window->isVisible() ? "|shown" : "|ended");
        });
    };

    EXPECT_EQ(closeWithRoomFor(1 << 20), "|ended");
    const QByteArray saved = testing_support::readFileBytes(path);
    EXPECT_TRUE(
        saved.startsWith("; ours\r\n[Env]\r\nTcode=202403092\r\nPcom2=9\r\nDtp1v=0:03:00\r\nCont=0\r\n"))
        << saved.toStdString();
    EXPECT_TRUE(saved.contains("\r\n[Print]\r\nTLstart=Start\r\nTLend=End\r\n"));
    EXPECT_TRUE(saved.endsWith("\r\n[TCP]\r\nTCPadd=192.168.0.10\r\nPortnum=5000\r\n"));
    EXPECT_EQ(saved.count('='), 23);

    // Room for none of the new file, for its first keys only, for all but its last byte.
    for (const qint64 room : { original.size() / 2, original.size() + 10, saved.size() - 1 }) {
        restore();
        const QString said = closeWithRoomFor(room);
        EXPECT_TRUE(said.startsWith(QStringLiteral("設定ファイルに保存できませんでした。\nファイル ")
            + QDir::toNativeSeparators(path) + QStringLiteral(" は保存されていません。元の内容のままです（")))
            << room << ": " << said.toStdString();
        EXPECT_TRUE(said.endsWith(QStringLiteral("）。\n保存せずに終了しますか？|shown")))
            << said.toStdString();
        EXPECT_EQ(testing_support::readFileBytes(path), original) << room;
        EXPECT_EQ(QDir(home.path()).entryList({ "Tavo.ini*" }, QDir::AllEntries | QDir::Hidden),
            QStringList { "Tavo.ini" })
            << "no temporary file is left";
    }
}

TEST_F(StartWindow, StartOnAnOldDatabaseUpgradesItInsteadOfTakingItForNew)
{
    makeVersion1Database();
    start();
    showAndWait();
    EXPECT_TRUE(asker.errors().isEmpty()) << asker.errors().join('\n').toStdString();
    EXPECT_EQ(window->lastUpgrade().versionBefore, 1);
    EXPECT_EQ(window->lastUpgrade().versionAfter, 8);
    dm->Qtemp2->SQL = QStringList { "select * from rmenu where tcode='202305041'" };
    dm->Qtemp2->Open();
    EXPECT_EQ(dm->Qtemp2->RecordCount(), 1);
    EXPECT_EQ(dm->Qtemp2->FieldByName("uc")->AsInteger(), 1);
    for (const char* t : { "tnow", "result", "dtime" })
        EXPECT_TRUE(dm->Database1->tableExists(QLatin1String(t))) << t;
}

TEST_F(StartWindow, ValuesNoControlTakesAreNamedInOneMessageAtStart)
{
    writeCp932File(home.file("Tavo.ini"), QStringLiteral("[Env]\r\nPcom2=-1\r\n[D-Line]\r\nBrate=3\r\n"));
    start();
    ASSERT_EQ(asker.messages().size(), 1);
    EXPECT_TRUE(asker.messages().first().endsWith(
        QStringLiteral("\n[D-Line] Brate の値「3」→ 既定値「0」"
                       "（「ＣＬＯＳＥ」では書き込まれないため、Tavo.ini で直してください）"
                       "\n[Env] Pcom2 の値「-1」→ 既定値「2」")));
    EXPECT_EQ(SignalPortNo1, 2);
    EXPECT_EQ(BoardBitRateIndex, 0);
}

// Every key of the file refused, each with a long value of wide characters: the message box
// still fits a 1024 x 768 screen, OK button and all; it names the first keys, those to be
// mended in the file among them, and counts the rest.
TEST_F(StartWindow, AMessageWithEveryKeyRefusedFitsTheScreen)
{
    const QString wide(60, QChar(0x4E88)); // 予
    const QString bell(1, QChar(0x07));
    QString file;
    const std::pair<const char*, QStringList> sections[] = {
        { "Env",
            { "Tcode", "Cont", "Pcom2", "Pcom3", "Pcom4", "Pcom5", "Dtp1v", "Dtp2v", "Dtp3v", "Dtp4v",
                "Dtp5v", "Dt", "Brindt", "Dpwup", "Dprace", "Dpover" } },
        { "Print", { "TLstart", "TLend", "TLschedule", "TLnote", "TLdate" } },
        { "TCP", { "TCPadd", "Portnum" } },
        { "D-Line", { "Brate" } },
    };
    for (const auto& [section, keys] : sections) {
        file += QStringLiteral("[%1]\r\n").arg(QLatin1String(section));
        for (const QString& key : keys)
            file += key + QLatin1Char('=') + (key == "TCPadd" ? QStringLiteral("予 ") : QString()) + wide
                + (key.startsWith("TL") ? bell : QString()) + QStringLiteral("\r\n");
    }
    writeCp932File(home.file("Tavo.ini"), file);

    QString text;
    QSize box;
    // Real message boxes for this start; the fixture's scripted answers again afterwards.
    std::unique_ptr<platform::Asker> scripted
        = platform::setAsker(std::make_unique<platform::MessageBoxAsker>());
    testing_support::WhenShown<QMessageBox> shown([&](QMessageBox& b) {
        text = b.text();
        box = b.frameGeometry().size();
        testing_support::saveGrab(&b, "start_message_every_key_refused");
        testing_support::userClick(b.button(QMessageBox::Ok));
    });
    start();
    platform::setAsker(std::move(scripted));
    ASSERT_TRUE(shown.done());
    const QStringList lines = text.split('\n');
    ASSERT_EQ(lines.size(), 11) << text.toStdString();
    EXPECT_TRUE(
        lines[1].startsWith(QStringLiteral("[Env] Tcode の値「") + QString(40, QChar(0x4E88)) + "…」"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("[D-Line] Brate の値「")));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("[Env] Cont の値「")));
    EXPECT_EQ(lines[10], QStringLiteral("ほか 15 項目"));
    EXPECT_LE(box.width(), 1024);
    // Room for the window manager's title bar above it.
    EXPECT_LE(box.height(), 768 - 40) << box.width() << "x" << box.height();
}

TEST_F(StartWindow, TheUpgradeFollowsTheFirstPaintShowsItsStepsAndRefusesInput)
{
    makeVersion1Database();
    start();
    bool listOpened = false;
    window->OpenEventList = [&](QWidget*) { listOpened = true; };
    auto click = [&](QWidget* w) {
        QTest::mouseClick(
            window->windowHandle(), Qt::LeftButton, {}, w->mapTo(window.get(), w->rect().center()));
    };

    // What the window shows while each step runs, and a click on "大会実行" in the middle of it.
    QStringList shown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QString text = window->LabelUpgrade->isVisible() ? window->LabelUpgrade->text() : QString();
        if (text.isEmpty() || (!shown.isEmpty() && shown.last() == text))
            return;
        shown << text;
        if (shown.size() == 2) {
            testing_support::saveGrab(window.get(), "start_window_upgrading");
            click(window->CuteButton1);
        }
    });
    watch.start(0);

    window->show();
    // Shown at once, before any step: the window, the wait cursor and what it does.
    EXPECT_TRUE(window->upgradeWaiting());
    EXPECT_EQ(window->lastUpgrade().versionAfter, 0) << "nothing ran in the show itself";
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_FALSE(window->close()) << "the window stays until the upgrade has ended";

    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->upgradeWaiting(); }, 10000));
    watch.stop();
    EXPECT_EQ(window->lastUpgrade().versionAfter, 8);
    EXPECT_EQ(shown,
        QStringList({ QStringLiteral("データベースを確認しています…"),
            QStringLiteral("データベースを更新しています: 大会にプリセット時間の列を追加"),
            QStringLiteral("データベースを更新しています: 大会コードを開催日から作り直し"),
            QStringLiteral("データベースを更新しています: スケジュールの大会コードを数値に変更"),
            QStringLiteral("データベースを更新しています: スケジュールに時間・ラウンド・ヒートの列を追加"),
            QStringLiteral("データベースを更新しています: スケジュールに通し番号を付与"),
            QStringLiteral("データベースを更新しています: スケジュールにラウンド名・ヒート名を追加") }));
    EXPECT_FALSE(listOpened) << "the click during the upgrade was refused";
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(window->LabelUpgrade->isHidden());

    click(window->CuteButton1);
    EXPECT_TRUE(listOpened) << "the window takes input once the upgrade has ended";
}
