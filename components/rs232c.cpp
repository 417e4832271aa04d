#include "components/rs232c.h"

#include "components/comthd.h"
#include "platform/Asker.h"
#include "platform/SerialLine.h"

#include <QStringList>

namespace {

using platform::Parity;

struct ParityWords {
    Parity parity;
    QStringList words;
};

const std::vector<ParityWords>& parityTable()
{
    static const std::vector<ParityWords> table = {
        { Parity::None, { QStringLiteral("無し"), QStringLiteral("なし") } },
        { Parity::Odd,
            { QStringLiteral("奇数"), QStringLiteral("きすう"), QStringLiteral("ODD"), QStringLiteral("odd"),
                QStringLiteral("ＯＤＤ"), QStringLiteral("ｏｄｄ") } },
        { Parity::Even,
            { QStringLiteral("偶数"), QStringLiteral("ぐうすう"), QStringLiteral("EVEN"),
                QStringLiteral("even"), QStringLiteral("ＥＶＥＮ"), QStringLiteral("ｅｖｅｎ") } },
        { Parity::Mark,
            { QStringLiteral("マーク"), QStringLiteral("まーく"), QStringLiteral("MARK"),
                QStringLiteral("mark"), QStringLiteral("ＭＡＲＫ"), QStringLiteral("ｍａｒｋ") } },
        { Parity::Space,
            { QStringLiteral("スペース"), QStringLiteral("すぺーす"), QStringLiteral("SPACE"),
                QStringLiteral("space"), QStringLiteral("ＳＰＡＣＥ"), QStringLiteral("ｓｐａｃｅ") } },
    };
    return table;
}

// The events each handler asks for, in the order they are dispatched.
struct EventHandler {
    unsigned event;
    TNotifyEvent Trs232c::*handler;
};

constexpr EventHandler kLineEvents[] = {
    { platform::kEvBreak, &Trs232c::OnBREAK },
    { platform::kEvCts, &Trs232c::OnCTS },
    { platform::kEvDsr, &Trs232c::OnDSR },
    { platform::kEvErr, &Trs232c::OnERR },
    { platform::kEvRing, &Trs232c::OnRING },
    { platform::kEvRlsd, &Trs232c::OnRLSD },
};

} // namespace

Trs232c::Trs232c(QObject* AOwner, TNotifyEvent OnCreate)
    : QObject(AOwner)
    , OnCreate(std::move(OnCreate))
{
    if (this->OnCreate)
        this->OnCreate(this);
}

Trs232c::~Trs232c() { Close(); }

bool Trs232c::Open()
{
    if (m_opened)
        return false;
    m_port = platform::openSerialLine(platform::resolveSerialPortName(portname));
    if (!m_port) {
        if (debug)
            platform::showMessage(QStringLiteral("回線オープンエラー"));
        return false;
    }
    // Linux raised both lines as the port opened; a relay on them must not see a pulse.
    m_port->setModemLine(platform::kLineRts | platform::kLineDtr, false);

    if (!m_port->setBufferSizes(rxbuffsize, txbuffsize))
        return failOpen(QStringLiteral("バッファサイズ設定エラー"));

    platform::LineSettings s = m_port->settings();
    s.bitRate = bps;
    if (stopbit == QLatin1String("1"))
        s.stopBits = platform::StopBits::One;
    else if (stopbit == QLatin1String("1.5"))
        s.stopBits = platform::StopBits::OnePointFive;
    else if (stopbit == QLatin1String("2"))
        s.stopBits = platform::StopBits::Two;
    for (const ParityWords& p : parityTable())
        if (p.words.contains(paritymode))
            s.parity = p.parity;
    s.dataBits = charbit;
    s.flowFlags = unsigned(flowflag);
    if (XonLim)
        s.xonLimit = XonLim;
    if (XoffLim)
        s.xoffLimit = XoffLim;
    if (XonChar)
        s.xonChar = XonChar;
    if (XoffChar)
        s.xoffChar = XoffChar;
    if (ErrorChar)
        s.errorChar = ErrorChar;
    if (EofChar)
        s.eofChar = EofChar;
    if (EvtChar)
        s.evtChar = EvtChar;
    if (m_port->apply(s) != platform::LineSettingError::None)
        return failOpen(QStringLiteral("通信条件設定エラー"));

    // The port has no reads or writes of its own: the time-outs are only checked.
    if (readinterval < 0 || rxtimeout < 0 || txtimeout < 0)
        return failOpen(QStringLiteral("タイムアウト時間設定エラー"));

    m_eventMask = 0;
    for (const EventHandler& e : kLineEvents)
        if (this->*e.handler)
            m_eventMask |= e.event;
    if (OnRXCHAR || OnPACKET)
        m_eventMask |= platform::kEvRxChar;
    if (OnRXFLAG)
        m_eventMask |= platform::kEvRxFlag;
    if (OnTXEMPTY)
        m_eventMask |= platform::kEvTxEmpty;
    m_port->purge(true, true);

    ++m_session;
    if (m_eventMask) {
        m_received = 0;
        m_packetSize = OnPACKET ? packetsize : 0;
        m_thread = std::make_unique<tcommthread>(this, m_port.get(), m_eventMask);
    }
    if (m_thread)
        m_thread->resume();
    m_opened = true;
    if (OnOpen)
        OnOpen(this);
    return true;
}

bool Trs232c::failOpen(const QString& message)
{
    m_port->purge(true, true);
    m_port.reset();
    if (debug)
        platform::showMessage(message);
    return false;
}

bool Trs232c::Close()
{
    if (!m_opened)
        return false;
    m_port->purge(true, true);
    if (m_thread) {
        m_thread->Terminate();
        m_thread->waitFor();
        m_thread.reset();
    }
    m_opened = false;
    ++m_session;
    if (OnClose)
        OnClose(this);
    m_port.reset();
    return true;
}

bool Trs232c::SetRTS(bool Value) { return m_opened && m_port->setModemLine(platform::kLineRts, Value); }

bool Trs232c::SetDTR(bool Value) { return m_opened && m_port->setModemLine(platform::kLineDtr, Value); }

rsflowset Trs232c::flow() const { return rsflowset::fromInt(unsigned(flowflag) & 0x7FFFu); }

void Trs232c::setflow(rsflowset Value) { flowflag = int(Value.toInt()); }

void Trs232c::DispatchCommEvents(unsigned mask)
{
    const quint64 session = m_session;
    mask &= m_eventMask;
    for (const EventHandler& e : kLineEvents)
        if (mask & e.event)
            raise(session, e.handler);
    if (mask & platform::kEvRxChar) {
        m_received = m_port->inputQueued();
        if (m_packetSize != 0 && m_packetSize <= m_received) {
            m_received = 0;
            raise(session, &Trs232c::OnPACKET);
        }
        raise(session, &Trs232c::OnRXCHAR);
    }
    if (mask & platform::kEvRxFlag)
        raise(session, &Trs232c::OnRXFLAG);
    if (mask & platform::kEvTxEmpty)
        raise(session, &Trs232c::OnTXEMPTY);
}

// Runs the handler on the component's thread, unless the port was closed (or reopened) meanwhile.
void Trs232c::raise(quint64 session, TNotifyEvent Trs232c::*handler)
{
    QMetaObject::invokeMethod(
        this,
        [this, session, handler] {
            if (m_opened && m_session == session && this->*handler)
                (this->*handler)(this);
        },
        Qt::QueuedConnection);
}
