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

} // namespace

void Book::LoadCategories()
{
    QStringList categories;
    RecordFile::readList(Store::dataFile(FileName::RelationsList), categories);
    Controls::addSorted(frm.cboRelationship, categories);
}

void Book::cboRelationship_Click()
{
    Controls::clear(frm.lstNames);
    frm.lblName->setText(noContactName);
    Controls::clear(frm.lstChildren);
    LoadNames();
    frm.picture.ClearPicture();
    Controls::setText(frm.txtBirthday, {});
    Controls::setText(frm.txtAddress, {});
    Controls::setText(frm.txtDrivingDirections, {});
    Controls::setText(frm.txtHome, {});
    Controls::setText(frm.txtCell, {});
    Controls::setText(frm.txtWork, {});
    Controls::setText(frm.txtFax, {});
    Controls::setText(frm.txtEmail, {});
    Controls::setText(frm.txtNumNotes, {});
    Controls::setText(frm.txtRelation, {});
    frm.lstNames->setEnabled(true);
    frm.cmdAddName->setEnabled(true);
    frm.cmdRemoveName->setEnabled(true);
    DisableDetails();
}

void Book::cmdAddRelationship_Click()
{
    const QString category = frm.platform.inputBox(&frm, QStringLiteral("Please type in a new relationship category"),
                                                   QStringLiteral("Add relationship category"));
    if (hasForbiddenCharacter(category)) {
        frm.platform.showMessage(&frm, categoryNamesRule);
        return;
    }
    if (category.isEmpty())
        return;
    // The category's names file and the files of its contacts must all be nameable.
    if (!Store::fitsFileName(FileName::NamesList, category) || !contactFilesFit(category, QStringLiteral("x"))) {
        frm.platform.showMessage(&frm, QStringLiteral("Sorry, that category name is too long. Please type a shorter one."));
        return;
    }

    const int row = Controls::insertSorted(frm.cboRelationship, category);
    frm.lstNames->setEnabled(true);
    frm.cmdAddName->setEnabled(true);
    frm.cmdRemoveName->setEnabled(true);
    if (!frm.saveAddedList(Store::dataFile(FileName::RelationsList), Controls::entries(frm.cboRelationship),
                  QStringLiteral("category"))) {
        const QSignalBlocker quiet(frm.cboRelationship);
        const int selected = frm.cboRelationship->currentIndex();
        frm.cboRelationship->removeItem(row);
        frm.cboRelationship->setCurrentIndex(selected < 0 ? -1 : (selected > row ? selected - 1 : selected));
        return;
    }

    // Choosing the entry by its text selects the first of equal entries.
    const int index = frm.cboRelationship->findText(category);
    if (index == frm.cboRelationship->currentIndex())
        cboRelationship_Click();
    else
        frm.cboRelationship->setCurrentIndex(index);
    Controls::clear(frm.lstChildren);
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
    if (!RecordFile::rewriteList(Store::dataFile(FileName::RelationsList), Controls::entries(frm.cboRelationship)))
        return;
    ClearDetails();
    frm.lblName->setText(noContactName);
    DisableDetails();
}

void Book::LoadNames()
{
    QStringList names;
    RecordFile::readList(namesFile(frm.currentCategory()), names);
    Controls::addSorted(frm.lstNames, names);
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
    const QString name = frm.platform.inputBox(&frm, QStringLiteral("Please type in a name to add to the database"),
                                               QStringLiteral("Add Name"));
    if (hasForbiddenCharacter(name)) {
        frm.platform.showMessage(&frm, contactNamesRule);
        return;
    }
    if (name.isEmpty())
        return;
    const QString category = frm.currentCategory();
    if (!contactFilesFit(category, name)) {
        frm.platform.showMessage(&frm, QStringLiteral("Sorry, that name is too long. Please type a shorter one."));
        return;
    }
    // A contact whose files exist already, whether listed here or made of
    // another category and name that run together to the same text, would
    // have its information overwritten.
    if (anyContactFileExists(category, name)) {
        frm.platform.showMessage(&frm, QStringLiteral("Sorry, ") + name
                                           + QStringLiteral(" cannot be added: information is already stored under "
                                                            "that name. Please type a different name."));
        return;
    }

    const int row = Controls::insertSorted(frm.lstNames, name);
    if (!frm.saveAddedList(namesFile(category), Controls::entries(frm.lstNames), QStringLiteral("name"))) {
        const QSignalBlocker quiet(frm.lstNames);
        delete frm.lstNames->takeItem(row);
        return;
    }

    frm.lstNames->setCurrentRow(row);
    // The new contact's files are stored together: one sync for all of them
    // instead of one each, and the numbers file once rather than per number.
    RecordFile::WriteGroup newContact;
    frm.details.txtBirthday_Change();
    frm.details.SaveDependants();
    frm.details.txtAddress_Change();
    frm.details.txtDrivingDirections_Change();
    frm.details.txtHome_Change();
    frm.details.txtCell_Change();
    frm.details.txtWork_Change();
    frm.details.txtFax_Change();
    frm.details.txtEmail_Change();
    frm.details.txtNumNotes_Change();
    frm.details.txtRelation_Change();
    newContact.commit();
    ClearDetails();
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
