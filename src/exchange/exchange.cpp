#include "exchange/exchange.h"

#include "book/book.h"
#include "exchange/vcardfiles.h"
#include "platform/platform.h"
#include "view/mainview.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

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
    const VcardFiles::Outcome outcome = VcardFiles::importCards(file);
    book.ReloadLists();
    platform.showMessage(view.frmMain, outcome.ok ? outcome.message
                                                  : QStringLiteral("Sorry, nothing was imported from ") + path
                                                        + QStringLiteral(": ") + outcome.message);
}

void Exchange::mnuExportCards_Click()
{
    const QString path = platform.chooseSaveFile(view.frmMain, cardFilter(), QDir::homePath() + QStringLiteral("/Kinfolio.vcf"));
    if (path.isEmpty())
        return; // cancelled
    QByteArray cards;
    const VcardFiles::Outcome outcome = VcardFiles::exportCards(cards);
    if (!outcome.ok) {
        platform.showMessage(view.frmMain, QStringLiteral("Sorry, nothing was exported: ") + outcome.message);
        return;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(cards) != cards.size() || !file.commit()) {
        platform.showMessage(view.frmMain, QStringLiteral("Sorry, ") + path + QStringLiteral(" cannot be written: ")
                                               + file.errorString() + u'.');
        return;
    }
    platform.showMessage(view.frmMain, outcome.message);
}
