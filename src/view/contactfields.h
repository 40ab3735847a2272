#pragma once

#include "model/contactfields.h"
#include "view/mainview.h"

#include <QString>

class QLabel;

// A contact's fields as the window's controls show them.
namespace ContactFields {

QWidget *control(const MainView &view, const ContactField &field);
QLabel *caption(const MainView &view, const ContactField &field);
// A box's text as one value, a list's entries one each.
QStringList values(const MainView &view, const ContactField &field);
// Sets a box's text to the first value; a list is emptied and given the
// values, sorted. Setting a box raises its change notification, as typing does.
void setValues(const MainView &view, const ContactField &field, const QStringList &values);

} // namespace ContactFields
