#pragma once

#include "model/colorscheme.h"
#include "store/paths.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// How a field goes out on a vCard and comes in from one. A card holds the
// fields in the order of these kinds, those of one kind in table order.
enum class VcardKind {
    // A date where the text is one, else the text as VALUE=text.
    Date,
    // A number or e-mail address of the property and of `types`: the card's
    // preferred one fills the field, the others go to the notes under its
    // report label. One of several types fills a kind of telephone (cell,
    // fax) before a place (home, work), else the later row.
    Number,
    // The address of `types`, else the first, its whole text as its LABEL;
    // the others go to the notes.
    Address,
    // The notes, with whatever no field holds; a card from elsewhere gives its NOTE.
    Notes,
    // Text of the program's own, also a paragraph of the NOTE other programs
    // show, under `heading`.
    Text,
    // A property for each entry; from elsewhere only children (TYPE=child,
    // Apple's child, son and daughter).
    Dependants,
};

struct VcardMapping
{
    VcardKind kind;
    const char *property;
    // The TYPE it is written with, then others that read as it, space-separated.
    const char *types = "";
    const char *heading = "";
};

// One of a contact's fields: the file it is kept in, its place in that
// file's record, the label the printed report gives it, the window's control
// that shows it and the caption beside that (by their names), the colour
// the caption is painted in, and its vCard property. Everything that reads,
// stores, shows, empties, enables, prints, paints, names for a screen reader,
// tabs through, exports or imports a contact's fields goes by this table, in
// its order; a new field is a new row here and its control and caption in the
// window's layout.
struct ContactField
{
    const QString &suffix; // the contact's file: category & name & suffix
    int index;             // the field's place in that file's record; a list file is all entries
    const char *label;     // in the printed report
    const char *control;   // the window's control
    const char *caption;   // the label beside it
    std::optional<ColorRole> captionColor; // none: its design colour in every scheme
    VcardMapping vcard;
    bool list = false;     // a list of entries, shown one a line
    bool phone = false;    // a telephone number, which Find also matches by its digits alone

    bool isList() const { return list; }
};

// In the order of the printed report and of the window's Tab key.
extern const std::array<ContactField, 11> contactFields;

namespace ContactFields {

// The files a contact's fields are kept in, each once, in table order.
QStringList files();
// The fields kept in one file, by their place in its record.
QList<const ContactField *> inFile(const QString &suffix);

} // namespace ContactFields
