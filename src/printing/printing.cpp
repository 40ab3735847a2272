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

bool Printing::printed(Platform::PrintResult result)
{
    if (result == Platform::PrintResult::NoPrinter)
        platform.showMessage(view.frmMain, QStringLiteral("Nothing was printed. No printer is set up."));
    else if (result == Platform::PrintResult::Failed)
        platform.showMessage(view.frmMain, QStringLiteral("Nothing was printed. The printer did not take the job."));
    return result == Platform::PrintResult::Printed;
}

void Printing::cmdPrintText_Click()
{
    if (!platform.askYesNo(view.frmMain,
                               QStringLiteral("This will print all information on the selected contact name. Are you sure?"),
                               confirmTitle)) {
        platform.showMessage(view.frmMain, QStringLiteral("Print cancelled."));
        return;
    }
    printed(platform.printLines(reportLines()));
}

void Printing::cmdPrintScreen_Click()
{
    if (!platform.askYesNo(view.frmMain, QStringLiteral("This will print the form as you see it now. Are you sure?"),
                               confirmTitle)) {
        platform.showMessage(view.frmMain, QStringLiteral("Print Screen cancelled."));
        return;
    }
    // The window as it looks now that the question has closed, drawn afresh.
    if (printed(platform.printWindow(*view.frmMain)))
        platform.showMessage(view.frmMain, QStringLiteral("Printing..."));
}
