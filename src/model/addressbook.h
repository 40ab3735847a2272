#pragma once

#include "model/colorscheme.h"
#include "store/recordfile.h"
#include "store/vcard.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class DataWatcher;

// The address book in the data directory: its categories, each category's
// contact names, the files of the contact shown, the colour scheme, and the rules every change
// keeps whoever makes it, the window or an import. Names and categories are
// kept without spaces at either end; two that differ only in letter case are
// one, as they are one file on the disks the data directory may travel to;
// no two contacts, and no contact and a list, ever share a file. Lists are
// kept in the window's order (see Order), and read when first needed: the
// categories at load(), a category's names when it is first asked for, a
// contact's files when it is opened.
//
// Every change goes through the one writer and is told to observers by the
// signals below, whoever made it: the book's own operations, or another
// program changing the files (once watch() is on), which is picked up
// without ever writing the older version back over it.
//
// A change of many steps (an import, a removal, a rename) is written down
// beside the data directory before its first step, and struck off after its
// last, so that finishInterrupted() completes at the next start what a crash
// cut short: an import's contacts whose files were all stored are listed, the
// rest deleted; a removal is carried out; a rename is finished once its new
// name is listed, and undone before. Files of an add the window was
// making when it stopped are the only ones left for the same name's next add
// to bring back.
class AddressBook : public QObject
{
    Q_OBJECT

public:
    enum class Refusal {
        None,
        Empty,      // nothing is left of it once trimmed
        Forbidden,  // it holds a character the path rule forbids
        TooLong,    // its files' names would be too long
        Listed,     // it is listed already, in some letter case
        Repeated,   // it was noted already (a card in an imported file twice)
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
        // The card it came in as, kept beside the data directory with its
        // files; a contact the window adds has none.
        Vcard::Card kept = {};
        // Files an add cut short left under the name: they stay as they are.
        bool storedEarlier = false;
    };

    // What an add or a rename did: refused, or tried and then stored or not.
    struct Added
    {
        Refusal refusal = Refusal::None;
        bool stored = false;
        bool storedEarlier = false; // files an add cut short left were brought back
        int row = -1;               // where it is listed
    };

    // What a removal did.
    enum class Removal {
        NotRemoved, // its list could not be stored: nothing changed
        Removed,
        FilesLeft,  // taken off its list, but not every file could be deleted
    };

    explicit AddressBook(QObject *parent = nullptr);
    ~AddressBook() override;

    // Reads the list of categories; false when it cannot be read whole, and
    // so categories are neither added nor removed until it can.
    bool load();
    bool categoriesWhole() const { return m_categoriesWhole; }

    // A name or category as it is kept.
    static QString tidy(const QString &text) { return text.trimmed(); }
    // Why a contact is not added, as a summary says it.
    static QString reason(Refusal refusal, const QString &category);

    const QStringList &categories() const { return m_categories; }
    // The listed category that is category in some letter case; empty when none is.
    QString listedCategory(const QString &category) const;
    // A category's names, read when first asked for; namesWhole tells
    // whether its list was read whole, so that names may be added and removed.
    const QStringList &names(const QString &category) { return namesOf(category).listed; }
    bool namesWhole(const QString &category) { return namesOf(category).readWhole; }
    // Whether the category lists the name in any letter case, and whether it is among those noted for a change
    // under way, not yet stored.
    bool listed(const QString &category, const QString &name) { return namesOf(category).has(name); }
    bool noted(const QString &category, const QString &name) { return namesOf(category).noted.contains(name.toCaseFolded()); }

    // The person's operations. An add checks the rules, then stores; a
    // removal takes the entry off its list, then deletes its files.
    Added addCategory(const QString &category);
    Added addContact(NewContact contact);
    Removal removeCategory(const QString &category);
    Removal removeContact(const QString &category, const QString &name);
    // A rename keeps the add's rules, but for letter case alone, and moves
    // every file of what it renames (the kept cards, and pictures the program
    // keeps, with them) to the new name before the new name is listed. It is
    // told as the old name's removal and the new one's add.
    Added renameCategory(const QString &category, const QString &newCategory);
    Added renameContact(const QString &category, const QString &name, const QString &newName);
    // A contact's files, picture and kept card replaced by those of another
    // version of its card (a sync receiving it). Under the same name they
    // are stored over the old ones; under another name or category (the card
    // renamed or moved elsewhere) the contact is added there by the rules of
    // an add, then removed here, written down first so that a crash leaves
    // one of the two and never both. Not while contacts stored together wait
    // to be listed: their change is written down until then.
    Added replaceContact(const QString &category, const QString &name, NewContact contact);

    // The contact shown: its files read when it is opened; an empty name
    // opens none. A file that is missing reads as empty fields.
    void openContact(const QString &category, const QString &name);
    const QString &openCategory() const { return m_open.category; }
    const QString &openName() const { return m_open.name; }
    // The fields of one of its files, in record order (a list file: its
    // entries); false when the file exists but cannot be read, and so must
    // not be written over.
    bool fields(const QString &suffix, QStringList &values) const;
    // A field changed (typed): its file is rewritten in the background from
    // the book's fields, so what another program wrote into the others stays.
    void setField(const QString &suffix, int index, const QString &value);
    // The picture the contact's "Pic" file names, where it is now; empty for none.
    const QString &picture() const { return m_open.picture; }
    // A picture chosen for it, stored in the background.
    void setPicture(const QString &path);
    // A list file's entries (dependants): stored before this returns, or in
    // the background (as typing is); whether they were (or were queued).
    bool setList(const QString &suffix, const QStringList &entries, RecordFile::Mode mode);

    // The steps of an import, one card at a time: whether a new category or
    // contact (tidied) can be added, then noting it, so that a later one is
    // checked against it. storedEarlier tells that files of an add cut short
    // are there.
    Refusal checkCategory(const QString &category) const;
    void noteCategory(const QString &category);
    Refusal checkContact(const QString &category, const QString &name, bool &storedEarlier);
    void noteContact(const QString &category, const QString &name);
    // For thousands of contacts checked in one go: the files of adds cut
    // short are looked for in one listing of the folder, taken now and held
    // until listStored(), not eight look-ups a contact.
    void listFilesThere();
    // How many contacts to store together: the more, the fewer the syncs,
    // as far as the limit of open files allows.
    static qsizetype contactsPerGroup();
    // Contacts checked and noted with this book, stored as one group, each
    // whole or not at all, after they are written down with those stored
    // before them; whether each was stored. Each keeps its card, given a
    // UID when it has none, as one of its files.
    QList<bool> storeContacts(const QList<const NewContact *> &group);
    // Then lists those stored, each list rewritten once, and strikes the
    // change off. The categories whose contacts could not be listed; their
    // files are deleted again. The book then holds the lists as stored.
    QStringList listStored();
    // Why the first of the contacts stored or listed by this book that could
    // not be was not (an errno value); 0 while none failed.
    int firstError() const { return m_error; }

    // Completes a change a crash cut short; the program calls it at start,
    // before it reads a list.
    static void finishInterrupted();

    // The colour scheme the windows are painted in.
    ColorScheme &colors() { return m_colors; }

    // Picks up what other programs change in the data directory, from now on.
    void watch();
    // Reads again the files named (in the data directory), as far as the
    // book holds them; an empty set reads again everything it holds.
    void reread(const QSet<QString> &fileNames);

signals:
    void categoryAdded(const QString &category, int row);
    void categoryRemoved(const QString &category, int row);
    // The list of categories is another now: read again after a change from outside.
    void categoriesReset();
    // An entry added or removed, by the book or another program; rows are
    // as each step leaves the list.
    void nameAdded(const QString &category, const QString &name, int row);
    void nameRemoved(const QString &category, const QString &name, int row);
    // A names list another program changed in many places, read again.
    void namesReset(const QString &category);
    // A file of the open contact holds other fields now: stored by the book
    // (a list), or changed by another program (outside).
    void contactFileChanged(const QString &suffix, bool outside);
    // A field or the picture of the open contact set here (typed): stored behind.
    void contactEdited();
    // Files in the data directory were read again: written by another program,
    // or by a sync storing a contact's new version (any contact's, open or
    // not). Empty: any file may have changed.
    void filesChanged(const QSet<QString> &fileNames);

private:
    struct Names
    {
        QStringList listed;
        QSet<QString> folded; // made at the second look-up: one costs less without
        QSet<QString> noted; // folded, the names noted since
        bool lookedUp = false;
        bool readWhole = true;
        bool has(const QString &name);
    };
    Names &namesOf(const QString &category);
    // A contact of a category other than category (in any letter case) has the files of name in category.
    bool taken(const QString &category, const QString &name);
    bool leftBehind(const QString &category, const QString &name) const;
    bool readCategories(QStringList &categories);
    void readContactFile(const QString &suffix);
    void rereadOpenContact(const QSet<QString> &fileNames);
    void readPicture();

    struct Contact
    {
        QString category, name;
        QHash<QString, QStringList> fields; // by suffix
        QSet<QString> unreadable;
        QString picture;
    };

    QStringList m_categories;
    QStringList m_notedCategories; // since the last listStored()
    std::optional<QSet<QString>> m_filesThere; // see listFilesThere()
    bool m_categoriesWhole = true;
    QHash<QString, Names> m_names;
    Contact m_open;
    QStringList m_adding; // the change written down: category, name and picture file of each contact stored
    QHash<QString, QStringList> m_stored; // the names stored, by category
    int m_error = 0;
    ColorScheme m_colors;
    std::unique_ptr<DataWatcher> m_watcher;
};
