#pragma once

#include <QString>

#include <memory>

class AddressBook;
class FrmPic;
struct MainView;
class Platform;

// The contact's picture, as the book has it from the contact's "Pic" file,
// and the picture window that shows it.
class Picture
{
public:
    Picture(MainView &view, Platform &platform, AddressBook &book);
    ~Picture();

    // Forgets the current picture path and shows no picture.
    void ClearPicture();
    // Shows the selected contact's picture.
    void ShowPicture();
    void chkPic_Click();
    // Another program gave the contact another picture: it shows.
    void pictureFileChanged();
    // The picture window's "Change Picture": the selected contact gets the
    // image the user chooses, if it can be shown.
    void cmdAddPic_Click();

    // The picture window, made hidden on first use and kept for the whole run.
    FrmPic &frmPic();

    // The path of the picture shown for the current contact.
    QString PicPath;

private:
    MainView &view;
    Platform &platform;
    AddressBook &book;
    std::unique_ptr<FrmPic> m_frmPic;
    QString m_folder; // where the chooser opens
};
