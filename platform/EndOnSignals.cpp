#include "platform/EndOnSignals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr std::array<int, 3> Caught { SIGTERM, SIGINT, SIGHUP };

// The pipe from the signal handler to the event loop. A handler may only do what is safe in a
// signal: it writes one byte.
int pipeEnds[2] = { -1, -1 };
std::atomic<bool> ending { false };

extern "C" void onEndSignal(int signal)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a request to end: nothing is lost.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

struct EndOnSignals::Handlers {
    std::array<struct sigaction, Caught.size()> previous {};
};

EndOnSignals::EndOnSignals(QObject* parent)
    : QObject(parent)
    , m_handlers(std::make_unique<Handlers>())
{
    if (pipeEnds[0] >= 0 || ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning(
            "The end signals cannot be caught: %s", pipeEnds[0] >= 0 ? "caught already" : strerror(errno));
        m_handlers.reset();
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &EndOnSignals::readPipe);
    m_closing.setInterval(20);
    connect(&m_closing, &QTimer::timeout, this, &EndOnSignals::closeTopWindow);
    struct sigaction action { };
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < Caught.size(); ++i)
        sigaction(Caught[i], &action, &m_handlers->previous[i]);
}

EndOnSignals::~EndOnSignals()
{
    if (!m_handlers)
        return;
    for (size_t i = 0; i < Caught.size(); ++i)
        sigaction(Caught[i], &m_handlers->previous[i], nullptr);
    m_notifier.reset();
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
    ending = false;
}

void EndOnSignals::readPipe()
{
    unsigned char byte = 0;
    int first = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1)
        if (first == 0)
            first = byte;
    // Signals after the first change nothing: the end is already under way.
    if (first == 0 || ending.exchange(true))
        return;
    emit endRequested(first);
    m_closing.start();
    closeTopWindow();
}

void EndOnSignals::closeTopWindow()
{
    // The window at the top of the modal chain goes first: the loop it runs returns before the
    // window under it is closed, as when the operator closes them one after the other.
    QWidget* top = QApplication::activePopupWidget();
    if (!top)
        top = QApplication::activeModalWidget();
    if (!top) {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* w : windows) {
            if (w->isVisible()) {
                top = w;
                break;
            }
        }
    }
    if (!top) {
        m_closing.stop();
        QCoreApplication::quit();
        return;
    }
    top->close();
}

bool endRequested() { return ending; }

} // namespace platform
