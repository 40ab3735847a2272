#pragma once

#include "store/vcard.h"

#include <QHash>

// A contact's data files as a vCard and back.
//
// A contact goes out as one vCard 4.0 card with the standard properties other
// programs show (FN, N, CATEGORIES, BDAY, TEL, EMAIL, ADR with its LABEL,
// NOTE, RELATED, PHOTO) and X-KINFOLIO-* properties for what they have no
// place for. Where a file's bytes would not come back from those (a file in
// Windows-1252, a value cut at a double quote, line ends of its own), the card
// carries the file itself in X-KINFOLIO-FILE, so that importing the card
// gives back every data file byte for byte, the picture file aside: its
// picture travels as its image bytes.
//
// A card comes in from any of the forms address books write; what has no
// field of its own (more numbers or e-mail addresses of one kind than the
// fields hold, more addresses) goes into the numbers note, never lost. The
// card itself is kept with the contact (KeptCards), and goes out again with
// what changed since put in place of the properties that held it.
namespace Vcard {

// One contact as it is stored: its names, the bytes of each of its data files
// by suffix (FileName::contactSuffixes; a file that does not exist has no
// entry), the bytes of the image its picture file names and its kept card.
struct StoredContact
{
    QString category;
    QString name;
    QHash<QString, QByteArray> files;
    QByteArray picture;
    Card kept = {};
    QStringList unreadable = {}; // the suffixes of files there that could not be read
    bool pictureUnread = false;  // the picture file names an image that could not be read (gone, moved, a drive not mounted)
};

// Reads a contact from the data directory.
StoredContact readContact(const QString &category, const QString &name);

// The contact as one vCard 4.0 card: its kept card with what changed since
// put in, in place of what the card held it as.
QByteArray exportContact(const StoredContact &contact);

// Properties as a vCard 3.0 card (RFC 2426) writes what the export writes in
// 4.0's forms: data: URIs as ENCODING=b, a tel: URI as the number, PREF=1 as
// TYPE=pref, a birthday without a year as Apple writes one, an address's
// LABEL parameter left out where its parts say the same, KIND:individual
// (3.0's only kind) left out, ANNIVERSARY and GENDER as X- properties.
QList<Property> inVersion3(QList<Property> properties);
// And the other way: properties a vCard 3.0 or 2.1 card gave, as a 4.0 card
// writes them, one for one and in their order: base64 values as data: URIs,
// TYPE=pref as PREF=1, dates in 4.0's form (Apple's year of a birthday
// without one left out), GEO as a geo: URI, X-ANNIVERSARY and X-GENDER as
// 4.0's own, a URL's escaped colon (Google's) as a colon. A 4.0 card's
// properties stay as they are.
QList<Property> inVersion4(QList<Property> properties);

// What one card gives: the files to store for it, or why it is skipped.
struct Imported
{
    QString cardName;     // how the card names the contact, for messages; "card N" when it does not
    QString skipped;      // why the card is not stored; empty when it can be
    QString category;     // acceptable category and name, empty when skipped
    QString name;
    QStringList changes;  // what was changed to make the card's data acceptable, for messages
    QHash<QString, QByteArray> files; // every data file but the picture file, by suffix
    QByteArray picture;   // the photo's image bytes, empty when none
    QString pictureSuffix; // the image's usual file name suffix, such as "jpg"
    Card kept;            // the card to keep with the contact, its picture left out
    QStringList keptNames; // what it holds that no box shows, such as "ORG"
};

// Whether the card is a group of contacts (vCard 4.0's KIND:group, Apple's
// X-ADDRESSBOOKSERVER-KIND:group) rather than a contact.
bool isGroup(const Card &card);

// The card's contact, in `category` when it is not empty, else in the card's
// first category, else in "Imported". `number` counts the cards from 1.
Imported importCard(const Card &card, const QString &category = {}, int number = 1);
QList<Imported> importCards(const QByteArray &bytes, const QString &category = {});

// The field each property of the card fills as the import reads it, by its
// place in the card: a row of contactFields, or -1 where it fills none (a
// number the fields have no room for, which goes to the notes, or what no
// field holds). `notesLines`, where given, gets the line of the notes each
// property gives, empty for most: a number, e-mail address or address the
// fields have no room for, which an export leaves out once the notes no
// longer hold its line.
QList<int> fieldRows(const Card &card, QStringList *notesLines = nullptr);

// A name made acceptable as a contact name in the category or (with an
// empty category) as a category name: each character a file name cannot hold
// and the double quote replaced by "-", control characters by a space, and a
// name too long for its files cut short. Empty when nothing is left of it.
QString acceptableName(const QString &name, const QString &category);

// A name numbered to tell it from another contact's, "Ann (2)"; and whether a
// name is a base name so numbered. Such a contact's card keeps its own FN.
QString numberedName(const QString &name, int number);
bool isNumbered(const QString &name, const QString &base);

// The items joined by commas for a summary, the first ten, then "and 3 more".
QString listed(const QStringList &items);

// One line saying what an import did, such as "Imported 312 contacts into 4
// categories; skipped 3: card 7 (no name, organisation or e-mail address), ...".
QString summary(const QList<Imported> &results);
// "<count> contacts in|from <count> categories", as both summaries say it.
QString contactsAndCategories(qsizetype contacts, const QString &preposition, qsizetype categories);

} // namespace Vcard
