#include "model/contactfields.h"

#include "store/paths.h"

#include <algorithm>

const std::array<ContactField, 11> contactFields = {{
    {FileName::Relation, 0, "Relation: ", "txtRelation", "lblRelation", ColorRole::DetailTitle,
     {VcardKind::Text, "X-KINFOLIO-RELATION", "", "Relation: "}},
    {FileName::Birthday, 0, "Birthday: ", "txtBirthday", "lblBirthday", ColorRole::DetailTitle, {VcardKind::Date, "BDAY"}},
    {FileName::DependantsList, 0, "Children/Dependants/Etc: ", "lstChildren", "lblDependants", ColorRole::DetailTitle,
     {VcardKind::Dependants, "RELATED"}, true},
    {FileName::Address, 0, "Address: ", "txtAddress", "lblAddress", ColorRole::DetailTitle, {VcardKind::Address, "ADR", "home"}},
    {FileName::DrivingDirections, 0, "Driving Directions: ", "txtDrivingDirections", "lblDrivingDirections",
     ColorRole::DetailTitle, {VcardKind::Text, "X-KINFOLIO-DIRECTIONS", "", "Driving directions:\n"}},
    {FileName::Numbers, 0, "Home Phone #: ", "txtHome", "lblHome", ColorRole::DetailTitle, {VcardKind::Number, "TEL", "home"},
     false, true},
    {FileName::Numbers, 1, "Cell Phone #: ", "txtCell", "lblCell", ColorRole::DetailTitle,
     {VcardKind::Number, "TEL", "cell mobile iphone"}, false, true},
    {FileName::Numbers, 2, "Work Phone #: ", "txtWork", "lblWork", ColorRole::DetailTitle, {VcardKind::Number, "TEL", "work"},
     false, true},
    {FileName::Numbers, 3, "Fax #: ", "txtFax", "lblFax", ColorRole::DetailTitle, {VcardKind::Number, "TEL", "fax"}, false, true},
    {FileName::Numbers, 4, "E-Mail: ", "txtEmail", "Label1", std::nullopt, {VcardKind::Number, "EMAIL"}},
    {FileName::NumbNotes, 0, "Notes for phone numbers: ", "txtNumNotes", "lblNotes", ColorRole::DetailTitle,
     {VcardKind::Notes, "X-KINFOLIO-NOTES"}},
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
