#include "store/keptcards.h"

#include "store/paths.h"
#include "store/recordfile.h"

#include <QDir>
#include <QFile>
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

bool giveUid(Vcard::Card &card)
{
    if (card.first("UID"))
        return false;
    card.properties.prepend({{}, "UID", {}, QUuid::createUuid().toString(QUuid::WithoutBraces).prepend(QStringLiteral("urn:uuid:"))});
    return true;
}

bool keep(const QString &category, const QString &name, const Vcard::Card &card)
{
    // Made private once per data directory, as the pictures' folder is.
    static QString made;
    if (made != folder()) {
        if (!QDir().mkpath(folder()))
            return false;
        QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        made = folder();
    }
    return RecordFile::rewriteBytes(file(category, name), Vcard::write(card));
}

} // namespace KeptCards
