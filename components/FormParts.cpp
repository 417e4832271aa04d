#include "components/FormParts.h"

#include "components/CuteBtn.h"

namespace components {

void setPaletteColor(QWidget* widget, QPalette::ColorRole role, platform::TColor color)
{
    QPalette pal = widget->palette();
    pal.setColor(role, platform::colorFromRef(color));
    widget->setPalette(pal);
}

QFont resizedFont(const QFont& base, int pixels, bool bold)
{
    QFont font = base;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

TCuteButton* makeButton(
    QWidget* parent, const char* name, const QString& caption, const QRect& geometry, const ButtonLook& look)
{
    auto* button = named(new TCuteButton(parent), name, geometry);
    button->setCaption(caption);
    button->setColor(look.face);
    button->setFontColor(look.text);
    button->setFont(look.font);
    return button;
}

} // namespace components
