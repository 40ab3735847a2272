#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// What a sync does, decided from what each side did since the last sync;
// no network and no files here, so every rule can be checked on its own.
namespace Sync {

// What the last sync left of a contact, by its UID: where its card is on the
// server, the ETag it had then, and the card as it was then.
struct Synced
{
    QString href;
    QByteArray etag;
    QByteArray card;
};

// A contact here since the last sync. A UID of the last sync that is neither
// here nor Removed is taken as removed here (its files went while the
// program was not running).
enum class Here { Unchanged, Changed, Removed };

struct Conflict
{
    enum Kind { RemovedHereChangedThere, ChangedHereRemovedThere };
    QString uid;
    Kind kind;
    bool operator==(const Conflict &) const = default;
};

// Each list in the order of the UIDs or hrefs, so that a sync cut short and
// run again does the same.
struct Plan
{
    QStringList create;      // UIDs here and not in the last sync: put at <book>/<UID>.vcf if none is there
    QStringList update;      // UIDs changed here only: written over the last synced card, if its ETag holds
    QStringList merge;       // UIDs changed on both sides, or new here with a card at their address there already
    QStringList removeThere; // UIDs removed here, unchanged there: removed if the ETag holds
    QStringList removeHere;  // UIDs removed there, unchanged here
    QStringList forget;      // UIDs removed on both sides
    QStringList fetch;       // hrefs whose cards are needed: changed or new there, and those to merge
    QList<Conflict> conflicts; // removed on one side and changed on the other: neither side is touched
};

// `book` is the address book's path, ending in '/'; `there` every card's
// href and ETag as the server lists them now; `keepMine` the user's choice in
// a conflict of removal, by UID: true to keep the contact here (sent again as
// a new card where the server removed it, removed there where it was removed
// here), false to take the server's side. A choice made for a conflict that
// is no longer one changes nothing.
Plan plan(const QHash<QString, Synced> &last, const QHash<QString, Here> &here, const QHash<QString, QByteArray> &there,
          const QString &book, const QHash<QString, bool> &keepMine = {});

// The server's listing after incremental changes: the last sync's hrefs and
// ETags, with the changes applied.
QHash<QString, QByteArray> listingAfter(const QHash<QString, Synced> &last, const QHash<QString, QByteArray> &changed,
                                        const QStringList &removed);

// A field both sides changed differently since the last sync: `field` names
// it ("FN", "TEL;TYPE=cell", or for a number the fields have no room for
// "X-KINFOLIO-NOTES;X-LINE=" and its line of the notes), the values are its
// text on each side, empty where that side removed it.
struct FieldConflict
{
    QByteArray field;
    QString here;
    QString there;
    bool operator==(const FieldConflict &) const = default;
};

// The user's choice in a field's conflict: keep the value here, or take the
// server's. Mine is kept over the value of the server the user saw, `there`:
// another one there since is a new conflict.
struct Choice
{
    bool mine = false;
    QString there;
};

struct Merged
{
    QByteArray card;        // the server's card with the fields changed only here written in
    bool send = false;      // the card differs from the server's: to be written back
    QList<FieldConflict> conflicts; // left as the server has them, for the user to choose
};

// A field of FieldConflict as the window names it, such as "Cell Phone #".
QString fieldName(const QString &field);

// A card merged field by field. `last` is the card of the last sync (empty
// when none), `here` the card this program writes for the contact now,
// `there` the server's card now. Only the properties this program writes,
// and those it shows as lines of the notes, are fields; every other line of
// the server's card, and its VERSION, stays byte for byte. `chosen` settles
// conflicts of the fields it names.
Merged merge(const QByteArray &last, const QByteArray &here, const QByteArray &there,
             const QHash<QByteArray, Choice> &chosen = {});

} // namespace Sync
