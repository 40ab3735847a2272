#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <array>

// A colour as stored in the colour files: 0x00BBGGRR, red in the low byte.
using ColorValue = quint32;

// The scheme's built-in colours, which are also the windows' design colours.
namespace DefaultColor {
inline constexpr ColorValue FormBack = 0x00C0C000;
inline constexpr ColorValue NameTitle = 0x00C00000;
inline constexpr ColorValue FrameTitle = 0x00C00000;
inline constexpr ColorValue DetailTitle = 0x00000000;
inline constexpr ColorValue TextBoxBack = 0x00FFFFFF;
inline constexpr ColorValue TextBoxText = 0x00000000;
inline constexpr ColorValue MinorButtons = 0x00FFC0C0;
inline constexpr ColorValue MainButtons = 0x00FF8080;
} // namespace DefaultColor

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

// The colour scheme, kept between runs in a file a role in the data
// directory. A file that is missing, or holds anything but what the program
// writes, leaves its role's colour as it is.
class ColorScheme : public QObject
{
    Q_OBJECT

public:
    ColorValue color(ColorRole role) const { return m_colors[static_cast<std::size_t>(role)]; }
    // Reads a role's file; whether its colour changed.
    bool read(ColorRole role);
    // A colour chosen, stored in the background.
    void setColor(ColorRole role, ColorValue value);
    // Reads again the roles whose files are named; an empty set, every role.
    void reread(const QSet<QString> &fileNames);

signals:
    void changed();

private:
    std::array<ColorValue, 8> m_colors = {DefaultColor::FormBack,    DefaultColor::NameTitle,   DefaultColor::FrameTitle,
                                          DefaultColor::DetailTitle, DefaultColor::TextBoxBack, DefaultColor::TextBoxText,
                                          DefaultColor::MinorButtons, DefaultColor::MainButtons};
};
