#include "book/book.h"

#include "app/frmmain.h"
#include "platform/platform.h"
#include "store/paths.h"
#include "store/recordfile.h"

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

// Characters that cannot be part of a file name on the systems the data
// directory may travel to, and the double quote, which the file encoding
// cannot carry inside a value.
bool hasForbiddenCharacter(const QString &text)
{
    static const QString forbidden = QStringLiteral("\\/:*?<>|\"");
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return forbidden.contains(c); });
}

// Whether every file of the contact would have a name the file system takes.
bool contactFilesFit(const QString &category, const QString &name)
{
    return std::all_of(FileName::contactSuffixes.cbegin(), FileName::contactSuffixes.cend(),
                       [&](const QString &suffix) { return Store::fitsFileName(category, name, suffix); });
}

bool anyContactFileExists(const QString &category, const QString &name)
{
    return std::any_of(FileName::contactSuffixes.cbegin(), FileName::contactSuffixes.cend(),
                       [&](const QString &suffix) {
                           return RecordFile::exists(Store::dataFile(category, name, suffix));
                       });
}

bool deleteContactFiles(const QString &category, const QString &name)
{
    for (const QString &suffix : FileName::contactSuffixes) {
        if (!RecordFile::remove(Store::dataFile(category, name, suffix)))
            return false;
    }
    return true;
}

QString namesFile(const QString &category)
{
    return Store::dataFile(FileName::NamesList, category);
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
        if (!RecordFile::readList(namesFile(other), names) && RecordFile::exists(namesFile(other)))
            return true;
        if (names.contains(joined.mid(other.size())))
            return true;
    }
    return false;
}

// A new contact's files, each holding its empty value, stored together or
// not at all.
bool storeEmptyContact(const QString &category, const QString &name)
{
    RecordFile::WriteGroup group;
    bool written = true;
    for (const QString &suffix :
         {FileName::Birthday, FileName::Address, FileName::DrivingDirections, FileName::NumbNotes, FileName::Relation})
        written = RecordFile::rewriteRecord(Store::dataFile(category, name, suffix), {QString()}) && written;
    written = RecordFile::rewriteRecord(Store::dataFile(category, name, FileName::Numbers), QStringList(5)) && written;
    written = RecordFile::rewriteList(Store::dataFile(category, name, FileName::DependantsList), {}) && written;
    const bool placed = group.commit();
    if (written && placed)
        return true;
    deleteContactFiles(category, name);
    return false;
}

} // namespace

void Book::LoadCategories()
{
    const QString file = Store::dataFile(FileName::RelationsList);
    QStringList categories;
    const bool whole = readWholeList(file, categories, QStringLiteral("list of categories"));
    Controls::addSorted(frm.cboRelationship, categories);
    frm.cmdAddRelationship->setEnabled(whole);
    frm.cmdRemoveRelationship->setEnabled(whole);
}

void Book::cboRelationship_Click()
{
    Controls::clear(frm.lstNames);
    frm.lblName->setText(noContactName);
    Controls::clear(frm.lstChildren);
    const bool whole = LoadNames();
    frm.picture.ClearPicture();
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
        frm.platform.showMessage(&frm, QStringLiteral("Sorry, that category name is too long. Please type a shorter one."));
        return;
    }
    if (listedIgnoringCase(Controls::entries(frm.cboRelationship), category)) {
        frm.platform.showMessage(&frm, QStringLiteral("Sorry, there is already a category called ") + category
                                           + QStringLiteral(". Please type a different name."));
        return;
    }

    const int row = Controls::insertSorted(frm.cboRelationship, category);
    if (!frm.saveAddedList(Store::dataFile(FileName::RelationsList), Controls::entries(frm.cboRelationship),
                           QStringLiteral("category"))) {
        const QSignalBlocker quiet(frm.cboRelationship);
        const int selected = frm.cboRelationship->currentIndex();
        frm.cboRelationship->removeItem(row);
        frm.cboRelationship->setCurrentIndex(selected < 0 ? -1 : (selected > row ? selected - 1 : selected));
        return;
    }
    // Inserting moved any selection on, so choosing the new entry always runs the click.
    frm.cboRelationship->setCurrentIndex(row);
    frm.cmdAddName->setFocus();
}

void Book::cmdRemoveRelationship_Click()
{
    const QString category = frm.currentCategory();
    if (category.isEmpty()) {
        frm.platform.showMessage(&frm, QStringLiteral("Please select a category to remove."));
        return;
    }
    if (!frm.platform.askYesNo(&frm,
                               QStringLiteral("This will delete all the names and information under the category, ")
                                   + category + QStringLiteral(". Are you sure?"),
                               deleteTitle))
        return;

    if (frm.lstNames->count() > 0) {
        for (const QString &name : Controls::entries(frm.lstNames)) {
            if (!deleteContactFiles(category, name))
                return;
        }
        if (!RecordFile::remove(namesFile(category)))
            return;
    }
    Controls::removeSelected(frm.cboRelationship);
    Controls::clear(frm.lstNames);
    setNamesEnabled(false);
    if (!RecordFile::rewriteList(Store::dataFile(FileName::RelationsList), Controls::entries(frm.cboRelationship)))
        return;
    ClearDetails();
    frm.lblName->setText(noContactName);
    DisableDetails();
}

bool Book::LoadNames()
{
    const QString category = frm.currentCategory();
    QStringList names;
    const bool whole = readWholeList(namesFile(category), names, QStringLiteral("list of names of ") + category);
    Controls::addSorted(frm.lstNames, names);
    return whole;
}

// Names are added and removed only while a category is selected whose names
// list was read whole: rewriting a list read in part would drop the rest.
void Book::setNamesEnabled(bool namesListReadWhole)
{
    const bool selected = frm.cboRelationship->currentIndex() >= 0;
    frm.lstNames->setEnabled(selected);
    frm.cmdAddName->setEnabled(selected && namesListReadWhole);
    frm.cmdRemoveName->setEnabled(selected && namesListReadWhole);
}

bool Book::readWholeList(const QString &file, QStringList &entries, const QString &what)
{
    if (RecordFile::readList(file, entries) || !RecordFile::exists(file))
        return true;
    frm.platform.showMessage(&frm, QStringLiteral("Sorry, the ") + what + QStringLiteral(" in ") + Store::dataDir()
                                       + QStringLiteral(" cannot be read, so nothing can be added to it or removed "
                                                        "from it until it can."));
    return false;
}

QString Book::askName(const QString &prompt, const QString &title, const QString &rule)
{
    const QString name = frm.platform.inputBox(&frm, prompt, title);
    if (!hasForbiddenCharacter(name))
        return name;
    frm.platform.showMessage(&frm, rule);
    return {};
}

void Book::lstNames_Click()
{
    frm.lblName->setText(frm.currentName());
    EnableDetails();
    Controls::clear(frm.lstChildren);
    frm.details.LoadBirthday();
    frm.details.LoadDependants();
    frm.details.LoadAddress();
    frm.details.LoadDrivingDirections();
    frm.details.LoadNumbers();
    frm.details.LoadNumbNotes();
    frm.details.LoadRelation();
    frm.picture.ClearPicture();
    frm.picture.ShowPicture();
}

void Book::cmdAddName_Click()
{
    const QString category = frm.currentCategory();
    if (category.isEmpty())
        return;
    const QString name =
        askName(QStringLiteral("Please type in a name to add to the database"), QStringLiteral("Add Name"), contactNamesRule);
    if (name.isEmpty())
        return;
    if (!contactFilesFit(category, name)) {
        frm.platform.showMessage(&frm, QStringLiteral("Sorry, that name is too long. Please type a shorter one."));
        return;
    }
    if (listedIgnoringCase(Controls::entries(frm.lstNames), name)) {
        frm.platform.showMessage(&frm, QStringLiteral("Sorry, ") + name + QStringLiteral(" is already listed under ")
                                           + category + QStringLiteral(". Please type a different name."));
        return;
    }
    // Files without a listed contact are left by an add that was cut short:
    // they come back with the name. Files of another category's contact whose
    // category and name run together to the same text would be overwritten.
    const bool storedEarlier = anyContactFileExists(category, name);
    if (storedEarlier && ownedByAnotherCategory(Controls::entries(frm.cboRelationship), category, name)) {
        frm.platform.showMessage(&frm, QStringLiteral("Sorry, ") + name
                                           + QStringLiteral(" cannot be added: information is already stored under "
                                                            "that name. Please type a different name."));
        return;
    }

    // The contact's files first and the names list last, so that a contact
    // is never listed without its files.
    if (!storedEarlier && !storeEmptyContact(category, name)) {
        frm.tellNotAdded(QStringLiteral("name"));
        return;
    }
    const int row = Controls::insertSorted(frm.lstNames, name);
    if (!frm.saveAddedList(namesFile(category), Controls::entries(frm.lstNames), QStringLiteral("name"))) {
        const QSignalBlocker quiet(frm.lstNames);
        delete frm.lstNames->takeItem(row);
        if (!storedEarlier)
            deleteContactFiles(category, name);
        return;
    }
    frm.lstNames->setCurrentRow(row);
    if (storedEarlier)
        frm.platform.showMessage(&frm, QStringLiteral("Information stored earlier under ") + name
                                           + QStringLiteral(" was found and has been brought back."));
}

void Book::cmdRemoveName_Click()
{
    const QString name = frm.currentName();
    if (name.isEmpty()) {
        frm.platform.showMessage(&frm, QStringLiteral("Please select a name to remove."));
        return;
    }
    if (!frm.platform.askYesNo(&frm,
                               QStringLiteral("This will delete all information you have on ") + name
                                   + QStringLiteral(". Are you sure?"),
                               deleteTitle))
        return;

    const QString category = frm.currentCategory();
    if (!deleteContactFiles(category, name))
        return;
    Controls::removeSelected(frm.lstNames);
    frm.lblName->setText(noContactName);
    frm.picture.ClearPicture();
    ClearDetails();
    DisableDetails();
    RecordFile::rewriteList(namesFile(category), Controls::entries(frm.lstNames));
}

std::array<QWidget *, 16> Book::detailControls() const
{
    return {frm.txtAddress, frm.txtDrivingDirections, frm.txtBirthday,   frm.chkPic,
            frm.lstChildren, frm.cmdAddChildren,      frm.cmdRemoveChildren, frm.txtHome,
            frm.txtCell,    frm.txtWork,             frm.txtFax,         frm.txtEmail,
            frm.txtNumNotes, frm.txtRelation,        frm.cmdPrintScreen, frm.cmdPrintText};
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
    Controls::setText(frm.txtBirthday, {});
    Controls::clear(frm.lstChildren);
    Controls::setText(frm.txtAddress, {});
    Controls::setText(frm.txtDrivingDirections, {});
    Controls::setText(frm.txtHome, {});
    Controls::setText(frm.txtCell, {});
    Controls::setText(frm.txtWork, {});
    Controls::setText(frm.txtFax, {});
    Controls::setText(frm.txtEmail, {});
    Controls::setText(frm.txtNumNotes, {});
    Controls::setText(frm.txtRelation, {});
}
