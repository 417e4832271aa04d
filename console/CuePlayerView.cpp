#include "console/CuePlayerView.h"

#include "console/ConsoleDevices.h"
#include "platform/TavoApplication.h"

#include <QFileInfo>
#include <QLabel>
#include <QToolButton>

namespace console {

CuePlayerView::CuePlayerView(const QString& name, CuePlayer* player, QWidget* parent)
    : QFrame(parent)
    , m_name(name)
    , m_player(player)
{
    setObjectName(name + QStringLiteral("View"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xc0, 0xc0, 0xc0));
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setFont(platform::formFont(11));

    auto* title = new QLabel(name, this);
    title->setGeometry(2, 2, 60, 14);
    title->setAlignment(Qt::AlignCenter);
    title->setFont(platform::formFont(11, true));
    m_file = new QLabel(this);
    m_file->setGeometry(2, 17, 60, 14);
    m_file->setAlignment(Qt::AlignCenter);
    m_play = new QToolButton(this);
    m_play->setText(QStringLiteral("▶"));
    m_play->setToolTip(QStringLiteral("再生"));
    m_play->setGeometry(4, 33, 27, 20);
    m_stop = new QToolButton(this);
    m_stop->setText(QStringLiteral("■"));
    m_stop->setToolTip(QStringLiteral("停止"));
    m_stop->setGeometry(33, 33, 27, 20);
    connect(m_play, &QToolButton::clicked, this, &CuePlayerView::Play);
    connect(m_stop, &QToolButton::clicked, this, &CuePlayerView::Stop);
    refresh();
}

void CuePlayerView::refresh()
{
    const QString file = m_player ? m_player->FileName() : QString();
    const QString shown = file.isEmpty() ? QStringLiteral("－") : QFileInfo(file).fileName();
    m_file->setText(m_file->fontMetrics().elidedText(shown, Qt::ElideRight, m_file->width()));
    m_file->setToolTip(file);
    m_play->setEnabled(!file.isEmpty());
    m_stop->setEnabled(!file.isEmpty());
}

void CuePlayerView::Play()
{
    if (m_player && !m_player->FileName().isEmpty() && !m_player->Play() && OnPlayFailed)
        OnPlayFailed(m_name);
}

void CuePlayerView::Stop()
{
    if (m_player && !m_player->FileName().isEmpty())
        m_player->Stop();
}

} // namespace console
