#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The address book in the data directory: its categories, each category's
// contact names and each contact's files, and the rules every change keeps
// whoever makes it, the window or an import. Names and categories are kept
// without spaces at either end; two that differ only in letter case are one,
// as they are one file on the disks the data directory may travel to; no two
// contacts, and no contact and a list, ever share a file.
//
// A change of many steps (an import, a removal) is written down beside the
// data directory before its first step, and struck off after its last, so
// that finishInterrupted() completes at the next start what a crash cut
// short: an import's contacts whose files were all stored are listed, the
// rest deleted; a removal is carried out. Files of an add the window was
// making when it stopped are the only ones left for the same name's next add
// to bring back.
class AddressBook
{
public:
    enum class Refusal {
        None,
        Empty,      // nothing is left of it once trimmed
        Forbidden,  // it holds a character the path rule forbids
        TooLong,    // its files' names would be too long
        Listed,     // it is listed already, in some letter case
        Reserved,   // its files would be named as the program's lists are
        Taken,      // a contact of another category has files of the same names
        Unreadable, // its list cannot be read whole, so must not be rewritten
    };

    // A contact to add: the content of each of its files by suffix (the
    // picture file aside), and the bytes and usual suffix of its picture,
    // which is kept in the program's own folder beside the data directory.
    struct NewContact
    {
        QString category;
        QString name;
        QHash<QString, QByteArray> files;
        QByteArray picture;
        QString pictureSuffix;
        // Files an add cut short left under the name: they stay as they are.
        bool storedEarlier = false;
    };

    // What a removal did.
    enum class Removal {
        NotRemoved, // its list could not be stored: nothing changed
        Removed,
        FilesLeft,  // taken off its list, but not every file could be deleted
    };

    explicit AddressBook(const QStringList &categories);
    // The book as the list of categories holds it; none when that list
    // cannot be read whole.
    static std::optional<AddressBook> read();

    // A name or category as it is kept.
    static QString tidy(const QString &text) { return text.trimmed(); }

    const QStringList &categories() const { return m_categories; }
    // The listed category that is category in some letter case; empty when none is.
    QString listedCategory(const QString &category) const;
    // The names a category lists, when they are in hand already (the window
    // shows them); otherwise they are read when first needed.
    void setNames(const QString &category, const QStringList &names);

    // Whether a new category (tidied) can be added, and then notes it.
    Refusal checkCategory(const QString &category) const;
    void noteCategory(const QString &category);
    // Whether a new contact (tidied) can be added to a listed or noted
    // category, and then notes it, so that a later one is checked against it.
    // storedEarlier tells that files of an add cut short are there.
    Refusal checkContact(const QString &category, const QString &name, bool &storedEarlier);
    void noteContact(const QString &category, const QString &name);

    // The list of categories in the window's order, with a category added.
    static bool storeCategories(const QStringList &categories);
    // One contact and the names list that lists it, in the window's order,
    // as one group: its files first, the list last, all or nothing.
    static bool storeContact(const NewContact &contact, const QStringList &names);
    // How many contacts to store together: the more, the fewer the syncs,
    // as far as the limit of open files allows.
    static qsizetype contactsPerGroup();
    // Contacts checked and noted with this book, stored as one group, each
    // whole or not at all, after they are written down with those stored
    // before them; whether each was stored.
    QList<bool> storeContacts(const QList<const NewContact *> &group);
    // Then lists those stored, each list rewritten once, and strikes the
    // change off. The categories whose contacts could not be listed; their
    // files are deleted again.
    QStringList listStored();

    // A contact off its category's list (in the window's order), then its files.
    static Removal removeContact(const QString &category, const QString &name, const QStringList &names);
    // A category off the list of categories (the window's, without it), then
    // its names list and its contacts' files.
    static Removal removeCategory(const QString &category, const QStringList &categories, const QStringList &names);

    // Completes a change a crash cut short; the program calls it at start,
    // before it reads a list.
    static void finishInterrupted();

private:
    struct Names
    {
        QStringList listed;
        QSet<QString> folded; // made at the second look-up: one costs less without
        bool lookedUp = false;
        bool readWhole = true;
        bool has(const QString &name);
    };
    Names &names(const QString &category);

    QStringList m_categories;
    QHash<QString, Names> m_names;
    QStringList m_adding; // the change written down: category, name and picture file of each contact stored
    QHash<QString, QStringList> m_stored; // the names stored, by category
};
