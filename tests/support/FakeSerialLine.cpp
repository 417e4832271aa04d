#include "support/FakeSerialLine.h"

#include <chrono>
#include <map>

namespace platform {
namespace {

std::chrono::milliseconds ms(int ms) { return std::chrono::milliseconds(ms < 0 ? 0 : ms); }

QString lineName(unsigned line) { return line == kLineRts ? QStringLiteral("RTS") : QStringLiteral("DTR"); }

} // namespace

class FakeSerialLine final : public SerialLine {
public:
    FakeSerialLine(std::shared_ptr<FakeSerialDevice> device, int handle)
        : m_device(std::move(device))
        , m_handle(handle)
    {
    }

    ~FakeSerialLine() override
    {
        std::lock_guard lock(m_device->m_mutex);
        m_device->m_open = false;
        m_device->record(QStringLiteral("close"));
        m_device->m_changed.notify_all();
    }

    int handle() const override { return m_handle; }

    LineSettings settings() const override { return m_device->settings(); }

    LineSettingError apply(const LineSettings& s) override
    {
        if (s.bitRate <= 0)
            return LineSettingError::BitRate;
        if (s.dataBits < 5 || s.dataBits > 8)
            return LineSettingError::DataBits;
        std::lock_guard lock(m_device->m_mutex);
        if (m_device->m_unplugged)
            return LineSettingError::Device;
        m_device->m_settings = s;
        if (!m_device->m_refuseModemLines) {
            m_device->setOutputLocked(kLineDtr, flow::dtrControl(s.flowFlags) != flow::kControlLow);
            const flow::Control rts = flow::rtsControl(s.flowFlags);
            m_device->setOutputLocked(kLineRts, rts == flow::kControlHigh || rts == flow::kControlHandshake);
        }
        return LineSettingError::None;
    }

    bool setBufferSizes(int receive, int transmit) override { return receive > 0 && transmit > 0; }

    qint64 write(const char* data, qint64 size, int timeoutMs) override
    {
        std::unique_lock lock(m_device->m_mutex);
        FakeSerialDevice& d = *m_device;
        if (d.m_unplugged)
            return -1;
        const unsigned generation = d.m_purgeGeneration;
        const bool ctsFlow = (d.m_settings.flowFlags & flow::kOutxCtsFlow)
            || flow::rtsControl(d.m_settings.flowFlags) == flow::kControlHandshake;
        const bool sendable = d.m_changed.wait_for(lock, ms(timeoutMs),
            [&] { return !ctsFlow || (d.m_inputs & kLineCts) || d.m_purgeGeneration != generation; });
        if (!sendable || d.m_purgeGeneration != generation) {
            d.record(QStringLiteral("write timed out"));
            return 0;
        }
        d.m_sent.append(data, size);
        d.record(QStringLiteral("write %1").arg(size));
        d.m_pendingEvents |= kEvTxEmpty;
        d.m_changed.notify_all();
        return size;
    }

    qint64 read(char* data, qint64 size, int timeoutMs) override
    {
        std::unique_lock lock(m_device->m_mutex);
        FakeSerialDevice& d = *m_device;
        if (d.m_unplugged)
            return -1;
        d.m_changed.wait_for(lock, ms(timeoutMs), [&] { return !d.m_input.isEmpty(); });
        const qint64 n = std::min<qint64>(size, d.m_input.size());
        std::copy_n(d.m_input.constData(), n, data);
        d.m_input.remove(0, n);
        return n;
    }

    bool drain(int) override { return true; }

    bool purge(bool transmit, bool receive) override
    {
        std::lock_guard lock(m_device->m_mutex);
        if (transmit)
            ++m_device->m_purgeGeneration;
        if (receive)
            m_device->m_input.clear();
        m_device->m_changed.notify_all();
        return true;
    }

    int inputQueued() override
    {
        std::lock_guard lock(m_device->m_mutex);
        return int(m_device->m_input.size());
    }

    // What the fake takes is at the far end at once.
    int outputQueued() override { return 0; }

    bool setModemLine(unsigned line, bool on) override
    {
        std::lock_guard lock(m_device->m_mutex);
        if (m_device->m_refuseModemLines || m_device->m_unplugged)
            return false;
        m_device->setOutputLocked(line, on);
        return true;
    }

    bool modemLines(unsigned* lines) override
    {
        std::lock_guard lock(m_device->m_mutex);
        if (m_device->m_refuseModemLines || m_device->m_unplugged)
            return false;
        *lines = m_device->m_outputs | m_device->m_inputs;
        return true;
    }

    unsigned takeLineErrors() override
    {
        std::lock_guard lock(m_device->m_mutex);
        return std::exchange(m_device->m_pendingErrors, 0u);
    }

    unsigned waitEvent(unsigned mask, int timeoutMs) override
    {
        std::unique_lock lock(m_device->m_mutex);
        FakeSerialDevice& d = *m_device;
        ++d.m_waitCount;
        d.m_changed.wait_for(
            lock, ms(timeoutMs), [&] { return d.m_cancelWait || (d.m_pendingEvents & mask); });
        if (std::exchange(d.m_cancelWait, false))
            return 0;
        const unsigned events = d.m_pendingEvents & mask;
        d.m_pendingEvents &= ~mask;
        return events;
    }

    void cancelWait() override
    {
        std::lock_guard lock(m_device->m_mutex);
        m_device->m_cancelWait = true;
        m_device->m_changed.notify_all();
    }

private:
    std::shared_ptr<FakeSerialDevice> m_device;
    const int m_handle;
};

FakeSerialDevice::FakeSerialDevice(QString path)
    : m_path(std::move(path))
{
}

std::unique_ptr<SerialLine> FakeSerialDevice::open()
{
    std::lock_guard lock(m_mutex);
    if (m_open || m_refuseOpen || m_unplugged)
        return nullptr;
    m_open = true;
    ++m_openCount;
    m_pendingEvents = 0;
    m_pendingErrors = 0;
    m_cancelWait = false;
    record(QStringLiteral("open"));
    // What the Linux driver does on open.
    if (!m_refuseModemLines) {
        setOutputLocked(kLineRts, true);
        setOutputLocked(kLineDtr, true);
    }
    return std::make_unique<FakeSerialLine>(shared_from_this(), 1000 + m_openCount);
}

void FakeSerialDevice::feed(const QByteArray& bytes)
{
    std::lock_guard lock(m_mutex);
    m_input.append(bytes);
    m_pendingEvents |= kEvRxChar;
    m_changed.notify_all();
}

QByteArray FakeSerialDevice::sent() const { return locked(m_sent); }

bool FakeSerialDevice::waitForSent(qint64 size, int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, ms(timeoutMs), [&] { return m_sent.size() >= size; });
}

void FakeSerialDevice::setInputLines(unsigned lines)
{
    std::lock_guard lock(m_mutex);
    const unsigned changed = (lines ^ m_inputs) & (kLineCts | kLineDsr | kLineRing | kLineCd);
    m_inputs = lines & (kLineCts | kLineDsr | kLineRing | kLineCd);
    m_pendingEvents |= ((changed & kLineCts) ? kEvCts : 0) | ((changed & kLineDsr) ? kEvDsr : 0)
        | ((changed & kLineCd) ? kEvRlsd : 0) | ((changed & kLineRing) ? kEvRing : 0);
    m_changed.notify_all();
}

void FakeSerialDevice::raiseLineErrors(unsigned errors)
{
    std::lock_guard lock(m_mutex);
    m_pendingErrors |= errors;
    m_pendingEvents |= ((errors & kErrBreak) ? kEvBreak : 0) | ((errors & ~kErrBreak) ? kEvErr : 0);
    m_changed.notify_all();
}

unsigned FakeSerialDevice::outputLines() const { return locked(m_outputs); }

QStringList FakeSerialDevice::history() const { return locked(m_history); }

void FakeSerialDevice::clearHistory()
{
    std::lock_guard lock(m_mutex);
    m_history.clear();
}

LineSettings FakeSerialDevice::settings() const { return locked(m_settings); }

bool FakeSerialDevice::isOpen() const { return locked(m_open); }

int FakeSerialDevice::openCount() const { return locked(m_openCount); }

int FakeSerialDevice::waitCount() const { return locked(m_waitCount); }

void FakeSerialDevice::setRefuseOpen(bool refuse)
{
    std::lock_guard lock(m_mutex);
    m_refuseOpen = refuse;
}

void FakeSerialDevice::setRefuseModemLines(bool refuse)
{
    std::lock_guard lock(m_mutex);
    m_refuseModemLines = refuse;
}

void FakeSerialDevice::setUnplugged(bool unplugged)
{
    std::lock_guard lock(m_mutex);
    m_unplugged = unplugged;
    m_changed.notify_all();
}

void FakeSerialDevice::record(const QString& entry) { m_history.append(entry); }

void FakeSerialDevice::setOutputLocked(unsigned line, bool on)
{
    for (unsigned one : { kLineRts, kLineDtr }) {
        if (!(line & one) || bool(m_outputs & one) == on)
            continue;
        m_outputs = on ? (m_outputs | one) : (m_outputs & ~one);
        record(lineName(one) + (on ? QStringLiteral("=1") : QStringLiteral("=0")));
    }
}

struct FakeSerialPorts::State {
    mutable std::mutex mutex;
    std::map<QString, std::shared_ptr<FakeSerialDevice>> devices;
};

FakeSerialPorts::FakeSerialPorts()
    : m_state(std::make_shared<State>())
{
    std::weak_ptr<State> weak = m_state;
    m_previous = setSerialLineOpener([weak](const QString& path) -> std::unique_ptr<SerialLine> {
        const auto state = weak.lock();
        if (!state)
            return nullptr;
        std::shared_ptr<FakeSerialDevice> device;
        {
            std::lock_guard lock(state->mutex);
            const auto it = state->devices.find(path);
            if (it == state->devices.end())
                return nullptr;
            device = it->second;
        }
        return device->open();
    });
}

FakeSerialPorts::~FakeSerialPorts() { setSerialLineOpener(std::move(m_previous)); }

std::shared_ptr<FakeSerialDevice> FakeSerialPorts::add(const QString& path)
{
    auto device = std::make_shared<FakeSerialDevice>(path);
    std::lock_guard lock(m_state->mutex);
    m_state->devices[path] = device;
    return device;
}

std::shared_ptr<FakeSerialDevice> FakeSerialPorts::device(const QString& path) const
{
    std::lock_guard lock(m_state->mutex);
    const auto it = m_state->devices.find(path);
    return it == m_state->devices.end() ? nullptr : it->second;
}

} // namespace platform
