#include "platform/SerialLine.h"

#include <QRegularExpression>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/serial.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

struct Speed {
    int rate;
    speed_t code;
};

constexpr std::array kSpeeds {
    Speed { 50, B50 },
    Speed { 75, B75 },
    Speed { 110, B110 },
    Speed { 134, B134 },
    Speed { 150, B150 },
    Speed { 200, B200 },
    Speed { 300, B300 },
    Speed { 600, B600 },
    Speed { 1200, B1200 },
    Speed { 1800, B1800 },
    Speed { 2400, B2400 },
    Speed { 4800, B4800 },
    Speed { 9600, B9600 },
    Speed { 19200, B19200 },
    Speed { 38400, B38400 },
    Speed { 57600, B57600 },
    Speed { 115200, B115200 },
    Speed { 230400, B230400 },
    Speed { 460800, B460800 },
    Speed { 500000, B500000 },
    Speed { 576000, B576000 },
    Speed { 921600, B921600 },
    Speed { 1000000, B1000000 },
    Speed { 1152000, B1152000 },
    Speed { 1500000, B1500000 },
    Speed { 2000000, B2000000 },
    Speed { 2500000, B2500000 },
    Speed { 3000000, B3000000 },
    Speed { 3500000, B3500000 },
    Speed { 4000000, B4000000 },
};

bool speedCode(int rate, speed_t* code)
{
    for (const Speed& s : kSpeeds)
        if (s.rate == rate) {
            *code = s.code;
            return true;
        }
    return false;
}

int speedRate(speed_t code)
{
    for (const Speed& s : kSpeeds)
        if (s.code == code)
            return s.rate;
    return 0;
}

int remainingMs(SteadyClock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    return left < 0 ? 0 : int(left);
}

void drainEventFd(int fd)
{
    eventfd_t value;
    while (eventfd_read(fd, &value) == 0) { }
}

constexpr unsigned kModemEvents = kEvCts | kEvDsr | kEvRlsd | kEvRing;
constexpr unsigned kCounterEvents = kEvBreak | kEvErr;

class TermiosLine final : public SerialLine {
public:
    TermiosLine(int fd, int wakeFd, int abortFd)
        : m_fd(fd)
        , m_wakeFd(wakeFd)
        , m_abortFd(abortFd)
    {
        m_kept = readSettings();
        serial_icounter_struct counts {};
        if (::ioctl(m_fd, TIOCGICOUNT, &counts) == 0)
            m_errorBase = counts;
    }

    ~TermiosLine() override
    {
        // The exclusive mark outlives this open while anyone else holds the device.
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);
        ::close(m_wakeFd);
        ::close(m_abortFd);
    }

    int handle() const override { return m_fd; }

    LineSettings settings() const override
    {
        std::lock_guard lock(m_mutex);
        return m_kept;
    }

    LineSettingError apply(const LineSettings& s) override
    {
        speed_t speed;
        if (!speedCode(s.bitRate, &speed))
            return LineSettingError::BitRate;
        if (s.dataBits < 5 || s.dataBits > 8)
            return LineSettingError::DataBits;
        if (s.xonLimit < 0 || s.xoffLimit < 0
            || ((s.flowFlags & (flow::kOutX | flow::kInX)) && s.xonChar == s.xoffChar))
            return LineSettingError::Flow;

        termios t {};
        if (::tcgetattr(m_fd, &t) != 0)
            return LineSettingError::Device;
        makeRaw(&t);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        t.c_cflag &= ~tcflag_t(CSIZE);
        static constexpr tcflag_t kSizes[] = { CS5, CS6, CS7, CS8 };
        t.c_cflag |= kSizes[s.dataBits - 5];
        t.c_cflag &= ~tcflag_t(PARENB | PARODD | CMSPAR);
        switch (s.parity) {
        case Parity::None:
            break;
        case Parity::Odd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case Parity::Even:
            t.c_cflag |= PARENB;
            break;
        case Parity::Mark:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case Parity::Space:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        }
        if (s.parity != Parity::None && (s.flowFlags & flow::kParity))
            t.c_iflag |= INPCK;
        // Linux has no 1.5 stop bits: two are sent, which every receiver takes.
        if (s.stopBits == StopBits::One)
            t.c_cflag &= ~tcflag_t(CSTOPB);
        else
            t.c_cflag |= CSTOPB;
        const bool hardwareFlow
            = (s.flowFlags & flow::kOutxCtsFlow) || flow::rtsControl(s.flowFlags) == flow::kControlHandshake;
        if (hardwareFlow)
            t.c_cflag |= CRTSCTS;
        else
            t.c_cflag &= ~tcflag_t(CRTSCTS);
        if (s.flowFlags & flow::kOutX)
            t.c_iflag |= IXON;
        if (s.flowFlags & flow::kInX)
            t.c_iflag |= IXOFF;
        t.c_cc[VSTART] = cc_t(s.xonChar);
        t.c_cc[VSTOP] = cc_t(s.xoffChar);
        if (::tcsetattr(m_fd, TCSANOW, &t) != 0)
            return LineSettingError::Device;

        // The lines follow the flag word; a pseudo-terminal refuses this, which is no reason to fail.
        setModemLine(kLineDtr, flow::dtrControl(s.flowFlags) != flow::kControlLow);
        const flow::Control rts = flow::rtsControl(s.flowFlags);
        setModemLine(kLineRts, rts == flow::kControlHigh || rts == flow::kControlHandshake);

        std::lock_guard lock(m_mutex);
        m_kept = s;
        return LineSettingError::None;
    }

    bool setBufferSizes(int receive, int transmit) override { return receive > 0 && transmit > 0; }

    qint64 write(const char* data, qint64 size, int timeoutMs) override
    {
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
        const unsigned generation = m_purgeGeneration.load();
        qint64 written = 0;
        while (written < size) {
            const ssize_t n = ::write(m_fd, data + written, size_t(size - written));
            if (n > 0) {
                written += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return -1;
            const int left = remainingMs(deadline);
            if (left == 0) {
                ::tcflush(m_fd, TCOFLUSH);
                return written;
            }
            pollfd fds[2] = { { m_fd, POLLOUT, 0 }, { m_abortFd, POLLIN, 0 } };
            if (::poll(fds, 2, left) < 0 && errno != EINTR)
                return -1;
            if (fds[1].revents & POLLIN) {
                drainEventFd(m_abortFd);
                if (m_purgeGeneration.load() != generation)
                    return written;
            }
        }
        return written;
    }

    qint64 read(char* data, qint64 size, int timeoutMs) override
    {
        if (size <= 0)
            return 0;
        pollfd fd = { m_fd, POLLIN, 0 };
        int r;
        do
            r = ::poll(&fd, 1, timeoutMs < 0 ? 0 : timeoutMs);
        while (r < 0 && errno == EINTR);
        if (r < 0)
            return -1;
        if (r == 0)
            return 0;
        const ssize_t n = ::read(m_fd, data, size_t(size));
        if (n < 0)
            return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
        return n;
    }

    bool drain(int timeoutMs) override
    {
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (outputQueued() == 0)
                return true;
            if (remainingMs(deadline) == 0)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    bool purge(bool transmit, bool receive) override
    {
        if (transmit) {
            ++m_purgeGeneration;
            eventfd_write(m_abortFd, 1);
        }
        const int queue = transmit && receive ? TCIOFLUSH : transmit ? TCOFLUSH : receive ? TCIFLUSH : -1;
        return queue < 0 || ::tcflush(m_fd, queue) == 0;
    }

    int inputQueued() override
    {
        int n = 0;
        return ::ioctl(m_fd, FIONREAD, &n) == 0 ? n : 0;
    }

    int outputQueued() override
    {
        int n = 0;
        return ::ioctl(m_fd, TIOCOUTQ, &n) == 0 && n > 0 ? n : 0;
    }

    bool setModemLine(unsigned line, bool on) override
    {
        int bits = 0;
        if (line & kLineRts)
            bits |= TIOCM_RTS;
        if (line & kLineDtr)
            bits |= TIOCM_DTR;
        return ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
    }

    bool modemLines(unsigned* lines) override
    {
        int bits = 0;
        if (::ioctl(m_fd, TIOCMGET, &bits) != 0)
            return false;
        *lines = ((bits & TIOCM_RTS) ? kLineRts : 0) | ((bits & TIOCM_DTR) ? kLineDtr : 0)
            | ((bits & TIOCM_CTS) ? kLineCts : 0) | ((bits & TIOCM_DSR) ? kLineDsr : 0)
            | ((bits & TIOCM_RI) ? kLineRing : 0) | ((bits & TIOCM_CD) ? kLineCd : 0);
        return true;
    }

    unsigned takeLineErrors() override
    {
        serial_icounter_struct now {};
        if (::ioctl(m_fd, TIOCGICOUNT, &now) != 0)
            return 0;
        std::lock_guard lock(m_mutex);
        const unsigned errors = errorsBetween(m_errorBase, now);
        m_errorBase = now;
        return errors;
    }

    unsigned waitEvent(unsigned mask, int timeoutMs) override
    {
        const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
        if (!m_waitStarted) {
            m_waitStarted = true;
            modemLines(&m_waitLines);
            ::ioctl(m_fd, TIOCGICOUNT, &m_waitCounts);
            ::ioctl(m_fd, TIOCOUTQ, &m_waitOutput);
        }
        for (;;) {
            const unsigned events = sampleEvents(mask);
            if (events)
                return events;
            // Modem lines and error counters can only be sampled; new input can be waited for
            // while nothing unread is queued.
            const bool sampling = mask & (kModemEvents | kCounterEvents | kEvTxEmpty);
            const bool watchInput = (mask & kEvRxChar) && m_waitInput == 0;
            int slice = remainingMs(deadline);
            if (sampling || ((mask & kEvRxChar) && !watchInput))
                slice = std::min(slice, 10);
            pollfd fds[2] = { { m_wakeFd, POLLIN, 0 }, { m_fd, POLLIN, 0 } };
            const bool watch = watchInput && !m_hungUp;
            if (::poll(fds, watch ? 2 : 1, watch ? slice : std::min(slice, 10)) < 0 && errno != EINTR)
                return 0;
            if (fds[0].revents & POLLIN) {
                drainEventFd(m_wakeFd);
                return 0;
            }
            // A port whose far end has gone reports itself readable for ever: sample it instead.
            if (watch && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)))
                m_hungUp = true;
            if (remainingMs(deadline) == 0)
                return sampleEvents(mask);
        }
    }

    void cancelWait() override { eventfd_write(m_wakeFd, 1); }

private:
    static void makeRaw(termios* t)
    {
        ::cfmakeraw(t);
        t->c_cflag |= CLOCAL | CREAD;
        t->c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK);
        t->c_cc[VMIN] = 0;
        t->c_cc[VTIME] = 0;
    }

    static unsigned errorsBetween(const serial_icounter_struct& a, const serial_icounter_struct& b)
    {
        return (b.buf_overrun != a.buf_overrun ? kErrReceiveOverflow : 0)
            | (b.overrun != a.overrun ? kErrOverrun : 0) | (b.parity != a.parity ? kErrParity : 0)
            | (b.frame != a.frame ? kErrFraming : 0) | (b.brk != a.brk ? kErrBreak : 0);
    }

    LineSettings readSettings()
    {
        LineSettings s;
        termios t {};
        if (::tcgetattr(m_fd, &t) != 0)
            return s;
        if (const int rate = speedRate(::cfgetospeed(&t)))
            s.bitRate = rate;
        switch (t.c_cflag & CSIZE) {
        case CS5:
            s.dataBits = 5;
            break;
        case CS6:
            s.dataBits = 6;
            break;
        case CS7:
            s.dataBits = 7;
            break;
        default:
            s.dataBits = 8;
        }
        if (t.c_cflag & PARENB) {
            const bool odd = t.c_cflag & PARODD;
            if (t.c_cflag & CMSPAR)
                s.parity = odd ? Parity::Mark : Parity::Space;
            else
                s.parity = odd ? Parity::Odd : Parity::Even;
        }
        s.stopBits = (t.c_cflag & CSTOPB) ? StopBits::Two : StopBits::One;
        s.flowFlags = flow::kBinary | ((t.c_cflag & CRTSCTS) ? flow::kOutxCtsFlow : 0)
            | ((t.c_iflag & IXON) ? flow::kOutX : 0) | ((t.c_iflag & IXOFF) ? flow::kInX : 0);
        unsigned lines = 0;
        if (modemLines(&lines)) {
            if (lines & kLineDtr)
                s.flowFlags |= flow::kControlHigh << flow::kDtrControlShift;
            if (lines & kLineRts)
                s.flowFlags |= flow::kControlHigh << flow::kRtsControlShift;
        }
        s.xonChar = char(t.c_cc[VSTART]);
        s.xoffChar = char(t.c_cc[VSTOP]);
        // From here on the port is raw: no echo, no line editing, no character translation.
        makeRaw(&t);
        ::tcsetattr(m_fd, TCSANOW, &t);
        return s;
    }

    // Compares the port with what the previous sample saw; only the waiting thread calls it.
    unsigned sampleEvents(unsigned mask)
    {
        unsigned events = 0;
        if (mask & kModemEvents) {
            unsigned lines = m_waitLines;
            if (modemLines(&lines)) {
                const unsigned changed = lines ^ m_waitLines;
                events |= ((changed & kLineCts) ? kEvCts : 0) | ((changed & kLineDsr) ? kEvDsr : 0)
                    | ((changed & kLineCd) ? kEvRlsd : 0) | ((changed & kLineRing) ? kEvRing : 0);
                m_waitLines = lines;
            }
        }
        if (mask & kCounterEvents) {
            serial_icounter_struct now {};
            if (::ioctl(m_fd, TIOCGICOUNT, &now) == 0) {
                const unsigned errors = errorsBetween(m_waitCounts, now);
                events |= ((errors & kErrBreak) ? kEvBreak : 0) | ((errors & ~kErrBreak) ? kEvErr : 0);
                m_waitCounts = now;
            }
        }
        if (mask & kEvRxChar) {
            const int input = inputQueued();
            if (input > 0 && input != m_waitInput)
                events |= kEvRxChar;
            m_waitInput = input;
        }
        if (mask & kEvTxEmpty) {
            int output = 0;
            if (::ioctl(m_fd, TIOCOUTQ, &output) == 0) {
                if (output == 0 && m_waitOutput > 0)
                    events |= kEvTxEmpty;
                m_waitOutput = output;
            }
        }
        return events & mask;
    }

    const int m_fd;
    const int m_wakeFd;
    const int m_abortFd;
    mutable std::mutex m_mutex;
    LineSettings m_kept;
    serial_icounter_struct m_errorBase {};
    std::atomic<unsigned> m_purgeGeneration { 0 };
    // State of the event waiter.
    bool m_waitStarted = false;
    unsigned m_waitLines = 0;
    serial_icounter_struct m_waitCounts {};
    int m_waitInput = 0;
    int m_waitOutput = 0;
    bool m_hungUp = false;
};

struct PortRegistry {
    std::mutex mutex;
    SerialLineOpener opener;
    std::map<int, QString> overrides;
};

PortRegistry& registry()
{
    static PortRegistry registry;
    return registry;
}

} // namespace

std::unique_ptr<SerialLine> openTermiosLine(const QString& path)
{
    if (path.isEmpty())
        return nullptr;
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // A port belongs to one user at a time, as on the original platform.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const int abortFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0 || abortFd < 0) {
        for (int f : { fd, wakeFd, abortFd })
            if (f >= 0)
                ::close(f);
        return nullptr;
    }
    return std::make_unique<TermiosLine>(fd, wakeFd, abortFd);
}

std::unique_ptr<SerialLine> openSerialLine(const QString& path)
{
    SerialLineOpener opener;
    {
        std::lock_guard lock(registry().mutex);
        opener = registry().opener;
    }
    return opener ? opener(path) : openTermiosLine(path);
}

SerialLineOpener setSerialLineOpener(SerialLineOpener opener)
{
    std::lock_guard lock(registry().mutex);
    std::swap(opener, registry().opener);
    return opener;
}

QString serialDevicePath(int n)
{
    if (n < 1)
        return QString();
    const QByteArray fromEnvironment
        = qgetenv(QByteArray(QByteArray("TAVO_COM") + QByteArray::number(n)).constData());
    if (!fromEnvironment.isEmpty())
        return QString::fromLocal8Bit(fromEnvironment);
    {
        std::lock_guard lock(registry().mutex);
        const auto it = registry().overrides.find(n);
        if (it != registry().overrides.end() && !it->second.isEmpty())
            return it->second;
    }
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

QString resolveSerialPortName(const QString& name)
{
    static const QRegularExpression com(
        QStringLiteral("^COM(\\d+)$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(name.trimmed());
    return m.hasMatch() ? serialDevicePath(m.captured(1).toInt()) : name;
}

void setSerialPortOverrides(std::map<int, QString> overrides)
{
    std::lock_guard lock(registry().mutex);
    registry().overrides = std::move(overrides);
}

} // namespace platform
