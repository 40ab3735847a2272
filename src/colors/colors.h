#pragma once

#include "controls/colorvalue.h"

#include <QString>

#include <array>
#include <memory>

class FrmColors;
struct MainView;
class Platform;

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
class Colors : public QObject
{
    Q_OBJECT

public:
    Colors(MainView &view, Platform &platform);
    ~Colors() override;

    void LoadColorFile(ColorRole role);
    void SaveColorFile(ColorRole role, ColorValue value);
    void ApplyColors();
    void cmdEditColors_Click();
    void mnuEditColors_Click() { cmdEditColors_Click(); }

    // The Edit Colors dialog, made hidden on first use and kept for the whole run.
    FrmColors &frmColors();
    // The colour the scheme gives a role now.
    ColorValue color(ColorRole role);

signals:
    // The main window and the dialog are painted; other windows follow.
    void applied();

private:
    MainView &view;
    Platform &platform;
    std::unique_ptr<FrmColors> m_frmColors;
};
