#pragma once

#include "view/mainview.h"

class Platform;

// Writes a list file after an entry was added to it. Unlike other writes, an
// add that could not be stored is told to the user, so a list never shows an
// entry that is not kept.
bool saveAddedList(const MainView &view, Platform &platform, const QString &path, const QStringList &entries,
                   const QString &what);
// Tells the user that the new category, name or dependant (what) was not stored.
void tellNotAdded(const MainView &view, Platform &platform, const QString &what);
