#pragma once

#include <QString>

#include <memory>

class FrmPic;
struct MainView;
class Platform;

// The contact's picture: the path kept in the contact's "Pic" file, and the
// picture window that shows it.
class Picture
{
public:
    Picture(MainView &view, Platform &platform);
    ~Picture();

    // Forgets the current picture path and shows no picture.
    void ClearPicture();
    // Reads the selected contact's picture path and shows that image.
    void ShowPicture();
    void chkPic_Click();
    // The contact's "Pic" file changed: its picture shows anew if it names another.
    void pictureFileChanged();
    // The picture window's "Change Picture": the selected contact gets the
    // image the user chooses, if it can be shown.
    void cmdAddPic_Click();

    // The picture window, made hidden on first use and kept for the whole run.
    FrmPic &frmPic();

    // The path of the picture shown for the current contact.
    QString PicPath;

private:
    QString pictureFile() const;

    MainView &view;
    Platform &platform;
    std::unique_ptr<FrmPic> m_frmPic;
    QString m_folder; // where the chooser opens
};
