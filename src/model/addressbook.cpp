#include "model/addressbook.h"

#include "model/contactfields.h"
#include "model/datawatcher.h"

#include "store/contactfiles.h"
#include "store/keptcards.h"
#include "store/order.h"
#include "store/paths.h"
#include "store/recordfile.h"
#include "store/saver.h"

#include <QDir>
#include <QFile>

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <functional>

namespace {

// The kinds of change written down, the first entry of the record.
// Then for each contact its category, name and picture's file in the
// program's folder (empty for none). An earlier version's adds named each
// file only once it was whole; these make them in place, and so say first
// how many of the contacts listed were synced: files of those after may
// have been cut mid-write.
const QString adding = QStringLiteral("add");
const QString addingInPlace = QStringLiteral("add, in place");
const QString removing = QStringLiteral("remove");
const QString removingCategory = QStringLiteral("remove category");
// Then the category before and after, and for each contact its name before
// and after and its picture's file in the program's folder before and after
// (empty for a picture the program does not keep).
const QString renaming = QStringLiteral("rename");
const QString moving = QStringLiteral("move");

QString relationsList()
{
    return Store::dataFile(FileName::RelationsList);
}

// Beside the data directory: the data directory holds the data files alone.
QString changeRecord()
{
    return QDir::cleanPath(Store::dataDir() + QStringLiteral("../Unfinished"));
}

// Imported pictures are kept in a folder of the program's own beside the
// data directory (Store::picturesDir), each under its contact's file name;
// the picture file names it. The folder is made private at the first picture.
bool makePictureFolder()
{
    if (!QDir().mkpath(Store::picturesDir()))
        return false;
    QFile::setPermissions(Store::picturesDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return true;
}

QString pictureFile(const AddressBook::NewContact &contact)
{
    return contact.picture.isEmpty() ? QString() : contact.category + contact.name + u'.' + contact.pictureSuffix;
}

bool contactFilesFit(const QString &category, const QString &name)
{
    return std::ranges::all_of(FileName::contactSuffixes,
                               [&](const QString &suffix) { return Store::fitsFileName(category, name, suffix); });
}

// Every file whose name begins so is one of the program's lists, or may become one.
bool reserved(const QString &fileName)
{
    return fileName.startsWith(FileName::NamesList, Qt::CaseInsensitive);
}

// Whether the contact's files are all stored: those given, its kept card
// (every imported contact has one), and its picture with the file naming it.
bool complete(const QString &category, const QString &name, const QStringList &suffixes, const QString &picture,
              const QString &pictureFolder)
{
    return std::ranges::all_of(suffixes, [&](const QString &suffix) {
        return RecordFile::exists(Store::dataFile(category, name, suffix));
    }) && RecordFile::exists(KeptCards::file(category, name))
           && (picture.isEmpty() || (RecordFile::exists(Store::dataFile(category, name, FileName::Pic))
                                     && QFile::exists(pictureFolder + picture)));
}

void deleteFiles(const QString &category, const QString &name, const QString &picture, const QString &pictureFolder)
{
    ContactFiles::remove(category, name);
    if (!picture.isEmpty())
        QFile::remove(pictureFolder + picture);
}

// A list stored at once; why it could not be (an errno value), 0 once it is.
int storeList(const QString &list, const QStringList &entries)
{
    RecordFile::WriteGroup write;
    RecordFile::rewriteList(list, entries);
    write.commit();
    return write.error();
}

// A change is written down, stored, before its first step; 0 once it is,
// else why not (an errno value).
int writeDown(const QStringList &record)
{
    return storeList(changeRecord(), record);
}

// Struck off once its last step is on the disk, before anything else changes.
void strikeOff()
{
    RecordFile::remove(changeRecord());
}

// Stores contacts' files, pictures and kept cards, then a list when one is
// given, as one group; whether each contact was stored whole (with the list),
// and why the first was not (an errno value) in error. Files of one that was
// not are deleted again, unless they were there before.
QList<bool> storeGroup(const QList<const AddressBook::NewContact *> &group, int &error, RecordFile::Mode fresh,
                       const QString &list = {}, const QStringList &entries = {})
{
    const bool pictures = std::ranges::any_of(group, [](const auto *contact) { return !contact->picture.isEmpty(); });
    const bool folderMade = pictures && makePictureFolder();
    error = pictures && !folderMade ? errno : 0;
    const QString folder = Store::picturesDir();
    // A group stored without its list is an import's: each contact keeps its card.
    const bool keepCards = list.isEmpty();
    bool committed = false;
    bool cardsKept = true; // without its card, a contact would lose on export what the window does not show
    {
        RecordFile::WriteGroup writes;
        // No file of a contact not stored earlier was found, and its card and
        // picture are named after it: each is made without looking first.
        for (const AddressBook::NewContact *contact : group) {
            if (contact->storedEarlier)
                continue;
            for (auto file = contact->files.cbegin(); file != contact->files.cend(); ++file)
                RecordFile::rewriteBytes(Store::dataFile(contact->category, contact->name, file.key()), file.value(),
                                         fresh);
            if (keepCards) {
                Vcard::Card kept = contact->kept;
                KeptCards::giveUid(kept);
                if (cardsKept && !KeptCards::keep(contact->category, contact->name, kept, fresh)) {
                    cardsKept = false;
                    error = error ? error : errno;
                }
            }
            if (!contact->picture.isEmpty() && folderMade) {
                RecordFile::rewriteBytes(folder + pictureFile(*contact), contact->picture, fresh);
                RecordFile::rewriteBytes(Store::dataFile(contact->category, contact->name, FileName::Pic),
                                         RecordFile::encodeValue(folder + pictureFile(*contact)), fresh);
            }
        }
        const bool listed = list.isEmpty() || RecordFile::rewriteList(list, entries);
        committed = writes.commit() && listed;
        error = error ? error : writes.error();
    }
    QList<bool> stored;
    for (const AddressBook::NewContact *contact : group) {
        const QString picture = pictureFile(*contact);
        // A group committed whole stored every file it was given: only files left from before are looked for.
        const bool whole = (picture.isEmpty() || folderMade) && cardsKept
                           && (list.isEmpty() ? (committed && !contact->storedEarlier)
                                                    || complete(contact->category, contact->name, contact->files.keys(), picture, folder)
                                              : committed);
        if (!whole && !contact->storedEarlier)
            deleteFiles(contact->category, contact->name, picture, folder);
        stored.append(whole);
    }
    return stored;
}

// Lists the names by category: a category missing from the list of
// categories is added to it, then each name its list lacks (in any letter
// case), each list rewritten once. The categories that could not be listed,
// and why the first could not (an errno value) in error.
QStringList listAll(const QHash<QString, QStringList> &joining, int &error)
{
    error = 0;
    QStringList categories;
    if (!ContactFiles::readWhole(relationsList(), categories))
        return joining.keys();
    QStringList added;
    for (const QString &category : joining.keys()) {
        if (!categories.contains(category, Qt::CaseInsensitive))
            added.append(category);
    }
    if (!added.isEmpty() && (error = storeList(relationsList(), Order::sortedIgnoringCase(categories + added))))
        return added;
    QStringList failed;
    for (auto joins = joining.cbegin(); joins != joining.cend(); ++joins) {
        const QString list = ContactFiles::namesList(joins.key());
        QStringList names;
        if (!ContactFiles::readWhole(list, names)) {
            failed.append(joins.key());
            continue;
        }
        QSet<QString> folded;
        for (const QString &name : names)
            folded.insert(name.toCaseFolded());
        const qsizetype before = names.size();
        for (const QString &name : joins.value()) {
            if (!folded.contains(name.toCaseFolded()))
                names.append(name);
        }
        const int listError = names.size() != before ? storeList(list, Order::sortedIgnoringCase(names)) : 0;
        if (listError) {
            failed.append(joins.key());
            error = error ? error : listError;
        }
    }
    return failed;
}

QHash<QString, std::pair<QString, QString>> keptPictures(const QString &category, const QStringList &names,
                                                         const QString &newCategory, const QStringList &newNames);

// A removal's second step, its list being stored without it: the files go,
// the directory synced once for all of them. A category without names keeps
// its names file. The pictures the program keeps for the contacts go first:
// once a Pic file is gone, nothing tells its picture from one of the user's.
AddressBook::Removal deleteAll(const QString &category, const QStringList &names, bool wholeCategory)
{
    const auto pictures = keptPictures(category, names, category, names);
    RecordFile::WriteGroup removal;
    bool deleted = !wholeCategory || names.isEmpty() || RecordFile::remove(ContactFiles::namesList(category));
    for (const auto &picture : pictures)
        deleted = RecordFile::remove(Store::picturesDir() + picture.first) && deleted;
    for (const QString &name : names)
        deleted = ContactFiles::remove(category, name) && deleted;
    deleted = removal.commit() && deleted;
    return deleted ? AddressBook::Removal::Removed : AddressBook::Removal::FilesLeft;
}

// A removal: written down, its list stored without what goes (which a crash
// thus never leaves listed without its files), the files deleted, struck off.
AddressBook::Removal removeListed(const QString &kind, const QString &category, const QStringList &names,
                                  const QString &list, const QStringList &entriesLeft)
{
    if (writeDown(QStringList{kind, category} + names))
        return AddressBook::Removal::NotRemoved;
    const AddressBook::Removal removal = RecordFile::rewriteList(list, entriesLeft)
                                             ? deleteAll(category, names, kind == removingCategory)
                                             : AddressBook::Removal::NotRemoved;
    strikeOff();
    return removal;
}

// The row at which text goes in a list kept in the window's order: after
// every entry that sorts equal, as the window's lists put it.
qsizetype sortedRow(const QStringList &list, const QString &text)
{
    return std::ranges::upper_bound(list, text, Order::lessIgnoringCase) - list.cbegin();
}

// The pictures the program keeps in its folder for the category's contacts
// (named after the contact, as an import names them, and named by its Pic
// file), by name: each one's file name there, and the one it takes under
// the new names.
QHash<QString, std::pair<QString, QString>> keptPictures(const QString &category, const QStringList &names,
                                                         const QString &newCategory, const QStringList &newNames)
{
    QHash<QString, std::pair<QString, QString>> kept;
    const QString folder = Store::picturesDir();
    const QStringList files = QDir(folder).entryList(QDir::Files, QDir::NoSort);
    for (const QString &file : files) {
        if (!file.startsWith(category))
            continue;
        const qsizetype dot = file.lastIndexOf(u'.');
        const qsizetype at = dot > category.size() ? names.indexOf(file.sliced(category.size(), dot - category.size())) : -1;
        QString named;
        if (at < 0 || !RecordFile::readLine(Store::dataFile(category, names[at], FileName::Pic), named)
            || Store::picturePath(named) != folder + file)
            continue;
        kept.insert(names[at], {file, newCategory + newNames[at] + file.sliced(dot)});
    }
    return kept;
}

// Moves a rename's files from one side of its record to the other (to 1:
// to the new names), each Pic file naming its picture where it is then;
// whether all could be. Files no list names that were under the new names
// are deleted first when clear is set, so that none is taken for a moved one.
bool moveRenamed(const QStringList &record, int to, bool clear)
{
    const QString &from = record.value(2 - to), &into = record.value(1 + to);
    const bool wholeCategory = from != into;
    const QString folder = Store::picturesDir();
    RecordFile::WriteGroup moves;
    bool moved = true;
    for (qsizetype i = 3; clear && i + 3 < record.size(); i += 4) {
        moved = ContactFiles::remove(into, record[i + to]) && moved;
        moved = (record[i + 2].isEmpty() || RecordFile::remove(folder + record[i + 2 + to])) && moved;
    }
    if (wholeCategory) {
        moved = (!clear || RecordFile::remove(ContactFiles::namesList(into))) && moved;
        moved = RecordFile::move(ContactFiles::namesList(from), ContactFiles::namesList(into)) && moved;
    }
    for (qsizetype i = 3; i + 3 < record.size(); i += 4) {
        moved = ContactFiles::move(from, record[i + 1 - to], into, record[i + to]) && moved;
        const QString &picture = record[i + 2 + to];
        if (picture.isEmpty())
            continue;
        moved = RecordFile::move(folder + record[i + 3 - to], folder + picture) && moved;
        RecordFile::rewriteValue(Store::dataFile(into, record[i + to], FileName::Pic), folder + picture);
    }
    return moves.commit() && moved;
}

// Puts every file of a rename a crash or a failure cut short under the names
// listed: the new ones once the new name is listed, else the old, listing a
// contact's old name again. Whether all of it could be.
bool settleRename(const QStringList &record)
{
    const QString &category = record.value(1);
    const bool wholeCategory = category != record.value(2);
    const QString list = wholeCategory ? relationsList() : ContactFiles::namesList(category);
    QStringList entries;
    if (!ContactFiles::readWhole(list, entries))
        return false;
    const int to = entries.contains(record.value(wholeCategory ? 2 : 4)) ? 1 : 0;
    if (!moveRenamed(record, to, false))
        return false;
    const QString &name = record.value(3 + to);
    if (wholeCategory || entries.contains(name))
        return true;
    entries.insert(sortedRow(entries, name), name);
    return RecordFile::rewriteList(list, entries);
}

// A rename written down in record, then carried out: a contact's old name
// unlisted (a category's names go with its names list), its files moved, the
// new name listed in list. What a failure cut short is put back.
bool renameListed(const QStringList &record, const QString &list, const QStringList &unlisted,
                  const QStringList &listed, bool caseOnly)
{
    if (writeDown(record))
        return false;
    const bool renamed = (record[1] != record[2] || RecordFile::rewriteList(list, unlisted))
                         && moveRenamed(record, 1, !caseOnly) && RecordFile::rewriteList(list, listed);
    if (renamed || settleRename(record))
        strikeOff();
    return renamed;
}

// An outside change to a names list is told entry by entry while this few
// entries changed, so that the window moves a few rows and keeps the rest
// (with the selection and the scroll position); past it, as a new list.
constexpr qsizetype fewChanges = 64;

// The rows of before to remove and then of after to add that make one into
// the other, each entry kept matched with itself; false past fewChanges, or
// when after is not in the window's order. The order is checked only beside
// what was added: what was kept is in order already.
bool fewChanged(const QStringList &before, const QStringList &after, QList<qsizetype> &removed, QList<qsizetype> &added)
{
    qsizetype i = 0, j = 0;
    while (i < before.size() || j < after.size()) {
        if (i < before.size() && j < after.size() && before[i] == after[j]) {
            ++i, ++j;
            continue;
        }
        if (removed.size() + added.size() == fewChanges)
            return false;
        if (j < after.size() && (i == before.size() || Order::lessIgnoringCase(after[j], before[i])))
            added.append(j++);
        else
            removed.append(i++);
    }
    return std::ranges::none_of(added, [&](qsizetype row) {
        return (row > 0 && Order::lessIgnoringCase(after[row], after[row - 1]))
               || (row + 1 < after.size() && Order::lessIgnoringCase(after[row + 1], after[row]));
    });
}

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

AddressBook::AddressBook(QObject *parent) : QObject(parent) {}

AddressBook::~AddressBook() = default;

bool AddressBook::readCategories(QStringList &categories)
{
    return ContactFiles::readWhole(relationsList(), categories);
}

bool AddressBook::load()
{
    QStringList categories;
    m_categoriesWhole = readCategories(categories);
    m_categories = Order::sortedIgnoringCase(categories);
    m_names.clear();
    return m_categoriesWhole;
}

QString AddressBook::listedCategory(const QString &category) const
{
    const auto same = std::ranges::find_if(m_categories, [&](const QString &listed) {
        return listed.compare(category, Qt::CaseInsensitive) == 0;
    });
    return same == m_categories.cend() ? QString() : *same;
}

bool AddressBook::Names::has(const QString &name)
{
    if (!lookedUp) {
        lookedUp = true;
        return listed.contains(name, Qt::CaseInsensitive);
    }
    if (folded.isEmpty()) {
        for (const QString &entry : listed)
            folded.insert(entry.toCaseFolded());
    }
    return folded.contains(name.toCaseFolded());
}

AddressBook::Names &AddressBook::namesOf(const QString &category)
{
    auto found = m_names.find(category);
    if (found == m_names.end()) {
        found = m_names.insert(category, {});
        found->readWhole = ContactFiles::readWhole(ContactFiles::namesList(category), found->listed);
        found->listed = Order::sortedIgnoringCase(found->listed);
    }
    return *found;
}

AddressBook::Refusal AddressBook::checkCategory(const QString &category) const
{
    if (category.isEmpty())
        return Refusal::Empty;
    if (Store::hasForbiddenCharacter(category))
        return Refusal::Forbidden;
    // The category's names list and the files of its contacts must all be nameable.
    if (!Store::fitsFileName(FileName::NamesList, category) || !contactFilesFit(category, QStringLiteral("x")))
        return Refusal::TooLong;
    if (!listedCategory(category).isEmpty())
        return Refusal::Listed;
    if (reserved(category))
        return Refusal::Reserved;
    return Refusal::None;
}

void AddressBook::noteCategory(const QString &category)
{
    m_categories.append(category);
    m_notedCategories.append(category);
}

QString AddressBook::reason(Refusal refusal, const QString &category)
{
    switch (refusal) {
    case Refusal::Listed:
        return QStringLiteral("already listed in ") + category;
    case Refusal::Repeated:
        return QStringLiteral("in the file twice");
    case Refusal::Taken:
        return QStringLiteral("information is already stored under that name");
    case Refusal::Reserved:
        return QStringLiteral("its files would be named as the program's lists are");
    case Refusal::Unreadable:
        return QStringLiteral("the names of ") + category + QStringLiteral(" cannot be read");
    default:
        return QStringLiteral("the name cannot be used");
    }
}

AddressBook::Refusal AddressBook::checkContact(const QString &category, const QString &name, bool &storedEarlier)
{
    storedEarlier = false;
    if (name.isEmpty())
        return Refusal::Empty;
    if (Store::hasForbiddenCharacter(name))
        return Refusal::Forbidden;
    if (!contactFilesFit(category, name))
        return Refusal::TooLong;
    {
        Names &listed = namesOf(category);
        if (!listed.readWhole)
            return Refusal::Unreadable;
        if (listed.noted.contains(name.toCaseFolded()))
            return Refusal::Repeated;
        if (listed.has(name))
            return Refusal::Listed;
    }
    if (reserved(category + name))
        return Refusal::Reserved;
    if (taken(category, name))
        return Refusal::Taken;
    storedEarlier = leftBehind(category, name);
    return Refusal::None;
}

// Files no list names are left by an add that was cut short. The files this
// go stores are its noted names', which the checks before refuse.
bool AddressBook::leftBehind(const QString &category, const QString &name) const
{
    if (!m_filesThere)
        return ContactFiles::anyExists(category, name);
    const qsizetype folder = Store::dataDir().size();
    return std::ranges::any_of(FileName::contactSuffixes, [&](const QString &suffix) {
        const QString path = Store::dataFile(category, name, suffix);
        QByteArray queued;
        return m_filesThere->contains(path.sliced(folder))
               || Saver::instance().pending(QFile::encodeName(path), queued);
    });
}

// A contact of another category whose category and name run together to the
// same text has these files. A names list that cannot be read might list it.
bool AddressBook::taken(const QString &category, const QString &name)
{
    const QString joined = category + name;
    for (const QString &other : std::as_const(m_categories)) {
        if (other.size() >= joined.size() || other.compare(category, Qt::CaseInsensitive) == 0
            || !joined.startsWith(other, Qt::CaseInsensitive))
            continue;
        Names &theirs = namesOf(other);
        if (!theirs.readWhole || theirs.has(joined.mid(other.size())))
            return true;
    }
    return false;
}

void AddressBook::listFilesThere()
{
    const QStringList files = QDir(Store::dataDir())
                                  .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                                             QDir::Unsorted);
    m_filesThere = QSet<QString>(files.cbegin(), files.cend());
}

void AddressBook::noteContact(const QString &category, const QString &name)
{
    Names &listed = namesOf(category);
    listed.listed.append(name);
    listed.noted.insert(name.toCaseFolded());
    if (!listed.folded.isEmpty())
        listed.folded.insert(name.toCaseFolded());
}

AddressBook::Added AddressBook::addCategory(const QString &category)
{
    Added added{m_categoriesWhole ? checkCategory(category) : Refusal::Unreadable};
    if (added.refusal != Refusal::None)
        return added;
    QStringList categories = m_categories;
    const qsizetype row = sortedRow(categories, category);
    categories.insert(row, category);
    added.stored = RecordFile::rewriteList(relationsList(), categories);
    if (added.stored) {
        m_categories = categories;
        added.row = int(row);
        emit categoryAdded(category, added.row);
    }
    return added;
}

AddressBook::Added AddressBook::addContact(NewContact contact)
{
    Added added;
    added.refusal = checkContact(contact.category, contact.name, added.storedEarlier);
    if (added.refusal != Refusal::None)
        return added;
    if (contact.files.isEmpty())
        contact.files = emptyFiles();
    contact.storedEarlier = added.storedEarlier;
    // Stored with the name in its place, and taken out again if it cannot
    // be: a copy of a long list would cost more than the rest of the add.
    Names &names = namesOf(contact.category);
    const qsizetype row = sortedRow(names.listed, contact.name);
    names.listed.insert(row, contact.name);
    int error = 0;
    added.stored = storeGroup({&contact}, error, RecordFile::Fresh, ContactFiles::namesList(contact.category), names.listed).value(0);
    if (!added.stored) {
        names.listed.removeAt(row);
        return added;
    }
    if (!names.folded.isEmpty())
        names.folded.insert(contact.name.toCaseFolded());
    added.row = int(row);
    emit nameAdded(contact.category, contact.name, added.row);
    return added;
}

AddressBook::Removal AddressBook::removeCategory(const QString &category)
{
    const qsizetype row = m_categories.indexOf(category);
    if (row < 0 || !m_categoriesWhole)
        return Removal::NotRemoved;
    QStringList left = m_categories;
    left.removeAt(row);
    const Removal removal = removeListed(removingCategory, category, names(category), relationsList(), left);
    if (removal == Removal::NotRemoved)
        return removal;
    m_categories = left;
    m_names.remove(category);
    if (m_open.category == category)
        m_open = {};
    emit categoryRemoved(category, int(row));
    return removal;
}

AddressBook::Removal AddressBook::removeContact(const QString &category, const QString &name)
{
    Names &names = namesOf(category);
    const qsizetype row = names.listed.indexOf(name);
    if (row < 0 || !names.readWhole)
        return Removal::NotRemoved;
    QStringList left = names.listed;
    left.removeAt(row);
    const Removal removal = removeListed(removing, category, {name}, ContactFiles::namesList(category), left);
    if (removal == Removal::NotRemoved)
        return removal;
    names.listed = left;
    names.folded.clear();
    if (m_open.category == category && m_open.name == name)
        m_open = {};
    emit nameRemoved(category, name, int(row));
    return removal;
}

AddressBook::Added AddressBook::renameCategory(const QString &category, const QString &newCategory)
{
    const qsizetype row = m_categories.indexOf(category);
    if (row < 0 || newCategory == category)
        return {};
    const bool caseOnly = newCategory.compare(category, Qt::CaseInsensitive) == 0;
    Added renamed{m_categoriesWhole ? checkCategory(newCategory) : Refusal::Unreadable};
    if (renamed.refusal == Refusal::Listed && caseOnly)
        renamed.refusal = Refusal::None;
    const QStringList names = this->names(category);
    if (renamed.refusal == Refusal::None && !namesWhole(category))
        renamed.refusal = Refusal::Unreadable;
    for (const QString &name : names) {
        if (renamed.refusal != Refusal::None)
            return renamed;
        renamed.refusal = !contactFilesFit(newCategory, name) ? Refusal::TooLong
                          : reserved(newCategory + name)      ? Refusal::Reserved
                          : taken(newCategory, name)          ? Refusal::Taken
                                                              : Refusal::None;
    }
    // A save still on its way would bring an old name's file back.
    if (renamed.refusal != Refusal::None || !RecordFile::flush())
        return renamed;
    QStringList record{renaming, category, newCategory};
    const auto pictures = keptPictures(category, names, newCategory, names);
    for (const QString &name : names) {
        const auto picture = pictures.value(name);
        record << name << name << picture.first << picture.second;
    }
    QStringList categories = m_categories;
    categories.removeAt(row);
    const qsizetype newRow = sortedRow(categories, newCategory);
    categories.insert(newRow, newCategory);
    renamed.stored = renameListed(record, relationsList(), {}, categories, caseOnly);
    if (!renamed.stored)
        return renamed;
    m_categories = categories;
    m_names.remove(category);
    if (m_open.category == category)
        m_open = {};
    renamed.row = int(newRow);
    emit categoryRemoved(category, int(row));
    emit categoryAdded(newCategory, renamed.row);
    return renamed;
}

AddressBook::Added AddressBook::renameContact(const QString &category, const QString &name, const QString &newName)
{
    const qsizetype row = names(category).indexOf(name);
    if (row < 0 || newName == name)
        return {};
    const bool caseOnly = newName.compare(name, Qt::CaseInsensitive) == 0;
    Added renamed;
    renamed.refusal = checkContact(category, newName, renamed.storedEarlier);
    renamed.storedEarlier = false; // what an add left there gives way to the contact renamed
    if (renamed.refusal == Refusal::Listed && caseOnly)
        renamed.refusal = Refusal::None;
    // A save still on its way would bring an old name's file back.
    if (renamed.refusal != Refusal::None || !RecordFile::flush())
        return renamed;
    const auto picture = keptPictures(category, {name}, category, {newName}).value(name);
    Names &entries = namesOf(category);
    QStringList unlisted = entries.listed;
    unlisted.removeAt(row);
    QStringList listed = unlisted;
    const qsizetype newRow = sortedRow(listed, newName);
    listed.insert(newRow, newName);
    renamed.stored = renameListed({renaming, category, category, name, newName, picture.first, picture.second},
                                  ContactFiles::namesList(category), unlisted, listed, caseOnly);
    if (!renamed.stored)
        return renamed;
    entries.listed = listed;
    entries.folded.clear();
    if (m_open.category == category && m_open.name == name)
        m_open = {};
    renamed.row = int(newRow);
    emit nameRemoved(category, name, int(row));
    emit nameAdded(category, newName, renamed.row);
    return renamed;
}

AddressBook::Added AddressBook::replaceContact(const QString &category, const QString &name, NewContact contact)
{
    Added added;
    const QString folder = Store::picturesDir();
    const QString picture = pictureFile(contact);
    if (contact.category == category && contact.name == name) {
        const bool folderMade = picture.isEmpty() || makePictureFolder();
        RecordFile::WriteGroup writes;
        for (auto file = contact.files.cbegin(); file != contact.files.cend(); ++file)
            RecordFile::rewriteBytes(Store::dataFile(category, name, file.key()), file.value());
        KeptCards::giveUid(contact.kept);
        KeptCards::keep(category, name, contact.kept);
        const QString pic = Store::dataFile(category, name, FileName::Pic);
        // The picture kept for it before goes with the Pic file that named it, unless it is the one kept now.
        const QString before = keptPictures(category, {name}, category, {name}).value(name).first;
        if (!before.isEmpty() && before != picture && folderMade)
            RecordFile::remove(folder + before);
        if (!picture.isEmpty() && folderMade) {
            RecordFile::rewriteBytes(folder + picture, contact.picture);
            RecordFile::rewriteBytes(pic, RecordFile::encodeValue(folder + picture));
        } else if (picture.isEmpty()) {
            RecordFile::remove(pic);
        }
        added.stored = writes.commit() && folderMade;
        added.row = int(names(category).indexOf(name));
        QSet<QString> files;
        for (const QString &suffix : FileName::contactSuffixes)
            files.insert(category + name + suffix);
        reread(files);
        return added;
    }
    added.refusal = checkContact(contact.category, contact.name, added.storedEarlier);
    int error = 0;
    if (added.refusal != Refusal::None || writeDown({moving, category, name, contact.category, contact.name, picture}))
        return added;
    contact.storedEarlier = false;
    added.stored = storeGroup({&contact}, error, RecordFile::Fresh).value(0);
    if (added.stored && !listAll({{contact.category, {contact.name}}}, error).isEmpty()) {
        deleteFiles(contact.category, contact.name, picture, folder);
        added.stored = false;
    }
    if (!added.stored) {
        strikeOff();
        return added;
    }
    reread({FileName::RelationsList, FileName::NamesList + contact.category});
    added.row = int(names(contact.category).indexOf(contact.name));
    // Its removal's own record takes the place of the move's.
    removeContact(category, name);
    return added;
}

void AddressBook::openContact(const QString &category, const QString &name)
{
    m_open = {category, name, {}, {}, {}};
    if (name.isEmpty())
        return;
    for (const QString &suffix : ContactFields::files())
        readContactFile(suffix);
    readPicture();
}

void AddressBook::readPicture()
{
    QString named;
    RecordFile::readLine(Store::dataFile(m_open.category, m_open.name, FileName::Pic), named);
    m_open.picture = named.isEmpty() ? QString() : Store::picturePath(named);
}

void AddressBook::setPicture(const QString &path)
{
    if (m_open.name.isEmpty())
        return;
    m_open.picture = path;
    RecordFile::rewriteValue(Store::dataFile(m_open.category, m_open.name, FileName::Pic), path, RecordFile::Queued);
    emit contactEdited();
}

// A missing or short file reads as empty fields; one that exists but cannot
// be read is never written over from the part that was read.
void AddressBook::readContactFile(const QString &suffix)
{
    const QString file = Store::dataFile(m_open.category, m_open.name, suffix);
    QStringList values;
    if (!RecordFile::readList(file, values) && RecordFile::unreadable(file)) {
        m_open.unreadable.insert(suffix);
        m_open.fields.remove(suffix);
        return;
    }
    m_open.unreadable.remove(suffix);
    const QList<const ContactField *> fields = ContactFields::inFile(suffix);
    if (!fields.first()->isList() && values.size() < fields.size())
        values.resize(fields.size());
    m_open.fields.insert(suffix, values);
}

bool AddressBook::fields(const QString &suffix, QStringList &values) const
{
    if (m_open.unreadable.contains(suffix))
        return false;
    values = m_open.fields.value(suffix);
    return true;
}

void AddressBook::setField(const QString &suffix, int index, const QString &value)
{
    if (m_open.name.isEmpty() || m_open.unreadable.contains(suffix))
        return;
    QStringList &values = m_open.fields[suffix];
    if (values.size() <= index)
        values.resize(index + 1);
    values[index] = value;
    // Saved in the background: the window never waits for the disk, and a
    // failure is told once and the save retried.
    RecordFile::rewriteRecord(Store::dataFile(m_open.category, m_open.name, suffix), values, RecordFile::Queued);
    emit contactEdited();
}

bool AddressBook::setList(const QString &suffix, const QStringList &entries, RecordFile::Mode mode)
{
    if (m_open.name.isEmpty() || m_open.unreadable.contains(suffix)
        || !RecordFile::rewriteList(Store::dataFile(m_open.category, m_open.name, suffix), entries, mode))
        return false;
    m_open.fields.insert(suffix, entries);
    emit contactFileChanged(suffix, false);
    return true;
}

void AddressBook::watch()
{
    m_watcher = std::make_unique<DataWatcher>(Store::dataDir());
    connect(m_watcher.get(), &DataWatcher::changed, this, &AddressBook::reread);
}

void AddressBook::reread(const QSet<QString> &fileNames)
{
    m_colors.reread(fileNames);
    const bool all = fileNames.isEmpty();
    if (all || fileNames.contains(FileName::RelationsList)) {
        QStringList categories;
        const bool whole = readCategories(categories);
        categories = Order::sortedIgnoringCase(categories);
        if (categories != m_categories || whole != m_categoriesWhole) {
            m_categories = categories;
            m_categoriesWhole = whole;
            m_names.removeIf([&](const auto &names) { return !categories.contains(names.key()); });
            if (!categories.contains(m_open.category))
                m_open = {};
            emit categoriesReset();
        }
    }
    // Told once every list is read: an observer may read in another list.
    QList<std::function<void()>> tell;
    for (auto names = m_names.begin(); names != m_names.end(); ++names) {
        if (!all && !fileNames.contains(FileName::NamesList + names.key()))
            continue;
        Names fresh;
        fresh.readWhole = ContactFiles::readWhole(ContactFiles::namesList(names.key()), fresh.listed);
        if (fresh.listed == names->listed && fresh.readWhole == names->readWhole)
            continue;
        QList<qsizetype> removed, added;
        const bool sameKind = fresh.readWhole == names->readWhole;
        bool few = sameKind && fewChanged(names->listed, fresh.listed, removed, added);
        if (!few) {
            fresh.listed = Order::sortedIgnoringCase(fresh.listed);
            if (fresh.listed == names->listed && sameKind)
                continue;
            removed.clear();
            added.clear();
            few = sameKind && fewChanged(names->listed, fresh.listed, removed, added);
        }
        const QString category = names.key();
        if (few) {
            // Rows as each step leaves the list: the removals from the last, then the adds from the first.
            for (auto row = removed.crbegin(); row != removed.crend(); ++row)
                tell.append([this, category, name = names->listed[*row], row = int(*row)] {
                    emit nameRemoved(category, name, row);
                });
            for (const qsizetype row : std::as_const(added))
                tell.append([this, category, name = fresh.listed[row], row = int(row)] {
                    emit nameAdded(category, name, row);
                });
        } else {
            tell.append([this, category] { emit namesReset(category); });
        }
        *names = fresh;
        if (category == m_open.category && !fresh.listed.contains(m_open.name))
            m_open = {};
    }
    for (const auto &told : std::as_const(tell))
        told();
    if (!m_open.name.isEmpty())
        rereadOpenContact(fileNames);
    emit filesChanged(fileNames);
}

void AddressBook::rereadOpenContact(const QSet<QString> &fileNames)
{
    const bool all = fileNames.isEmpty();
    const QString contact = m_open.category + m_open.name;
    for (const QString &suffix : ContactFields::files()) {
        if (!all && !fileNames.contains(contact + suffix))
            continue;
        QStringList before;
        const bool readable = fields(suffix, before);
        readContactFile(suffix);
        QStringList after;
        if (fields(suffix, after) != readable || after != before)
            emit contactFileChanged(suffix, true);
    }
    if (all || fileNames.contains(contact + FileName::Pic)) {
        const QString before = m_open.picture;
        readPicture();
        if (m_open.picture != before)
            emit contactFileChanged(FileName::Pic, true);
    }
}

// Each of a group's files stays open until the group is synced.
qsizetype AddressBook::contactsPerGroup()
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
        return 16;
    if (files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
        ::getrlimit(RLIMIT_NOFILE, &files);
    }
    const rlim_t spare = 128; // for what else is open
    const rlim_t perContact = rlim_t(FileName::contactSuffixes.size()) + 2; // and its picture and kept card
    const rlim_t fit = files.rlim_cur > spare + 16 * perContact ? (files.rlim_cur - spare) / perContact : 16;
    return qsizetype(std::min<rlim_t>(fit, 512));
}

QList<bool> AddressBook::storeContacts(const QList<const NewContact *> &group)
{
    if (group.isEmpty())
        return {};
    // The groups stored before are synced by now, and the files an add cut short left were whole when they
    // were named: those contacts come before the count.
    if (m_adding.isEmpty())
        m_adding << addingInPlace << QString();
    for (const bool earlier : {true, false}) {
        for (const NewContact *contact : group) {
            if (contact->storedEarlier == earlier)
                m_adding << contact->category << contact->name << pictureFile(*contact);
        }
        if (earlier)
            m_adding[1] = QString::number((m_adding.size() - 2) / 3);
    }
    int error = writeDown(m_adding);
    if (error) {
        m_error = m_error ? m_error : error;
        return QList<bool>(group.size(), false);
    }
    // Made in place: the record written down tells which may have been cut mid-file.
    const QList<bool> stored = storeGroup(group, error, RecordFile::FreshInPlace);
    m_error = m_error ? m_error : error;
    for (qsizetype i = 0; i < group.size(); ++i) {
        if (stored[i])
            m_stored[group[i]->category].append(group[i]->name);
    }
    return stored;
}

QStringList AddressBook::listStored()
{
    // Every file is synced now; once that is written down, a crash while listing lists the rest.
    int error = 0;
    if (!m_adding.isEmpty()) {
        m_adding[1] = QString::number((m_adding.size() - 2) / 3);
        error = writeDown(m_adding);
    }
    const QStringList unlisted = error ? m_stored.keys() : listAll(m_stored, error);
    m_error = m_error ? m_error : error;
    for (qsizetype i = 2; i + 2 < m_adding.size(); i += 3) {
        if (unlisted.contains(m_adding[i]))
            deleteFiles(m_adding[i], m_adding[i + 1], m_adding[i + 2], Store::picturesDir());
    }
    strikeOff();
    m_adding.clear();
    m_stored.clear();
    m_filesThere.reset();
    // What was noted is read back as stored, and told as such: the notes go
    // first, so that the lists read back differ from what the window shows.
    for (const QString &category : std::exchange(m_notedCategories, {}))
        m_categories.removeOne(category);
    QSet<QString> lists{FileName::RelationsList};
    for (auto names = m_names.begin(); names != m_names.end(); ++names) {
        if (!names->noted.isEmpty())
            lists.insert(FileName::NamesList + names.key());
        names->listed.removeIf([&](const QString &name) { return names->noted.contains(name.toCaseFolded()); });
        names->noted.clear();
    }
    reread(lists);
    return unlisted;
}

void AddressBook::finishInterrupted()
{
    QStringList record;
    if (!RecordFile::readList(changeRecord(), record))
        return;
    const QString kind = record.value(0);
    if (kind == adding || kind == addingInPlace) {
        // Each contact whose files were all stored is listed, the others' files deleted.
        const QString folder = Store::picturesDir();
        QStringList suffixes = FileName::contactSuffixes;
        suffixes.removeOne(FileName::Pic);
        QHash<QString, QStringList> joining;
        const qsizetype first = kind == adding ? 1 : 2;
        const qsizetype synced = kind == adding ? record.size() : first + 3 * record.value(1).toLongLong();
        for (qsizetype i = first; i + 2 < record.size(); i += 3) {
            const QString &category = record[i], &name = record[i + 1], &picture = record[i + 2];
            if (i < synced && complete(category, name, suffixes, picture, folder))
                joining[category].append(name);
            else
                deleteFiles(category, name, picture, folder);
        }
        int error = 0;
        if (!listAll(joining, error).isEmpty())
            return; // tried again at the next start
    } else if (kind == moving) {
        // Moved when the contact's files under its new name were all stored, else left where it was.
        QStringList suffixes = FileName::contactSuffixes;
        suffixes.removeOne(FileName::Pic);
        const QString &to = record.value(3), &name = record.value(4), &picture = record.value(5);
        int error = 0;
        if (!complete(to, name, suffixes, picture, Store::picturesDir())) {
            deleteFiles(to, name, picture, Store::picturesDir());
        } else if (listAll({{to, {name}}}, error).isEmpty()) {
            record = {removing, record.value(1), record.value(2)};
            if (!writeDown(record))
                finishInterrupted();
            return;
        }
    }
    if (kind == removing || kind == removingCategory) {
        const bool wholeCategory = kind == removingCategory;
        const QString category = record.value(1);
        const QStringList names = record.mid(2);
        const QString list = wholeCategory ? relationsList() : ContactFiles::namesList(category);
        QStringList entries;
        if (!ContactFiles::readWhole(list, entries))
            return;
        const qsizetype removed =
            entries.removeIf([&](const QString &entry) { return wholeCategory ? entry == category : names.contains(entry); });
        if (removed > 0 && !RecordFile::rewriteList(list, entries))
            return;
        deleteAll(category, names, wholeCategory);
    } else if (kind == renaming && !settleRename(record)) {
        return; // tried again at the next start
    }
    strikeOff();
}
