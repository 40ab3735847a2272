#include "picture/picture.h"

#include "app/frmmain.h"
#include "picture/frmpic.h"
#include "store/paths.h"
#include "store/recordfile.h"

#include <QCheckBox>

Picture::Picture(FrmMain &frm) : frm(frm) {}

Picture::~Picture() = default;

FrmPic &Picture::frmPic()
{
    if (!m_frmPic)
        m_frmPic = std::make_unique<FrmPic>(frm);
    return *m_frmPic;
}

void Picture::ClearPicture()
{
    frm.PicPath.clear();
    frmPic().loadPicture(QString());
}

void Picture::ShowPicture()
{
    if (!RecordFile::readLine(Store::dataFile(frm.currentCategory(), frm.currentName(), FileName::Pic), frm.PicPath))
        return;
    frmPic().loadPicture(frm.PicPath);
}

void Picture::chkPic_Click()
{
    frmPic().setVisible(frm.chkPic->isChecked());
    // The picture is read again on every click, also when the window is hidden.
    if (!RecordFile::readLine(Store::dataFile(frm.currentCategory(), frm.currentName(), FileName::Pic), frm.PicPath))
        return;
    frmPic().loadPicture(frm.PicPath);
}
