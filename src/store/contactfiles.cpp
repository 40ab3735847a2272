#include "store/contactfiles.h"

#include "store/keptcards.h"
#include "store/paths.h"
#include "store/recordfile.h"

#include <algorithm>

namespace ContactFiles {

QString namesList(const QString &category)
{
    return Store::dataFile(FileName::NamesList, category);
}

bool readWhole(const QString &file, QStringList &entries)
{
    return RecordFile::readList(file, entries) || !RecordFile::exists(file);
}

bool anyExists(const QString &category, const QString &name)
{
    return std::ranges::any_of(FileName::contactSuffixes, [&](const QString &suffix) {
        return RecordFile::exists(Store::dataFile(category, name, suffix));
    });
}

bool remove(const QString &category, const QString &name)
{
    const RecordFile::WriteGroup removal;
    // The kept card first: a contact added later under the name must not take its UID and properties.
    return RecordFile::remove(KeptCards::file(category, name))
           && std::ranges::all_of(FileName::contactSuffixes, [&](const QString &suffix) {
                  return RecordFile::remove(Store::dataFile(category, name, suffix));
              });
}

bool move(const QString &category, const QString &name, const QString &toCategory, const QString &toName)
{
    const RecordFile::WriteGroup moves;
    return RecordFile::move(KeptCards::file(category, name), KeptCards::file(toCategory, toName))
           && std::ranges::all_of(FileName::contactSuffixes, [&](const QString &suffix) {
                  return RecordFile::move(Store::dataFile(category, name, suffix),
                                          Store::dataFile(toCategory, toName, suffix));
              });
}

} // namespace ContactFiles
