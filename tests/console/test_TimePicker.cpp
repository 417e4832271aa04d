// Typed times in the console's time pickers, driven through the window system: a click somewhere
// in the field, typed characters, then the key that ends the entry.

#include "ConsoleFixture.h"
#include "console/TimePicker.h"
#include "console/Utaikai_time.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QWindow>

using console::TimePicker;
using testing_support::ConsoleFixture;

namespace {

const QTime kOld(1, 2, 3);

// Where the click lands in the field: on the hours, on the minutes, past the seconds.
enum class Spot { Start, Middle, End };

QPoint spotIn(const QTimeEdit* picker, Spot spot)
{
    const QLineEdit* edit = picker->findChild<QLineEdit*>();
    const int y = edit->height() / 2;
    const int x = spot == Spot::Start ? 2 : spot == Spot::Middle ? edit->width() / 2 : edit->width() - 2;
    return edit->mapTo(picker->window(), QPoint(x, y));
}

// Types the characters one key each, as a US keyboard (or an input method) hands them over: ':'
// is Shift and ';', so Shift's own press comes before it and its release after it (QTest sends
// both for a key with the Shift modifier).
void type(QWindow* window, const QString& text)
{
    for (const QChar c : text) {
        if (c == u':')
            QTest::sendKeyEvent(QTest::Click, window, Qt::Key_Colon, QString(c), Qt::ShiftModifier);
        else if (c >= u'0' && c <= u'9')
            QTest::sendKeyEvent(QTest::Click, window, Qt::Key(Qt::Key_0 + c.digitValue()), QString(c), {});
        else
            QTest::sendKeyEvent(QTest::Click, window, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// Clicks into the picker and types `text` and then `end`, all through the picker's window.
void clickAndType(QTimeEdit* picker, Spot spot, const QString& text, Qt::Key end)
{
    QWindow* window = picker->window()->windowHandle();
    QTest::mouseClick(window, Qt::LeftButton, {}, spotIn(picker, spot));
    type(window, text);
    QTest::keyClick(window, end);
}

// A window with a picker and a box to take the focus from it.
struct PickerWindow {
    PickerWindow()
    {
        top.resize(300, 80);
        picker->setGeometry(10, 10, 110, 26);
        picker->setDisplayFormat(QStringLiteral("H:mm:ss"));
        other->setGeometry(150, 10, 100, 26);
        top.show();
        top.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&top));
    }
    QWidget top;
    TimePicker* picker = new TimePicker(&top);
    QLineEdit* other = new QLineEdit(&top);
};

// Wherever the click lands, typed digits replace the whole time; anything else keeps the old one.
TEST(TimePicker, AClickAnywhereThenTypedDigitsReplaceTheWholeTime)
{
    PickerWindow w;
    const struct {
        const char* typed;
        QTime time;
    } entries[] = {
        { "12:00:00", QTime(12, 0, 0) },
        { "9:05:30", QTime(9, 5, 30) },
        { "093000", QTime(9, 30, 0) },
        { "235959", QTime(23, 59, 59) },
        { "123", kOld },
        { "12:0:00", kOld },
        { "24:00:00", kOld },
        { "12:60:00", kOld },
        { "1200000", kOld },
        { "12.00.00", kOld },
        { "1a2:00:00", kOld },
        { "１２：３４：５６", QTime(12, 34, 56) }, // typed with the Japanese input switched on
        { "12:00", kOld },
        { "1:2:3", kOld },
        { "12:00:60", kOld },
        { " 2:00:00", kOld },
    };
    for (const Spot spot : { Spot::Start, Spot::Middle, Spot::End }) {
        for (const auto& e : entries) {
            SCOPED_TRACE(testing::Message() << "spot " << int(spot) << " typed " << e.typed);
            w.picker->setTime(kOld);
            clickAndType(w.picker, spot, QString::fromUtf8(e.typed), Qt::Key_Return);
            EXPECT_EQ(w.picker->time(), e.time);
            EXPECT_EQ(w.picker->text(), console::longTimeText(e.time)) << "the field shows the time";
            EXPECT_FALSE(w.picker->typing());
        }
    }
}

// The time follows the entry as it is typed (a Start press reads it at once); Tab, a click
// elsewhere and Enter keep it, Escape gives the old time back. Arrows still step the time.
TEST(TimePicker, TheEntryEndsWithEnterTabAClickElsewhereOrEscape)
{
    PickerWindow w;
    QSignalSpy finished(w.picker, &QTimeEdit::editingFinished);
    QSignalSpy changed(w.picker, &QTimeEdit::timeChanged);
    QWindow* window = w.top.windowHandle();

    w.picker->setTime(kOld);
    changed.clear();
    QTest::mouseClick(window, Qt::LeftButton, {}, spotIn(w.picker, Spot::Middle));
    type(window, QStringLiteral("0:15:0"));
    EXPECT_EQ(w.picker->text(), "0:15:0") << "the field shows the entry as typed";
    EXPECT_EQ(w.picker->time(), kOld);
    type(window, QStringLiteral("0"));
    EXPECT_EQ(w.picker->time(), QTime(0, 15, 0)) << "followed before the entry ends";
    EXPECT_EQ(changed.size(), 1);
    w.picker->setTime(kOld);
    EXPECT_FALSE(w.picker->typing()) << "a time set by the program drops the entry";
    EXPECT_EQ(w.picker->text(), "1:02:03");

    struct Case {
        Qt::Key end; // Qt::Key_unknown: a click on the other box
        QTime time;
        bool pickerKeepsFocus;
    };
    const Case cases[] = {
        { Qt::Key_Return, QTime(0, 15, 0), true },
        { Qt::Key_Tab, QTime(0, 15, 0), false },
        { Qt::Key_unknown, QTime(0, 15, 0), false },
        { Qt::Key_Escape, kOld, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.end);
        w.picker->setTime(kOld);
        finished.clear();
        QTest::mouseClick(window, Qt::LeftButton, {}, spotIn(w.picker, Spot::Start));
        type(window, QStringLiteral("0:15:00"));
        if (c.end == Qt::Key_unknown)
            QTest::mouseClick(window, Qt::LeftButton, {}, w.other->geometry().center());
        else
            QTest::keyClick(window, c.end);
        EXPECT_EQ(w.picker->time(), c.time);
        EXPECT_EQ(w.picker->text(), console::longTimeText(c.time));
        EXPECT_EQ(w.picker->hasFocus(), c.pickerKeepsFocus);
        EXPECT_EQ(finished.size(), c.end == Qt::Key_Escape ? 0 : 1);
    }

    // The arrows step the part under the cursor as before.
    w.picker->setTime(kOld);
    QTest::mouseClick(window, Qt::LeftButton, {}, spotIn(w.picker, Spot::Start));
    QTest::keyClick(window, Qt::Key_Up);
    EXPECT_EQ(w.picker->time(), QTime(2, 2, 3));
}

// Keys that only change what the next key types (Shift, the locks, the input method's keys) leave
// the entry as it is, wherever they come in it; the field shows the entry from its first
// character, wherever the click put the cursor.
TEST(TimePicker, KeysThatOnlyChangeTheNextKeyLeaveTheEntry)
{
    PickerWindow w;
    QWindow* window = w.top.windowHandle();
    const Qt::Key keys[] = { Qt::Key_Shift, Qt::Key_CapsLock, Qt::Key_NumLock, Qt::Key_AltGr,
        Qt::Key_Mode_switch, Qt::Key_Henkan, Qt::Key_Muhenkan, Qt::Key_Hiragana_Katakana, Qt::Key_Kana_Lock,
        Qt::Key_Zenkaku_Hankaku, Qt::Key_Eisu_toggle, Qt::Key_Dead_Acute, Qt::Key_Multi_key };
    for (const Spot spot : { Spot::Start, Spot::Middle, Spot::End }) {
        for (const Qt::Key key : keys) {
            SCOPED_TRACE(testing::Message() << "spot " << int(spot) << " key " << std::hex << key);
            w.picker->setTime(kOld);
            QTest::mouseClick(window, Qt::LeftButton, {}, spotIn(w.picker, spot));
            QTest::sendKeyEvent(QTest::Click, window, key, QString(), {});
            type(window, QStringLiteral("0"));
            EXPECT_EQ(w.picker->text(), "0") << "the first character shows at once";
            type(window, QStringLiteral(":01"));
            QTest::sendKeyEvent(QTest::Click, window, key, QString(), {});
            EXPECT_EQ(w.picker->text(), "0:01");
            type(window, QStringLiteral(":30"));
            QTest::keyClick(window, Qt::Key_Return);
            EXPECT_EQ(w.picker->time(), QTime(0, 1, 30));
            EXPECT_EQ(w.picker->text(), "0:01:30");
        }
    }
}

class TimePickerConsole : public ConsoleFixture { };

// Every picker of the console takes typed times: a preset through its change handler, a signal
// time through its slot when the field is left.
TEST_F(TimePickerConsole, EveryConsolePickerTakesTypedTimes)
{
    auto f = Open();
    const QList<QTimeEdit*> pickers = f->findChildren<QTimeEdit*>();
    EXPECT_EQ(pickers.size(), 24);
    for (QTimeEdit* picker : pickers)
        EXPECT_TRUE(qobject_cast<TimePicker*>(picker)) << picker->objectName().toStdString();

    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));
    clickAndType(f->DTP2, Spot::Start, QStringLiteral("0:15:00"), Qt::Key_Return);
    EXPECT_EQ(RaceTimePreset, "0:15:00");

    f->PageControl1->setCurrentWidget(f->TabSheet5);
    clickAndType(f->DTPsig[console::SlotOn1], Spot::Middle, QStringLiteral("000200"), Qt::Key_Tab);
    EXPECT_EQ(f->SignalSlots[console::SlotOn1], 1200);
    f->close();
}

} // namespace
