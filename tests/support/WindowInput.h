#pragma once

// What an operator does with mouse and keyboard, delivered as the window system delivers it: to
// the QWindow of the widget's top-level window. Qt drops such input when a modal window blocks
// that window, as it drops a real click; events handed straight to a widget skip that check.

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>

namespace testing_support {

// The QWindow of the widget's top-level window, once it is on screen.
inline QWindow* exposedWindowOf(QWidget* widget)
{
    QWidget* top = widget->window();
    QWindow* window = top->windowHandle();
    if (window && !window->isExposed())
        (void)QTest::qWaitForWindowExposed(window);
    return window;
}

// A click at the widget's centre, or at `at` in the widget's coordinates. Each click counts as
// a fresh one, never as the second half of a double click.
inline void userClick(QWidget* widget, QPoint at = {}, Qt::MouseButton button = Qt::LeftButton)
{
    QWindow* window = exposedWindowOf(widget);
    ASSERT_TRUE(window) << "the widget's window is not shown";
    const QPoint pos = widget->mapTo(widget->window(), at.isNull() ? widget->rect().center() : at);
    QTest::mouseClick(window, button, Qt::NoModifier, pos, QApplication::doubleClickInterval() + 1);
}

// A click on the tab of `page`.
inline void userClickTab(QTabWidget* tabs, QWidget* page)
{
    QTabBar* bar = tabs->tabBar();
    userClick(bar, bar->tabRect(tabs->indexOf(page)).center());
}

// A key pressed and released in the window of `widget`; it goes to that window's focus widget.
inline void userKey(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWindow* window = exposedWindowOf(widget);
    ASSERT_TRUE(window) << "the widget's window is not shown";
    QTest::keyClick(window, key, modifiers);
}

// Text typed into the window of `widget`, one key per character.
inline void userType(QWidget* widget, const QString& text)
{
    QWindow* window = exposedWindowOf(widget);
    ASSERT_TRUE(window) << "the widget's window is not shown";
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, window, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Acts once a window of type T is shown and ready: the modal window in front when it is one
// (the window a modal loop that the test started waits on), else any top-level one. The act's
// input then shows whether Qt lets it through. A window that never comes is a failure, and one
// that came without being ready is closed, so that a loop waiting for it ends. Keep the object
// until the call that opens the window has returned.
template <typename T> class WhenShown {
public:
    explicit WhenShown(std::function<void(T&)> act, std::function<bool(T&)> ready = {}, int timeoutMs = 10000)
        : m_act(std::move(act))
        , m_ready(std::move(ready))
        , m_timeoutMs(timeoutMs)
    {
        m_elapsed.start();
        QObject::connect(&m_poll, &QTimer::timeout, [this] { poll(); });
        m_poll.start(0);
    }
    bool done() const { return m_done; }

private:
    static T* shown()
    {
        if (auto* front = qobject_cast<T*>(QApplication::activeModalWidget()))
            return front;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
                return t;
        return nullptr;
    }
    void poll()
    {
        T* window = shown();
        if (window && window->isVisible() && window->windowHandle() && window->windowHandle()->isExposed()
            && (!m_ready || m_ready(*window))) {
            m_poll.stop();
            m_done = true;
            m_act(*window);
            return;
        }
        if (m_elapsed.elapsed() > m_timeoutMs) {
            m_poll.stop();
            ADD_FAILURE() << "no " << T::staticMetaObject.className() << " came up";
            if (window)
                window->close();
        }
    }

    std::function<void(T&)> m_act;
    std::function<bool(T&)> m_ready;
    int m_timeoutMs;
    QElapsedTimer m_elapsed;
    QTimer m_poll;
    bool m_done = false;
};

} // namespace testing_support
