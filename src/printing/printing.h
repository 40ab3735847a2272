#pragma once

#include <QStringList>

struct MainView;
class Platform;

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
    MainView &view;
    Platform &platform;
};
