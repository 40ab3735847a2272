#include "app/frmmain.h"
#include "platform/qtplatform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Fusion draws buttons in their palette colour on every desktop theme.
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kinfolio"));
    QApplication::setApplicationVersion(QStringLiteral(KINFOLIO_VERSION));

    QtPlatform platform;
    FrmMain frmMain(platform);
    frmMain.show();
    return QApplication::exec();
}
