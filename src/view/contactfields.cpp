#include "view/contactfields.h"

#include "platform/platform.h"
#include "store/paths.h"
#include "view/added.h"

#include <QLabel>

namespace ContactFields {

QWidget *control(const MainView &view, const ContactField &field)
{
    return view.client->findChild<QWidget *>(QLatin1String(field.control));
}

QLabel *caption(const MainView &view, const ContactField &field)
{
    return view.client->findChild<QLabel *>(QLatin1String(field.caption));
}

QStringList values(const MainView &view, const ContactField &field)
{
    QWidget *widget = control(view, field);
    if (auto *list = qobject_cast<QListWidget *>(widget))
        return Controls::entries(list);
    if (auto *line = qobject_cast<QLineEdit *>(widget))
        return {Controls::text(line)};
    return {Controls::text(static_cast<QPlainTextEdit *>(widget))};
}

void setValues(const MainView &view, const ContactField &field, const QStringList &values)
{
    QWidget *widget = control(view, field);
    if (auto *list = qobject_cast<QListWidget *>(widget)) {
        Controls::clear(list);
        Controls::addSorted(list, values);
    } else if (auto *line = qobject_cast<QLineEdit *>(widget)) {
        Controls::setText(line, values.value(0));
    } else {
        Controls::setText(static_cast<QPlainTextEdit *>(widget), values.value(0));
    }
}

} // namespace ContactFields

void tellNotAdded(const MainView &view, Platform &platform, const QString &what)
{
    platform.showMessage(view.frmMain, QStringLiteral("Sorry, the new ") + what + QStringLiteral(" could not be saved in ")
                                           + Store::dataDir() + QStringLiteral(". Nothing was added."));
}
