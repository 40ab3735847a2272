#include "store/paths.h"

#include "store/recordfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>

#include <cerrno>

namespace Store {

QString appDir()
{
    const QString bin = QCoreApplication::applicationDirPath();
    return QDir::cleanPath(bin + QStringLiteral("/../share/kinfolio")) + QLatin1Char('/');
}

QString dataDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/Kinfolio/Data/");
}

QString picturesDir()
{
    return QDir::cleanPath(dataDir() + QStringLiteral("../Pictures")) + u'/';
}

QString picturePath(const QString &named)
{
    if (!named.contains(QLatin1String("/Kinfolio/Pictures/")) || QFileInfo::exists(named))
        return named;
    const QString now = picturesDir() + QFileInfo(named).fileName();
    return QFileInfo::exists(now) ? now : named;
}

static bool isSafePart(const QString &part)
{
    for (const QChar c : part) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QChar(0))
            return false;
    }
    return true;
}

bool fitsFileName(const QString &part1, const QString &part2, const QString &part3)
{
    return QFile::encodeName(part1 + part2 + part3).size() <= maxFileNameBytes;
}

QString dataFile(const QString &part1, const QString &part2, const QString &part3)
{
    if (!isSafePart(part1) || !isSafePart(part2) || !isSafePart(part3))
        return {};
    if (!fitsFileName(part1, part2, part3))
        return {};
    // A name made only of dots ("." or "..") would name a directory, not a file.
    const QString name = part1 + part2 + part3;
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return {};
    return dataDir() + name;
}

bool makeAppDir()
{
    // Fails when the directory exists, as it does on every run after the first.
    return QDir().mkdir(appDir());
}

bool makeDataDir()
{
    // The XDG data home itself may not exist yet on a fresh account. Every
    // directory made here holds, or leads only to, personal data: it is
    // private to its owner. One that exists is left as its owner set it.
    const QByteArray dir = QFile::encodeName(dataDir());
    bool made = false;
    for (qsizetype slash = dir.indexOf('/', 1); slash >= 0; slash = dir.indexOf('/', slash + 1)) {
        const QByteArray step = dir.left(slash);
        if (::mkdir(step.constData(), 0700) == 0)
            made = true;
        else if (errno != EEXIST)
            return false;
    }
    return made;
}

bool hasForbiddenCharacter(const QString &name)
{
    static const QString forbidden = QStringLiteral("\\/:*?<>|") + RecordFile::unquotable;
    return std::any_of(name.cbegin(), name.cend(), [](QChar c) { return forbidden.contains(c); });
}

} // namespace Store
