#pragma once

#include "store/paths.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// One of a contact's fields: the file it is kept in, its place in that
// file's record, the window's control that shows it (by its name) and the
// label the printed report gives it. Everything that reads, stores, shows,
// empties, enables, prints or paints a contact's fields goes by this table;
// a new field is a new row here and its control in the window's layout.
struct ContactField
{
    const QString &suffix; // the contact's file: category & name & suffix
    int index;             // the field's place in that file's record; a list file is all entries
    const char *label;     // in the printed report
    const char *control;   // the window's control
    bool list = false;     // a list of entries, shown one a line

    bool isList() const { return list; }
};

// In the order of the printed report.
extern const std::array<ContactField, 11> contactFields;

namespace ContactFields {

// The files a contact's fields are kept in, each once, in table order.
QStringList files();
// The fields kept in one file, by their place in its record.
QList<const ContactField *> inFile(const QString &suffix);

} // namespace ContactFields
