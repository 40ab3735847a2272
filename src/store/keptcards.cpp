#include "store/keptcards.h"

#include "store/paths.h"
#include "store/recordfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

namespace KeptCards {

QString folder()
{
    return QDir::cleanPath(Store::dataDir() + QStringLiteral("../Cards")) + u'/';
}

QString file(const QString &category, const QString &name)
{
    // The data files' rules make the name, so two contacts never share a card.
    const QString dataFile = Store::dataFile(category, name);
    return dataFile.isEmpty() ? QString() : folder() + dataFile.sliced(Store::dataDir().size());
}

Vcard::Card read(const QString &category, const QString &name)
{
    QByteArray bytes;
    if (!RecordFile::readBytes(file(category, name), bytes))
        return {};
    return Vcard::parse(bytes).value(0);
}

bool giveUid(Vcard::Card &card, bool anew)
{
    if (anew)
        card.properties.removeIf([](const Vcard::Property &property) { return property.name == "UID"; });
    if (card.first("UID"))
        return false;
    card.properties.prepend({{}, "UID", {}, QUuid::createUuid().toString(QUuid::WithoutBraces).prepend(QStringLiteral("urn:uuid:"))});
    return true;
}

bool keep(const QString &category, const QString &name, const Vcard::Card &card, RecordFile::Mode mode)
{
    // Made private when it is made, as the pictures' folder is; looked for
    // each time, as a power cut may take a folder just made with it.
    if (!QFileInfo::exists(folder())) {
        if (!QDir().mkpath(folder()))
            return false;
        QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return RecordFile::rewriteBytes(file(category, name), Vcard::write(card), mode);
}

} // namespace KeptCards
