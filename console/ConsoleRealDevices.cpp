#include "console/ConsoleRealDevices.h"

#include "components/CommX.h"
#include "components/rs232c.h"
#include "platform/MediaPlayer.h"

namespace console {

void CommXBoardPort::SendString(const QByteArray& bytes) { m_port.SendString(bytes); }

void CommXBoardPort::Close() { m_port.Close(); }

Trs232c* Rs232cSignalLines::Port(int port) const
{
    return port >= 1 && port <= 3 ? m_ports[static_cast<size_t>(port - 1)] : nullptr;
}

bool Rs232cSignalLines::Open(int port)
{
    Trs232c* p = Port(port);
    return p && p->Open();
}

void Rs232cSignalLines::Close(int port)
{
    if (Trs232c* p = Port(port))
        p->Close();
}

void Rs232cSignalLines::SetRts(int port, bool high)
{
    if (Trs232c* p = Port(port))
        p->SetRTS(high);
}

void Rs232cSignalLines::SetDtr(int port, bool high)
{
    if (Trs232c* p = Port(port))
        p->SetDTR(high);
}

MediaCuePlayer::MediaCuePlayer()
    : m_player(std::make_unique<platform::MediaPlayer>())
{
    QObject::connect(m_player.get(), &platform::MediaPlayer::ended, [this] {
        if (OnEnded)
            OnEnded();
    });
    QObject::connect(m_player.get(), &platform::MediaPlayer::failed, [this](const QString& message) {
        if (OnError)
            OnError(message);
    });
}

MediaCuePlayer::~MediaCuePlayer() = default;

bool MediaCuePlayer::Open(const QString& fileName) { return m_player->Open(fileName); }

bool MediaCuePlayer::Play() { return m_player->Play(); }

void MediaCuePlayer::Stop() { m_player->Stop(); }

void MediaCuePlayer::Close() { m_player->Close(); }

QString MediaCuePlayer::FileName() const { return m_player->FileName(); }

} // namespace console
