#include "exchange/vcardfiles.h"

#include "model/addressbook.h"
#include "store/contactfiles.h"
#include "store/keptcards.h"
#include "store/order.h"
#include "store/paths.h"
#include "store/recordfile.h"
#include "model/vcardcontact.h"

#include <QtConcurrent/QtConcurrentMap>

#include <deque>
#include <optional>

namespace VcardFiles {

Outcome exportCards(const std::function<bool(const QByteArray &)> &write, const QString &category,
                    const std::function<bool()> &mayKeep)
{
    QStringList categories;
    if (!ContactFiles::readWhole(Store::dataFile(FileName::RelationsList), categories))
        return {false, QStringLiteral("The list of categories in ") + Store::dataDir() + QStringLiteral(" cannot be read.")};
    if (!category.isEmpty()) {
        if (!categories.contains(category))
            return {false, QStringLiteral("There is no category called ") + category + u'.'};
        categories = {category};
    }
    QStringList unreadable;
    // In the order the window lists them.
    QList<std::pair<QString, QString>> listed;
    for (const QString &sorted : Order::sortedIgnoringCase(categories)) {
        QStringList names;
        if (!ContactFiles::readWhole(ContactFiles::namesList(sorted), names))
            unreadable.append(sorted);
        for (const QString &name : Order::sortedIgnoringCase(names))
            listed.append({sorted, name});
    }
    // A contact goes out with the UID it first went out with: new ones are
    // kept, stored together a group at a time.
    RecordFile::WriteGroup uids;
    const qsizetype groupSize = AddressBook::contactsPerGroup();
    qsizetype newUids = 0, unkept = 0;
    bool uidsKept = true;
    std::optional<bool> keeping;
    // Most of a card's making is opening and reading its contact's files:
    // the cards are made on every core, a run at a time, the next run while
    // this thread hands the last on, so that a book of photos goes out in
    // step with the disk and never whole in memory.
    struct Made
    {
        QByteArray card;
        Vcard::Card newKept; // where the contact was given its UID now
        QString uid;
        bool pictureUnread = false;
    };
    const auto make = [](const std::pair<QString, QString> &contact, bool anew = false) {
        Vcard::StoredContact stored = Vcard::readContact(contact.first, contact.second);
        Made made;
        if (KeptCards::giveUid(stored.kept, anew))
            made.newKept = stored.kept;
        made.uid = stored.kept.first("UID")->text();
        made.card = Vcard::exportContact(stored);
        made.pictureUnread = stored.pictureUnread;
        return made;
    };
    // Two contacts of one UID (cards imported with one before each import gave its own) go out as two cards of
    // their own, the second given a UID it keeps.
    QSet<QString> uidsOut;
    QStringList withoutPicture;
    constexpr qsizetype run = 128;
    const auto start = [&](qsizetype from) {
        return QtConcurrent::mapped(listed.sliced(from, std::min(run, listed.size() - from)), make);
    };
    QFuture<Made> next = start(0);
    QByteArray cards;
    for (qsizetype from = 0; from < listed.size(); from += run) {
        QList<Made> made = next.results();
        if (from + run < listed.size())
            next = start(from + run);
        for (qsizetype i = 0; i < made.size(); ++i) {
            if (uidsOut.contains(made[i].uid))
                made[i] = make(listed[from + i], true);
            uidsOut.insert(made[i].uid);
            if (!made[i].newKept.properties.isEmpty()) {
                if (!keeping)
                    keeping = !mayKeep || mayKeep();
                if (!*keeping) {
                    ++unkept;
                } else {
                    uidsKept = KeptCards::keep(listed[from + i].first, listed[from + i].second, made[i].newKept) && uidsKept;
                    if (++newUids % groupSize == 0)
                        uidsKept = uids.commit() && uidsKept;
                }
            }
            cards += made[i].card;
            if (made[i].pictureUnread)
                withoutPicture.append(listed[from + i].second + QStringLiteral(" (") + listed[from + i].first + u')');
        }
        // Handed on a run at a time: a book of photos is hundreds of megabytes.
        if (!write(cards)) {
            next.waitForFinished();
            return {false, {}};
        }
        cards.truncate(0);
    }
    const qsizetype contacts = listed.size();
    uidsKept = uids.commit() && uidsKept;
    QString message =
        QStringLiteral("Exported ") + Vcard::contactsAndCategories(contacts, QStringLiteral("from"), categories.size());
    if (!uidsKept)
        message += QStringLiteral("; their UIDs could not all be kept, so the next export gives some new ones");
    if (unkept > 0)
        message += QStringLiteral("; another copy of Kinfolio is working on these contacts, so the UIDs given to ")
                   + QString::number(unkept) + QStringLiteral(" of them were not kept: the next export gives them new ones");
    if (!unreadable.isEmpty())
        message += QStringLiteral("; the names of ") + unreadable.join(QStringLiteral(", "))
                   + QStringLiteral(" could not be read");
    if (!withoutPicture.isEmpty())
        message += QStringLiteral("; the pictures of ") + Vcard::listed(withoutPicture)
                   + QStringLiteral(" could not be read, so they went out without them");
    return {true, message + u'.'};
}

Outcome exportCards(QByteArray &cards, const QString &category)
{
    return exportCards(
        [&cards](const QByteArray &some) {
            cards += some;
            return true;
        },
        category);
}

Outcome importCards(QIODevice &cards, const QString &category)
{
    AddressBook::finishInterrupted();
    AddressBook book;
    book.load();
    return importCards(cards, book, category);
}

Outcome importCards(QIODevice &cards, AddressBook &book, const QString &category)
{
    Vcard::Reader reader(cards);
    Vcard::Card read;
    if (!reader.next(read))
        return {false, QStringLiteral("No vCard was found.")};
    if (!book.categoriesWhole())
        return {false, QStringLiteral("The list of categories in ") + Store::dataDir()
                           + QStringLiteral(" cannot be read, so nothing was imported.")};

    // Each card is checked by the rules of the window's Add, against the data
    // directory and the cards before it, and stored in groups; the lists are
    // written once at the end.
    const qsizetype groupSize = AddressBook::contactsPerGroup();
    int cardsNotStored = 0;
    const auto notStored = [&](Vcard::Imported &card) {
        card.skipped = QStringLiteral("could not be stored");
        ++cardsNotStored;
    };
    QList<AddressBook::NewContact> adding;
    QList<Vcard::Imported *> group;
    qsizetype groupBytes = 0; // of the group's pictures
    const auto storeGroup = [&] {
        QList<const AddressBook::NewContact *> contacts;
        for (const AddressBook::NewContact &contact : adding)
            contacts.append(&contact);
        const QList<bool> stored = book.storeContacts(contacts);
        for (qsizetype i = 0; i < group.size(); ++i) {
            if (!stored[i])
                notStored(*group[i]);
        }
        adding.clear();
        group.clear();
        groupBytes = 0;
    };

    // Stable addresses: the group points into it.
    std::deque<Vcard::Imported> results;
    book.listFilesThere();
    QSet<QString> uids;
    int number = 0;
    do {
        Vcard::Imported &card = results.emplace_back(Vcard::importCard(read, category, ++number));
        if (!card.skipped.isEmpty())
            continue;
        card.category = AddressBook::tidy(card.category);
        card.name = AddressBook::tidy(card.name);
        // A category listed in other letters is that category.
        const QString listed = book.listedCategory(card.category);
        if (!listed.isEmpty()) {
            card.category = listed;
        } else if (book.checkCategory(card.category) == AddressBook::Refusal::None) {
            book.noteCategory(card.category);
        } else {
            card.skipped = QStringLiteral("the category cannot be used");
            continue;
        }
        bool storedEarlier = false;
        AddressBook::Refusal refusal = book.checkContact(card.category, card.name, storedEarlier);
        if (refusal == AddressBook::Refusal::None && storedEarlier)
            refusal = AddressBook::Refusal::Taken; // never merged with what is there
        if (refusal != AddressBook::Refusal::None) {
            card.skipped = AddressBook::reason(refusal, card.category);
            continue;
        }
        book.noteContact(card.category, card.name);
        // Cards of one UID (a file two exports were joined into) are as many contacts, each with a UID of its own:
        // else they would be one card to any program that syncs or merges them.
        const Vcard::Property *uid = card.kept.first("UID");
        if (uid && uids.contains(uid->text()))
            KeptCards::giveUid(card.kept, true);
        else if (uid)
            uids.insert(uid->text());
        // The card's files, picture and card move to the group: only its name stays for the lists and the
        // summary, so memory holds one group's cards at most, once.
        adding.append({card.category, card.name, std::move(card.files), std::move(card.picture), card.pictureSuffix,
                       std::move(card.kept)});
        group.append(&card);
        groupBytes += adding.last().picture.size();
        // Large photos are held no longer than a few dozen megabytes' worth.
        if (group.size() == groupSize || groupBytes > (64 << 20))
            storeGroup();
    } while (reader.next(read));
    storeGroup();

    const QStringList unlisted = book.listStored();
    for (Vcard::Imported &card : results) {
        if (card.skipped.isEmpty() && unlisted.contains(card.category))
            notStored(card);
    }
    const QString summary =
        Vcard::summary({std::make_move_iterator(results.begin()), std::make_move_iterator(results.end())});
    if (cardsNotStored == 0)
        return {true, summary};
    const int error = book.firstError();
    return {true, summary,
            QStringLiteral("%1 %2 could not be stored").arg(cardsNotStored).arg(cardsNotStored == 1 ? "card" : "cards")
                + (error ? QStringLiteral(": ") + qt_error_string(error) : QString())};
}

} // namespace VcardFiles
