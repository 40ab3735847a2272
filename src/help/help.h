#pragma once

#include <QPointer>

class FrmAbout;
class Platform;
class FrmReadme;

// The Help menu: the Readme window and the About box. Each exists at most
// once, is made when opened and discarded when closed, and leaves the main
// window usable while it is open.
class Help
{
public:
    explicit Help(Platform &platform);
    ~Help();
    Help(const Help &) = delete;
    Help &operator=(const Help &) = delete;

    void mnuReadme_Click();
    void mnuAbout_Click();

    // The open window, or null while it is closed.
    FrmReadme *frmReadme() const;
    FrmAbout *frmAbout() const;

private:
    Platform &platform;
    QPointer<FrmReadme> m_frmReadme;
    QPointer<FrmAbout> m_frmAbout;
};
