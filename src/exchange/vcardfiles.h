#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class AddressBook;
class QIODevice;

// Contacts in and out of the data directory as vCards, for the command line
// and the File menu alike. Importing never overwrites or merges: a name that
// is listed already, or whose files exist, is skipped and named; each card is
// stored whole or not listed at all.
namespace VcardFiles {

struct Outcome
{
    bool ok = false;
    // One line for the user: what was done, or why nothing was.
    QString message;
    // What could not be done, and why, though the rest was.
    QString failure = {};
};

// Every contact, or one category's, as vCard 4.0 cards handed to write a
// megabyte or so at a time. Where write gives false, the export stops there
// and is not ok, with no message: write knows why. The UIDs given now are kept
// unless mayKeep, asked before the first, says the data is not to be written.
Outcome exportCards(const std::function<bool(const QByteArray &)> &write, const QString &category = {},
                    const std::function<bool()> &mayKeep = {});
// The same into cards.
Outcome exportCards(QByteArray &cards, const QString &category = {});

// Adds the contacts of the cards read from the device, one card at a time:
// into category when it is not empty, else each card's first category, else
// "Imported"; categories that are missing are added. Nothing changes when the
// device holds no card or a list it would change cannot be read.
Outcome importCards(QIODevice &cards, const QString &category = {});
// The same into a book in hand (the window's), which then shows what came in.
Outcome importCards(QIODevice &cards, AddressBook &book, const QString &category = {});

} // namespace VcardFiles
