#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <optional>

class QIODevice;

// vCard, the format address books and phones exchange contacts in. Reads the
// forms found in the wild (2.1 with quoted-printable values and charsets, 3.0,
// 4.0) into one model and writes vCard 4.0.
//
// A property's value is kept as written, with its backslash escapes, because
// what an escaped ';' or ',' means depends on the property; text(),
// components() and list() unescape it. Reading undoes the transfer encodings
// (folding, quoted-printable, CHARSET), so the model holds Unicode text whose
// line breaks are escaped as "\n", never raw, and writing it gives back a card
// that reads as the same model.
namespace Vcard {

struct Parameter
{
    QByteArray name; // upper case
    QStringList values;
    bool operator==(const Parameter &) const = default;
};

struct Property
{
    QByteArray group; // "item1" of "item1.TEL", as written; empty when none
    QByteArray name;  // upper case
    QList<Parameter> parameters;
    QString value; // escaped, without raw line breaks

    // Every value of the named parameter, over all its occurrences; TYPE
    // values are split at commas too ("home,voice").
    QStringList parameter(QByteArrayView name) const;
    bool hasType(QLatin1StringView type) const;

    QString text() const;
    // The value split at unescaped ';' (N, ADR, ORG), each part unescaped.
    QStringList components() const;
    // The value split at unescaped ',' (CATEGORIES), each part unescaped.
    QStringList list() const;
    // The bytes of a base64 value (ENCODING=b or BASE64) or of a data: URI;
    // empty for any other value. ok tells whether the value decoded whole.
    QByteArray binary(bool *ok = nullptr) const;
    // The media type a data: URI or the TYPE of a base64 value names, such as
    // "image/jpeg"; empty when none is named.
    QString mediaType() const;

    bool operator==(const Property &) const = default;
};

struct Card
{
    QString version; // as the card's VERSION gives it; written cards are 4.0
    QList<Property> properties;
    // Why the card is not whole ("no END:VCARD"); empty when it is.
    QString damage = {}; // initialised, so that cards built in braces need not name it

    const Property *first(QByteArrayView name) const;
    QList<const Property *> all(QByteArrayView name) const;
};

// The cards of a file (or any device), one at a time: only the card being
// read is held, whatever the file's size. Never fails: a line that cannot be
// read is left out and text outside BEGIN:VCARD and END:VCARD is ignored. A
// card ends at its END:VCARD, or, damaged, where a line begins the next card
// or the file ends, so a broken card never takes the cards after it. A card
// nested in another (2.1's AGENT, on the line after it) is its AGENT's value.
// UTF-8 and UTF-16 with a byte order mark are read, and any line end.
class Reader
{
public:
    explicit Reader(QIODevice &device);

    // The next card; false when there is none left.
    bool next(Card &card);

private:
    bool readLine(QByteArray &line);
    bool fill();

    QIODevice &m_device;
    std::optional<QStringDecoder> m_utf16;
    QString m_held; // the first half of a UTF-16 pair whose second half is still to be read
    QByteArray m_buffer; // what is read and not yet taken, as UTF-8
    QByteArray m_chunk; // each read's bytes as they come
    qsizetype m_pos = 0;
    bool m_started = false;
    bool m_ended = false;
    QByteArray m_begun; // a line that began a card while another was read
};

// Every card in the bytes, in order, as a Reader reads them.
QList<Card> parse(const QByteArray &bytes);

// One card as vCard 4.0: BEGIN, VERSION:4.0, the properties, END, each line
// ending in CR LF and folded at 75 octets, never inside a UTF-8 sequence.
QByteArray write(const Card &card);

// Text escaped for a value: backslashes, line breaks and the separators
// given, ",;" for a text value, a field of N or ADR, none for a quoted
// parameter such as LABEL. A ';' in a text value is escaped too, which vCard
// 4.0 allows, because readers that split every value there cut it otherwise.
QString escape(QStringView text, QStringView separators = u",;");

} // namespace Vcard
