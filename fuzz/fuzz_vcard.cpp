// libFuzzer target over the vCard reader, writer and contact mapping:
// whatever the bytes, reading ends; every card read, written out and read
// again is the same card; any card imports without harm into names the data
// directory takes; and a contact whose files hold the bytes, kept with the
// first card, comes back from its exported card with every file byte for byte. Run it with fuzz/run.sh.
#include "store/paths.h"
#include "store/vcardcontact.h"

#include <cstdint>

// Last: its macro would clash with names in the headers above.
#include "check.h"

namespace {

bool nameable(const QString &category, const QString &name)
{
    if (Store::dataFile(FileName::NamesList, category).isEmpty())
        return false;
    for (const QString &suffix : FileName::contactSuffixes) {
        if (Store::dataFile(category, name, suffix).isEmpty())
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const QList<Vcard::Card> cards = Vcard::parse(bytes);
    int number = 0;
    for (const Vcard::Card &card : cards) {
        const QList<Vcard::Card> again = Vcard::parse(Vcard::write(card));
        check(again.size() == 1 && again[0].properties == card.properties);

        const Vcard::Imported contact = Vcard::importCard(card, {}, ++number);
        check(contact.skipped.isEmpty() == !contact.name.isEmpty());
        check(contact.skipped.isEmpty() || contact.files.isEmpty());
        if (contact.skipped.isEmpty())
            check(nameable(contact.category, contact.name) && contact.files.size() == FileName::contactSuffixes.size() - 1);
    }

    // The input as a contact's files, split at the unit separator, in the
    // order of the suffixes; the piece for the picture file is its image.
    // The first card is kept with it, as an import keeps it.
    Vcard::StoredContact stored{QStringLiteral("Family"), QStringLiteral("Ann"), {}, {},
                                cards.isEmpty() ? Vcard::Card() : Vcard::importCard(cards[0]).kept};
    const QList<QByteArray> pieces = bytes.split('\x1F');
    for (qsizetype i = 0; i < pieces.size() && i < FileName::contactSuffixes.size(); ++i) {
        if (FileName::contactSuffixes[i] == FileName::Pic)
            stored.picture = pieces[i];
        else
            stored.files.insert(FileName::contactSuffixes[i], pieces[i]);
    }
    const QList<Vcard::Imported> back = Vcard::importCards(Vcard::exportContact(stored));
    check(back.size() == 1 && back[0].name == stored.name && back[0].category == stored.category);
    for (auto file = stored.files.cbegin(); file != stored.files.cend(); ++file)
        check(back[0].files.value(file.key()) == file.value());
    // A picture goes out whole; what is not an image does not come in.
    check(back[0].picture == stored.picture || back[0].picture.isEmpty());
    return 0;
}
