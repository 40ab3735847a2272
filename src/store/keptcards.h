#pragma once

#include "store/recordfile.h"
#include "store/vcard.h"

// Each contact's vCard as it came in, kept beside the data directory (whose
// files keep their names and format): what no box shows (ORG, URL, the other
// categories, labels, other programs' properties) and the contact's UID go
// out again on every export. A contact first exported without one keeps a
// card holding only the UID it went out with.
namespace KeptCards {

// <XDG data home>/Kinfolio/Cards/, with a trailing '/'.
QString folder();
// The contact's kept card file, named as its data files are, without a
// suffix; empty where no data file of the contact could be.
QString file(const QString &category, const QString &name);
// The contact's kept card; one without properties when there is none.
Vcard::Card read(const QString &category, const QString &name);
// Gives the card a new UID when it has none, or anew in place of its own; whether it did.
bool giveUid(Vcard::Card &card, bool anew = false);
// Stores the card as the contact's (inside a write group, with the group).
bool keep(const QString &category, const QString &name, const Vcard::Card &card,
          RecordFile::Mode mode = RecordFile::Stored);

} // namespace KeptCards
