#include "app/frmmain.h"
#include "app/onecopy.h"
#include "platform/qtplatform.h"
#include "store/paths.h"

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
    Store::makeDataDir();
    OneCopy oneCopy(Store::dataDir());
    if (!oneCopy.lead()) {
        if (oneCopy.raiseRunning())
            return 0;
        platform.showMessage(nullptr, QStringLiteral("Kinfolio is already open with the data in ") + Store::dataDir()
                                          + QStringLiteral(" but does not answer. Please close it, then start "
                                                           "Kinfolio again."));
        return 1;
    }

    FrmMain frmMain(platform);
    QObject::connect(&oneCopy, &OneCopy::raiseRequested, &frmMain, [&frmMain] {
        frmMain.setWindowState(frmMain.windowState() & ~Qt::WindowMinimized);
        frmMain.show();
        frmMain.raise();
        frmMain.activateWindow();
    });
    frmMain.show();
    return QApplication::exec();
}
