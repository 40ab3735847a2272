#include "exchange/exchange.h"

#include "exchange/vcardfiles.h"
#include "platform/platform.h"
#include "store/recordfile.h"
#include "view/mainview.h"

#include <QDir>
#include <QFile>

QString Exchange::cardFilter()
{
    return QStringLiteral("vCard Files (*.vcf *.vcard);;All Files (*)");
}

void Exchange::mnuImportCards_Click()
{
    const QString path = platform.chooseOpenFile(view.frmMain, cardFilter());
    if (path.isEmpty())
        return; // cancelled
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        platform.showMessage(view.frmMain, QStringLiteral("Sorry, ") + path + QStringLiteral(" cannot be read: ")
                                               + file.errorString() + u'.');
        return;
    }
    const VcardFiles::Outcome outcome = VcardFiles::importCards(file, book);
    if (!outcome.ok)
        platform.showMessage(view.frmMain, QStringLiteral("Sorry, nothing was imported from ") + path + QStringLiteral(": ")
                                               + outcome.message);
    else if (!outcome.failure.isEmpty())
        platform.showMessage(view.frmMain, outcome.message + QStringLiteral(".\n\nSorry, ") + outcome.failure + u'.');
    else
        platform.showMessage(view.frmMain, outcome.message);
}

void Exchange::mnuExportCards_Click()
{
    const QString path = platform.chooseSaveFile(view.frmMain, cardFilter(), QDir::homePath() + QStringLiteral("/Kinfolio.vcf"));
    if (path.isEmpty())
        return; // cancelled
    RecordFile::NewFile file(path);
    const VcardFiles::Outcome outcome =
        VcardFiles::exportCards([&file](const QByteArray &cards) { return file.append(cards) == 0; });
    if (!outcome.ok && !outcome.message.isEmpty()) {
        platform.showMessage(view.frmMain, QStringLiteral("Sorry, nothing was exported: ") + outcome.message);
        return;
    }
    if (const int error = file.commit()) {
        platform.showMessage(view.frmMain, QStringLiteral("Sorry, ") + path + QStringLiteral(" cannot be written: ")
                                               + qt_error_string(error) + u'.');
        return;
    }
    platform.showMessage(view.frmMain, outcome.message);
}
