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
    // Wayland desktops find the window's menu entry, and with it its icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(KINFOLIO_APP_ID));

    QtPlatform platform;
    FrmMain frmMain(platform);
    frmMain.show();
    return QApplication::exec();
}
