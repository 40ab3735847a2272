#include "printing/printing.h"

#include "platform/platform.h"
#include "view/contactfields.h"

#include <QLabel>
#include <QMainWindow>

namespace {

const QString confirmTitle = QStringLiteral("Delete Category");

} // namespace

QStringList Printing::reportLines() const
{
    QStringList lines{view.lblName->text(), QString(55, QLatin1Char('-'))};
    for (const ContactField &field : contactFields) {
        lines << QString::fromLatin1(field.label);
        // A list prints an entry a line; a box the lines it holds, an empty one as one empty line.
        lines << (field.isList() ? ContactFields::values(view, field)
                                 : ContactFields::values(view, field).first().split(QLatin1Char('\n')));
        if (&field != &contactFields.back())
            lines << QString();
    }
    return lines;
}

void Printing::cmdPrintText_Click()
{
    if (!platform.askYesNo(view.frmMain,
                               QStringLiteral("This will print all information on the selected contact name. Are you sure?"),
                               confirmTitle)) {
        platform.showMessage(view.frmMain, QStringLiteral("Print cancelled."));
        return;
    }
    platform.printLines(reportLines());
}

void Printing::cmdPrintScreen_Click()
{
    if (!platform.askYesNo(view.frmMain, QStringLiteral("This will print the form as you see it now. Are you sure?"),
                               confirmTitle)) {
        platform.showMessage(view.frmMain, QStringLiteral("Print Screen cancelled."));
        return;
    }
    // The window as it looks now that the question has closed, drawn afresh.
    if (platform.printWindow(*view.frmMain))
        platform.showMessage(view.frmMain, QStringLiteral("Printing..."));
}
