#pragma once

#include <QString>

#include <array>

class FrmMain;
class QWidget;

// Categories and contact names: the main window's handlers for choosing,
// adding and removing them, and for enabling and emptying the detail controls.
class Book
{
public:
    explicit Book(FrmMain &frm) : frm(frm) {}

    // Categories.
    void LoadCategories();
    void cboRelationship_Click();
    void cmdAddRelationship_Click();
    void cmdRemoveRelationship_Click();

    // Contact names.
    void LoadNames();
    void lstNames_Click();
    void cmdAddName_Click();
    void cmdRemoveName_Click();

    void EnableDetails();
    void DisableDetails();
    void ClearDetails();

    // The sixteen controls that show or act on the selected contact, in the
    // order in which they are always handled.
    std::array<QWidget *, 16> detailControls() const;

    static const QString noContactName;
    static const QString categoryNamesRule;
    static const QString contactNamesRule;

private:
    void setDetailsEnabled(bool enabled);

    FrmMain &frm;
};
