#pragma once

class FrmMain;

// The Readme window and the About box, opened from the Help menu.
class Help
{
public:
    explicit Help(FrmMain &frm) : frm(frm) {}

    void mnuReadme_Click();
    void mnuAbout_Click();

private:
    [[maybe_unused]] FrmMain &frm;
};
