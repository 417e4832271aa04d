#pragma once

// SIGTERM, SIGINT and SIGHUP (a desktop logging out, a closed terminal, Ctrl+C) end the program
// through its event loop, as the operator's closing of its windows does: every window's close
// steps run and what is cleaned up at a normal end is cleaned up.

#include <QObject>
#include <QTimer>
#include <memory>

class QSocketNotifier;

namespace platform {

// While it lives, the three signals are caught. The handler only writes the signal's number into
// a pipe; the event loop reads it and then closes the windows from the top of the modal chain
// down (popups, the active modal window, then the other windows), one at a time, each once the
// one above it has gone, and quits the event loop when none is left. A window that refuses to
// close is asked again a moment later.
class EndOnSignals : public QObject {
    Q_OBJECT
public:
    explicit EndOnSignals(QObject* parent = nullptr);
    ~EndOnSignals() override;
    EndOnSignals(const EndOnSignals&) = delete;
    EndOnSignals& operator=(const EndOnSignals&) = delete;

signals:
    // A signal asked the program to end (once, with the first signal's number).
    void endRequested(int signal);

private:
    void readPipe();
    void closeTopWindow();

    struct Handlers;
    std::unique_ptr<Handlers> m_handlers;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_closing;
};

// True once a signal has asked the program to end: a wait that turns the event loop (for the
// print server, for a preview) gives up, so that nothing keeps the program from ending.
bool endRequested();

} // namespace platform
