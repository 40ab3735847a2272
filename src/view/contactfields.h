#pragma once

#include "view/mainview.h"

#include <QString>

#include <array>
#include <variant>

// One of a contact's fields: the file it is kept in, its place in that
// file's record, the control that shows it and the label the printed report
// gives it. Everything that loads, saves, empties, enables, prints or paints
// a contact's fields goes by this table; a new field is a new row here and
// its control in the window's layout.
struct ContactField
{
    using Control = std::variant<QLineEdit *MainView::*, QPlainTextEdit *MainView::*, QListWidget *MainView::*>;

    const QString &suffix; // the contact's file: category & name & suffix
    int index;             // the field's place in that file's record; a list file is all entries
    const char *label;     // in the printed report
    Control control;

    bool isList() const { return std::holds_alternative<QListWidget *MainView::*>(control); }
};

// In the order of the printed report.
extern const std::array<ContactField, 11> contactFields;

namespace ContactFields {

QWidget *control(const MainView &view, const ContactField &field);
// A box's text as one value, a list's entries one each.
QStringList values(const MainView &view, const ContactField &field);
// Sets a box's text to the first value; a list is emptied and given the
// values, sorted. Setting a box raises its change notification, as typing does.
void setValues(const MainView &view, const ContactField &field, const QStringList &values);

// The files a contact's fields are kept in, each once, in table order.
QStringList files();
// The fields kept in one file, by their place in its record.
QList<const ContactField *> inFile(const QString &suffix);
// What is written to the file: the values of its fields, in record order.
QStringList record(const MainView &view, const QString &suffix);

} // namespace ContactFields
