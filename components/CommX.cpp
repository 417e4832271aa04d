#include "components/CommX.h"

#include "platform/TextCodec.h"

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

const char* const kAlreadyOpen = "ポートは、すでにオープンされています";
const char* const kCannotOpen = "ポートをオープンできませんでした";
const char* const kNoSendThread = "送信用スレッドを生成できませんでした";
const char* const kNoReceiveThread = "受信用スレッドを生成できませんでした";
const char* const kBitRateFailed = "通信速度の設定でエラーが発生しました";
const char* const kCharSizeFailed = "通信ビット数の設定でエラーが発生しました";
const char* const kParityFailed = "通信パリティチェックの設定でエラーが発生しました";
const char* const kStopBitFailed = "通信ストップビット数の設定でエラーが発生しました";
const char* const kFlowFailed = "通信フロー制御の設定で失敗しました";
const char* const kTimeOutFailed = "通信タイムアウト時間の設定で失敗しました";
const char* const kBufferFailed = "通信用ポートのバッファを準備できませんでした";

constexpr unsigned kWatchedEvents = 0x1F9; // RXCHAR, CTS, DSR, RLSD, BREAK, ERR, RING
constexpr unsigned kSignalEvents = 0x178; // CTS, DSR, RLSD, BREAK, RING
constexpr unsigned kLineSignalEvents = 0x138; // CTS, DSR, RLSD, RING
constexpr unsigned kReportedErrors = 0x0E; // overrun, parity, framing

// The flag word of each flow setting.
unsigned flowWord(TCommFlowCtrls flow)
{
    switch (flow) {
    case cfcRtsCts:
        return 0x2017;
    case cfcDtrDsr:
        return 0x102B;
    case cfcXonXoff:
        return 0x1313;
    case cfcHalfHigh:
        return 0x0013;
    case cfcHalfLow:
    case cfcNone:
        return 0x1013;
    }
    return 0x1013;
}

void sleepMs(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

[[noreturn]] void fail(const char* message) { throw ECommError(QString::fromUtf8(message)); }

} // namespace

ECommError::ECommError(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

// One open port: the line, the two threads and what they share. Lives from Open to Close.
struct TCustomCommX::Session {
    Session(TCustomCommX* owner, std::unique_ptr<platform::SerialLine> line, quint64 id)
        : owner(owner)
        , line(std::move(line))
        , id(id)
    {
    }

    // The send thread: writes the queued chunks, reports each one, frames bursts for half duplex.
    // A burst lasts while chunks keep coming, so one Write goes out under one RTS frame.
    void sendLoop()
    {
        while (!stopping) {
            {
                std::unique_lock lock(queueMutex);
                queueWake.wait_for(
                    lock, std::chrono::milliseconds(100), [this] { return stopping || !queue.empty(); });
            }
            bool wrote = false;
            QByteArray chunk;
            while (takeChunk(&chunk)) {
                if (!purging && !stopping) {
                    if (!wrote)
                        beginSend();
                    wrote = true;
                    const qint64 n = line->write(chunk.constData(), chunk.size(), timeOutTrans);
                    if (n > 0)
                        accepted += n;
                    if (n != chunk.size())
                        reportLineErrors(false);
                }
                post([size = int(chunk.size())](TCustomCommX* c) { c->DoTrans(size); });
                std::lock_guard lock(counterMutex);
                pendingBytes = pendingBytes - chunk.size() < 1 ? 0 : pendingBytes - chunk.size();
                if (pendingChunks > 0)
                    --pendingChunks;
            }
            if (wrote)
                endSend();
        }
    }

    bool takeChunk(QByteArray* chunk)
    {
        std::lock_guard lock(queueMutex);
        if (queue.empty())
            return false;
        *chunk = std::move(queue.front());
        queue.pop_front();
        return true;
    }

    // The receive thread: turns port events into events on the owner's thread, one at a time.
    void receiveLoop()
    {
        while (!stopping) {
            const unsigned events = line->waitEvent(kWatchedEvents, 250);
            if (stopping)
                break;
            reportLineErrors(true);
            if (events & kSignalEvents)
                deliver([events](TCustomCommX* c) { c->DoSignal(int(events)); });
            if (events & platform::kEvRxChar)
                deliver([](TCustomCommX* c) { c->DoReceive(); });
        }
    }

    // Half duplex: RTS marks the time the line is ours.
    void beginSend()
    {
        const int flow = flowCtrl;
        if (flow != cfcHalfHigh && flow != cfcHalfLow)
            return;
        sleepMs(100);
        line->setModemLine(platform::kLineRts, flow == cfcHalfHigh);
        sleepMs(10);
    }

    void endSend()
    {
        const int flow = flowCtrl;
        if (flow != cfcHalfHigh && flow != cfcHalfLow)
            return;
        // A write returns once the driver holds the data; the burst is on the line only when
        // the driver's queue has emptied.
        line->drain(timeOutTrans);
        sleepMs(20);
        line->setModemLine(platform::kLineRts, flow != cfcHalfHigh);
    }

    void reportLineErrors(bool wait)
    {
        const unsigned errors = line->takeLineErrors() & kReportedErrors;
        if (!errors)
            return;
        auto call = [errors](TCustomCommX* c) { c->DoError(int(errors)); };
        if (wait)
            deliver(call);
        else
            post(call);
    }

    // Runs call on the owner's thread later, if this port is still the open one by then.
    template <typename Call> void post(Call call)
    {
        TCustomCommX* c = owner;
        const quint64 session = id;
        QMetaObject::invokeMethod(
            c,
            [c, session, call] {
                if (c->isCurrent(session))
                    call(c);
            },
            Qt::QueuedConnection);
    }

    // Like post, but waits until the owner's thread has run call, or the port is closing.
    template <typename Call> void deliver(Call call)
    {
        struct Handshake {
            std::mutex mutex;
            std::condition_variable done;
            bool handled = false;
        };
        // Handled also when the handler throws: the thread would otherwise wait until Close
        // and no later event of the port would arrive.
        struct MarkHandled {
            Handshake& handshake;
            ~MarkHandled()
            {
                std::lock_guard lock(handshake.mutex);
                handshake.handled = true;
                handshake.done.notify_all();
            }
        };
        auto handshake = std::make_shared<Handshake>();
        post([handshake, call](TCustomCommX* c) {
            const MarkHandled mark { *handshake };
            call(c);
        });
        std::unique_lock lock(handshake->mutex);
        while (!handshake->handled && !stopping)
            handshake->done.wait_for(lock, std::chrono::milliseconds(20));
    }

    // Hands a chunk to the send thread. False when the thread no longer takes chunks.
    bool enqueue(QByteArray chunk)
    {
        {
            std::lock_guard lock(queueMutex);
            if (stopping)
                return false;
            {
                std::lock_guard counters(counterMutex);
                pendingBytes += chunk.size();
                ++pendingChunks;
            }
            queue.push_back(std::move(chunk));
        }
        queueWake.notify_one();
        return true;
    }

    int queuedChunks()
    {
        std::lock_guard lock(counterMutex);
        return pendingChunks;
    }

    qint64 queuedBytes()
    {
        std::lock_guard lock(counterMutex);
        return pendingBytes;
    }

    // Ends both threads. abortWrite ends a write in progress at once, discarding what the driver
    // holds; without it the driver keeps what it took.
    void stop(bool abortWrite)
    {
        {
            std::lock_guard lock(queueMutex);
            stopping = true;
        }
        queueWake.notify_all();
        line->cancelWait();
        if (abortWrite)
            line->purge(true, false);
        if (sender.joinable())
            sender.join();
        if (receiver.joinable())
            receiver.join();
    }

    TCustomCommX* const owner;
    const std::unique_ptr<platform::SerialLine> line;
    const quint64 id;
    std::atomic<bool> stopping { false };
    std::atomic<bool> purging { false };
    std::atomic<int> timeOutTrans { 0 };
    std::atomic<int> flowCtrl { cfcNone };
    // Bytes the line has taken since the port opened.
    std::atomic<qint64> accepted { 0 };

    std::mutex queueMutex;
    std::condition_variable queueWake;
    std::deque<QByteArray> queue;

    std::mutex counterMutex;
    qint64 pendingBytes = 0;
    int pendingChunks = 0;

    std::thread sender;
    std::thread receiver;
};

TCustomCommX::TCustomCommX(QObject* AOwner)
    : QObject(AOwner)
{
}

TCustomCommX::~TCustomCommX()
{
    m_settleDelayMs = 0;
    Close();
}

void TCustomCommX::Open()
{
    if (m_session)
        fail(kAlreadyOpen);
    if (m_settlingSince.isValid()) {
        sleepMs(int(m_settleDelayMs - m_settlingSince.elapsed()));
        m_settlingSince.invalidate();
    }
    std::unique_ptr<platform::SerialLine> line
        = platform::openSerialLine(platform::serialDevicePath(m_portNo));
    if (!line)
        fail(kCannotOpen);
    m_session = std::make_unique<Session>(this, std::move(line), ++m_lastSessionId);
    try {
        Session& s = *m_session;
        applyBufferSizes();
        s.line->purge(true, true);
        m_portState = s.line->settings();
        m_portState.xonChar = 0x11;
        m_portState.xoffChar = 0x13;
        m_portState.errorChar = 0;
        applyLine(QString::fromUtf8(kBitRateFailed));
        applyLine(QString::fromUtf8(kCharSizeFailed));
        applyLine(QString::fromUtf8(kParityFailed));
        applyLine(QString::fromUtf8(kStopBitFailed));
        applyLine(QString::fromUtf8(kFlowFailed));
        applyTimeOuts();
        try {
            s.sender = std::thread([&s] { s.sendLoop(); });
        } catch (const std::system_error&) {
            fail(kNoSendThread);
        }
        try {
            s.receiver = std::thread([&s] { s.receiveLoop(); });
        } catch (const std::system_error&) {
            fail(kNoReceiveThread);
        }
        settle();
    } catch (...) {
        Close();
        throw;
    }
}

void TCustomCommX::Close()
{
    if (!m_session)
        return;
    SetDTR(false);
    SetRTS(false);
    PurgeTrans();
    PurgeReceive();
    settle();
    // The threads end before the port goes: Linux hands a closed number to the next port at once.
    std::unique_ptr<Session> session = std::move(m_session);
    session->stop(true);
    session.reset();
    settle();
}

void TCustomCommX::CloseAfterSent()
{
    if (!m_session)
        return;
    if (!allSent())
        PurgeTrans();
    SetDTR(false);
    SetRTS(false);
    PurgeReceive();
    std::unique_ptr<Session> session = std::move(m_session);
    session->stop(false);
    session.reset();
    // The lines settle before the port opens again, not here: the caller goes on at once.
    m_settlingSince.start();
}

bool TCustomCommX::Write(const void* Buffer, int Count)
{
    if (Count == 0)
        return true;
    if (!m_session || !Buffer || Count < 0)
        return false;
    const quint64 session = m_session->id;
    const char* data = static_cast<const char*>(Buffer);
    const int chunkSize = m_bufLenTrans > 0 ? m_bufLenTrans : 1;
    for (int offset = 0; offset < Count; offset += chunkSize) {
        while (m_session->queuedChunks() >= MaxQueuedChunks) {
            QCoreApplication::processEvents();
            sleepMs(1);
            if (!isCurrent(session))
                return false;
        }
        try {
            if (!m_session->enqueue(QByteArray(data + offset, std::min(chunkSize, Count - offset))))
                return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    return true;
}

int TCustomCommX::Read(void* Buffer, int Count)
{
    if (!m_session || !Buffer)
        return -1;
    if (Count <= 0)
        return 0;
    const quint64 session = m_session->id;
    char* data = static_cast<char*>(Buffer);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_timeOutReceive);
    int got = 0;
    for (;;) {
        const qint64 n = m_session->line->read(data + got, Count - got, 0);
        if (n < 0) {
            const unsigned errors = m_session->line->takeLineErrors() & kReportedErrors;
            if (errors)
                m_session->post([errors](TCustomCommX* c) { c->DoError(int(errors)); });
            return -1;
        }
        got += int(n);
        if (got == Count || std::chrono::steady_clock::now() >= deadline)
            return got;
        QCoreApplication::processEvents();
        sleepMs(1);
        if (!isCurrent(session))
            return -1;
    }
}

bool TCustomCommX::SendString(const QByteArray& S)
{
    if (S.isEmpty())
        return true;
    return Write(S.constData(), int(S.size()));
}

bool TCustomCommX::SendString(const QString& S) { return SendString(platform::toCp932(S)); }

bool TCustomCommX::SendString(const char* S) { return SendString(QByteArray(S)); }

void TCustomCommX::PurgeTrans()
{
    if (!m_session)
        return;
    Session& s = *m_session;
    if (!s.sender.joinable()) {
        s.line->purge(true, false);
        return;
    }
    s.purging = true;
    do {
        s.line->purge(true, false);
        s.queueWake.notify_one();
        sleepMs(1);
    } while (s.queuedBytes() > 0);
    // A chunk whose write began just before the purge may have reached the driver since.
    s.line->purge(true, false);
    s.purging = false;
}

int TCustomCommX::queuedChunks() const { return m_session ? m_session->queuedChunks() : 0; }

bool TCustomCommX::allSent() const
{
    return !m_session || (m_session->queuedChunks() == 0 && m_session->line->drain(0));
}

qint64 TCustomCommX::outputQueued() const
{
    return m_session ? m_session->queuedBytes() + m_session->line->outputQueued() : 0;
}

qint64 TCustomCommX::bytesSent() const
{
    return m_session ? std::max<qint64>(0, m_session->accepted - m_session->line->outputQueued()) : 0;
}

void TCustomCommX::PurgeReceive()
{
    if (m_session)
        m_session->line->purge(false, true);
}

int TCustomCommX::ReceiveCount() const { return m_session ? m_session->line->inputQueued() : 0; }

void TCustomCommX::SetRTS(bool Value)
{
    if (m_session)
        m_session->line->setModemLine(platform::kLineRts, Value);
}

void TCustomCommX::SetDTR(bool Value)
{
    if (m_session)
        m_session->line->setModemLine(platform::kLineDtr, Value);
}

void TCustomCommX::setPortNo(int Value)
{
    m_portNo = Value;
    if (m_session) {
        Close();
        Open();
    }
}

void TCustomCommX::setBitRate(int Value)
{
    m_bitRate = Value;
    if (m_session)
        applyLine(QString::fromUtf8(kBitRateFailed));
}

void TCustomCommX::setCharSize(int Value)
{
    m_charSize = Value;
    if (m_session)
        applyLine(QString::fromUtf8(kCharSizeFailed));
}

void TCustomCommX::setParityBit(TCommParityBits Value)
{
    m_parityBit = Value;
    if (m_session)
        applyLine(QString::fromUtf8(kParityFailed));
}

void TCustomCommX::setStopBit(TCommStopBits Value)
{
    m_stopBit = Value;
    if (m_session)
        applyLine(QString::fromUtf8(kStopBitFailed));
}

void TCustomCommX::setFlowCtrl(TCommFlowCtrls Value)
{
    m_flowCtrl = Value;
    if (m_session)
        applyLine(QString::fromUtf8(kFlowFailed));
}

void TCustomCommX::setTimeOutTrans(int Value)
{
    m_timeOutTrans = Value;
    if (m_session)
        applyTimeOuts();
}

void TCustomCommX::setTimeOutReceive(int Value)
{
    m_timeOutReceive = Value;
    if (m_session)
        applyTimeOuts();
}

void TCustomCommX::setBufLenTrans(int Value)
{
    m_bufLenTrans = Value;
    if (m_session)
        applyBufferSizes();
}

void TCustomCommX::setBufLenReceive(int Value)
{
    m_bufLenReceive = Value;
    if (m_session) {
        applyBufferSizes();
        // The XON/XOFF limits follow the receive buffer.
        applyLine(QString::fromUtf8(kFlowFailed));
    }
}

int TCustomCommX::Handle() const { return m_session ? m_session->line->handle() : -1; }

platform::LineSettings TCustomCommX::portSettings() const
{
    return m_session ? m_session->line->settings() : settingsForLine();
}

void TCustomCommX::DoTrans(int Size)
{
    if (m_session && OnTrans)
        OnTrans(this, Size);
}

void TCustomCommX::DoReceive()
{
    if (!OnReceive)
        return;
    const int count = ReceiveCount();
    if (count > 0)
        OnReceive(this, count);
}

void TCustomCommX::DoSignal(int Mask)
{
    if ((Mask & kLineSignalEvents) && OnSignal)
        OnSignal(this, Mask);
    if ((Mask & platform::kEvBreak) && OnBreak)
        OnBreak(this);
}

void TCustomCommX::DoError(int Bits)
{
    if (OnError)
        OnError(this, Bits);
}

platform::LineSettings TCustomCommX::settingsForLine() const
{
    platform::LineSettings s = m_portState;
    s.bitRate = m_bitRate;
    s.dataBits = m_charSize;
    switch (m_parityBit) {
    case cpbOdd:
        s.parity = platform::Parity::Odd;
        break;
    case cpbEven:
        s.parity = platform::Parity::Even;
        break;
    default:
        s.parity = platform::Parity::None;
    }
    s.stopBits = m_stopBit == csb1p5 ? platform::StopBits::OnePointFive
        : m_stopBit == csb2          ? platform::StopBits::Two
                                     : platform::StopBits::One;
    s.flowFlags = flowWord(m_flowCtrl);
    s.xonLimit = m_bufLenReceive / 4;
    s.xoffLimit = 3 * s.xonLimit;
    return s;
}

// Gives the port the current settings. A setting the port refuses raises its own message; a
// failure of the port as a whole raises the message of the step being done.
void TCustomCommX::applyLine(const QString& stepMessage)
{
    const platform::LineSettings s = settingsForLine();
    switch (m_session->line->apply(s)) {
    case platform::LineSettingError::None:
        m_portState = s;
        m_session->flowCtrl = m_flowCtrl;
        return;
    case platform::LineSettingError::BitRate:
        fail(kBitRateFailed);
    case platform::LineSettingError::DataBits:
        fail(kCharSizeFailed);
    case platform::LineSettingError::Parity:
        fail(kParityFailed);
    case platform::LineSettingError::StopBits:
        fail(kStopBitFailed);
    case platform::LineSettingError::Flow:
        fail(kFlowFailed);
    case platform::LineSettingError::Device:
        break;
    }
    throw ECommError(stepMessage);
}

void TCustomCommX::applyTimeOuts()
{
    if (m_timeOutTrans < 0 || m_timeOutReceive < 0)
        fail(kTimeOutFailed);
    m_session->timeOutTrans = m_timeOutTrans;
}

void TCustomCommX::applyBufferSizes()
{
    if (!m_session->line->setBufferSizes(m_bufLenReceive, m_bufLenTrans))
        fail(kBufferFailed);
}

bool TCustomCommX::isCurrent(quint64 session) const { return m_session && m_session->id == session; }

void TCustomCommX::settle() const { sleepMs(m_settleDelayMs); }
