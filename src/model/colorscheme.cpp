#include "model/colorscheme.h"

#include "store/paths.h"
#include "store/recordfile.h"

bool ColorScheme::read(ColorRole role)
{
    QString text;
    if (!RecordFile::readValue(Store::dataFile(colorRole(role).file), text))
        return false;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 0 || value > 0xFFFFFF || ColorValue(value) == color(role))
        return false;
    m_colors[static_cast<std::size_t>(role)] = ColorValue(value);
    return true;
}

void ColorScheme::setColor(ColorRole role, ColorValue value)
{
    m_colors[static_cast<std::size_t>(role)] = value;
    RecordFile::rewriteValue(Store::dataFile(colorRole(role).file), qint64(value), RecordFile::Queued);
    emit changed();
}

void ColorScheme::reread(const QSet<QString> &fileNames)
{
    bool any = false;
    for (const ColorRoleInfo &role : colorRoles) {
        if (fileNames.isEmpty() || fileNames.contains(role.file))
            any = read(role.role) || any;
    }
    if (any)
        emit changed();
}
