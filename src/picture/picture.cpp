#include "picture/picture.h"

#include "model/addressbook.h"
#include "picture/frmpic.h"
#include "platform/platform.h"
#include "view/mainview.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QStandardPaths>

Picture::Picture(MainView &view, Platform &platform, AddressBook &book) : view(view), platform(platform), book(book) {}

Picture::~Picture() = default;

FrmPic &Picture::frmPic()
{
    if (!m_frmPic) {
        m_frmPic = std::make_unique<FrmPic>();
        QObject::connect(m_frmPic.get(), &FrmPic::changePictureClicked, m_frmPic.get(), [this] { cmdAddPic_Click(); });
        // Closing the window unticks the box, which runs chkPic_Click.
        QObject::connect(m_frmPic.get(), &FrmPic::closed, m_frmPic.get(), [this] { view.chkPic->setChecked(false); });
    }
    return *m_frmPic;
}

void Picture::ClearPicture()
{
    PicPath.clear();
    frmPic().loadPicture(QString());
}

void Picture::ShowPicture()
{
    PicPath = book.picture();
    // Decoding a photo is most of the work of selecting a contact: while the
    // window is closed it waits until the window is opened.
    if (view.chkPic->isChecked())
        frmPic().loadPicture(PicPath, view.currentName());
}

void Picture::pictureFileChanged()
{
    ClearPicture();
    ShowPicture();
}

void Picture::chkPic_Click()
{
    // The window opens on the picture at its size.
    ShowPicture();
    frmPic().setVisible(view.chkPic->isChecked());
}

void Picture::cmdAddPic_Click()
{
    // With no contact selected there is nobody to give the picture to.
    if (view.currentName().isEmpty())
        return;
    FrmPic &window = frmPic();
    // People keep their pictures in their Pictures folder, and choose the
    // next one where they found the last.
    if (m_folder.isEmpty())
        m_folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString chosen = platform.chooseOpenFile(&window, FrmPic::pictureFilter(), m_folder);
    if (chosen.isEmpty())
        return; // cancelled
    m_folder = QFileInfo(chosen).absolutePath();
    if (!window.loadPicture(chosen, view.currentName())) {
        platform.showMessage(&window, QStringLiteral("Sorry, ") + chosen
                                          + QStringLiteral(" cannot be shown as a picture. Please choose a ")
                                          + FrmPic::pictureKinds() + QStringLiteral(" file."));
        ShowPicture(); // back to what is stored
        return;
    }
    book.setPicture(chosen);
}
