#include "components/CuteBtn.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <utility>

namespace components {

namespace {

// Runs its action when the scope ends, normally or by an exception.
template <typename F> class ScopeExit {
public:
    explicit ScopeExit(F f)
        : m_f(std::move(f))
    {
    }
    ~ScopeExit() { m_f(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F m_f;
};

bool isEnterKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// A 3-D frame of `width` lines just inside `r`, which then shrinks to the area inside the frame.
// The top-left colour takes the left column and the top row except its last pixel; the
// bottom-right colour takes the right column and the whole bottom row.
void frame3D(QPainter& p, QRect& r, const QColor& topLeft, const QColor& bottomRight, int width)
{
    for (int i = 0; i < width && r.width() > 0 && r.height() > 0; ++i) {
        const int l = r.left(), t = r.top(), rt = r.right(), b = r.bottom();
        p.fillRect(QRect(l, t, 1, b - t + 1), topLeft);
        p.fillRect(QRect(l, t, rt - l, 1), topLeft);
        p.fillRect(QRect(rt, t, 1, b - t + 1), bottomRight);
        p.fillRect(QRect(l, b, rt - l + 1, 1), bottomRight);
        r.adjust(1, 1, -1, -1);
    }
}

} // namespace

TCuteButton::TCuteButton(QWidget* parent)
    : QWidget(parent)
    , m_dropDownTimer(this)
{
    resize(75, 25);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_dropDownTimer.setObjectName(QStringLiteral("TCuteButtonTimer"));
    m_dropDownTimer.setSingleShot(true);
    connect(&m_dropDownTimer, &QTimer::timeout, this, &TCuteButton::dropDownDelayExpired);
}

TCuteButton::~TCuteButton() = default;

void TCuteButton::setCaption(const QString& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    if (m_shortcutId != 0)
        releaseShortcut(m_shortcutId);
    const QKeySequence accelerator = QKeySequence::mnemonic(caption);
    m_shortcutId = accelerator.isEmpty() ? 0 : grabShortcut(accelerator);
    update();
}

void TCuteButton::setColor(platform::TColor color)
{
    m_color = color;
    update();
}

void TCuteButton::setFontColor(platform::TColor color)
{
    m_fontColor = color;
    update();
}

void TCuteButton::SetAlignment(TAlignment alignment)
{
    m_alignment = alignment;
    update();
}

void TCuteButton::setTextLayout(TTextLayout layout)
{
    m_layout = layout;
    update();
}

void TCuteButton::setMarginX(int margin)
{
    m_marginX = std::max(margin, -1);
    update();
}

void TCuteButton::setMarginY(int margin)
{
    m_marginY = std::max(margin, -1);
    update();
}

void TCuteButton::setBevelWidth(int width)
{
    m_bevelWidth = std::max(width, 1);
    update();
}

void TCuteButton::setBevelOuter(TBevelCut bevel)
{
    if (bevel == m_bevelOuter)
        return;
    m_bevelOuter = bevel;
    update();
}

void TCuteButton::setBevelInner(TBevelCut bevel)
{
    m_bevelInner = bevel;
    update();
}

void TCuteButton::setBevelHighlightColor(platform::TColor color)
{
    m_bevelHighlight = color;
    update();
}

void TCuteButton::setBevelShadowColor(platform::TColor color)
{
    m_bevelShadow = color;
    update();
}

void TCuteButton::setFlat(bool flat)
{
    m_flat = flat;
    setBevelInner(flat ? bvNone : bvRaised);
}

void TCuteButton::setDisabledColor(platform::TColor color)
{
    m_disabledColor = color;
    if (!isEnabled())
        update();
}

void TCuteButton::setUseDisabledColor(bool use)
{
    m_useDisabledColor = use;
    if (!isEnabled())
        update();
}

void TCuteButton::setDropDownMenu(QMenu* menu)
{
    m_dropDownMenu = menu;
    update();
}

void TCuteButton::setShowFocusRect(bool show)
{
    m_showFocusRect = show;
    update();
}

void TCuteButton::setTabStop(bool on)
{
    // A button out of the tab order still takes the focus when clicked.
    setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
}

void TCuteButton::Click()
{
    if (m_dropDownRunning) {
        m_dropDownRunning = false;
        return;
    }
    if (!m_egnoreContClick) {
        // A copy, so that a handler that destroys the button does not destroy itself while running.
        if (TNotifyEvent handler = OnClick)
            handler();
        return;
    }
    if (m_clickRunning) {
        // A click while the handler runs finds no handler: only OnBusyClick hears of it.
        if (TNotifyEvent busy = OnBusyClick)
            busy();
        return;
    }
    // The handler is re-attached however the handler ends, so an exception cannot disarm the
    // button for good.
    TNotifyEvent handler = std::exchange(OnClick, nullptr);
    QPointer<TCuteButton> self(this);
    m_clickRunning = true;
    ScopeExit reattach([&] {
        if (self) {
            self->OnClick = handler;
            self->m_clickRunning = false;
        }
    });
    if (handler)
        handler();
    QCoreApplication::processEvents();
}

void TCuteButton::StartDropDown()
{
    if (m_dropDownDelay < 1) {
        DropDown();
        return;
    }
    if (!m_dropDownTimer.isActive())
        m_dropDownTimer.start(m_dropDownDelay);
}

void TCuteButton::dropDownDelayExpired()
{
    m_dropDownTimer.stop();
    // From the mouse, only while the button is still held down; the simulated release after
    // the menu lets go of the mouse.
    if (m_keyboardDropDown || m_leftDown)
        DropDown();
}

void TCuteButton::DropDown()
{
    if (!m_dropDownMenu)
        return;
    const QPoint where = mapToGlobal(QPoint(0, height()));
    m_dropDownRunning = true;
    QPointer<TCuteButton> self(this);
    QCoreApplication::processEvents();
    if (self && m_dropDownMenu)
        m_dropDownMenu->exec(where);
    if (!self)
        return;
    if (m_keyboardDropDown)
        KeyUp(Qt::Key_Space, Qt::NoModifier);
    else
        MouseUp(Qt::LeftButton, TShiftState {}, 0, 0);
    m_dropDownRunning = false;
}

void TCuteButton::releaseLook() { setBevelOuter(m_tabFocusUp ? bvRaised : bvNone); }

TShiftState TCuteButton::currentShift() const
{
    return { QGuiApplication::queryKeyboardModifiers(), QGuiApplication::mouseButtons() };
}

void TCuteButton::MouseDown(Qt::MouseButton button, TShiftState, int, int)
{
    setFocus(Qt::MouseFocusReason);
    if (button != Qt::LeftButton)
        return;
    m_leftDown = true;
    setBevelOuter(bvLowered);
    if (m_dropDownMenu) {
        m_keyboardDropDown = false;
        StartDropDown();
    }
}

void TCuteButton::MouseUp(Qt::MouseButton button, TShiftState, int x, int y)
{
    if (button == Qt::LeftButton) {
        if (rect().contains(x, y))
            setBevelOuter(bvRaised);
        else
            setBevelOuter(m_tabFocusUp && window()->focusWidget() == this ? bvRaised : bvNone);
    }
    m_dropDownTimer.stop();
    m_leftDown = false;
}

void TCuteButton::MouseEnter(TShiftState shift, int x, int y)
{
    if (OnMouseEnter)
        OnMouseEnter(this, shift, x, y);
    setBevelOuter(shift.buttons & Qt::LeftButton ? bvLowered : bvRaised);
}

void TCuteButton::MouseLeave(TShiftState shift, int x, int y)
{
    if (OnMouseLeave)
        OnMouseLeave(this, shift, x, y);
    if (!(hasFocus() && m_tabFocusUp))
        setBevelOuter(bvNone);
}

bool TCuteButton::KeyDown(int key, Qt::KeyboardModifiers)
{
    if (!isEnabled())
        return false;
    if (key == Qt::Key_Space) {
        m_spacePressed = true;
        setBevelOuter(bvLowered);
        if (m_dropDownMenu) {
            m_keyboardDropDown = true;
            StartDropDown();
        }
        return true;
    }
    if (isEnterKey(key)) {
        pressFromKeyboard();
        return true;
    }
    if (m_spacePressed) {
        m_spacePressed = false;
        releaseLook();
    }
    return false;
}

void TCuteButton::KeyUp(int key, Qt::KeyboardModifiers)
{
    m_dropDownTimer.stop();
    if (key == Qt::Key_Space && m_spacePressed) {
        m_spacePressed = false;
        ScopeExit release([this] { releaseLook(); });
        Click();
    }
}

void TCuteButton::pressFromKeyboard()
{
    setBevelOuter(bvLowered);
    ScopeExit release([this] { releaseLook(); });
    if (!m_dropDownMenu || m_dropDownDelay != 0)
        Click();
    else
        DropDown();
}

bool TCuteButton::event(QEvent* e)
{
    if (e->type() == QEvent::Shortcut) {
        const bool parentShown = !parentWidget() || parentWidget()->isVisible();
        if (isEnabled() && parentShown) {
            pressFromKeyboard();
            return true;
        }
        return false;
    }
    return QWidget::event(e);
}

void TCuteButton::setHovered(bool inside)
{
    if (inside == m_hovered)
        return;
    m_hovered = inside;
    const TShiftState shift = currentShift();
    const QPoint at = mapFromGlobal(QCursor::pos());
    if (inside)
        MouseEnter(shift, at.x(), at.y());
    else
        MouseLeave(shift, at.x(), at.y());
}

void TCuteButton::mousePressEvent(QMouseEvent* e)
{
    const QPoint at = e->position().toPoint();
    // A press is proof that the mouse is over the button, even if no enter event came first.
    m_hovered = true;
    MouseDown(e->button(), { e->modifiers(), e->buttons() }, at.x(), at.y());
    e->accept();
}

void TCuteButton::mouseReleaseEvent(QMouseEvent* e)
{
    const QPoint at = e->position().toPoint();
    const TShiftState shift { e->modifiers(), e->buttons() };
    if (e->button() == Qt::LeftButton && m_leftDown && rect().contains(at)) {
        // The handler runs while the button still looks pressed; the release look follows,
        // also when the handler throws.
        ScopeExit release([&] { MouseUp(e->button(), shift, at.x(), at.y()); });
        Click();
    } else {
        MouseUp(e->button(), shift, at.x(), at.y());
    }
    e->accept();
}

void TCuteButton::mouseMoveEvent(QMouseEvent* e)
{
    // While the button is held the mouse stays with it; leaving and re-entering still change the look.
    if (m_leftDown)
        setHovered(rect().contains(e->position().toPoint()));
    QWidget::mouseMoveEvent(e);
}

void TCuteButton::enterEvent(QEnterEvent* e)
{
    QWidget::enterEvent(e);
    setHovered(true);
}

void TCuteButton::leaveEvent(QEvent* e)
{
    QWidget::leaveEvent(e);
    setHovered(false);
}

void TCuteButton::keyPressEvent(QKeyEvent* e)
{
    if (KeyDown(e->key(), e->modifiers()))
        e->accept();
    else
        QWidget::keyPressEvent(e);
}

void TCuteButton::keyReleaseEvent(QKeyEvent* e)
{
    // Held keys repeat presses only; the one release comes when the key is let go.
    if (e->isAutoRepeat())
        return;
    KeyUp(e->key(), e->modifiers());
    QWidget::keyReleaseEvent(e);
}

void TCuteButton::focusInEvent(QFocusEvent* e)
{
    QWidget::focusInEvent(e);
    if (e->reason() == Qt::PopupFocusReason)
        return;
    if (m_tabFocusUp)
        setBevelOuter(bvRaised);
}

void TCuteButton::focusOutEvent(QFocusEvent* e)
{
    QWidget::focusOutEvent(e);
    // Our own drop-down menu taking the keyboard does not make the button lose its look.
    if (e->reason() != Qt::PopupFocusReason)
        setBevelOuter(bvNone);
}

void TCuteButton::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::EnabledChange)
        update();
}

void TCuteButton::contextMenuEvent(QContextMenuEvent* e)
{
    if (m_popupMenu) {
        m_popupMenu->exec(e->globalPos());
        e->accept();
    } else {
        QWidget::contextMenuEvent(e);
    }
}

void TCuteButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const bool disabled = !isEnabled();
    const platform::TColor face = m_useDisabledColor && disabled ? m_disabledColor : m_color;
    p.fillRect(rect(), platform::colorFromRef(face));

    const QColor highlight = platform::colorFromRef(m_bevelHighlight);
    const QColor shadow = platform::colorFromRef(m_bevelShadow);
    QRect frame = rect();
    for (TBevelCut bevel : { m_bevelOuter, m_bevelInner }) {
        if (bevel == bvLowered)
            frame3D(p, frame, shadow, highlight, m_bevelWidth);
        else if (bevel == bvRaised)
            frame3D(p, frame, highlight, shadow, m_bevelWidth);
    }

    const int inset = m_flat ? m_bevelWidth : 2 * m_bevelWidth;
    int left = inset, top = inset, right = width() - inset, bottom = height() - inset;
    int flags = Qt::TextSingleLine | Qt::TextShowMnemonic;
    switch (m_alignment) {
    case taLeftJustify:
        flags |= Qt::AlignLeft;
        if (m_marginX != -1)
            left += m_marginX;
        break;
    case taRightJustify:
        flags |= Qt::AlignRight;
        if (m_marginX != -1)
            right -= m_marginX;
        break;
    case taCenter:
        flags |= Qt::AlignHCenter;
        break;
    }
    switch (m_layout) {
    case tlTop:
        flags |= Qt::AlignTop;
        if (m_marginY != -1)
            top += m_marginY;
        break;
    case tlBottom:
        flags |= Qt::AlignBottom;
        if (m_marginY != -1)
            bottom -= m_marginY;
        break;
    case tlCenter:
        flags |= Qt::AlignVCenter;
        break;
    }
    if (m_bevelOuter == bvLowered) {
        left += 2;
        top += 2;
    }
    const QRect text(left, top, right - left, bottom - top);

    p.setFont(font());
    if (disabled) {
        p.setPen(platform::colorFromRef(platform::clBtnHighlight));
        p.drawText(text.translated(1, 1), flags, m_caption);
        p.setPen(platform::colorFromRef(platform::clBtnShadow));
        p.drawText(text, flags, m_caption);
    } else {
        p.setPen(platform::colorFromRef(m_fontColor));
        p.drawText(text, flags, m_caption);
    }

    if (m_showFocusRect && hasFocus()) {
        // A dotted frame of every other pixel, as focus frames have always looked.
        const QRect f = text.adjusted(2, 2, -2, -2);
        const QBrush dots(platform::colorFromRef(m_fontColor), Qt::Dense4Pattern);
        p.fillRect(QRect(f.left(), f.top(), f.width(), 1), dots);
        p.fillRect(QRect(f.left(), f.bottom(), f.width(), 1), dots);
        p.fillRect(QRect(f.left(), f.top(), 1, f.height()), dots);
        p.fillRect(QRect(f.right(), f.top(), 1, f.height()), dots);
    }
}

} // namespace components
