#include "components/CuteBtn.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>

using components::TCuteButton;
using namespace components;
using namespace platform;
using testing_support::grabImage;

namespace {

// A drop-down menu for the button that closes itself as soon as it is up, and counts how often it came up.
struct MenuWatch {
    MenuWatch(TCuteButton& button, int delay)
    {
        menu.addAction(QStringLiteral("削除"));
        QObject::connect(&menu, &QMenu::aboutToShow, &menu, [this] {
            ++shown;
            QMetaObject::invokeMethod(&menu, &QMenu::close, Qt::QueuedConnection);
        });
        button.setDropDownMenu(&menu);
        button.setDropDownDelay(delay);
    }
    QMenu menu;
    int shown = 0;
};

// Reaches the button's own mouse handlers.
struct MouseProbe : TCuteButton {
    void press(QMouseEvent* e) { mousePressEvent(e); }
    void release(QMouseEvent* e) { mouseReleaseEvent(e); }
};

void PostClick(QWidget* w)
{
    const QPointF at(5, 5);
    const QPointF global = w->mapToGlobal(at);
    QCoreApplication::postEvent(w,
        new QMouseEvent(
            QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(w,
        new QMouseEvent(
            QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

// The delayed drop-down's timer, run out at once.
QTimer* DelayTimer(TCuteButton& b) { return b.findChild<QTimer*>(QStringLiteral("TCuteButtonTimer")); }

void runOut(QTimer* timer)
{
    ASSERT_TRUE(timer->isActive());
    QMetaObject::invokeMethod(timer, "timeout");
}

class CuteButtonTest : public ::testing::Test {
protected:
    CuteButtonTest()
    {
        window.resize(200, 100);
        button = new TCuteButton(&window);
        button->move(10, 10);
        button->setCaption(QStringLiteral("大会実行"));
        button->OnClick = [this] { ++clicks; };
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        QApplication::setActiveWindow(&window);
    }
    ~CuteButtonTest() override { QApplication::processEvents(); }

    const QPoint inside { 20, 12 };
    QWidget window;
    TCuteButton* button = nullptr;
    int clicks = 0;
};

} // namespace

TEST_F(CuteButtonTest, StartsFlatWithARaisedInnerBevel)
{
    TCuteButton fresh;
    EXPECT_EQ(fresh.size(), QSize(75, 25));
    EXPECT_EQ(fresh.bevelOuter(), bvNone);
    EXPECT_EQ(fresh.bevelInner(), bvRaised);
    EXPECT_EQ(fresh.BevelWidth(), 1);
    EXPECT_TRUE(fresh.TabStop());
    EXPECT_TRUE(fresh.TabFocusUp());
    EXPECT_EQ(fresh.Alignment(), taCenter);
    EXPECT_EQ(fresh.MarginX(), -1);
    EXPECT_EQ(fresh.DisabledColor(), clGray);
    fresh.setFlat(true);
    EXPECT_EQ(fresh.bevelInner(), bvNone);
    fresh.setFlat(false);
    EXPECT_EQ(fresh.bevelInner(), bvRaised);
}

TEST_F(CuteButtonTest, ClickByCodeRunsTheHandler)
{
    button->Click();
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(button, Qt::LeftButton, {}, inside);
    EXPECT_EQ(clicks, 2);
    // Pressed here, released elsewhere: no click.
    QTest::mousePress(button, Qt::LeftButton, {}, inside);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(150, 80));
    EXPECT_EQ(clicks, 2);
}

TEST_F(CuteButtonTest, ClicksQueuedDuringASlowHandlerAreSwallowed)
{
    button->SetEgnoreContClick(true);
    int busy = 0;
    button->OnBusyClick = [&] { ++busy; }; // told of each, to tell the operator
    button->OnClick = [this] {
        ++clicks;
        // The operator keeps clicking while the handler is busy.
        for (int i = 0; i < 3; ++i)
            PostClick(button);
    };
    QTest::mouseClick(button, Qt::LeftButton, {}, inside);
    QApplication::processEvents();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(busy, 3);
    ASSERT_TRUE(button->OnClick);
    button->Click(); // once the handler is done, a click runs it again
    QApplication::processEvents();
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(busy, 6);

    button->SetEgnoreContClick(false);
    button->Click();
    QApplication::processEvents();
    EXPECT_EQ(clicks, 6) << "without the switch every queued click runs the handler";
}

TEST_F(CuteButtonTest, AThrowingHandlerStaysAttached)
{
    button->SetEgnoreContClick(true);
    button->OnClick = [this] {
        ++clicks;
        throw std::runtime_error("エラー");
    };
    EXPECT_THROW(button->Click(), std::runtime_error);
    ASSERT_TRUE(button->OnClick);
    EXPECT_THROW(button->Click(), std::runtime_error);
    EXPECT_EQ(clicks, 2);

    // A mouse click whose handler throws passes the exception on (to the application's error
    // box) and leaves the button up and armed. The events are handed to the button directly:
    // an exception unwinding through Qt's own dispatch leaks what Qt's frames held.
    MouseProbe probe;
    probe.SetEgnoreContClick(true);
    probe.OnClick = button->OnClick;
    QMouseEvent press(
        QEvent::MouseButtonPress, inside, inside, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(
        QEvent::MouseButtonRelease, inside, inside, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    probe.press(&press);
    EXPECT_EQ(probe.bevelOuter(), bvLowered);
    EXPECT_THROW(probe.release(&release), std::runtime_error);
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(probe.bevelOuter(), bvRaised);
    ASSERT_TRUE(probe.OnClick);
}

TEST_F(CuteButtonTest, DropDownWithoutDelayOpensTheMenuInsteadOfClicking)
{
    MenuWatch watch(*button, 0);

    QTest::mouseClick(button, Qt::LeftButton, {}, inside);
    EXPECT_EQ(watch.shown, 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_NE(button->bevelOuter(), bvLowered);

    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(watch.shown, 2);
    EXPECT_EQ(clicks, 0);

    // Space opens it from the keyboard; the click that ends the drop-down fires nothing.
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(watch.shown, 3);
    EXPECT_EQ(clicks, 0);
}

TEST_F(CuteButtonTest, EnterClicksWhenTheMenuHasADelay)
{
    MenuWatch watch(*button, 300);
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(watch.shown, 0);
    EXPECT_FALSE(DelayTimer(*button)->isActive());
}

TEST_F(CuteButtonTest, ReleaseBeforeTheDelayIsAPlainClick)
{
    MenuWatch watch(*button, 300);

    QTest::mousePress(button, Qt::LeftButton, {}, inside);
    QTimer* timer = DelayTimer(*button);
    ASSERT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 300);
    QTest::mouseRelease(button, Qt::LeftButton, {}, inside);
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(watch.shown, 0);

    // A timer that fires after the release finds the button let go and opens nothing.
    QTest::mousePress(button, Qt::LeftButton, {}, inside);
    QTest::mouseRelease(button, Qt::LeftButton, {}, inside);
    QMetaObject::invokeMethod(timer, "timeout");
    EXPECT_EQ(watch.shown, 0);
    EXPECT_EQ(clicks, 2);
}

TEST_F(CuteButtonTest, HeldPastTheDelayOpensTheMenu)
{
    MenuWatch watch(*button, 300);

    QTest::mousePress(button, Qt::LeftButton, {}, inside);
    runOut(DelayTimer(*button));
    EXPECT_EQ(watch.shown, 1);
    QTest::mouseRelease(button, Qt::LeftButton, {}, inside);
    EXPECT_EQ(clicks, 0);

    // From the keyboard the menu opens when the delay runs out; letting go of Space then does nothing.
    QTest::keyPress(button, Qt::Key_Space);
    runOut(DelayTimer(*button));
    EXPECT_EQ(watch.shown, 2);
    QTest::keyRelease(button, Qt::Key_Space);
    EXPECT_EQ(clicks, 0);

    // Space let go before the delay: a click.
    QTest::keyPress(button, Qt::Key_Space);
    QTest::keyRelease(button, Qt::Key_Space);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(watch.shown, 2);
}

TEST_F(CuteButtonTest, MarginsBelowMinusOneClampAndShiftNothing)
{
    button->resize(120, 30);
    button->setCaption(QStringLiteral("Mente"));
    button->SetAlignment(taLeftJustify);
    button->setTextLayout(tlTop);
    const QImage plain = grabImage(*button);

    button->setMarginX(-5);
    button->setMarginY(-9);
    EXPECT_EQ(button->MarginX(), -1);
    EXPECT_EQ(button->MarginY(), -1);
    EXPECT_EQ(grabImage(*button), plain);

    button->setMarginX(0);
    EXPECT_EQ(button->MarginX(), 0);
    button->setMarginX(20);
    button->setMarginY(6);
    const QImage moved = grabImage(*button);
    EXPECT_EQ(moved.copy(22, 8, 90, 20), plain.copy(2, 2, 90, 20));
}

TEST_F(CuteButtonTest, BevelFollowsMouseAndFocus)
{
    QStringList seen;
    button->OnMouseEnter = [&](TCuteButton* sender, TShiftState, int, int) {
        EXPECT_EQ(sender, button);
        seen << QStringLiteral("enter");
    };
    button->OnMouseLeave = [&](TCuteButton*, TShiftState, int, int) { seen << QStringLiteral("leave"); };
    button->clearFocus();
    EXPECT_EQ(button->bevelOuter(), bvNone);
    QTest::mouseMove(button, inside);
    EXPECT_EQ(button->bevelOuter(), bvRaised);
    QTest::mouseMove(&window, QPoint(180, 90));
    EXPECT_EQ(button->bevelOuter(), bvNone);
    EXPECT_EQ(seen, QStringList({ QStringLiteral("enter"), QStringLiteral("leave") }));

    QTest::mousePress(button, Qt::LeftButton, {}, inside);
    EXPECT_EQ(button->bevelOuter(), bvLowered);
    EXPECT_TRUE(button->hasFocus());
    QTest::mouseRelease(button, Qt::LeftButton, {}, inside);
    EXPECT_EQ(button->bevelOuter(), bvRaised);

    // Released outside: stays up while it has the focus and TabFocusUp is set, else goes flat.
    QTest::mousePress(button, Qt::LeftButton, {}, inside);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(150, 80));
    EXPECT_EQ(button->bevelOuter(), bvRaised);
    button->setTabFocusUp(false);
    QTest::mousePress(button, Qt::LeftButton, {}, inside);
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(150, 80));
    EXPECT_EQ(button->bevelOuter(), bvNone);
    EXPECT_EQ(clicks, 1);

    // Held and dragged off the button it comes up; back on it goes down again.
    QTest::mousePress(button, Qt::LeftButton, {}, inside);
    QTest::mouseMove(button, QPoint(150, 80));
    EXPECT_EQ(button->bevelOuter(), bvNone);
    QTest::mouseMove(button, inside);
    EXPECT_EQ(button->bevelOuter(), bvLowered);
    QTest::mouseRelease(button, Qt::LeftButton, {}, inside);
    EXPECT_EQ(clicks, 2);
}

TEST_F(CuteButtonTest, PaintsBevelsAndTheDisabledLook)
{
    button->setColor(clBlue);
    QImage image = grabImage(*button);
    const QColor highlight = colorFromRef(clBtnHighlight), shadow = colorFromRef(clBtnShadow);
    int r = button->width() - 1, b = button->height() - 1;
    EXPECT_EQ(image.pixelColor(0, 0), highlight);
    EXPECT_EQ(image.pixelColor(r, b), shadow);
    EXPECT_EQ(image.pixelColor(r, 0), shadow);
    EXPECT_EQ(image.pixelColor(0, b), shadow);
    EXPECT_EQ(image.pixelColor(3, 3), colorFromRef(clBlue));

    button->setBevelOuter(bvLowered);
    image = grabImage(*button);
    EXPECT_EQ(image.pixelColor(0, 0), shadow);
    EXPECT_EQ(image.pixelColor(1, 1), highlight);
    EXPECT_EQ(image.pixelColor(r, b), highlight);
    EXPECT_EQ(image.pixelColor(r - 1, b - 1), shadow);

    button->setBevelOuter(bvNone);
    button->resize(120, 32);
    QFont big = button->font();
    big.setPixelSize(22);
    big.setBold(true);
    button->setFont(big);
    button->setEnabled(false);
    image = grabImage(*button);
    r = button->width() - 1;
    b = button->height() - 1;
    // The caption is engraved: white below and right of a grey copy (its edges are smoothed, so
    // count near colours), and no trace of the enabled black.
    int light = 0, dark = 0, black = 0;
    for (int y = 2; y < b - 1; ++y) {
        for (int x = 2; x < r - 1; ++x) {
            const QColor c = image.pixelColor(x, y);
            const bool grey = std::abs(c.red() - c.green()) < 12 && std::abs(c.green() - c.blue()) < 12;
            light += grey && c.red() > 0xE0;
            dark += grey && std::abs(c.red() - shadow.red()) < 12;
            black += c.red() < 0x40 && c.green() < 0x40 && c.blue() < 0x40;
        }
    }
    EXPECT_GT(light, 10);
    EXPECT_GT(dark, 10);
    EXPECT_EQ(black, 0);
    EXPECT_EQ(image.pixelColor(3, 3), colorFromRef(clBlue));

    button->setUseDisabledColor(true);
    EXPECT_EQ(grabImage(*button).pixelColor(3, 3), colorFromRef(clGray));
    button->setEnabled(true);
    EXPECT_EQ(grabImage(*button).pixelColor(3, 3), colorFromRef(clBlue));
}

TEST_F(CuteButtonTest, AcceleratorPressesTheButton)
{
    button->setCaption(QStringLiteral("&Set"));
    QTest::keyClick(&window, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
    button->setEnabled(false);
    QTest::keyClick(&window, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
}

TEST_F(CuteButtonTest, JapaneseCaptionHasRealGlyphs)
{
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(16);
    QTextLayout layout(QStringLiteral("大会実行 ＣＬＯＳＥ スタート"), font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun& run : layout.glyphRuns())
        for (quint32 glyph : run.glyphIndexes())
            EXPECT_NE(glyph, 0u);
}

TEST_F(CuteButtonTest, PictureOfEveryState)
{
    QWidget board;
    board.setAutoFillBackground(true);
    QPalette palette = board.palette();
    palette.setColor(QPalette::Window, Qt::black);
    board.setPalette(palette);
    board.resize(640, 180);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(16);
    font.setBold(true);

    auto make = [&](int x, int y, const QString& caption, TColor face, TColor text) {
        auto* b = new TCuteButton(&board);
        b->setGeometry(x, y, 145, 41);
        b->setFont(font);
        b->setCaption(caption);
        b->setColor(face);
        b->setFontColor(text);
        return b;
    };
    make(8, 8, QStringLiteral("大会実行"), clBlue, clWhite); // at rest
    make(161, 8, QStringLiteral("ＣＬＯＳＥ"), clBlack, clWhite)->setBevelOuter(bvRaised); // hovered
    make(314, 8, QStringLiteral("スタート"), clGreen, clWhite)->setBevelOuter(bvLowered); // pressed
    make(467, 8, QStringLiteral("ストップ"), clMaroon, clYellow)->setEnabled(false); // disabled
    auto* grey = make(8, 66, QStringLiteral("リセット"), clBtnFace, clWindowText);
    grey->setEnabled(false);
    grey->setUseDisabledColor(true);
    QMenu menu;
    make(161, 66, QStringLiteral("再生"), clTeal, clWhite)->setDropDownMenu(&menu); // with a menu
    auto* left = make(314, 66, QStringLiteral("標準データに登録"), clNavy, clWhite);
    left->SetAlignment(taLeftJustify);
    left->setMarginX(10);
    auto* flat = make(467, 66, QStringLiteral("×"), clBlack, clYellow);
    flat->setFlat(true);
    flat->setBevelOuter(bvRaised);
    auto* plain = make(8, 124, QStringLiteral("Set"), clBtnFace, clWindowText);
    plain->resize(75, 25);
    plain->setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    auto* down = make(100, 124, QStringLiteral("Set"), clBtnFace, clWindowText);
    down->resize(75, 25);
    down->setFont(plain->font());
    down->setBevelOuter(bvLowered);

    const QString path = testing_support::saveGrab(&board, QStringLiteral("CuteBtn_states"));
    EXPECT_FALSE(QImage(path).isNull());
}
