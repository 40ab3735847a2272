#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

// A colour as stored in the colour files: 0x00BBGGRR, red in the low byte.
using ColorValue = quint32;

inline QColor toQColor(ColorValue value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

inline ColorValue toColorValue(const QColor &color)
{
    return ColorValue(color.red()) | ColorValue(color.green()) << 8 | ColorValue(color.blue()) << 16;
}

// Gives a widget a colour for one palette role. Text colours and the
// background of boxes are set for the active and inactive states only, so
// disabled controls keep their greyed text and boxes, in any scheme.
inline void setWidgetColor(QWidget *widget, QPalette::ColorRole role, ColorValue value)
{
    QPalette palette = widget->palette();
    const QColor color = toQColor(value);
    if (role == QPalette::WindowText || role == QPalette::ButtonText || role == QPalette::Text
        || role == QPalette::Base) {
        palette.setColor(QPalette::Active, role, color);
        palette.setColor(QPalette::Inactive, role, color);
    } else {
        palette.setColor(role, color);
    }
    widget->setPalette(palette);
}

// The scheme's built-in colours, which are also the windows' design colours.
namespace DefaultColor {
inline constexpr ColorValue FormBack = 0x00C0C000;
inline constexpr ColorValue NameTitle = 0x00C00000;
inline constexpr ColorValue FrameTitle = 0x00C00000;
inline constexpr ColorValue DetailTitle = 0x00000000;
inline constexpr ColorValue TextBoxBack = 0x00FFFFFF;
inline constexpr ColorValue TextBoxText = 0x00000000;
inline constexpr ColorValue MinorButtons = 0x00FFC0C0;
inline constexpr ColorValue MainButtons = 0x00FF8080;
} // namespace DefaultColor
