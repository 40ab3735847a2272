// libFuzzer target over the vCard reader, writer and contact mapping:
// whatever the bytes, reading ends; a file read in pieces of any size, or as
// UTF-16, gives the same cards as read whole; every card read, written out
// and read again is the same card; any card imports without harm into names the data
// directory takes; and a contact whose files hold the bytes, kept with the
// first card, comes back from its exported card with every file byte for
// byte, and as the same contact from that card in vCard 3.0. Run it with
// fuzz/run.sh.
#include "store/paths.h"
#include "model/vcardcontact.h"

#include <QIODevice>
#include <QStringEncoder>

#include <algorithm>
#include <cstdint>
#include <cstring>

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

// A pipe that gives a few bytes at a time, as a slow one may.
class Trickle : public QIODevice
{
public:
    Trickle(const QByteArray &bytes, qint64 piece) : m_bytes(bytes), m_piece(piece) { open(ReadOnly); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 size) override
    {
        const qint64 n = std::min({size, m_piece, qint64(m_bytes.size()) - m_pos});
        std::memcpy(data, m_bytes.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_piece;
    qint64 m_pos = 0;
};

QList<Vcard::Card> readCards(QIODevice &device)
{
    Vcard::Reader reader(device);
    QList<Vcard::Card> cards;
    for (Vcard::Card card; reader.next(card);)
        cards.append(card);
    return cards;
}

bool same(const QList<Vcard::Card> &a, const QList<Vcard::Card> &b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(), [](const Vcard::Card &x, const Vcard::Card &y) {
        return x.version == y.version && x.properties == y.properties && x.damage == y.damage;
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const QList<Vcard::Card> cards = Vcard::parse(bytes);
    Trickle trickled(bytes, size > 0 ? data[0] % 7 + 1 : 1);
    check(same(readCards(trickled), cards));
    const QString text = QString::fromUtf8(bytes);
    if (!text.startsWith(u'\uFEFF')) {
        Trickle utf16("\xFF\xFE" + QStringEncoder(QStringEncoder::Utf16LE).encode(text), size > 0 ? data[0] % 5 + 1 : 1);
        const QByteArray utf8 = text.toUtf8();
        check(same(readCards(utf16), utf8 == bytes ? cards : Vcard::parse(utf8)));
    }
    int number = 0;
    Vcard::Card firstKept;
    for (const Vcard::Card &card : cards) {
        const QList<Vcard::Card> again = Vcard::parse(Vcard::write(card));
        check(again.size() == 1 && again[0].properties == card.properties);

        Vcard::Imported contact = Vcard::importCard(card, {}, ++number);
        if (number == 1)
            firstKept = std::move(contact.kept);
        check(contact.skipped.isEmpty() == !contact.name.isEmpty());
        check(contact.skipped.isEmpty() || contact.files.isEmpty());
        if (contact.skipped.isEmpty())
            check(nameable(contact.category, contact.name) && contact.files.size() == FileName::contactSuffixes.size() - 1);
    }

    // The input as a contact's files, split at the unit separator, in the
    // order of the suffixes; the piece for the picture file is its image.
    // The first card is kept with it, as an import keeps it.
    Vcard::StoredContact stored{QStringLiteral("Family"), QStringLiteral("Ann"), {}, {}, std::move(firstKept)};
    const QList<QByteArray> pieces = bytes.split('\x1F');
    for (qsizetype i = 0; i < pieces.size() && i < FileName::contactSuffixes.size(); ++i) {
        if (FileName::contactSuffixes[i] == FileName::Pic)
            stored.picture = pieces[i];
        else
            stored.files.insert(FileName::contactSuffixes[i], pieces[i]);
    }
    const QList<Vcard::Imported> back = Vcard::importCards(Vcard::exportContact(stored));
    // A name here that is the card's own cut to fit a longer category is not
    // a rename: the card keeps its whole name, which in this shorter category
    // comes back longer.
    check(back.size() == 1 && back[0].name.startsWith(stored.name) && back[0].category == stored.category);
    for (auto file = stored.files.cbegin(); file != stored.files.cend(); ++file)
        check(back[0].files.value(file.key()) == file.value());
    // Sent to a server that takes vCard 3.0 alone and read back from it, the
    // card gives the same contact.
    Vcard::Card three = Vcard::parse(Vcard::exportContact(stored)).value(0);
    three.properties = Vcard::inVersion3(three.properties);
    three = Vcard::parse(Vcard::write(three).replace("\r\nVERSION:4.0\r\n", "\r\nVERSION:3.0\r\n")).value(0);
    const Vcard::Imported again = Vcard::importCard(three);
    check(again.name == back[0].name && again.category == back[0].category && again.files == back[0].files);
    // Kept so, as the sync keeps a card it receives, it goes out and comes back the same again.
    const QList<Vcard::Imported> twice =
        Vcard::importCards(Vcard::exportContact({again.category, again.name, again.files, again.picture, again.kept}));
    check(twice.size() == 1 && twice[0].name == again.name && twice[0].files == again.files);
    // A picture goes out whole; what is not an image does not come in. A
    // contact without one goes out with the other photos its card came with,
    // the first image of which comes in as its picture.
    const QList<const Vcard::Property *> photos = stored.kept.all("PHOTO");
    check(back[0].picture == stored.picture || back[0].picture.isEmpty()
          || (stored.picture.isEmpty() && std::any_of(photos.cbegin(), photos.cend(), [&](const Vcard::Property *photo) {
                  return photo->binary() == back[0].picture;
              })));
    return 0;
}
