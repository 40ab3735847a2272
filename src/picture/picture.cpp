#include "picture/picture.h"

#include "picture/frmpic.h"
#include "platform/platform.h"
#include "store/paths.h"
#include "store/recordfile.h"
#include "view/mainview.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QStandardPaths>

Picture::Picture(MainView &view, Platform &platform) : view(view), platform(platform) {}

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

QString Picture::pictureFile() const
{
    return Store::dataFile(view.currentCategory(), view.currentName(), FileName::Pic);
}

void Picture::ClearPicture()
{
    PicPath.clear();
    frmPic().loadPicture(QString());
}

void Picture::ShowPicture()
{
    if (!RecordFile::readLine(pictureFile(), PicPath))
        return;
    PicPath = Store::picturePath(PicPath);
    // Decoding a photo is most of the work of selecting a contact: while the
    // window is closed it waits until the window is opened.
    if (view.chkPic->isChecked())
        frmPic().loadPicture(PicPath, view.currentName());
}

void Picture::pictureFileChanged()
{
    QString path;
    RecordFile::readLine(pictureFile(), path);
    if (Store::picturePath(path) == PicPath)
        return;
    ClearPicture();
    ShowPicture();
}

void Picture::chkPic_Click()
{
    // The picture is read again on every click, so the window opens on what
    // the Pic file holds now, at its size.
    ShowPicture();
    frmPic().setVisible(view.chkPic->isChecked());
}

void Picture::cmdAddPic_Click()
{
    // With no contact selected there is nobody to give the picture to.
    const QString file = pictureFile();
    if (view.currentName().isEmpty() || file.isEmpty())
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
    RecordFile::rewriteValue(file, chosen, RecordFile::Queued);
}
