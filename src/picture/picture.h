#pragma once

#include <memory>

class FrmMain;
class FrmPic;

// The contact's picture: the path kept in the contact's "Pic" file, and the
// picture window that shows it.
class Picture
{
public:
    explicit Picture(FrmMain &frm);
    ~Picture();

    // Forgets the current picture path and shows no picture.
    void ClearPicture();
    // Reads the selected contact's picture path and shows that image.
    void ShowPicture();
    void chkPic_Click();

    // The picture window, made hidden on first use and kept for the whole run.
    FrmPic &frmPic();

private:
    FrmMain &frm;
    std::unique_ptr<FrmPic> m_frmPic;
};
