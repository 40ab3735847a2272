#include "printing/printing.h"

#include "app/frmmain.h"

#include <QLabel>

namespace {

const QString confirmTitle = QStringLiteral("Delete Category");

// A value prints as the lines it holds; an empty value as one empty line.
QStringList linesOf(const QString &value)
{
    return value.split(QLatin1Char('\n'));
}

} // namespace

QStringList Printing::reportLines() const
{
    QStringList lines{frm.lblName->text(), QString(55, QLatin1Char('-'))};
    const auto field = [&lines](const char *label, const QString &value, bool last = false) {
        lines << QString::fromLatin1(label) << linesOf(value);
        if (!last)
            lines << QString();
    };
    field("Relation: ", Controls::text(frm.txtRelation));
    field("Birthday: ", Controls::text(frm.txtBirthday));
    lines << QStringLiteral("Children/Dependants/Etc: ") << Controls::entries(frm.lstChildren) << QString();
    field("Address: ", Controls::text(frm.txtAddress));
    field("Driving Directions: ", Controls::text(frm.txtDrivingDirections));
    field("Home Phone #: ", Controls::text(frm.txtHome));
    field("Cell Phone #: ", Controls::text(frm.txtCell));
    field("Work Phone #: ", Controls::text(frm.txtWork));
    field("Fax #: ", Controls::text(frm.txtFax));
    field("E-Mail: ", Controls::text(frm.txtEmail));
    field("Notes for phone numbers: ", Controls::text(frm.txtNumNotes), true);
    return lines;
}

void Printing::cmdPrintText_Click()
{
    if (!frm.platform.askYesNo(&frm,
                               QStringLiteral("This will print all information on the selected contact name. Are you sure?"),
                               confirmTitle)) {
        frm.platform.showMessage(&frm, QStringLiteral("Print cancelled."));
        return;
    }
    frm.platform.printLines(reportLines());
}

void Printing::cmdPrintScreen_Click()
{
    if (!frm.platform.askYesNo(&frm, QStringLiteral("This will print the form as you see it now. Are you sure?"),
                               confirmTitle)) {
        frm.platform.showMessage(&frm, QStringLiteral("Print Screen cancelled."));
        return;
    }
    // The window as it looks now that the question has closed, drawn afresh.
    if (frm.platform.printWindow(frm))
        frm.platform.showMessage(&frm, QStringLiteral("Printing..."));
}
