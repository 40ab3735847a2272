#include "picture/picture.h"

#include "app/frmmain.h"
#include "store/paths.h"
#include "store/recordfile.h"

void Picture::ClearPicture()
{
    frm.PicPath.clear();
}

void Picture::ShowPicture()
{
    RecordFile::readValue(Store::dataFile(frm.currentCategory(), frm.currentName(), FileName::Pic), frm.PicPath);
}

void Picture::chkPic_Click() {}
