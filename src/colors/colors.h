#pragma once

#include "controls/colorvalue.h"

#include <QString>

#include <array>
#include <memory>

class FrmColors;
struct MainView;
class Platform;

// The colour scheme as the windows show it: the Edit Colors dialog's
// swatches and the painting of the windows, following the book's scheme.
class Colors : public QObject
{
    Q_OBJECT

public:
    Colors(MainView &view, Platform &platform, ColorScheme &scheme);
    ~Colors() override;

    void LoadColorFile(ColorRole role);
    void SaveColorFile(ColorRole role, ColorValue value);
    void ApplyColors();
    void cmdEditColors_Click();
    void mnuEditColors_Click() { cmdEditColors_Click(); }

    // The Edit Colors dialog, made hidden on first use and kept for the whole run.
    FrmColors &frmColors();
    // The colour the scheme gives a role now.
    ColorValue color(ColorRole role) const { return scheme.color(role); }

signals:
    // The main window and the dialog are painted; other windows follow.
    void applied();

private:
    MainView &view;
    Platform &platform;
    ColorScheme &scheme;
    std::unique_ptr<FrmColors> m_frmColors;
};
