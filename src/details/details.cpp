#include "details/details.h"

#include "platform/platform.h"
#include "store/recordfile.h"
#include "view/added.h"
#include "view/contactfields.h"

#include <QPushButton>
#include <QScopedValueRollback>

QString Details::contactFile(const QString &suffix) const
{
    const QString name = view.currentName();
    if (name.isEmpty())
        return {};
    return Store::dataFile(view.currentCategory(), name, suffix);
}

QWidgetList Details::controlsOf(const QString &suffix) const
{
    QWidgetList controls;
    for (const ContactField *field : ContactFields::inFile(suffix)) {
        controls.append(ContactFields::control(view, *field));
        if (field->isList())
            controls << view.cmdAddChildren << view.cmdRemoveChildren;
    }
    return controls;
}

void Details::LoadDetails()
{
    for (const QString &suffix : ContactFields::files())
        LoadFile(suffix);
}

void Details::LoadFile(const QString &suffix)
{
    const QString file = contactFile(suffix);
    QStringList values;
    if (!RecordFile::readList(file, values) && lockIfUnreadable(file, suffix))
        return;
    const QScopedValueRollback loading(m_loading, true);
    for (const ContactField *field : ContactFields::inFile(suffix))
        ContactFields::setValues(view, *field, field->isList() ? values : QStringList{values.value(field->index)});
}

// A missing or short file shows its missing fields empty: a box must never go
// on showing another contact's value, which the next keystroke would store in
// this contact's file. A file that exists but cannot be read empties and
// disables its controls until a contact is selected again, so nothing is
// typed over what it holds.
bool Details::lockIfUnreadable(const QString &file, const QString &suffix)
{
    if (!RecordFile::unreadable(file))
        return false;
    const QScopedValueRollback loading(m_loading, true);
    for (const ContactField *field : ContactFields::inFile(suffix))
        ContactFields::setValues(view, *field, {});
    for (QWidget *control : controlsOf(suffix))
        control->setEnabled(false);
    return true;
}

void Details::SaveFile(const QString &suffix)
{
    if (m_loading)
        return;
    const QList<const ContactField *> fields = ContactFields::inFile(suffix);
    const QStringList values = ContactFields::record(view, suffix);
    // Saved in the background: the window never waits for the disk, and a
    // failure is told once and the save retried.
    if (fields.size() == 1 && fields.first()->isList())
        RecordFile::rewriteList(contactFile(suffix), values, RecordFile::Queued);
    else
        RecordFile::rewriteRecord(contactFile(suffix), values, RecordFile::Queued);
}

void Details::Change(const ContactField &field)
{
    SaveFile(field.suffix);
}

void Details::cmdAddChildren_Click()
{
    const QString dependant = platform.inputBox(view.frmMain, QStringLiteral("Please type in a name to add to the database"),
                                                QStringLiteral("Add Name"));
    if (dependant.isEmpty())
        return;
    if (dependant.contains(RecordFile::unquotable)) {
        platform.showMessage(view.frmMain,
                             QStringLiteral("Sorry, a dependant's name cannot include a double quote ( \" )."));
        return;
    }
    const int row = Controls::insertSorted(view.lstChildren, dependant);
    // With no contact selected there is no file to keep the entry in.
    const QString file = contactFile(FileName::DependantsList);
    if (file.isEmpty()
        || !saveAddedList(view, platform, file, Controls::entries(view.lstChildren), QStringLiteral("dependant"))) {
        delete view.lstChildren->takeItem(row);
        return;
    }
    view.lstChildren->setCurrentItem(view.lstChildren->findItems(dependant, Qt::MatchExactly).first());
}

void Details::cmdRemoveChildren_Click()
{
    const QString dependant = Controls::selectedText(view.lstChildren);
    if (dependant.isEmpty()) {
        platform.showMessage(view.frmMain, QStringLiteral("Please select a dependant to remove."));
        return;
    }
    if (!platform.askYesNo(view.frmMain,
                           QStringLiteral("You have chosen to delete ") + dependant + QStringLiteral(" from ")
                               + view.currentName() + QStringLiteral("'s dependants list. Are you sure?"),
                           QStringLiteral("Delete Category")))
        return;
    Controls::removeSelected(view.lstChildren);
    SaveDependants();
}
