// Control characters pasted into the console's texts: refused, with the field named, before a
// schedule command writes; kept out of the monitor's files where the text is stored as typed.

#include "ConsoleFixture.h"
#include "app/DBControls.h"
#include "components/CuteBtn.h"
#include "console_core/ScheduleFixture.h"
#include "platform/TextCodec.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QWindow>

using testing_support::ScheduleFixture;
using testing_support::WithConsoleForm;

namespace {

class UtaikaiControlCharacters : public WithConsoleForm<ScheduleFixture> {
protected:
    // A click on the widget as the operator makes it: through the window system.
    static void clickOn(QWidget* w)
    {
        QTest::mouseClick(
            w->window()->windowHandle(), Qt::LeftButton, {}, w->mapTo(w->window(), w->rect().center()));
    }
};

const QString kRefusal = QStringLiteral("「内容」に使えない制御文字 (NUL など) が含まれています。"
                                        "取り除いてから、もう一度操作してください。");

} // namespace

// A NUL or a line break pasted into the one-line schedule text (a line break would split the
// item's line of RInfo.txt in two) is refused; a TAB stays allowed.
TEST_F(UtaikaiControlCharacters, ScheduleTextWithAPastedNulOrLineBreakIsRefusedBeforeAnythingIsWritten)
{
    addAbc();
    auto f = Open();
    f->PageControl1->setCurrentWidget(f->TabSheet4);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    const QByteArray before = fileBytes(console::RInfoFileName);

    f->DTPe->setTime(QTime(0, 10));
    const QString pasted[] = { QStringLiteral("ab") + QChar(0) + QStringLiteral("c"),
        QStringLiteral("a\tb\r\nc"), QStringLiteral("a\nb"), QStringLiteral("a\rb") };
    const qsizetype refused = std::ssize(pasted);
    for (const QString& text : pasted) {
        f->Edit2->clear();
        f->Edit2->setFocus();
        QGuiApplication::clipboard()->setText(text);
        QTest::keyClick(f->windowHandle(), Qt::Key_V, Qt::ControlModifier);
        ASSERT_EQ(f->Edit2->text(), text) << "the paste reached the box";
        clickOn(f->CTBadd);
    }

    EXPECT_EQ(asker.messages(), QStringList(refused, kRefusal));
    EXPECT_TRUE(asker.errors().isEmpty()) << asker.errors().join('\n').toStdString();
    EXPECT_EQ(chain(), QStringList({ "9:00:00-9:30:00 A", "9:30:00-9:40:00 B", "9:40:00-10:00:00 C" }));
    EXPECT_EQ(marks(), "1");
    EXPECT_EQ(fileBytes(console::RInfoFileName), before);

    // Without them the text goes in, its TAB kept.
    f->Edit2->setText(QStringLiteral("a\tb"));
    clickOn(f->CTBadd);
    EXPECT_EQ(asker.messages().size(), refused);
    EXPECT_EQ(chain().last(), "10:00:00-10:10:00 a\tb");
    EXPECT_TRUE(fileBytes(console::RInfoFileName).endsWith("\r\n10:00:00,10:10:00,a\tb\r\n"));

    // A round takes its titles, and they are checked instead.
    f->CkBround->setChecked(true);
    f->CBxround->setCurrentText(QStringLiteral("予選") + QChar(0x01));
    clickOn(f->CTBadd);
    ASSERT_EQ(asker.messages().size(), refused + 1);
    EXPECT_TRUE(asker.messages().last().startsWith(QStringLiteral("「ラウンドの表記」に使えない制御文字")));
    EXPECT_EQ(chain().size(), 4);
    f->close();
}

TEST_F(UtaikaiControlCharacters, TheMemoIsStoredAsTypedAndReachesTheMonitorWithoutControlBytes)
{
    auto f = Open();
    f->PageControl1->setCurrentWidget(f->TabSheet4);
    const QString typed
        = QStringLiteral("晴天") + QChar(0) + QChar(0x01) + QStringLiteral("\tA\nB") + QChar(0x1b);
    f->DBMemo1->setPlainText(typed);
    f->CuteButton14->Click();
    EXPECT_EQ(fileBytes(console::RInfomemFileName), platform::toCp932(QStringLiteral("晴天\tA\r\nB\r\n")));
    EXPECT_EQ(scalar("select tmem from taikai where tcode=202403091"), typed) << "the bound memo keeps it";
    EXPECT_TRUE(asker.errors().isEmpty()) << asker.errors().join('\n').toStdString();
    f->close();
}
