#include "controls/appicon.h"

QIcon kinfolioIcon()
{
    // Every size drawn for the desktop, so the window list, the title bar and
    // the About box each take a drawn size rather than a scaled one. Adding a
    // file decodes it, so the icon is made once and shared by every window.
    static const QIcon icon = [] {
        // The icon is a resource of a static library: nothing pulls its
        // registration into the program unless a function of the library
        // names it.
        Q_INIT_RESOURCE(appicon);
        QIcon made;
        for (const int size : {KINFOLIO_ICON_SIZES})
            made.addFile(QStringLiteral(":/kinfolio/%1x%1/apps/kinfolio.png").arg(size), QSize(size, size));
        return made;
    }();
    return icon;
}
