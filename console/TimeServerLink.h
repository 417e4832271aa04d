#pragma once

// The console's TCP client link to the timing server: connect and disconnect, and the receive
// chain that hands each received line to the console. It never sends anything.
//
// Connecting runs off the console's thread and gives up after a few seconds, so a server that
// does not answer never stalls the count-down; the operator can also cancel it. Each connection
// is a session of its own: a receive that ends after its connection was closed or replaced is
// ignored, so it can neither close nor feed a newer connection.
//
// While connected, TimeServerConnected is 1. Losing the link in any way clears it and
// BoardFromNetwork, so that the board's race line goes back to the console's own count-down.

#include "console/TimeServerLines.h"
#include "platform/Sockets.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class TRecvThd;

namespace console {

enum class LinkState { Disconnected, Connecting, Connected };

// The port of the settings box: a number from 1 to 65535, else nothing and `problem` says why.
std::optional<quint16> timeServerPortOfText(const QString& text, QString* problem);

class TimeServerLink {
public:
    struct Handlers {
        std::function<void(const QString&)> status; // the link's status line
        std::function<void(LinkState)> stateChanged;
        // Each received line, without its CR LF, in order; last, when the connection ends, the
        // unfinished line it ended with.
        std::function<void(const QByteArray&)> line;
        std::function<void(const QString&)> problem; // something that failed while the link runs
    };

    static constexpr int DefaultConnectTimeoutMs = 5000;

    explicit TimeServerLink(
        Handlers handlers, platform::SocketConnector::LookUpFunction lookUp = platform::lookUpHostIPv4);
    ~TimeServerLink();
    TimeServerLink(const TimeServerLink&) = delete;
    TimeServerLink& operator=(const TimeServerLink&) = delete;

    // The connect button: connects when disconnected, disconnects when connected, and cancels an
    // attempt in progress.
    void Button2Click(const QString& address, const QString& portText);
    void connect(const QString& address, const QString& portText);
    void disconnect();
    void cancelConnect();
    // Ends the link however it stands (the console closes): the socket closed, the receive thread
    // ended, the flags cleared.
    void drop();

    LinkState state() const { return m_state; }
    bool TcpConnected() const { return m_state == LinkState::Connected; }
    // The connected socket; kInvalidSocket otherwise.
    platform::SocketHandle TimeServerSocket() const;

    int connectTimeoutMs() const { return m_connectTimeoutMs; }
    void setConnectTimeoutMs(int ms) { m_connectTimeoutMs = ms; }

private:
    struct Session;

    void connected(const platform::SocketConnector::Result& result);
    void receive();
    void RecvTerm(const std::shared_ptr<Session>& session, TRecvThd* Sender);
    void takeBlock(const std::shared_ptr<Session>& session, const QByteArray& block);
    void deliver(const QByteArray& line) const;
    // Closes the session's socket once, waits for its receive to end and clears the flags.
    void endSession();
    void setState(LinkState state);
    void Status(const QString& text) const;
    void problem(const QString& text) const;

    Handlers m_handlers;
    platform::SocketConnector m_connector;
    std::shared_ptr<Session> m_session;
    LinkState m_state = LinkState::Disconnected;
    int m_connectTimeoutMs = DefaultConnectTimeoutMs;
};

} // namespace console
