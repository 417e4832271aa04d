#pragma once

// Small standard controls of the console's form that Qt has no direct match for: a coloured
// panel with a caption (the signal lamps, status lines, framed areas), a radio group that
// is read and set by item index, and the form's handlers of events Qt has no signal for.

#include "platform/ColorRef.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QStringList>
#include <functional>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace console {

// A panel: a face colour, a sunken or flat frame and a centred caption.
class TPanel : public QLabel {
public:
    explicit TPanel(QWidget* parent = nullptr);
    platform::TColor Color() const { return m_color; }
    void setColor(platform::TColor color);
    platform::TColor fontColor() const { return m_fontColor; }
    void setFontColor(platform::TColor color);
    QString Caption() const { return text(); }
    void setCaption(const QString& caption) { setText(caption); }

private:
    void applyColors();
    platform::TColor m_color = platform::clBtnFace;
    platform::TColor m_fontColor = platform::clWhite;
};

// A framed group of radio buttons, one per item, read and set by index (-1: none chosen).
// Setting the index by code does not run OnClick; a choice of the operator does.
class TRadioGroup : public QGroupBox {
public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr, int columns = 1);
    int ItemIndex() const;
    void setItemIndex(int index);
    int count() const { return static_cast<int>(m_buttons.size()); }
    QRadioButton* Button(int index) const;

    std::function<void()> OnClick;

private:
    QButtonGroup* m_group;
    std::vector<QRadioButton*> m_buttons;
};

// Runs a callback on every event of one kind that a widget receives (a key released on a grid,
// a double-click on a box, the focus leaving it); the event then goes on as usual. Owned by the
// widget.
class EventHook : public QObject {
public:
    EventHook(QObject* target, QEvent::Type type, std::function<void()> run);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QEvent::Type m_type;
    std::function<void()> m_run;
};

} // namespace console
