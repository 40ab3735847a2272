#pragma once

#include <QString>

class QPushButton;
class QStyle;
class QWidget;

// The style of the window's command buttons: a flat face in the button's
// palette colour, so each button shows exactly the colour it is given. Qt's
// own styles shade the face into a gradient that hides the colour.
QStyle *graphicalButtonStyle();

// A command button in that style, placed in twips, under its design name.
QPushButton *graphicalButton(QWidget *container, const char *name, const QString &caption, int left, int top,
                             int width, int height);
