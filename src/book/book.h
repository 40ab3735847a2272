#pragma once

#include "model/addressbook.h"

#include <QString>
#include <QStringList>

#include <QWidgetList>

class Details;
struct MainView;
class Picture;
class Platform;

// Categories and contact names: the main window's handlers for choosing,
// adding and removing them, and for enabling and emptying the detail controls.
class Book
{
public:
    Book(MainView &view, Platform &platform, AddressBook &addressBook, Details &details, Picture &picture)
        : view(view), platform(platform), addressBook(addressBook), details(details), picture(picture)
    {
    }

    // Categories.
    void LoadCategories();
    void cboRelationship_Click();
    void cmdAddRelationship_Click();
    void cmdRemoveRelationship_Click();
    void mnuRenameRelationship_Click();

    // Contact names. LoadNames tells whether the names list was read whole.
    bool LoadNames();
    void lstNames_Click();
    void cmdAddName_Click();
    void cmdRemoveName_Click();
    void mnuRenameName_Click();
    // Chooses the category and then the name, as the user's clicks do.
    void showContact(const QString &category, const QString &name);

    void EnableDetails();
    void DisableDetails();
    void ClearDetails();

    // The controls that show or act on the selected contact.
    QWidgetList detailControls() const;

    static const QString noContactName;
    static const QString categoryNamesRule;
    static const QString contactNamesRule;

    void setNamesEnabled(bool namesListReadWhole);

    // The lists follow the address book: an entry added or removed, or a
    // list another program changed, which keeps the category and name chosen
    // where they are still listed.
    void categoryAdded(const QString &category);
    void categoryRemoved(int row);
    void categoriesReset();
    void nameAdded(const QString &category, const QString &name, int row);
    void nameRemoved(const QString &category, const QString &name, int row);
    void namesReset(const QString &category);

private:
    void setDetailsEnabled(bool enabled);
    // Tells the user that a list cannot be read whole, if so; whether it was.
    bool toldIfUnreadable(bool whole, const QString &what);
    // The effects of the chosen category or contact going: none shown.
    void noCategory();
    void noContact();
    // Asks for a category or contact name, as it is kept; text fills the box in.
    QString askName(const QString &prompt, const QString &title, const QString &text = {});
    // Tells the user why name cannot be added, if it cannot: the rule, that
    // the name (what) is too long, or the message that it is listed.
    bool refused(AddressBook::Refusal refusal, const QString &name, const QString &rule, const QString &what,
                 const QString &listed);
    bool refusedCategory(AddressBook::Refusal refusal, const QString &category);
    bool refusedName(AddressBook::Refusal refusal, const QString &category, const QString &name);
    // Tells the user that what was to be renamed keeps its name, its files not moved.
    void tellNotRenamed(const QString &what);
    // Tells the user that what was to be removed stays, its list not saved.
    void tellNotRemoved(const QString &what);
    // Tells the user that files of what was removed are left in the data directory.
    void tellNotDeleted(const QString &what);

    MainView &view;
    Platform &platform;
    AddressBook &addressBook;
    Details &details;
    Picture &picture;
};
