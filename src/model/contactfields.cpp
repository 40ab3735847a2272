#include "model/contactfields.h"

#include "store/paths.h"

#include <algorithm>

const std::array<ContactField, 11> contactFields = {{
    {FileName::Relation, 0, "Relation: ", "txtRelation"},
    {FileName::Birthday, 0, "Birthday: ", "txtBirthday"},
    {FileName::DependantsList, 0, "Children/Dependants/Etc: ", "lstChildren", true},
    {FileName::Address, 0, "Address: ", "txtAddress"},
    {FileName::DrivingDirections, 0, "Driving Directions: ", "txtDrivingDirections"},
    {FileName::Numbers, 0, "Home Phone #: ", "txtHome"},
    {FileName::Numbers, 1, "Cell Phone #: ", "txtCell"},
    {FileName::Numbers, 2, "Work Phone #: ", "txtWork"},
    {FileName::Numbers, 3, "Fax #: ", "txtFax"},
    {FileName::Numbers, 4, "E-Mail: ", "txtEmail"},
    {FileName::NumbNotes, 0, "Notes for phone numbers: ", "txtNumNotes"},
}};

namespace ContactFields {

QStringList files()
{
    QStringList suffixes;
    for (const ContactField &field : contactFields) {
        if (!suffixes.contains(field.suffix))
            suffixes.append(field.suffix);
    }
    return suffixes;
}

QList<const ContactField *> inFile(const QString &suffix)
{
    QList<const ContactField *> fields;
    for (const ContactField &field : contactFields) {
        if (field.suffix == suffix)
            fields.append(&field);
    }
    std::sort(fields.begin(), fields.end(), [](const auto *a, const auto *b) { return a->index < b->index; });
    return fields;
}

} // namespace ContactFields
