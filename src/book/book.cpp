#include "book/book.h"

#include "details/details.h"
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

// Whether every file of the contact would have a name the file system takes.
bool contactFilesFit(const QString &category, const QString &name)
{
    return std::all_of(FileName::contactSuffixes.cbegin(), FileName::contactSuffixes.cend(),
                       [&](const QString &suffix) { return Store::fitsFileName(category, name, suffix); });
}

// Two names that differ only in case are one file on the disks the data
// directory may travel to.
bool listedIgnoringCase(const QStringList &entries, const QString &text)
{
    return entries.contains(text, Qt::CaseInsensitive);
}

// Whether a contact of another category has the files of category and name:
// its category and name run together to the same text. A names list that
// cannot be read might list it.
bool ownedByAnotherCategory(const QStringList &categories, const QString &category, const QString &name)
{
    const QString joined = category + name;
    for (const QString &other : categories) {
        if (other == category || other.size() >= joined.size() || !joined.startsWith(other))
            continue;
        QStringList names;
        if (!ContactFiles::readWhole(ContactFiles::namesList(other), names))
            return true;
        if (names.contains(joined.mid(other.size())))
            return true;
    }
    return false;
}

// A new contact: its files, each holding its empty values (unless files
// stored earlier are brought back), and the names list that lists it, stored
// as one group so that its directory is synced once. The list is put in place
// last, so a contact is never listed without its files.
bool storeNewContact(const QString &category, const QString &name, bool storedEarlier, const QStringList &names)
{
    RecordFile::WriteGroup group;
    for (const QString &suffix : storedEarlier ? QStringList() : ContactFields::files()) {
        const QString file = Store::dataFile(category, name, suffix);
        const QList<const ContactField *> fields = ContactFields::inFile(suffix);
        if (fields.first()->isList())
            RecordFile::rewriteList(file, {});
        else
            RecordFile::rewriteRecord(file, QStringList(fields.size()));
    }
    const bool listed = RecordFile::rewriteList(ContactFiles::namesList(category), names);
    if (group.commit() && listed)
        return true;
    if (!storedEarlier)
        ContactFiles::remove(category, name);
    return false;
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
                                     QStringLiteral("Add relationship category"), categoryNamesRule);
    if (category.isEmpty())
        return;
    // The category's names file and the files of its contacts must all be nameable.
    if (!Store::fitsFileName(FileName::NamesList, category) || !contactFilesFit(category, QStringLiteral("x"))) {
        platform.showMessage(view.frmMain, QStringLiteral("Sorry, that category name is too long. Please type a shorter one."));
        return;
    }
    if (listedIgnoringCase(Controls::entries(view.cboRelationship), category)) {
        platform.showMessage(view.frmMain, QStringLiteral("Sorry, there is already a category called ") + category
                                           + QStringLiteral(". Please type a different name."));
        return;
    }

    const int row = Controls::insertSorted(view.cboRelationship, category);
    if (!saveAddedList(view, platform, Store::dataFile(FileName::RelationsList), Controls::entries(view.cboRelationship),
                           QStringLiteral("category"))) {
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

    // The category leaves its list first, then its names list and its
    // contacts' files go: a crash on the way leaves files nobody lists, never
    // a listed contact without its files.
    QStringList categories = Controls::entries(view.cboRelationship);
    categories.removeAt(view.cboRelationship->currentIndex());
    if (!RecordFile::rewriteList(Store::dataFile(FileName::RelationsList), categories)) {
        tellNotRemoved(category);
        return;
    }
    const QStringList names = Controls::entries(view.lstNames);
    Controls::removeSelected(view.cboRelationship);
    Controls::clear(view.lstNames);
    setNamesEnabled(false);
    ClearDetails();
    view.lblName->setText(noContactName);
    DisableDetails();
    if (names.isEmpty())
        return;
    const RecordFile::WriteGroup removal; // syncs the directory once for all the files
    bool deleted = RecordFile::remove(ContactFiles::namesList(category));
    for (const QString &name : names)
        deleted = deleted && ContactFiles::remove(category, name);
    if (!deleted)
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

QString Book::askName(const QString &prompt, const QString &title, const QString &rule)
{
    const QString name = platform.inputBox(view.frmMain, prompt, title);
    if (!Store::hasForbiddenCharacter(name))
        return name;
    platform.showMessage(view.frmMain, rule);
    return {};
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
    const QString name =
        askName(QStringLiteral("Please type in a name to add to the database"), QStringLiteral("Add Name"), contactNamesRule);
    if (name.isEmpty())
        return;
    if (!contactFilesFit(category, name)) {
        platform.showMessage(view.frmMain, QStringLiteral("Sorry, that name is too long. Please type a shorter one."));
        return;
    }
    if (listedIgnoringCase(Controls::entries(view.lstNames), name)) {
        platform.showMessage(view.frmMain, QStringLiteral("Sorry, ") + name + QStringLiteral(" is already listed under ")
                                           + category + QStringLiteral(". Please type a different name."));
        return;
    }
    // Files without a listed contact are left by an add that was cut short:
    // they come back with the name. Files of another category's contact whose
    // category and name run together to the same text would be overwritten.
    const bool storedEarlier = ContactFiles::anyExists(category, name);
    if (storedEarlier && ownedByAnotherCategory(Controls::entries(view.cboRelationship), category, name)) {
        platform.showMessage(view.frmMain, QStringLiteral("Sorry, ") + name
                                           + QStringLiteral(" cannot be added: information is already stored under "
                                                            "that name. Please type a different name."));
        return;
    }

    const int row = Controls::insertSorted(view.lstNames, name);
    if (!storeNewContact(category, name, storedEarlier, Controls::entries(view.lstNames))) {
        const QSignalBlocker quiet(view.lstNames);
        delete view.lstNames->takeItem(row);
        tellNotAdded(view, platform, QStringLiteral("name"));
        return;
    }
    view.lstNames->setCurrentRow(row);
    if (storedEarlier)
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

    // The name leaves its list first, then its files go: a crash between
    // the two leaves files nobody lists, never a listed contact without them.
    const QString category = view.currentCategory();
    QStringList names = Controls::entries(view.lstNames);
    names.removeAt(view.lstNames->row(view.lstNames->selectedItems().constFirst()));
    if (!RecordFile::rewriteList(ContactFiles::namesList(category), names)) {
        tellNotRemoved(name);
        return;
    }
    Controls::removeSelected(view.lstNames);
    view.lblName->setText(noContactName);
    picture.ClearPicture();
    ClearDetails();
    DisableDetails();
    if (!ContactFiles::remove(category, name))
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
