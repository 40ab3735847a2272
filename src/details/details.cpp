#include "details/details.h"

#include "model/addressbook.h"
#include "platform/platform.h"
#include "store/paths.h"
#include "store/recordfile.h"
#include "view/added.h"
#include "view/contactfields.h"

#include <QPushButton>
#include <QScopedValueRollback>

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
    book.openContact(view.currentCategory(), view.currentName());
    for (const QString &suffix : ContactFields::files())
        LoadFile(suffix);
}

void Details::LoadFile(const QString &suffix)
{
    QStringList values;
    if (!book.fields(suffix, values)) {
        lockUnreadable(suffix);
        return;
    }
    const QScopedValueRollback loading(m_loading, true);
    for (const ContactField *field : ContactFields::inFile(suffix))
        ContactFields::setValues(view, *field, field->isList() ? values : QStringList{values.value(field->index)});
}

// A missing or short file shows its missing fields empty: a box must never go
// on showing another contact's value, which the next keystroke would store in
// this contact's file. A file that exists but cannot be read empties and
// disables its controls until a contact is selected again, so nothing is
// typed over what it holds.
void Details::lockUnreadable(const QString &suffix)
{
    const QScopedValueRollback loading(m_loading, true);
    for (const ContactField *field : ContactFields::inFile(suffix))
        ContactFields::setValues(view, *field, {});
    for (QWidget *control : controlsOf(suffix))
        control->setEnabled(false);
}

void Details::Change(const ContactField &field)
{
    if (!m_loading && !field.isList())
        book.setField(field.suffix, field.index, ContactFields::values(view, field).constFirst());
}

void Details::fileChangedOutside(const QString &suffix)
{
    QStringList values;
    const bool readable = book.fields(suffix, values);
    // The box the window's keys go to, even while a message of its own is in front.
    QWidget *typing = view.frmMain->focusWidget();
    for (const ContactField *field : ContactFields::inFile(suffix)) {
        if (!readable || field->isList() || ContactFields::control(view, *field) != typing)
            continue;
        const QString typed = ContactFields::values(view, *field).constFirst();
        if (typed == values.value(field->index))
            continue;
        book.setField(field->suffix, field->index, typed);
        platform.showNotice(view.frmMain, QStringLiteral("Another program changed ") + QString::fromLatin1(field->label).chopped(2)
                                              + QStringLiteral(" of ") + view.currentName()
                                              + QStringLiteral(" while you were typing it; what you typed is kept."));
    }
    if (readable) {
        for (QWidget *control : controlsOf(suffix))
            control->setEnabled(true);
    }
    LoadFile(suffix);
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
    QStringList dependants = Controls::entries(view.lstChildren);
    dependants.insert(Controls::sortedRow(int(dependants.size()), dependant, [&](int i) { return dependants[i]; }),
                      dependant);
    // With no contact selected there is no file to keep the entry in.
    if (!book.setList(FileName::DependantsList, dependants, RecordFile::Stored)) {
        if (!view.currentName().isEmpty())
            tellNotAdded(view, platform, QStringLiteral("dependant"));
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
    QStringList dependants = Controls::entries(view.lstChildren);
    dependants.removeAt(view.lstChildren->row(view.lstChildren->selectedItems().constFirst()));
    book.setList(FileName::DependantsList, dependants, RecordFile::Queued);
}
