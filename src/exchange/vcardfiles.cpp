#include "exchange/vcardfiles.h"

#include "store/contactfiles.h"
#include "store/order.h"
#include "store/paths.h"
#include "store/recordfile.h"
#include "store/vcardcontact.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include <deque>

#include <sys/resource.h>

namespace VcardFiles {

namespace {

bool anyFileOf(const QSet<QString> &existing, const QString &category, const QString &name)
{
    return std::any_of(FileName::contactSuffixes.cbegin(), FileName::contactSuffixes.cend(),
                       [&](const QString &suffix) { return existing.contains(category + name + suffix); });
}

bool allFilesOf(const QString &category, const QString &name, const QHash<QString, QByteArray> &files)
{
    return std::all_of(files.keyBegin(), files.keyEnd(), [&](const QString &suffix) {
        return RecordFile::exists(Store::dataFile(category, name, suffix));
    });
}

// Imported pictures are kept in a folder of the program's own beside the
// data directory, each under its contact's file name; the picture file names
// it. The folder is made, private, once: empty when it cannot be.
QString makePictureFolder()
{
    const QString folder = QDir::cleanPath(Store::dataDir() + QStringLiteral("../Pictures")) + u'/';
    if (!QDir().mkpath(folder))
        return {};
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return folder;
}

// Contacts stored together: each of their files stays open until the group
// is synced, and a group is synced at once, so the larger the group the
// fewer the syncs. The limit of open files is raised as far as it may go.
qsizetype contactsPerGroup()
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

} // namespace

Outcome exportCards(QByteArray &cards, const QString &category)
{
    QStringList categories;
    if (!ContactFiles::readWhole(Store::dataFile(FileName::RelationsList), categories))
        return {false, QStringLiteral("The list of categories in ") + Store::dataDir() + QStringLiteral(" cannot be read.")};
    if (!category.isEmpty()) {
        if (!categories.contains(category))
            return {false, QStringLiteral("There is no category called ") + category + u'.'};
        categories = {category};
    }
    qsizetype contacts = 0;
    QStringList unreadable;
    // In the order the window lists them.
    for (const QString &listed : Order::sortedIgnoringCase(categories)) {
        QStringList names;
        if (!ContactFiles::readWhole(ContactFiles::namesList(listed), names))
            unreadable.append(listed);
        for (const QString &name : Order::sortedIgnoringCase(names)) {
            cards += Vcard::exportContact(Vcard::readContact(listed, name));
            ++contacts;
        }
    }
    QString message =
        QStringLiteral("Exported ") + Vcard::contactsAndCategories(contacts, QStringLiteral("from"), categories.size());
    if (!unreadable.isEmpty())
        message += QStringLiteral("; the names of ") + unreadable.join(QStringLiteral(", "))
                   + QStringLiteral(" could not be read");
    return {true, message + u'.'};
}

Outcome importCards(QIODevice &cards, const QString &category)
{
    Vcard::Reader reader(cards);
    Vcard::Card read;
    if (!reader.next(read))
        return {false, QStringLiteral("No vCard was found.")};

    const QString relationsFile = Store::dataFile(FileName::RelationsList);
    QStringList categories;
    if (!ContactFiles::readWhole(relationsFile, categories))
        return {false, QStringLiteral("The list of categories in ") + Store::dataDir()
                           + QStringLiteral(" cannot be read, so nothing was imported.")};

    // Each category's names as listed now (case folded, as two names in
    // other letters are one file on some disks), and the cards that join them.
    QHash<QString, QSet<QString>> names;
    // The files there are, read once rather than looked for card by card.
    const QStringList entries = QDir(Store::dataDir()).entryList(QDir::Files | QDir::System | QDir::Hidden);
    const QSet<QString> existing(entries.cbegin(), entries.cend());
    QHash<QString, QList<Vcard::Imported *>> joining;
    QStringList newCategories;
    const qsizetype groupSize = contactsPerGroup();
    QList<Vcard::Imported *> group;
    QString pictureFolder; // made at the first picture
    QHash<const Vcard::Imported *, QString> pictures; // each card's picture file
    const auto storeGroup = [&] {
        RecordFile::WriteGroup writes;
        for (Vcard::Imported *card : group) {
            for (auto file = card->files.cbegin(); file != card->files.cend(); ++file)
                RecordFile::rewriteBytes(Store::dataFile(card->category, card->name, file.key()), file.value());
            if (pictures.contains(card))
                RecordFile::rewriteBytes(pictures[card], card->picture);
        }
        writes.commit();
        for (Vcard::Imported *card : group) {
            const QString picture = pictures.value(card);
            const bool stored = allFilesOf(card->category, card->name, card->files) && (picture.isEmpty() || QFile::exists(picture));
            // Only the names stay for the lists and the summary, so memory holds one group's cards at most.
            card->files = {};
            card->picture = {};
            if (stored) {
                joining[card->category].append(card);
                continue;
            }
            ContactFiles::remove(card->category, card->name);
            if (!picture.isEmpty())
                QFile::remove(picture);
            card->skipped = QStringLiteral("could not be saved");
        }
        group.clear();
    };

    // Stable addresses: the group, the pictures and the lists point into it.
    std::deque<Vcard::Imported> results;
    int number = 0;
    do {
        Vcard::Imported &card = results.emplace_back(Vcard::importCard(read, category, ++number));
        if (!card.skipped.isEmpty())
            continue;
        // A category listed in other letters is that category.
        const auto same = std::find_if(categories.cbegin(), categories.cend(), [&](const QString &listed) {
            return listed.compare(card.category, Qt::CaseInsensitive) == 0;
        });
        if (same != categories.cend()) {
            card.category = *same;
        } else {
            categories.append(card.category);
            newCategories.append(card.category);
        }
        if (!names.contains(card.category)) {
            QStringList listed;
            if (!ContactFiles::readWhole(ContactFiles::namesList(card.category), listed)) {
                card.skipped = QStringLiteral("the names of ") + card.category + QStringLiteral(" cannot be read");
                continue;
            }
            QSet<QString> &folded = names[card.category];
            for (const QString &name : listed)
                folded.insert(name.toCaseFolded());
        }
        QSet<QString> &listed = names[card.category];
        if (listed.contains(card.name.toCaseFolded())) {
            card.skipped = QStringLiteral("already listed in ") + card.category;
            continue;
        }
        if (anyFileOf(existing, card.category, card.name)) {
            card.skipped = QStringLiteral("information is already stored under that name");
            continue;
        }
        if (!card.picture.isEmpty()) {
            if (pictureFolder.isEmpty())
                pictureFolder = makePictureFolder();
            if (pictureFolder.isEmpty()) {
                card.skipped = QStringLiteral("its picture could not be saved");
                continue;
            }
            const QString picture = pictureFolder + card.category + card.name + u'.' + card.pictureSuffix;
            pictures.insert(&card, picture);
            card.files.insert(FileName::Pic, RecordFile::encodeValue(picture));
        }
        listed.insert(card.name.toCaseFolded()); // a later card of the same name is a duplicate
        group.append(&card);
        if (group.size() == groupSize)
            storeGroup();
    } while (reader.next(read));
    storeGroup();

    // The lists last, each written once: a contact is listed only once all
    // its files are stored. A category is listed before its names.
    const auto unlist = [&](const QString &inCategory) {
        for (Vcard::Imported *card : joining.take(inCategory)) {
            ContactFiles::remove(card->category, card->name);
            card->skipped = QStringLiteral("could not be saved");
        }
    };
    QStringList added;
    for (const QString &newCategory : newCategories) {
        if (joining.contains(newCategory))
            added.append(newCategory);
    }
    if (!added.isEmpty()) {
        QStringList listed;
        ContactFiles::readWhole(relationsFile, listed);
        if (!RecordFile::rewriteList(relationsFile, Order::sortedIgnoringCase(listed + added))) {
            for (const QString &newCategory : added)
                unlist(newCategory);
        }
    }
    for (const QString &inCategory : joining.keys()) {
        QStringList listed;
        ContactFiles::readWhole(ContactFiles::namesList(inCategory), listed);
        for (const Vcard::Imported *card : joining.value(inCategory))
            listed.append(card->name);
        if (!RecordFile::rewriteList(ContactFiles::namesList(inCategory), Order::sortedIgnoringCase(listed)))
            unlist(inCategory);
    }
    return {true, Vcard::summary({std::make_move_iterator(results.begin()), std::make_move_iterator(results.end())})};
}

} // namespace VcardFiles
