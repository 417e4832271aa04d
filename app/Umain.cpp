#include "app/Umain.h"

#include "app/Udm1.h"
#include "app/uComm.h"
#include "app/uselecttaikai.h"
#include "components/CuteBtn.h"
#include "components/FormParts.h"
#include "platform/Asker.h"
#include "platform/DataSet.h"
#include "platform/EndOnSignals.h"
#include "platform/TavoApplication.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cmath>

TFmain* Fmain = nullptr;

namespace {

const int kClientWidth = 658;
const int kClientHeight = 313;
const QSize kPictureSize(457, 153);
// A window that is never painted (started minimized) still gets its upgrade after this long.
constexpr int kUnpaintedUpgradeDelayMs = 500;

// What the operator does with mouse, keys or touch; refused while the window waits.
bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

// The start window's two buttons: white bold captions on a flat face of their colour.
components::ButtonLook flatLook(const QWidget* form, platform::TColor face)
{
    return { face, platform::clWhite, components::resizedFont(form->font(), 16, true) };
}

// A chequered flag waving over the picture's left part: rows of squares whose columns sway on a
// sine, black and white alternating.
void paintChequeredFlag(QPainter& p, const QRectF& area)
{
    const int cols = 8;
    const int rows = 6;
    const qreal w = area.width() / cols;
    const qreal h = area.height() / rows;
    auto point = [&](int c, int r) {
        const qreal x = area.left() + c * w;
        const qreal wave = 6.0 * std::sin((c / qreal(cols)) * 3.14159 * 1.6);
        return QPointF(x, area.top() + r * h + wave);
    };
    p.setPen(Qt::NoPen);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            QPainterPath cell;
            cell.moveTo(point(c, r));
            cell.lineTo(point(c + 1, r));
            cell.lineTo(point(c + 1, r + 1));
            cell.lineTo(point(c, r + 1));
            cell.closeSubpath();
            p.setBrush((r + c) % 2 ? QColor(20, 20, 20) : QColor(250, 250, 250));
            p.drawPath(cell);
        }
    }
    // The pole.
    p.setBrush(QColor(170, 170, 170));
    p.drawRect(QRectF(area.left() - 5, area.top() - 4, 4, area.height() + 40));
}

} // namespace

QString programVersionText() { return QStringLiteral("Version 1.0"); }

QPixmap TFmain::titlePicture()
{
    QPixmap picture(kPictureSize);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, kPictureSize.height());
    sky.setColorAt(0, QColor(0, 40, 120));
    sky.setColorAt(1, QColor(0, 110, 200));
    p.fillRect(picture.rect(), sky);
    // A track stripe along the bottom.
    p.fillRect(QRect(0, 128, kPictureSize.width(), 25), QColor(60, 60, 60));
    for (int x = 0; x < kPictureSize.width(); x += 40)
        p.fillRect(QRect(x, 139, 22, 3), QColor(240, 240, 240));

    paintChequeredFlag(p, QRectF(26, 22, 120, 84));

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(64);
    title.setBold(true);
    title.setItalic(true);
    p.setFont(title);
    p.setPen(QColor(0, 0, 0, 90));
    p.drawText(QRect(173, 14, 270, 80), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tavo"));
    p.setPen(Qt::white);
    p.drawText(QRect(170, 11, 270, 80), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tavo"));

    QFont sub(QStringLiteral("DejaVu Sans"));
    sub.setPixelSize(17);
    sub.setItalic(true);
    p.setFont(sub);
    p.setPen(QColor(255, 220, 0));
    p.drawText(
        QRect(172, 88, 280, 28), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Race schedule control"));
    p.end();
    return picture;
}

TFmain::TFmain(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Fmain"));
    setWindowTitle(QStringLiteral("Race schedule control"));
    // Minimize and maximize only: "ＣＬＯＳＥ" is the way to end the program.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint);
    setFont(platform::formFont());
    components::setPaletteColor(this, QPalette::Window, platform::clWhite);
    setAutoFillBackground(true);
    // A fixed layout, like the event list: nothing grows with the window.
    setFixedSize(kClientWidth, kClientHeight);

    Image1 = components::named(new QLabel(this), "Image1",
        QRect(QPoint((kClientWidth - kPictureSize.width()) / 2, 16), kPictureSize));
    Image1->setPixmap(titlePicture());

    Label1 = components::named(new QLabel(programVersionText(), this), "Label1",
        QRect(Image1->x(), Image1->geometry().bottom() + 6, kPictureSize.width(), 16));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    CuteButton1 = components::makeButton(this, "CuteButton1", QStringLiteral("大会実行"),
        QRect(kClientWidth / 2 - 145 - 16, 236, 145, 41), flatLook(this, 0x00FF0000));
    CuteButton2 = components::makeButton(this, "CuteButton2", QStringLiteral("ＣＬＯＳＥ"),
        QRect(kClientWidth / 2 + 16, 236, 145, 41), flatLook(this, platform::clBlack));
    LabelUpgrade = components::named(new QLabel(this), "LabelUpgrade", QRect(0, 287, kClientWidth, 20));
    LabelUpgrade->setAlignment(Qt::AlignCenter);
    LabelUpgrade->hide();

    CuteButton1->OnClick = [this] { CuteButton1Click(); };
    CuteButton2->OnClick = [this] { CuteButton2Click(); };
    OpenEventList = runEventList;

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    FormCreate();
}

TFmain::~TFmain()
{
    endUpgradeWait();
    if (Fmain == this)
        Fmain = nullptr;
}

void TFmain::FormCreate()
{
    // The database and the settings are independent: a database that does not open must not
    // keep the settings from loading, or "ＣＬＯＳＥ" would write empty values over them.
    if (DM1) {
        try {
            DM1->reconnect();
        } catch (const std::exception& e) {
            platform::showError(
                QStringLiteral("データベースに接続できません。\n%1").arg(QString::fromUtf8(e.what())));
        }
    }
    try {
        const QString problems = settingsProblemText(loadSettings());
        if (!problems.isEmpty())
            platform::showMessage(problems);
    } catch (const std::exception& e) {
        m_settingsFailure = QString::fromUtf8(e.what());
        platform::showError(m_settingsFailure);
    }
}

void TFmain::FormShow()
{
    if (!DM1 || !DM1->Database1->connected())
        return;
    m_lastUpgrade = upgradeTableLayout(*DM1, [this](const QString& step) {
        showUpgradeStep(QStringLiteral("データベースを更新しています: %1").arg(step));
    });
    // The failure is told to an operator who can answer it.
    endUpgradeWait();
    if (!m_lastUpgrade.failure.isEmpty())
        platform::showError(QStringLiteral("データベースのテーブル構成を更新できませんでした。\n%1")
                                .arg(m_lastUpgrade.failure));
}

void TFmain::CuteButton1Click()
{
    if (OpenEventList)
        OpenEventList(this);
}

void TFmain::CuteButton2Click()
{
    if (!saveBeforeEnd())
        return;
    m_ending = true;
    close();
}

bool TFmain::saveBeforeEnd()
{
    // A program told to end by a signal (a desktop logging out) has nobody to answer: it ends
    // without saving where the operator would have been asked.
    const auto endWithoutSaving = [](const QString& text) {
        if (platform::endRequested()) {
            qWarning("%s", qUtf8Printable(text));
            return true;
        }
        return platform::askYesNo(
            QStringLiteral("確認してください。"), text + QStringLiteral("保存せずに終了しますか？"));
    };
    // Settings never read are never written over the operator's file; say so, since the
    // changes made in this session are lost with the program.
    if (!settingsLoaded()) {
        QString text = QStringLiteral("起動時に設定ファイルを読み込めなかったため、設定は保存されません。\n");
        if (!m_settingsFailure.isEmpty())
            text += m_settingsFailure + QLatin1Char('\n');
        return endWithoutSaving(text);
    }
    try {
        saveSettings();
        return true;
    } catch (const std::exception& e) {
        return endWithoutSaving(
            QStringLiteral("設定ファイルに保存できませんでした。\n%1\n").arg(QString::fromUtf8(e.what())));
    }
}

void TFmain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Restoring from the task bar is no new showing.
    if (!event->spontaneous())
        beginUpgradeWait();
}

void TFmain::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (m_upgradeWaiting && !m_upgradeRunning)
        QTimer::singleShot(0, this, &TFmain::runWaitingUpgrade);
}

void TFmain::beginUpgradeWait()
{
    if (m_upgradeWaiting)
        return;
    m_upgradeWaiting = true;
    LabelUpgrade->setText(QStringLiteral("データベースを確認しています…"));
    LabelUpgrade->show();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    qApp->installEventFilter(this);
    QTimer::singleShot(kUnpaintedUpgradeDelayMs, this, &TFmain::runWaitingUpgrade);
}

void TFmain::runWaitingUpgrade()
{
    if (!m_upgradeWaiting || m_upgradeRunning)
        return;
    m_upgradeRunning = true;
    // The window takes input again however the upgrade ends, also by an exception.
    const auto ended = qScopeGuard([this] {
        m_upgradeRunning = false;
        endUpgradeWait();
    });
    FormShow();
}

void TFmain::showUpgradeStep(const QString& text)
{
    if (!m_upgradeWaiting)
        return;
    LabelUpgrade->setText(text);
    // Paints the step; the input that comes meanwhile is dropped by the event filter.
    QCoreApplication::processEvents();
}

void TFmain::endUpgradeWait()
{
    if (!m_upgradeWaiting)
        return;
    m_upgradeWaiting = false;
    qApp->removeEventFilter(this);
    QGuiApplication::restoreOverrideCursor();
    LabelUpgrade->hide();
}

bool TFmain::eventFilter(QObject* watched, QEvent* event)
{
    if (m_upgradeWaiting && isInput(event->type())) {
        const auto* widget = qobject_cast<QWidget*>(watched);
        const auto* window = qobject_cast<QWindow*>(watched);
        if ((widget && widget->window() == this) || (window && window == windowHandle()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TFmain::closeEvent(QCloseEvent* event)
{
    // The upgrade runs inside this window's events: the window stays until it has ended.
    if (m_upgradeWaiting) {
        event->ignore();
        return;
    }
    // The window manager's close (Alt+F4, the session ending) ends the program the same way
    // as "ＣＬＯＳＥ", settings saved.
    if (m_ending || saveBeforeEnd()) {
        m_ending = true;
        event->accept();
    } else {
        event->ignore();
    }
}
