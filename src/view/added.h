#pragma once

#include "view/mainview.h"

class Platform;

// Tells the user that the new category, name or dependant (what) was not stored.
void tellNotAdded(const MainView &view, Platform &platform, const QString &what);
