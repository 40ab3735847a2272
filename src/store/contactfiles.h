#pragma once

#include <QString>
#include <QStringList>

// A contact's files and the lists that name them, as the window and the data
// directory's tools alike find, read and delete them.
namespace ContactFiles {

// The file that lists a category's names.
QString namesList(const QString &category);
// Reads a list file; false when it exists but cannot be read whole, and so
// must not be rewritten from the part that was read.
bool readWhole(const QString &file, QStringList &entries);
bool anyExists(const QString &category, const QString &name);
// Deletes every file of the contact and its kept card, syncing the directory once; false at the
// first that cannot be.
bool remove(const QString &category, const QString &name);

// Gives every file of the contact and its kept card the other contact's
// names (see RecordFile::move); false at the first that cannot be moved.
bool move(const QString &category, const QString &name, const QString &toCategory, const QString &toName);

} // namespace ContactFiles
