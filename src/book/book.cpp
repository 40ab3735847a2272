#include "book/book.h"

#include "details/details.h"
#include "model/addressbook.h"
#include "picture/picture.h"
#include "platform/platform.h"
#include "store/paths.h"
#include "view/added.h"
#include "view/contactfields.h"

#include <QAction>
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

} // namespace

void Book::LoadCategories()
{
    const bool whole = toldIfUnreadable(addressBook.categoriesWhole(), QStringLiteral("list of categories"));
    Controls::addSorted(view.cboRelationship, addressBook.categories());
    for (QWidget *button : {view.cmdAddRelationship, view.cmdRemoveRelationship})
        button->setEnabled(whole);
    for (QAction *action : {view.mnuRenameRelationship, view.mnuRemoveRelationship})
        action->setEnabled(whole);
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
    const AddressBook::Added added = addressBook.addCategory(category);
    if (refusedCategory(added.refusal, category))
        return;
    if (!added.stored) {
        tellNotAdded(view, platform, QStringLiteral("category"));
        return;
    }
    // Inserting moved any selection on, so choosing the new entry always runs the click.
    view.cboRelationship->setCurrentIndex(added.row);
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

    const AddressBook::Removal removal = addressBook.removeCategory(category);
    if (removal == AddressBook::Removal::NotRemoved)
        tellNotRemoved(category);
    else if (removal == AddressBook::Removal::FilesLeft)
        tellNotDeleted(QStringLiteral("the names and information under the category, ") + category + ',');
}

void Book::categoryAdded(const QString &category)
{
    Controls::insertSorted(view.cboRelationship, category);
}

void Book::categoryRemoved(int row)
{
    const bool shown = view.cboRelationship->currentIndex() == row;
    {
        const QSignalBlocker quiet(view.cboRelationship);
        view.cboRelationship->removeItem(row);
        if (shown)
            view.cboRelationship->setCurrentIndex(-1);
    }
    if (shown)
        noCategory();
}

void Book::categoriesReset()
{
    const QString category = view.currentCategory();
    {
        const QSignalBlocker quiet(view.cboRelationship);
        view.cboRelationship->clear();
    }
    LoadCategories();
    const int index = view.cboRelationship->findText(category);
    if (index >= 0) {
        const QSignalBlocker quiet(view.cboRelationship);
        view.cboRelationship->setCurrentIndex(index);
    } else if (!category.isEmpty()) {
        noCategory();
    }
}

bool Book::LoadNames()
{
    const QString category = view.currentCategory();
    const bool whole = toldIfUnreadable(addressBook.namesWhole(category), QStringLiteral("list of names of ") + category);
    // The book keeps its lists in the window's order: they go in as they are, in one go.
    view.lstNames->addItems(addressBook.names(category));
    return whole;
}

void Book::nameAdded(const QString &category, const QString &name, int row)
{
    if (category == view.currentCategory())
        view.lstNames->insertItem(row, name);
}

void Book::nameRemoved(const QString &category, const QString &name, int row)
{
    if (category != view.currentCategory())
        return;
    const bool shown = view.currentName() == name;
    {
        const QSignalBlocker quiet(view.lstNames);
        delete view.lstNames->takeItem(row);
        if (shown) {
            view.lstNames->clearSelection();
            view.lstNames->setCurrentRow(-1);
        }
    }
    if (shown)
        noContact();
}

void Book::namesReset(const QString &category)
{
    if (category != view.currentCategory())
        return;
    const QString name = view.currentName();
    Controls::clear(view.lstNames);
    setNamesEnabled(LoadNames());
    const QList<QListWidgetItem *> found = view.lstNames->findItems(name, Qt::MatchExactly);
    if (!found.isEmpty()) {
        const QSignalBlocker quiet(view.lstNames);
        view.lstNames->setCurrentItem(found.first());
    } else if (!name.isEmpty()) {
        noContact();
    }
}

void Book::noCategory()
{
    Controls::clear(view.lstNames);
    setNamesEnabled(false);
    noContact();
}

void Book::noContact()
{
    view.lblName->setText(noContactName);
    picture.ClearPicture();
    ClearDetails();
    DisableDetails();
}

// Names are added and removed only while a category is selected whose names
// list was read whole: rewriting a list read in part would drop the rest.
void Book::setNamesEnabled(bool namesListReadWhole)
{
    const bool selected = view.cboRelationship->currentIndex() >= 0;
    view.lstNames->setEnabled(selected);
    for (QWidget *button : {view.cmdAddName, view.cmdRemoveName})
        button->setEnabled(selected && namesListReadWhole);
    for (QAction *action : {view.mnuRenameName, view.mnuRemoveName})
        action->setEnabled(selected && namesListReadWhole);
}

bool Book::toldIfUnreadable(bool whole, const QString &what)
{
    if (!whole)
        platform.showMessage(view.frmMain, QStringLiteral("Sorry, the ") + what + QStringLiteral(" in ")
                                               + Store::dataDir()
                                               + QStringLiteral(" cannot be read, so nothing can be added to it or "
                                                                "removed from it until it can."));
    return whole;
}

QString Book::askName(const QString &prompt, const QString &title, const QString &text)
{
    return AddressBook::tidy(platform.inputBox(view.frmMain, prompt, title, text));
}

bool Book::refusedCategory(AddressBook::Refusal refusal, const QString &category)
{
    return refused(refusal, category, categoryNamesRule, QStringLiteral("category name"),
                   QStringLiteral("Sorry, there is already a category called ") + category
                       + QStringLiteral(". Please type a different name."));
}

bool Book::refusedName(AddressBook::Refusal refusal, const QString &category, const QString &name)
{
    return refused(refusal, name, contactNamesRule, QStringLiteral("name"),
                   QStringLiteral("Sorry, ") + name + QStringLiteral(" is already listed under ") + category
                       + QStringLiteral(". Please type a different name."));
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
    case AddressBook::Refusal::Repeated:
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
    const AddressBook::Added added = addressBook.addContact({category, name, {}, {}, {}});
    if (refusedName(added.refusal, category, name))
        return;
    if (!added.stored) {
        tellNotAdded(view, platform, QStringLiteral("name"));
        return;
    }
    view.lstNames->setCurrentRow(added.row);
    if (added.storedEarlier)
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

    const AddressBook::Removal removal = addressBook.removeContact(view.currentCategory(), name);
    if (removal == AddressBook::Removal::NotRemoved)
        tellNotRemoved(name);
    else if (removal == AddressBook::Removal::FilesLeft)
        tellNotDeleted(QStringLiteral("the information on ") + name);
}

void Book::mnuRenameRelationship_Click()
{
    const QString category = view.currentCategory();
    if (category.isEmpty())
        return;
    const QString newCategory = askName(QStringLiteral("Please type in the new name of the category ") + category,
                                        QStringLiteral("Rename relationship category"), category);
    if (newCategory.isEmpty() || newCategory == category)
        return;
    const AddressBook::Added renamed = addressBook.renameCategory(category, newCategory);
    if (refusedCategory(renamed.refusal, newCategory))
        return;
    if (!renamed.stored) {
        tellNotRenamed(category);
        return;
    }
    view.cboRelationship->setCurrentIndex(renamed.row);
}

void Book::mnuRenameName_Click()
{
    const QString category = view.currentCategory(), name = view.currentName();
    if (name.isEmpty())
        return;
    const QString newName =
        askName(QStringLiteral("Please type in the new name of ") + name, QStringLiteral("Rename Name"), name);
    if (newName.isEmpty() || newName == name)
        return;
    const AddressBook::Added renamed = addressBook.renameContact(category, name, newName);
    if (refusedName(renamed.refusal, category, newName))
        return;
    if (!renamed.stored) {
        tellNotRenamed(name);
        return;
    }
    view.lstNames->setCurrentRow(renamed.row);
}

void Book::showContact(const QString &category, const QString &name)
{
    const int row = view.cboRelationship->findText(category);
    if (row < 0)
        return;
    view.cboRelationship->setCurrentIndex(row);
    const QList<QListWidgetItem *> found = view.lstNames->findItems(name, Qt::MatchExactly);
    if (!found.isEmpty())
        view.lstNames->setCurrentItem(found.first());
}

void Book::tellNotRenamed(const QString &what)
{
    platform.showMessage(view.frmMain, QStringLiteral("Sorry, ") + what
                                           + QStringLiteral(" could not be renamed: its files in ") + Store::dataDir()
                                           + QStringLiteral(" could not be moved. Nothing was changed."));
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
    // No contact is shown: what the boxes are given now is nobody's.
    addressBook.openContact({}, {});
    for (const ContactField &field : contactFields)
        ContactFields::setValues(view, field, {});
}
