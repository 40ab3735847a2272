#pragma once

#include "platform/platform.h"

#include <QStringList>

struct MainView;

// The contact report and Print Screen.
class Printing
{
public:
    Printing(MainView &view, Platform &platform) : view(view), platform(platform) {}

    void cmdPrintScreen_Click();
    void cmdPrintText_Click();
    // The menu runs the buttons' handlers directly, so it works while they are disabled.
    void mnuPrintScreen_Click() { cmdPrintScreen_Click(); }
    void mnuPrintTexzt_Click() { cmdPrintText_Click(); }

    // The report of the contact the window shows, one printed line each.
    QStringList reportLines() const;

private:
    // Says why nothing was printed, if so; whether it was.
    bool printed(Platform::PrintResult result);

    MainView &view;
    Platform &platform;
};
