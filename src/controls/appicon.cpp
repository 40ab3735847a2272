#include "controls/appicon.h"

QIcon kinfolioIcon()
{
    // The icon is a resource of a static library: nothing pulls its
    // registration into the program unless a function of the library names it.
    static bool registered = false;
    if (!registered) {
        Q_INIT_RESOURCE(appicon);
        registered = true;
    }
    // Every size drawn for the desktop, so the window list, the title bar and
    // the About box each take a drawn size rather than a scaled one.
    QIcon icon;
    for (const int size : {KINFOLIO_ICON_SIZES})
        icon.addFile(QStringLiteral(":/kinfolio/%1x%1/apps/kinfolio.png").arg(size), QSize(size, size));
    return icon;
}
