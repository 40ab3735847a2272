#pragma once

#include <QString>
#include <QStringList>

// The order of every list the program keeps (categories, names, dependants).
namespace Order {

// Whether a sorts before b as a person expects in the user's language:
// ignoring case, with accented letters beside their plain ones.
bool lessIgnoringCase(const QString &a, const QString &b);

// The texts in that order; equal ones keep their order. Lists the program
// wrote are in order already: that is checked in one pass before anything
// is sorted.
QStringList sortedIgnoringCase(QStringList texts);

} // namespace Order
