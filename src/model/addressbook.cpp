#include "model/addressbook.h"

#include "store/contactfiles.h"
#include "store/order.h"
#include "store/paths.h"
#include "store/recordfile.h"

#include <QDir>
#include <QFile>

#include <sys/resource.h>

#include <algorithm>

namespace {

// The kinds of change written down, the first entry of the record.
const QString adding = QStringLiteral("add");
const QString removing = QStringLiteral("remove");
const QString removingCategory = QStringLiteral("remove category");

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
// data directory, each under its contact's file name; the picture file names
// it.
QString pictureFolder()
{
    return QDir::cleanPath(Store::dataDir() + QStringLiteral("../Pictures")) + u'/';
}

// Made private at the first picture.
bool makePictureFolder()
{
    if (!QDir().mkpath(pictureFolder()))
        return false;
    QFile::setPermissions(pictureFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
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

// Whether the contact's files are all stored: those given, and its picture with the file naming it.
bool complete(const QString &category, const QString &name, const QStringList &suffixes, const QString &picture,
              const QString &pictureFolder)
{
    return std::ranges::all_of(suffixes, [&](const QString &suffix) {
        return RecordFile::exists(Store::dataFile(category, name, suffix));
    }) && (picture.isEmpty() || (RecordFile::exists(Store::dataFile(category, name, FileName::Pic))
                                 && QFile::exists(pictureFolder + picture)));
}

void deleteFiles(const QString &category, const QString &name, const QString &picture, const QString &pictureFolder)
{
    ContactFiles::remove(category, name);
    if (!picture.isEmpty())
        QFile::remove(pictureFolder + picture);
}

// A change is written down, stored, before its first step.
bool writeDown(const QStringList &record)
{
    return RecordFile::rewriteList(changeRecord(), record);
}

// Struck off once its last step is on the disk, before anything else changes.
void strikeOff()
{
    RecordFile::remove(changeRecord());
}

// Stores contacts' files and pictures, then a list when one is given, as one
// group; whether each contact was stored whole (with the list). Files of one
// that was not are deleted again, unless they were there before.
QList<bool> storeGroup(const QList<const AddressBook::NewContact *> &group, const QString &list = {},
                       const QStringList &entries = {})
{
    const bool pictures = std::ranges::any_of(group, [](const auto *contact) { return !contact->picture.isEmpty(); });
    const bool folderMade = pictures && makePictureFolder();
    const QString folder = pictureFolder();
    bool committed = false;
    {
        RecordFile::WriteGroup writes;
        for (const AddressBook::NewContact *contact : group) {
            if (contact->storedEarlier)
                continue;
            for (auto file = contact->files.cbegin(); file != contact->files.cend(); ++file)
                RecordFile::rewriteBytes(Store::dataFile(contact->category, contact->name, file.key()), file.value());
            if (!contact->picture.isEmpty() && folderMade) {
                RecordFile::rewriteBytes(folder + pictureFile(*contact), contact->picture);
                RecordFile::rewriteBytes(Store::dataFile(contact->category, contact->name, FileName::Pic),
                                         RecordFile::encodeValue(folder + pictureFile(*contact)));
            }
        }
        const bool listed = list.isEmpty() || RecordFile::rewriteList(list, entries);
        committed = writes.commit() && listed;
    }
    QList<bool> stored;
    for (const AddressBook::NewContact *contact : group) {
        const QString picture = pictureFile(*contact);
        const bool whole = (picture.isEmpty() || folderMade)
                           && (list.isEmpty() ? complete(contact->category, contact->name, contact->files.keys(), picture, folder)
                                              : committed);
        if (!whole && !contact->storedEarlier)
            deleteFiles(contact->category, contact->name, picture, folder);
        stored.append(whole);
    }
    return stored;
}

// Lists the names by category: a category missing from the list of
// categories is added to it, then each name its list lacks (in any letter
// case), each list rewritten once. The categories that could not be listed.
QStringList listAll(const QHash<QString, QStringList> &joining)
{
    QStringList categories;
    if (!ContactFiles::readWhole(relationsList(), categories))
        return joining.keys();
    QStringList added;
    for (const QString &category : joining.keys()) {
        if (!categories.contains(category, Qt::CaseInsensitive))
            added.append(category);
    }
    if (!added.isEmpty() && !RecordFile::rewriteList(relationsList(), Order::sortedIgnoringCase(categories + added)))
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
        if (names.size() != before && !RecordFile::rewriteList(list, Order::sortedIgnoringCase(names)))
            failed.append(joins.key());
    }
    return failed;
}

// A removal's second step, its list being stored without it: the files go,
// the directory synced once for all of them. A category without names keeps
// its names file.
AddressBook::Removal deleteAll(const QString &category, const QStringList &names, bool wholeCategory)
{
    RecordFile::WriteGroup removal;
    bool deleted = !wholeCategory || names.isEmpty() || RecordFile::remove(ContactFiles::namesList(category));
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
    if (!writeDown(QStringList{kind, category} + names))
        return AddressBook::Removal::NotRemoved;
    const AddressBook::Removal removal = RecordFile::rewriteList(list, entriesLeft)
                                             ? deleteAll(category, names, kind == removingCategory)
                                             : AddressBook::Removal::NotRemoved;
    strikeOff();
    return removal;
}

} // namespace

AddressBook::AddressBook(const QStringList &categories) : m_categories(categories) {}

std::optional<AddressBook> AddressBook::read()
{
    QStringList categories;
    if (!ContactFiles::readWhole(relationsList(), categories))
        return std::nullopt;
    return AddressBook(categories);
}

QString AddressBook::listedCategory(const QString &category) const
{
    const auto same = std::ranges::find_if(m_categories, [&](const QString &listed) {
        return listed.compare(category, Qt::CaseInsensitive) == 0;
    });
    return same == m_categories.cend() ? QString() : *same;
}

void AddressBook::setNames(const QString &category, const QStringList &names)
{
    m_names.insert(category, Names{names, {}, false, true});
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

AddressBook::Names &AddressBook::names(const QString &category)
{
    auto found = m_names.find(category);
    if (found == m_names.end()) {
        found = m_names.insert(category, {});
        found->readWhole = ContactFiles::readWhole(ContactFiles::namesList(category), found->listed);
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
        Names &listed = names(category);
        if (!listed.readWhole)
            return Refusal::Unreadable;
        if (listed.has(name))
            return Refusal::Listed;
    }
    const QString joined = category + name;
    if (reserved(joined))
        return Refusal::Reserved;
    // A contact of another category whose category and name run together to
    // the same text has these files. A names list that cannot be read might list it.
    for (const QString &other : std::as_const(m_categories)) {
        if (other.size() >= joined.size() || other.compare(category, Qt::CaseInsensitive) == 0
            || !joined.startsWith(other, Qt::CaseInsensitive))
            continue;
        Names &theirs = names(other);
        if (!theirs.readWhole || theirs.has(joined.mid(other.size())))
            return Refusal::Taken;
    }
    // Files no list names are left by an add that was cut short.
    storedEarlier = ContactFiles::anyExists(category, name);
    return Refusal::None;
}

void AddressBook::noteContact(const QString &category, const QString &name)
{
    Names &listed = names(category);
    listed.listed.append(name);
    if (!listed.folded.isEmpty())
        listed.folded.insert(name.toCaseFolded());
}

bool AddressBook::storeCategories(const QStringList &categories)
{
    return RecordFile::rewriteList(relationsList(), categories);
}

bool AddressBook::storeContact(const NewContact &contact, const QStringList &names)
{
    return storeGroup({&contact}, ContactFiles::namesList(contact.category), names).value(0);
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
    const rlim_t perContact = rlim_t(FileName::contactSuffixes.size()) + 1; // and its picture
    const rlim_t fit = files.rlim_cur > spare + 16 * perContact ? (files.rlim_cur - spare) / perContact : 16;
    return qsizetype(std::min<rlim_t>(fit, 512));
}

QList<bool> AddressBook::storeContacts(const QList<const NewContact *> &group)
{
    if (group.isEmpty())
        return {};
    if (m_adding.isEmpty())
        m_adding.append(adding);
    for (const NewContact *contact : group)
        m_adding << contact->category << contact->name << pictureFile(*contact);
    if (!writeDown(m_adding))
        return QList<bool>(group.size(), false);
    const QList<bool> stored = storeGroup(group);
    for (qsizetype i = 0; i < group.size(); ++i) {
        if (stored[i])
            m_stored[group[i]->category].append(group[i]->name);
    }
    return stored;
}

QStringList AddressBook::listStored()
{
    const QStringList unlisted = listAll(m_stored);
    for (qsizetype i = 1; i + 2 < m_adding.size(); i += 3) {
        if (unlisted.contains(m_adding[i]))
            deleteFiles(m_adding[i], m_adding[i + 1], m_adding[i + 2], pictureFolder());
    }
    strikeOff();
    m_adding.clear();
    m_stored.clear();
    return unlisted;
}

AddressBook::Removal AddressBook::removeContact(const QString &category, const QString &name, const QStringList &names)
{
    return removeListed(removing, category, {name}, ContactFiles::namesList(category), names);
}

AddressBook::Removal AddressBook::removeCategory(const QString &category, const QStringList &categories,
                                                 const QStringList &names)
{
    return removeListed(removingCategory, category, names, relationsList(), categories);
}

void AddressBook::finishInterrupted()
{
    QStringList record;
    if (!RecordFile::readList(changeRecord(), record))
        return;
    const QString kind = record.value(0);
    if (kind == adding) {
        // Each contact whose files were all stored is listed, the others' files deleted.
        const QString folder = pictureFolder();
        QStringList suffixes = FileName::contactSuffixes;
        suffixes.removeOne(FileName::Pic);
        QHash<QString, QStringList> joining;
        for (qsizetype i = 1; i + 2 < record.size(); i += 3) {
            const QString &category = record[i], &name = record[i + 1], &picture = record[i + 2];
            if (complete(category, name, suffixes, picture, folder))
                joining[category].append(name);
            else
                deleteFiles(category, name, picture, folder);
        }
        if (!listAll(joining).isEmpty())
            return; // tried again at the next start
    } else if (kind == removing || kind == removingCategory) {
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
    }
    strikeOff();
}
