#include "details/details.h"

#include "app/frmmain.h"
#include "store/paths.h"
#include "store/recordfile.h"

#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>

QString Details::contactFile(const QString &suffix) const
{
    const QString name = frm.currentName();
    if (name.isEmpty())
        return {};
    return Store::dataFile(frm.currentCategory(), name, suffix);
}

template <typename Box>
void Details::loadField(const QString &suffix, Box *box)
{
    const QString file = contactFile(suffix);
    QStringList fields;
    if (!RecordFile::readRecord(file, 1, fields) && lockIfUnreadable(file, {box}))
        return;
    const QScopedValueRollback loading(m_loading, true);
    Controls::setText(box, fields.value(0));
}

// A missing or empty file shows an empty box: the box must never go on
// showing another contact's value, which the next keystroke would store in
// this contact's file. A file that exists but cannot be read empties and
// disables its controls until a contact is selected again, so nothing is
// typed over what it holds.
bool Details::lockIfUnreadable(const QString &file, std::initializer_list<QWidget *> controls)
{
    if (!RecordFile::unreadable(file))
        return false;
    const QScopedValueRollback loading(m_loading, true);
    for (QWidget *control : controls) {
        if (auto *line = qobject_cast<QLineEdit *>(control))
            Controls::setText(line, {});
        else if (auto *box = qobject_cast<QPlainTextEdit *>(control))
            Controls::setText(box, {});
        control->setEnabled(false);
    }
    return true;
}

void Details::saveField(const QString &suffix, const QString &value) const
{
    if (!m_loading)
        RecordFile::rewriteRecord(contactFile(suffix), {value});
}

void Details::LoadBirthday()
{
    loadField(FileName::Birthday, frm.txtBirthday);
}

void Details::LoadAddress()
{
    loadField(FileName::Address, frm.txtAddress);
}

void Details::LoadDrivingDirections()
{
    loadField(FileName::DrivingDirections, frm.txtDrivingDirections);
}

void Details::LoadNumbers()
{
    const QString file = contactFile(FileName::Numbers);
    QStringList fields;
    if (!RecordFile::readList(file, fields)
        && lockIfUnreadable(file, {frm.txtHome, frm.txtCell, frm.txtWork, frm.txtFax, frm.txtEmail}))
        return;
    // A short file fills the boxes it has fields for and empties the rest.
    fields.resize(5);
    const QScopedValueRollback loading(m_loading, true);
    Controls::setText(frm.txtHome, fields[0]);
    Controls::setText(frm.txtCell, fields[1]);
    Controls::setText(frm.txtWork, fields[2]);
    Controls::setText(frm.txtFax, fields[3]);
    Controls::setText(frm.txtEmail, fields[4]);
}

void Details::LoadNumbNotes()
{
    loadField(FileName::NumbNotes, frm.txtNumNotes);
}

void Details::LoadRelation()
{
    loadField(FileName::Relation, frm.txtRelation);
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
    if (m_loading)
        return;
    RecordFile::rewriteRecord(contactFile(FileName::Numbers),
                              {Controls::text(frm.txtHome), Controls::text(frm.txtCell), Controls::text(frm.txtWork),
                               Controls::text(frm.txtFax), Controls::text(frm.txtEmail)});
}

void Details::LoadDependants()
{
    const QString file = contactFile(FileName::DependantsList);
    QStringList dependants;
    if (!RecordFile::readList(file, dependants))
        lockIfUnreadable(file, {frm.lstChildren, frm.cmdAddChildren, frm.cmdRemoveChildren});
    Controls::addSorted(frm.lstChildren, dependants);
}

void Details::SaveDependants()
{
    RecordFile::rewriteList(contactFile(FileName::DependantsList), Controls::entries(frm.lstChildren));
}

void Details::cmdAddChildren_Click()
{
    const QString dependant = frm.platform.inputBox(&frm, QStringLiteral("Please type in a name to add to the database"),
                                                    QStringLiteral("Add Name"));
    if (dependant.isEmpty())
        return;
    if (dependant.contains(QLatin1Char('"'))) {
        frm.platform.showMessage(&frm, QStringLiteral("Sorry, a dependant's name cannot include a double quote ( \" )."));
        return;
    }
    const int row = Controls::insertSorted(frm.lstChildren, dependant);
    // With no contact selected there is no file to keep the entry in.
    const QString file = contactFile(FileName::DependantsList);
    if (file.isEmpty() || !frm.saveAddedList(file, Controls::entries(frm.lstChildren), QStringLiteral("dependant"))) {
        delete frm.lstChildren->takeItem(row);
        return;
    }
    frm.lstChildren->setCurrentItem(frm.lstChildren->findItems(dependant, Qt::MatchExactly).first());
}

void Details::cmdRemoveChildren_Click()
{
    const QString dependant = Controls::selectedText(frm.lstChildren);
    if (dependant.isEmpty()) {
        frm.platform.showMessage(&frm, QStringLiteral("Please select a dependant to remove."));
        return;
    }
    if (!frm.platform.askYesNo(&frm,
                               QStringLiteral("You have chosen to delete ") + dependant + QStringLiteral(" from ")
                                   + frm.currentName() + QStringLiteral("'s dependants list. Are you sure?"),
                               QStringLiteral("Delete Category")))
        return;
    Controls::removeSelected(frm.lstChildren);
    SaveDependants();
}
