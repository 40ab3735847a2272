#pragma once

class FrmMain;

// The eight colour roles of the scheme.
enum class ColorRole { FormBack, NameTitle, FrameTitle, DetailTitle, TextBoxBack, TextBoxText, MinorButtons, MainButtons };

// The colour scheme of the main window's handlers: loading the stored colours
// and painting the windows with them.
class Colors
{
public:
    explicit Colors(FrmMain &frm) : frm(frm) {}

    void LoadColorFile(ColorRole role);
    void ApplyColors();
    void cmdEditColors_Click();
    void mnuEditColors_Click() { cmdEditColors_Click(); }

private:
    [[maybe_unused]] FrmMain &frm;
};
