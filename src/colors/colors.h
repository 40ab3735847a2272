#pragma once

#include "colors/colorvalue.h"

#include <QString>

#include <array>
#include <memory>

class FrmColors;
class FrmMain;

// The eight colour roles of the scheme.
enum class ColorRole { FormBack, NameTitle, FrameTitle, DetailTitle, TextBoxBack, TextBoxText, MinorButtons, MainButtons };

struct ColorRoleInfo
{
    ColorRole role;
    QString file;         // in the data directory
    ColorValue builtIn;   // the colour while no file says otherwise
};

inline const std::array<ColorRoleInfo, 8> colorRoles = {{
    {ColorRole::FormBack, QStringLiteral("FormBackColor"), DefaultColor::FormBack},
    {ColorRole::NameTitle, QStringLiteral("NameTitleColor"), DefaultColor::NameTitle},
    {ColorRole::FrameTitle, QStringLiteral("FrameTitleColor"), DefaultColor::FrameTitle},
    {ColorRole::DetailTitle, QStringLiteral("DetailTitleColor"), DefaultColor::DetailTitle},
    {ColorRole::TextBoxBack, QStringLiteral("TextBoxBackColor"), DefaultColor::TextBoxBack},
    {ColorRole::TextBoxText, QStringLiteral("TextBoxTextColor"), DefaultColor::TextBoxText},
    {ColorRole::MinorButtons, QStringLiteral("MinorButtonsColor"), DefaultColor::MinorButtons},
    {ColorRole::MainButtons, QStringLiteral("MainButtonsColor"), DefaultColor::MainButtons},
}};

inline const ColorRoleInfo &colorRole(ColorRole role)
{
    return colorRoles[static_cast<std::size_t>(role)];
}

// The colour scheme: its files, the Edit Colors dialog that holds the current
// colours in its swatches, and the painting of the windows with them.
class Colors
{
public:
    explicit Colors(FrmMain &frm);
    ~Colors();

    void LoadColorFile(ColorRole role);
    void SaveColorFile(ColorRole role, ColorValue value);
    void ApplyColors();
    void cmdEditColors_Click();
    void mnuEditColors_Click() { cmdEditColors_Click(); }

    // The Edit Colors dialog, made hidden on first use and kept for the whole run.
    FrmColors &frmColors();

private:
    FrmMain &frm;
    std::unique_ptr<FrmColors> m_frmColors;
};
