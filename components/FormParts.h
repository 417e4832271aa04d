#pragma once

// What the forms build their controls with: a control under the name the program knows it by,
// at its place; the program's buttons; palette colours given as the program's colour values.
// Each form adds only its own defaults (fonts, faces) on top.

#include "platform/ColorRef.h"

#include <QFont>
#include <QPalette>
#include <QRect>
#include <QWidget>

namespace components {

class TCuteButton;

// An object under its name: the forms' handlers, the settings and the tests find it by it.
template <class T> T* named(T* object, const char* name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

// A control under its name at its place in the form's fixed layout.
template <class W> W* named(W* widget, const char* name, const QRect& geometry)
{
    named(widget, name)->setGeometry(geometry);
    return widget;
}

// One colour role of a widget's palette, from a colour value (system colours resolved).
void setPaletteColor(QWidget* widget, QPalette::ColorRole role, platform::TColor color);

// A font like `base` at a pixel size, bold or not.
QFont resizedFont(const QFont& base, int pixels, bool bold);

// How a form's button looks; the defaults are the button's own.
struct ButtonLook {
    platform::TColor face = platform::clBtnFace;
    platform::TColor text = platform::clWindowText;
    QFont font;
};

// A button under its name at its place, with its caption, colours and font.
TCuteButton* makeButton(
    QWidget* parent, const char* name, const QString& caption, const QRect& geometry, const ButtonLook& look);

} // namespace components
