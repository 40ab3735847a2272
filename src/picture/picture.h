#pragma once

class FrmMain;

// The contact's picture, as the main window's handlers see it.
class Picture
{
public:
    explicit Picture(FrmMain &frm) : frm(frm) {}

    // Forgets the current picture path and shows no picture.
    void ClearPicture();
    // Reads the selected contact's picture path and shows that image.
    void ShowPicture();
    void chkPic_Click();

private:
    FrmMain &frm;
};
