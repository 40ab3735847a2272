#include "colors/colors.h"

#include "colors/frmcolors.h"
#include "view/contactfields.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

Colors::Colors(MainView &view, Platform &platform, ColorScheme &scheme) : view(view), platform(platform), scheme(scheme)
{
    connect(&scheme, &ColorScheme::changed, this, &Colors::ApplyColors);
}

Colors::~Colors() = default;

FrmColors &Colors::frmColors()
{
    if (!m_frmColors) {
        m_frmColors = std::make_unique<FrmColors>(platform);
        connect(m_frmColors.get(), &FrmColors::colorPicked, this,
                [this](ColorRole role, ColorValue value) { SaveColorFile(role, value); });
    }
    return *m_frmColors;
}

void Colors::LoadColorFile(ColorRole role)
{
    scheme.read(role);
}

void Colors::SaveColorFile(ColorRole role, ColorValue value)
{
    scheme.setColor(role, value);
}

void Colors::ApplyColors()
{
    FrmColors &dialog = frmColors();
    for (const ColorRoleInfo &role : colorRoles)
        dialog.setFillColor(role.role, color(role.role));
    const auto paint = [this](const QWidgetList &widgets, std::initializer_list<QPalette::ColorRole> parts,
                              ColorRole role) {
        const ColorValue value = color(role);
        for (QWidget *widget : widgets) {
            for (const QPalette::ColorRole part : parts)
                setWidgetColor(widget, part, value);
        }
    };
    const QWidgetList frames{view.fraCategories, view.fraContactName, view.fraMiscInfo,
                             view.fraInfo,       view.fraNumbers,     view.fraButtons};
    QWidgetList boxes{view.lstNames};
    for (const ContactField &field : contactFields)
        boxes.append(ContactFields::control(view, field));

    paint({view.client}, {QPalette::Window}, ColorRole::FormBack);
    paint(frames, {QPalette::Window}, ColorRole::FormBack);
    paint({view.chkPic, &dialog}, {QPalette::Window}, ColorRole::FormBack);
    paint({view.lblName}, {QPalette::WindowText}, ColorRole::NameTitle);
    paint(frames, {QPalette::WindowText}, ColorRole::FrameTitle);
    paint({view.lblCategory, view.lblNames, view.chkPic}, {QPalette::WindowText}, ColorRole::DetailTitle);
    for (const ContactField &field : contactFields) {
        if (field.captionColor)
            paint({ContactFields::caption(view, field)}, {QPalette::WindowText}, *field.captionColor);
    }
    // A drop-down list that cannot be typed into is drawn like a button.
    paint({view.cboRelationship}, {QPalette::Base, QPalette::Button}, ColorRole::TextBoxBack);
    paint(boxes, {QPalette::Base}, ColorRole::TextBoxBack);
    paint({view.cboRelationship}, {QPalette::Text, QPalette::ButtonText}, ColorRole::TextBoxText);
    paint(boxes, {QPalette::Text}, ColorRole::TextBoxText);
    paint({view.cmdAddRelationship, view.cmdRemoveRelationship, view.cmdAddName, view.cmdRemoveName,
           view.cmdAddChildren, view.cmdRemoveChildren},
          {QPalette::Button}, ColorRole::MinorButtons);
    paint({view.cmdEditColors, view.cmdPrintScreen, view.cmdPrintText, view.cmdExit, dialog.cmdClose},
          {QPalette::Button}, ColorRole::MainButtons);
    emit applied();
}

void Colors::cmdEditColors_Click()
{
    FrmColors &dialog = frmColors();
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
}
