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
    return QIcon(QStringLiteral(":/kinfolio/kinfolio.png"));
}
