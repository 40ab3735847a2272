#include "book/book.h"

#include "details/details.h"
#include "model/addressbook.h"
#include "picture/picture.h"
#include "platform/platform.h"
#include "store/contactfiles.h"
#include "store/paths.h"
#include "store/recordfile.h"
#include "view/added.h"
#include "view/contactfields.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

const QString Book::noContactName = QStringLiteral("No Contact Name Selected");
const QString Book::categoryNamesRule =
    QStringLiteral("Sorry, Category names cannot include the following:  /  \\  :  *  ?  <  >  |  '' ");
const QString Book::contactNamesRule =
    QStringLiteral("Sorry, Names cannot include the following:  /  \\  :  *  ?  <  >  |  '' ");

namespace {

const QString deleteTitle = QStringLiteral("Delete Category");

// A new contact's files, each holding its empty values.
QHash<QString, QByteArray> emptyFiles()
{
    QHash<QString, QByteArray> files;
    for (const QString &suffix : ContactFields::files()) {
        const QList<const ContactField *> fields = ContactFields::inFile(suffix);
        files.insert(suffix, fields.first()->isList() ? RecordFile::encodeList({})
                                                      : RecordFile::encodeRecord(QStringList(fields.size())));
    }
    return files;
}

} // namespace

void Book::LoadCategories()
{
    const QString file = Store::dataFile(FileName::RelationsList);
    QStringList categories;
    const bool whole = readWholeList(file, categories, QStringLiteral("list of categories"));
    Controls::addSorted(view.cboRelationship, categories);
    view.cmdAddRelationship->setEnabled(whole);
    view.cmdRemoveRelationship->setEnabled(whole);
}

void Book::cboRelationship_Click()
{
    Controls::clear(view.lstNames);
    view.lblName->setText(noContactName);
    const bool whole = LoadNames();
    picture.ClearPicture();
    ClearDetails();
    setNamesEnabled(whole);
    DisableDetails();
}

void Book::cmdAddRelationship_Click()
{
    const QString category = askName(QStringLiteral("Please type in a new relationship category"),
                                     QStringLiteral("Add relationship category"));
    if (category.isEmpty())
        return;
    if (refused(AddressBook(Controls::entries(view.cboRelationship)).checkCategory(category), category,
                categoryNamesRule, QStringLiteral("category name"),
                QStringLiteral("Sorry, there is already a category called ") + category
                    + QStringLiteral(". Please type a different name.")))
        return;

    const int row = Controls::insertSorted(view.cboRelationship, category);
    if (!AddressBook::storeCategories(Controls::entries(view.cboRelationship))) {
        tellNotAdded(view, platform, QStringLiteral("category"));
        const QSignalBlocker quiet(view.cboRelationship);
        const int selected = view.cboRelationship->currentIndex();
        view.cboRelationship->removeItem(row);
        view.cboRelationship->setCurrentIndex(selected < 0 ? -1 : (selected > row ? selected - 1 : selected));
        return;
    }
    // Inserting moved any selection on, so choosing the new entry always runs the click.
    view.cboRelationship->setCurrentIndex(row);
    view.cmdAddName->setFocus();
}

void Book::cmdRemoveRelationship_Click()
{
    const QString category = view.currentCategory();
    if (category.isEmpty()) {
        platform.showMessage(view.frmMain, QStringLiteral("Please select a category to remove."));
        return;
    }
    if (!platform.askYesNo(view.frmMain,
                               QStringLiteral("This will delete all the names and information under the category, ")
                                   + category + QStringLiteral(". Are you sure?"),
                               deleteTitle))
        return;

    QStringList categories = Controls::entries(view.cboRelationship);
    categories.removeAt(view.cboRelationship->currentIndex());
    const AddressBook::Removal removal =
        AddressBook::removeCategory(category, categories, Controls::entries(view.lstNames));
    if (removal == AddressBook::Removal::NotRemoved) {
        tellNotRemoved(category);
        return;
    }
    Controls::removeSelected(view.cboRelationship);
    Controls::clear(view.lstNames);
    setNamesEnabled(false);
    ClearDetails();
    view.lblName->setText(noContactName);
    DisableDetails();
    if (removal == AddressBook::Removal::FilesLeft)
        tellNotDeleted(QStringLiteral("the names and information under the category, ") + category + ',');
}

void Book::ReloadLists()
{
    const QString category = view.currentCategory();
    const QString name = view.currentName();
    {
        const QSignalBlocker quiet(view.cboRelationship);
        view.cboRelationship->clear();
    }
    LoadCategories();
    const int index = view.cboRelationship->findText(category);
    if (index < 0)
        return;
    view.cboRelationship->setCurrentIndex(index);
    const QList<QListWidgetItem *> found = view.lstNames->findItems(name, Qt::MatchExactly);
    if (!name.isEmpty() && !found.isEmpty())
        view.lstNames->setCurrentItem(found.first());
}

bool Book::LoadNames()
{
    const QString category = view.currentCategory();
    QStringList names;
    const bool whole =
        readWholeList(ContactFiles::namesList(category), names, QStringLiteral("list of names of ") + category);
    Controls::addSorted(view.lstNames, names);
    return whole;
}

// Names are added and removed only while a category is selected whose names
// list was read whole: rewriting a list read in part would drop the rest.
void Book::setNamesEnabled(bool namesListReadWhole)
{
    const bool selected = view.cboRelationship->currentIndex() >= 0;
    view.lstNames->setEnabled(selected);
    view.cmdAddName->setEnabled(selected && namesListReadWhole);
    view.cmdRemoveName->setEnabled(selected && namesListReadWhole);
}

bool Book::readWholeList(const QString &file, QStringList &entries, const QString &what)
{
    if (ContactFiles::readWhole(file, entries))
        return true;
    platform.showMessage(view.frmMain, QStringLiteral("Sorry, the ") + what + QStringLiteral(" in ") + Store::dataDir()
                                       + QStringLiteral(" cannot be read, so nothing can be added to it or removed "
                                                        "from it until it can."));
    return false;
}

QString Book::askName(const QString &prompt, const QString &title)
{
    return AddressBook::tidy(platform.inputBox(view.frmMain, prompt, title));
}

bool Book::refused(AddressBook::Refusal refusal, const QString &name, const QString &rule, const QString &what,
                   const QString &listed)
{
    QString message;
    switch (refusal) {
    case AddressBook::Refusal::None:
    case AddressBook::Refusal::Empty:
        return refusal != AddressBook::Refusal::None;
    case AddressBook::Refusal::Forbidden:
        message = rule;
        break;
    case AddressBook::Refusal::TooLong:
        message = QStringLiteral("Sorry, that ") + what + QStringLiteral(" is too long. Please type a shorter one.");
        break;
    case AddressBook::Refusal::Listed:
        message = listed;
        break;
    case AddressBook::Refusal::Reserved:
        message = QStringLiteral("Sorry, ") + name + QStringLiteral(" cannot be added: its files would be named as "
                                                                   "the program's own lists are. Please type a "
                                                                   "different name.");
        break;
    case AddressBook::Refusal::Taken:
    case AddressBook::Refusal::Unreadable:
        message = QStringLiteral("Sorry, ") + name + QStringLiteral(" cannot be added: information is already stored "
                                                                   "under that name. Please type a different name.");
        break;
    }
    platform.showMessage(view.frmMain, message);
    return true;
}

void Book::lstNames_Click()
{
    view.lblName->setText(view.currentName());
    EnableDetails();
    details.LoadDetails();
    picture.ClearPicture();
    picture.ShowPicture();
}

void Book::cmdAddName_Click()
{
    const QString category = view.currentCategory();
    if (category.isEmpty())
        return;
    const QString name = askName(QStringLiteral("Please type in a name to add to the database"), QStringLiteral("Add Name"));
    if (name.isEmpty())
        return;
    AddressBook book(Controls::entries(view.cboRelationship));
    book.setNames(category, Controls::entries(view.lstNames));
    AddressBook::NewContact contact{category, name, emptyFiles(), {}, {}};
    if (refused(book.checkContact(category, name, contact.storedEarlier), name, contactNamesRule, QStringLiteral("name"),
                QStringLiteral("Sorry, ") + name + QStringLiteral(" is already listed under ") + category
                    + QStringLiteral(". Please type a different name.")))
        return;

    const int row = Controls::insertSorted(view.lstNames, name);
    if (!AddressBook::storeContact(contact, Controls::entries(view.lstNames))) {
        const QSignalBlocker quiet(view.lstNames);
        delete view.lstNames->takeItem(row);
        tellNotAdded(view, platform, QStringLiteral("name"));
        return;
    }
    view.lstNames->setCurrentRow(row);
    if (contact.storedEarlier)
        platform.showMessage(view.frmMain, QStringLiteral("Information stored earlier under ") + name
                                           + QStringLiteral(" was found and has been brought back."));
}

void Book::cmdRemoveName_Click()
{
    const QString name = view.currentName();
    if (name.isEmpty()) {
        platform.showMessage(view.frmMain, QStringLiteral("Please select a name to remove."));
        return;
    }
    if (!platform.askYesNo(view.frmMain,
                               QStringLiteral("This will delete all information you have on ") + name
                                   + QStringLiteral(". Are you sure?"),
                               deleteTitle))
        return;

    const QString category = view.currentCategory();
    QStringList names = Controls::entries(view.lstNames);
    names.removeAt(view.lstNames->row(view.lstNames->selectedItems().constFirst()));
    const AddressBook::Removal removal = AddressBook::removeContact(category, name, names);
    if (removal == AddressBook::Removal::NotRemoved) {
        tellNotRemoved(name);
        return;
    }
    Controls::removeSelected(view.lstNames);
    view.lblName->setText(noContactName);
    picture.ClearPicture();
    ClearDetails();
    DisableDetails();
    if (removal == AddressBook::Removal::FilesLeft)
        tellNotDeleted(QStringLiteral("the information on ") + name);
}

// The list without the entry could not be stored: nothing was removed.
void Book::tellNotRemoved(const QString &what)
{
    platform.showMessage(view.frmMain, QStringLiteral("Sorry, ") + what
                                           + QStringLiteral(" could not be removed: the list in ") + Store::dataDir()
                                           + QStringLiteral(" could not be saved. Nothing was deleted."));
}

void Book::tellNotDeleted(const QString &what)
{
    platform.showMessage(view.frmMain, QStringLiteral("Sorry, not all of ") + what
                                           + QStringLiteral(" could be deleted from ") + Store::dataDir()
                                           + QStringLiteral("."));
}

QWidgetList Book::detailControls() const
{
    QWidgetList controls;
    for (const QString &suffix : ContactFields::files())
        controls += details.controlsOf(suffix);
    return controls << view.chkPic << view.cmdPrintScreen << view.cmdPrintText;
}

void Book::setDetailsEnabled(bool enabled)
{
    for (QWidget *control : detailControls())
        control->setEnabled(enabled);
}

void Book::EnableDetails()
{
    setDetailsEnabled(true);
}

void Book::DisableDetails()
{
    setDetailsEnabled(false);
}

void Book::ClearDetails()
{
    for (const ContactField &field : contactFields)
        ContactFields::setValues(view, field, {});
}
