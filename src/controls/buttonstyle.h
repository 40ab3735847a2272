#pragma once

#include <QString>

class QColor;
class QPainter;
class QPushButton;
class QRect;
class QStyle;
class QWidget;

// The keyboard focus as every control of the program shows it: a dotted frame
// inside the control's edge, dark on a light background and light on a dark
// one, so it shows in every colour scheme.
void drawFocusFrame(QPainter &painter, const QRect &inside, const QColor &background);

// The style of the window's command buttons: a flat face in the button's
// palette colour, so each button shows exactly the colour it is given. Qt's
// own styles shade the face into a gradient that hides the colour.
QStyle *graphicalButtonStyle();

// A command button in that style, placed in twips, under its design name.
QPushButton *graphicalButton(QWidget *container, const char *name, const QString &caption, int left, int top,
                             int width, int height);
