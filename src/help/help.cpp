#include "help/help.h"

#include "help/frmabout.h"
#include "help/frmreadme.h"

namespace {

// Shows a new window, or brings an open one to the front, out of the task
// bar if it was minimised.
void bringUp(QWidget *window)
{
    if (window->isVisible()) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->raise();
    }
    window->show();
    window->activateWindow();
}

} // namespace

Help::Help(Platform &platform) : platform(platform) {}

// A window still open when the program ends goes with the main window.
Help::~Help()
{
    delete m_frmReadme.data();
    delete m_frmAbout.data();
}

FrmReadme *Help::frmReadme() const
{
    return m_frmReadme && m_frmReadme->isVisible() ? m_frmReadme.data() : nullptr;
}

FrmAbout *Help::frmAbout() const
{
    return m_frmAbout && m_frmAbout->isVisible() ? m_frmAbout.data() : nullptr;
}

void Help::mnuReadme_Click()
{
    if (!frmReadme()) {
        // A window closed a moment ago may still wait for its deletion.
        delete m_frmReadme.data();
        m_frmReadme = new FrmReadme;
    }
    bringUp(m_frmReadme);
}

void Help::mnuAbout_Click()
{
    if (!frmAbout()) {
        delete m_frmAbout.data();
        m_frmAbout = new FrmAbout(platform);
    }
    bringUp(m_frmAbout);
}
