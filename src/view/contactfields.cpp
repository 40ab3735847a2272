#include "view/contactfields.h"

#include "platform/platform.h"
#include "store/paths.h"
#include "store/recordfile.h"
#include "view/added.h"

const std::array<ContactField, 11> contactFields = {{
    {FileName::Relation, 0, "Relation: ", &MainView::txtRelation},
    {FileName::Birthday, 0, "Birthday: ", &MainView::txtBirthday},
    {FileName::DependantsList, 0, "Children/Dependants/Etc: ", &MainView::lstChildren},
    {FileName::Address, 0, "Address: ", &MainView::txtAddress},
    {FileName::DrivingDirections, 0, "Driving Directions: ", &MainView::txtDrivingDirections},
    {FileName::Numbers, 0, "Home Phone #: ", &MainView::txtHome},
    {FileName::Numbers, 1, "Cell Phone #: ", &MainView::txtCell},
    {FileName::Numbers, 2, "Work Phone #: ", &MainView::txtWork},
    {FileName::Numbers, 3, "Fax #: ", &MainView::txtFax},
    {FileName::Numbers, 4, "E-Mail: ", &MainView::txtEmail},
    {FileName::NumbNotes, 0, "Notes for phone numbers: ", &MainView::txtNumNotes},
}};

namespace ContactFields {

QWidget *control(const MainView &view, const ContactField &field)
{
    return std::visit([&view](auto member) -> QWidget * { return view.*member; }, field.control);
}

QStringList values(const MainView &view, const ContactField &field)
{
    return std::visit(
        [&view](auto member) {
            const auto *widget = view.*member;
            if constexpr (std::is_same_v<decltype(widget), const QListWidget *>)
                return Controls::entries(widget);
            else
                return QStringList{Controls::text(widget)};
        },
        field.control);
}

void setValues(const MainView &view, const ContactField &field, const QStringList &values)
{
    std::visit(
        [&](auto member) {
            auto *widget = view.*member;
            if constexpr (std::is_same_v<decltype(widget), QListWidget *>) {
                Controls::clear(widget);
                Controls::addSorted(widget, values);
            } else {
                Controls::setText(widget, values.value(0));
            }
        },
        field.control);
}

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

QStringList record(const MainView &view, const QString &suffix)
{
    QStringList values;
    for (const ContactField *field : inFile(suffix))
        values += ContactFields::values(view, *field);
    return values;
}

} // namespace ContactFields

bool saveAddedList(const MainView &view, Platform &platform, const QString &path, const QStringList &entries,
                   const QString &what)
{
    if (RecordFile::rewriteList(path, entries))
        return true;
    tellNotAdded(view, platform, what);
    return false;
}

void tellNotAdded(const MainView &view, Platform &platform, const QString &what)
{
    platform.showMessage(view.frmMain, QStringLiteral("Sorry, the new ") + what + QStringLiteral(" could not be saved in ")
                                           + Store::dataDir() + QStringLiteral(". Nothing was added."));
}
