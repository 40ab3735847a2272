#pragma once

#include "model/colorscheme.h"

#include <QColor>
#include <QPalette>
#include <QWidget>


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
