#pragma once

#include <QIcon>

// The program's one icon, the same in the title bar of every window. It is
// compiled into the program, so a window never shows without it.
QIcon kinfolioIcon();
