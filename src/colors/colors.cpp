#include "colors/colors.h"

#include "app/frmmain.h"
#include "colors/frmcolors.h"
#include "picture/frmpic.h"
#include "store/paths.h"
#include "store/recordfile.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

Colors::Colors(FrmMain &frm) : frm(frm) {}

Colors::~Colors() = default;

FrmColors &Colors::frmColors()
{
    if (!m_frmColors)
        m_frmColors = std::make_unique<FrmColors>(*this, frm.platform);
    return *m_frmColors;
}

void Colors::LoadColorFile(ColorRole role)
{
    QString text;
    if (!RecordFile::readValue(Store::dataFile(colorRole(role).file), text))
        return;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    // Only what the program itself writes is a colour; anything else keeps the role's colour.
    if (!ok || value < 0 || value > 0xFFFFFF)
        return;
    frmColors().setFillColor(role, ColorValue(value));
}

void Colors::SaveColorFile(ColorRole role, ColorValue value)
{
    RecordFile::rewriteValue(Store::dataFile(colorRole(role).file), qint64(value));
}

void Colors::ApplyColors()
{
    FrmColors &dialog = frmColors();
    FrmPic &frmPic = frm.picture.frmPic();
    const auto paint = [&dialog](std::initializer_list<QWidget *> widgets, std::initializer_list<QPalette::ColorRole> parts,
                                 ColorRole role) {
        const ColorValue value = dialog.fillColor(role);
        for (QWidget *widget : widgets) {
            for (const QPalette::ColorRole part : parts)
                setWidgetColor(widget, part, value);
        }
    };
    const auto frames = {static_cast<QWidget *>(frm.fraCategories), static_cast<QWidget *>(frm.fraContactName),
                         static_cast<QWidget *>(frm.fraMiscInfo),   static_cast<QWidget *>(frm.fraInfo),
                         static_cast<QWidget *>(frm.fraNumbers),    static_cast<QWidget *>(frm.fraButtons)};
    // A drop-down list that cannot be typed into is drawn like a button.
    const auto boxes = {static_cast<QWidget *>(frm.lstNames),  static_cast<QWidget *>(frm.txtAddress),
                        static_cast<QWidget *>(frm.txtDrivingDirections), static_cast<QWidget *>(frm.txtRelation),
                        static_cast<QWidget *>(frm.txtBirthday), static_cast<QWidget *>(frm.lstChildren),
                        static_cast<QWidget *>(frm.txtHome),     static_cast<QWidget *>(frm.txtCell),
                        static_cast<QWidget *>(frm.txtWork),     static_cast<QWidget *>(frm.txtFax),
                        static_cast<QWidget *>(frm.txtEmail),    static_cast<QWidget *>(frm.txtNumNotes)};

    paint({frm.client}, {QPalette::Window}, ColorRole::FormBack);
    paint(frames, {QPalette::Window}, ColorRole::FormBack);
    paint({frm.chkPic, &dialog, &frmPic}, {QPalette::Window}, ColorRole::FormBack);
    paint({frm.lblName}, {QPalette::WindowText}, ColorRole::NameTitle);
    paint(frames, {QPalette::WindowText}, ColorRole::FrameTitle);
    // "E-Mail:" (Label1) keeps its design colour.
    paint({frm.lblCategory, frm.lblNames, frm.lblRelation, frm.lblBirthday, frm.lblDependants, frm.lblAddress,
           frm.lblDrivingDirections, frm.lblHome, frm.lblCell, frm.lblWork, frm.lblFax, frm.lblNotes, frm.chkPic},
          {QPalette::WindowText}, ColorRole::DetailTitle);
    paint({frm.cboRelationship}, {QPalette::Base, QPalette::Button}, ColorRole::TextBoxBack);
    paint(boxes, {QPalette::Base}, ColorRole::TextBoxBack);
    paint({frm.cboRelationship}, {QPalette::Text, QPalette::ButtonText}, ColorRole::TextBoxText);
    paint(boxes, {QPalette::Text}, ColorRole::TextBoxText);
    paint({frm.cmdAddRelationship, frm.cmdRemoveRelationship, frm.cmdAddName, frm.cmdRemoveName, frm.cmdAddChildren,
           frm.cmdRemoveChildren, frmPic.cmdAddPic},
          {QPalette::Button}, ColorRole::MinorButtons);
    paint({frm.cmdEditColors, frm.cmdPrintScreen, frm.cmdPrintText, frm.cmdExit, frmPic.cmdClose, dialog.cmdClose},
          {QPalette::Button}, ColorRole::MainButtons);
}

void Colors::cmdEditColors_Click()
{
    FrmColors &dialog = frmColors();
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
}
