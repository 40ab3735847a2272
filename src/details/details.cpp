#include "details/details.h"

#include "app/frmmain.h"
#include "store/paths.h"
#include "store/recordfile.h"

QString Details::contactFile(const QString &suffix) const
{
    const QString name = frm.currentName();
    if (name.isEmpty())
        return {};
    return Store::dataFile(frm.currentCategory(), name, suffix);
}

bool Details::loadField(const QString &suffix, QString &value) const
{
    QStringList fields;
    if (!RecordFile::readRecord(contactFile(suffix), 1, fields))
        return false;
    value = fields.first();
    return true;
}

void Details::saveField(const QString &suffix, const QString &value) const
{
    RecordFile::rewriteRecord(contactFile(suffix), {value});
}

void Details::LoadBirthday()
{
    QString value;
    if (loadField(FileName::Birthday, value))
        Controls::setText(frm.txtBirthday, value);
}

void Details::LoadAddress()
{
    QString value;
    if (loadField(FileName::Address, value))
        Controls::setText(frm.txtAddress, value);
}

void Details::LoadDrivingDirections()
{
    QString value;
    if (loadField(FileName::DrivingDirections, value))
        Controls::setText(frm.txtDrivingDirections, value);
}

void Details::LoadNumbers()
{
    QStringList fields;
    if (!RecordFile::readRecord(contactFile(FileName::Numbers), 5, fields))
        return;
    // Each box's change would rewrite the file with the boxes not yet loaded;
    // write once, when all five show the file's values.
    m_loadingNumbers = true;
    Controls::setText(frm.txtHome, fields[0]);
    Controls::setText(frm.txtCell, fields[1]);
    Controls::setText(frm.txtWork, fields[2]);
    Controls::setText(frm.txtFax, fields[3]);
    Controls::setText(frm.txtEmail, fields[4]);
    m_loadingNumbers = false;
    SaveNumbers();
}

void Details::LoadNumbNotes()
{
    QString value;
    if (loadField(FileName::NumbNotes, value))
        Controls::setText(frm.txtNumNotes, value);
}

void Details::LoadRelation()
{
    QString value;
    if (loadField(FileName::Relation, value))
        Controls::setText(frm.txtRelation, value);
}

void Details::txtBirthday_Change()
{
    saveField(FileName::Birthday, Controls::text(frm.txtBirthday));
}

void Details::txtAddress_Change()
{
    saveField(FileName::Address, Controls::text(frm.txtAddress));
}

void Details::txtDrivingDirections_Change()
{
    saveField(FileName::DrivingDirections, Controls::text(frm.txtDrivingDirections));
}

void Details::txtNumNotes_Change()
{
    saveField(FileName::NumbNotes, Controls::text(frm.txtNumNotes));
}

void Details::txtRelation_Change()
{
    saveField(FileName::Relation, Controls::text(frm.txtRelation));
}

void Details::SaveNumbers()
{
    if (m_loadingNumbers)
        return;
    RecordFile::rewriteRecord(contactFile(FileName::Numbers),
                              {Controls::text(frm.txtHome), Controls::text(frm.txtCell), Controls::text(frm.txtWork),
                               Controls::text(frm.txtFax), Controls::text(frm.txtEmail)});
}

void Details::LoadDependants()
{
    QStringList dependants;
    RecordFile::readList(contactFile(FileName::DependantsList), dependants);
    Controls::addSorted(frm.lstChildren, dependants);
}

void Details::SaveDependants()
{
    RecordFile::rewriteList(contactFile(FileName::DependantsList), Controls::entries(frm.lstChildren));
}

// Adding and removing dependants arrive with the dependants list.
void Details::cmdAddChildren_Click() {}

void Details::cmdRemoveChildren_Click() {}
