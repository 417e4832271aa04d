#pragma once

// TCuteButton: the flat coloured push button of every form. A panel whose outer bevel shows its
// state (none at rest, raised under the mouse or with focus when TabFocusUp, lowered while
// pressed), an optional drop-down menu, a margin-aware caption and an engraved look when disabled.
//
//   auto *CuteButton13 = new components::TCuteButton(page);   // 75 x 25 by default
//   CuteButton13->setGeometry(960, 4, 30, 30);
//   CuteButton13->setCaption(QStringLiteral("×"));
//   CuteButton13->setColor(platform::clBlack);                // face, a platform::TColor
//   CuteButton13->setFontColor(platform::clYellow);           // caption colour
//   CuteButton13->setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), ...));
//   CuteButton13->OnClick = [this] { CuteButton13Click(CuteButton13); };
//   CuteButton13->Click();        // presses it by code exactly as the operator does
//   CuteButton13->setEnabled(false);                          // engraved caption
//
// Menus: setDropDownMenu(QMenu *) pops the menu up under the button's lower left corner when the
// left button (or Space) goes down, after DropDownDelay ms if that is 1 or more; a release before
// the delay runs out makes it an ordinary click. Enter and the caption's accelerator (&X) click
// instead when a delay is set. setPopupMenu(QMenu *) is the right-click menu. The button does not
// own either menu and forgets a menu that is destroyed.
//
// EgnoreContClick: clicks that arrive while OnClick runs do not run it again (the handler is
// detached for that time and always re-attached, also when it throws); OnBusyClick, when set,
// is told of each, so that the operator can be told why nothing happened.
//
// Inherited panel properties keep Qt's own calls: setEnabled, setVisible, setFont, setToolTip
// (Hint), setGeometry, setCursor. Colours are platform::TColor numbers (platform/ColorRef.h).

#include "platform/ColorRef.h"

#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace components {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TBevelCut { bvNone, bvLowered, bvRaised };

// Keys and mouse buttons held at the time of a mouse event.
struct TShiftState {
    Qt::KeyboardModifiers keys;
    Qt::MouseButtons buttons;
};

class TCuteButton : public QWidget {
public:
    using TNotifyEvent = std::function<void()>;
    using TMouseMoveEvent = std::function<void(TCuteButton* Sender, TShiftState Shift, int X, int Y)>;

    explicit TCuteButton(QWidget* parent = nullptr);
    ~TCuteButton() override;

    QString Caption() const { return m_caption; }
    void setCaption(const QString& caption);
    platform::TColor Color() const { return m_color; }
    void setColor(platform::TColor color);
    platform::TColor fontColor() const { return m_fontColor; }
    void setFontColor(platform::TColor color);

    TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment alignment);
    TTextLayout Layout() const { return m_layout; }
    void setTextLayout(TTextLayout layout);
    int MarginX() const { return m_marginX; }
    void setMarginX(int margin); // below -1 becomes -1 (no margin)
    int MarginY() const { return m_marginY; }
    void setMarginY(int margin);

    int BevelWidth() const { return m_bevelWidth; }
    void setBevelWidth(int width);
    TBevelCut bevelOuter() const { return m_bevelOuter; }
    void setBevelOuter(TBevelCut bevel);
    TBevelCut bevelInner() const { return m_bevelInner; }
    void setBevelInner(TBevelCut bevel);
    platform::TColor BevelHighlightColor() const { return m_bevelHighlight; }
    void setBevelHighlightColor(platform::TColor color);
    platform::TColor BevelShadowColor() const { return m_bevelShadow; }
    void setBevelShadowColor(platform::TColor color);
    bool Flat() const { return m_flat; }
    void setFlat(bool flat); // true: no inner bevel; false: inner bevel raised

    platform::TColor DisabledColor() const { return m_disabledColor; }
    void setDisabledColor(platform::TColor color);
    bool UseDisabledColor() const { return m_useDisabledColor; }
    void setUseDisabledColor(bool use);

    int DropDownDelay() const { return m_dropDownDelay; }
    void setDropDownDelay(int ms) { m_dropDownDelay = ms; }
    QMenu* DropDownMenu() const { return m_dropDownMenu; }
    void setDropDownMenu(QMenu* menu);
    QMenu* PopupMenu() const { return m_popupMenu; }
    void setPopupMenu(QMenu* menu) { m_popupMenu = menu; }

    bool EgnoreContClick() const { return m_egnoreContClick; }
    void SetEgnoreContClick(bool on) { m_egnoreContClick = on; }
    bool ShowFocusRect() const { return m_showFocusRect; }
    void setShowFocusRect(bool show);
    bool TabFocusUp() const { return m_tabFocusUp; }
    void setTabFocusUp(bool on) { m_tabFocusUp = on; }
    bool TabStop() const { return focusPolicy() == Qt::StrongFocus; }
    void setTabStop(bool on);
    int Tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    TNotifyEvent OnClick;
    TNotifyEvent OnBusyClick; // a click that EgnoreContClick kept from running OnClick again
    TMouseMoveEvent OnMouseEnter;
    TMouseMoveEvent OnMouseLeave;

    // Presses the button: runs OnClick (see EgnoreContClick). The click that ends a drop-down does nothing.
    virtual void Click();
    // Opens the drop-down menu now, or after DropDownDelay.
    virtual void StartDropDown();
    // Pops the drop-down menu up under the button and waits until it closes.
    virtual void DropDown();

protected:
    virtual void MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y);
    virtual void MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y);
    virtual void MouseEnter(TShiftState shift, int x, int y);
    virtual void MouseLeave(TShiftState shift, int x, int y);
    // False when the key is not the button's, so that it reaches the parent.
    virtual bool KeyDown(int key, Qt::KeyboardModifiers shift);
    virtual void KeyUp(int key, Qt::KeyboardModifiers shift);

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void dropDownDelayExpired();
    void releaseLook();
    // Enter or the caption's accelerator: a click, or the menu when it opens without delay.
    void pressFromKeyboard();
    void setHovered(bool inside);
    TShiftState currentShift() const;

    QString m_caption;
    platform::TColor m_color = platform::clBtnFace;
    platform::TColor m_fontColor = platform::clWindowText;
    TAlignment m_alignment = taCenter;
    TTextLayout m_layout = tlCenter;
    int m_marginX = -1;
    int m_marginY = -1;
    int m_bevelWidth = 1;
    TBevelCut m_bevelOuter = bvNone;
    TBevelCut m_bevelInner = bvRaised;
    platform::TColor m_bevelHighlight = platform::clBtnHighlight;
    platform::TColor m_bevelShadow = platform::clBtnShadow;
    bool m_flat = false;
    platform::TColor m_disabledColor = platform::clGray;
    bool m_useDisabledColor = false;
    int m_dropDownDelay = 0;
    QPointer<QMenu> m_dropDownMenu;
    QPointer<QMenu> m_popupMenu;
    bool m_egnoreContClick = false;
    bool m_clickRunning = false; // OnClick runs, with EgnoreContClick
    bool m_showFocusRect = false;
    bool m_tabFocusUp = true;
    int m_tag = 0;

    bool m_dropDownRunning = false;
    bool m_spacePressed = false;
    bool m_keyboardDropDown = false;
    bool m_leftDown = false; // the left button went down here and is not yet released
    bool m_hovered = false;
    int m_shortcutId = 0;
    // Pending delayed drop-down; active only between the press and the delay running out.
    QTimer m_dropDownTimer;
};

} // namespace components
