#include "store/paths.h"

#include "store/recordfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

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

namespace {

// The data directory makeDataDir() took, held open so that its inode number
// is not given to a directory made again in its place; read by the writer's
// thread.
struct TakenDir
{
    QByteArray path;
    int fd = -1;
};
std::mutex takenMutex;
TakenDir taken;

QByteArray withoutSlash(const QString &dir)
{
    QByteArray path = QFile::encodeName(dir);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

} // namespace

bool makePrivateDirs(const QString &dir)
{
    const QByteArray path = QFile::encodeName(dir) + '/';
    bool made = false;
    for (qsizetype slash = path.indexOf('/', 1); slash >= 0; slash = path.indexOf('/', slash + 1)) {
        const QByteArray step = path.left(slash);
        if (::mkdir(step.constData(), 0700) == 0)
            made = true;
        else if (errno != EEXIST)
            return made;
    }
    return made;
}

bool makeDataDir()
{
    // The XDG data home itself may not exist yet on a fresh account. Every
    // directory made here holds, or leads only to, personal data.
    const bool made = makePrivateDirs(dataDir());
    leaveDataDir();
    const std::lock_guard lock(takenMutex);
    taken.path = withoutSlash(dataDir());
    taken.fd = ::open(taken.path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return made;
}

void leaveDataDir()
{
    const std::lock_guard lock(takenMutex);
    if (taken.fd >= 0)
        ::close(taken.fd);
    taken = {};
}

bool dataDirGone(const QByteArray &dir)
{
    const std::lock_guard lock(takenMutex);
    if (dir != taken.path || taken.fd < 0)
        return false;
    struct stat held{}, named{};
    return ::fstat(taken.fd, &held) != 0 || held.st_nlink == 0 || ::stat(dir.constData(), &named) != 0
           || named.st_dev != held.st_dev || named.st_ino != held.st_ino;
}

QString untrustedDataDir()
{
    const QString data = QDir::cleanPath(dataDir());
    const QString beside = QDir::cleanPath(data + QStringLiteral("/.."));
    for (const QString &folder : {data, beside, beside + QStringLiteral("/Pictures")}) {
        struct stat status{};
        if (::stat(QFile::encodeName(folder).constData(), &status) != 0)
            continue; // not there, so nothing in it to turn against anyone
        if (status.st_uid != ::geteuid()) {
            const passwd *user = ::getpwuid(::geteuid());
            return folder + QStringLiteral(" belongs to another user, so Kinfolio does not write in it. Make it your own (chown ")
                   + (user ? QString::fromLocal8Bit(user->pw_name) : QString::number(::geteuid())) + u' ' + folder
                   + QStringLiteral("), or move it away.");
        }
        if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
            return QStringLiteral("Other users can write in ") + folder
                   + QStringLiteral(", so Kinfolio does not write in it. Make it yours alone (chmod go-w ") + folder + QStringLiteral(").");
    }
    return {};
}

bool hasForbiddenCharacter(const QString &name)
{
    static const QString forbidden = QStringLiteral("\\/:*?<>|") + RecordFile::unquotable;
    return std::any_of(name.cbegin(), name.cend(), [](QChar c) { return forbidden.contains(c); });
}

} // namespace Store
