#include "console/TimeServerLink.h"

#include "app/uComm.h"
#include "components/RcvThd.h"

#include <QPointer>
#include <exception>

namespace console {

using platform::SocketConnector;

// One connection: its socket, the unfinished line it sent last, and its receive in progress.
struct TimeServerLink::Session {
    platform::SocketHandle socket = platform::kInvalidSocket;
    TimeServerLineBuffer lines;
    QPointer<TRecvThd> receiving;
};

namespace {

QString withCode(const char* text, int code) { return QString::fromUtf8(text) + QString::number(code); }

QString timedOut(const char* text, int timeoutMs)
{
    return QString::fromUtf8(text) + QStringLiteral("タイムアウトしました (%1秒)").arg(timeoutMs / 1000.0);
}

// A receive that was just told to end returns at once; this only bounds a wait that cannot hang.
constexpr unsigned long ReceiveEndWaitMs = 2000;

} // namespace

std::optional<quint16> timeServerPortOfText(const QString& text, QString* problem)
{
    bool ok = false;
    const qlonglong port = text.trimmed().toLongLong(&ok);
    if (!ok || port < 1) {
        *problem = QStringLiteral("ポートは1以上の数値です");
        return std::nullopt;
    }
    if (port > 65535) {
        *problem = QStringLiteral("ポートは65535以下の数値です");
        return std::nullopt;
    }
    return static_cast<quint16>(port);
}

TimeServerLink::TimeServerLink(Handlers handlers, SocketConnector::LookUpFunction lookUp)
    : m_handlers(std::move(handlers))
    , m_connector(std::move(lookUp))
{
}

TimeServerLink::~TimeServerLink()
{
    // Whoever listened may be going away too: end the link without a word.
    m_handlers = {};
    drop();
}

platform::SocketHandle TimeServerLink::TimeServerSocket() const
{
    return m_session ? m_session->socket : platform::kInvalidSocket;
}

void TimeServerLink::Button2Click(const QString& address, const QString& portText)
{
    switch (m_state) {
    case LinkState::Connected:
        disconnect();
        break;
    case LinkState::Connecting:
        cancelConnect();
        break;
    case LinkState::Disconnected:
        connect(address, portText);
        break;
    }
}

void TimeServerLink::connect(const QString& address, const QString& portText)
{
    if (m_state != LinkState::Disconnected)
        return;
    QString problem;
    const std::optional<quint16> port = timeServerPortOfText(portText, &problem);
    if (!port) {
        Status(problem);
        return;
    }
    Status(QStringLiteral("サーバ検索中..."));
    setState(LinkState::Connecting);
    m_connector.start(
        address, *port, m_connectTimeoutMs,
        [this] { Status(QStringLiteral("サーバを見つけました 接続します")); },
        [this](const SocketConnector::Result& result) { connected(result); });
}

void TimeServerLink::connected(const SocketConnector::Result& result)
{
    switch (result.failure) {
    case SocketConnector::Failure::None:
        break;
    case SocketConnector::Failure::LookUp: {
        QString text = withCode("サーバの検索エラーです Error code ", result.error);
        // The resolver's codes overlap errno values: its own description tells them apart.
        if (result.source == platform::ErrorSource::Resolver)
            text += QStringLiteral(" (%1)").arg(platform::resolverErrorText(result.error));
        Status(text);
        break;
    }
    case SocketConnector::Failure::Create:
        Status(withCode("ソケット作成のエラーです Error code ", result.error));
        break;
    case SocketConnector::Failure::Connect:
        Status(withCode("接続のエラーです Error code ", result.error));
        break;
    case SocketConnector::Failure::TimedOut:
        Status(timedOut(
            result.step == SocketConnector::Step::LookUp ? "サーバの検索エラーです " : "接続のエラーです ",
            m_connectTimeoutMs));
        break;
    }
    if (result.failure != SocketConnector::Failure::None) {
        setState(LinkState::Disconnected);
        return;
    }
    m_session = std::make_shared<Session>();
    m_session->socket = result.socket;
    TimeServerConnected = 1;
    Status(QStringLiteral("接続しました"));
    setState(LinkState::Connected);
    receive();
}

void TimeServerLink::receive()
{
    const std::weak_ptr<Session> owner = m_session;
    m_session->receiving = new TRecvThd(m_session->socket, [this, owner](TRecvThd* Sender) {
        // A session outlives neither its link nor its connection: a receive of one that is gone
        // belongs to nobody.
        if (const std::shared_ptr<Session> session = owner.lock(); session && session == m_session)
            RecvTerm(session, Sender);
    });
}

void TimeServerLink::RecvTerm(const std::shared_ptr<Session>& session, TRecvThd* Sender)
{
    if (!Sender->Data.isEmpty()) {
        // The next receive starts first: nothing a line leads to can end the chain.
        receive();
        takeBlock(session, Sender->Data);
        return;
    }
    if (Sender->ErrorCode != 0) {
        const QString text = withCode("受信でエラーです Error Code ", Sender->ErrorCode);
        Status(text);
        // The status below replaces it; the console's own status line keeps what went wrong.
        problem(text);
    }
    Status(QStringLiteral("サーバから切断されました"));
    endSession();
    setState(LinkState::Disconnected);
}

void TimeServerLink::takeBlock(const std::shared_ptr<Session>& session, const QByteArray& block)
{
    const TimeServerLineBuffer::Lines lines = session->lines.take(block);
    if (lines.dropped > 0)
        problem(QStringLiteral("受信した行が長すぎるため捨てました (%1バイト超)")
                    .arg(TimeServerLineBuffer::MaxLineBytes));
    for (const QByteArray& line : lines.complete) {
        // A handler may have closed the link.
        if (session != m_session)
            return;
        deliver(line);
    }
}

void TimeServerLink::deliver(const QByteArray& line) const
{
    try {
        if (m_handlers.line)
            m_handlers.line(line);
    } catch (const std::exception& e) {
        problem(QStringLiteral("受信データの処理でエラーです: ") + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        problem(QStringLiteral("受信データの処理でエラーです"));
    }
}

void TimeServerLink::disconnect()
{
    if (m_state != LinkState::Connected)
        return;
    endSession();
    Status(QStringLiteral("切断しました"));
    setState(LinkState::Disconnected);
}

void TimeServerLink::cancelConnect()
{
    if (m_state != LinkState::Connecting)
        return;
    m_connector.Cancel();
    Status(QStringLiteral("接続を中止しました"));
    setState(LinkState::Disconnected);
}

void TimeServerLink::drop()
{
    if (m_state == LinkState::Connected)
        disconnect();
    else if (m_state == LinkState::Connecting)
        cancelConnect();
    TimeServerConnected = 0;
    BoardFromNetwork = 0;
}

void TimeServerLink::endSession()
{
    TimeServerConnected = 0;
    BoardFromNetwork = 0;
    const std::shared_ptr<Session> session = std::move(m_session);
    if (!session)
        return;
    platform::closeSocket(session->socket);
    // Closing ends a waiting receive at once. Waiting for it here also keeps a receive that had
    // not started yet from ever reading a later socket given the same number.
    if (session->receiving)
        session->receiving->wait(ReceiveEndWaitMs);
    // What the server sent last without its CR LF is still shown and logged; with the flags
    // cleared it no longer drives the board.
    if (const QByteArray rest = session->lines.takeRest(); !rest.isEmpty())
        deliver(rest);
}

void TimeServerLink::setState(LinkState state)
{
    m_state = state;
    if (m_handlers.stateChanged)
        m_handlers.stateChanged(state);
}

void TimeServerLink::Status(const QString& text) const
{
    if (m_handlers.status)
        m_handlers.status(text);
}

void TimeServerLink::problem(const QString& text) const
{
    if (m_handlers.problem)
        m_handlers.problem(text);
}

} // namespace console
