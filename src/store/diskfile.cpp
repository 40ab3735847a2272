#include "store/diskfile.h"

#include <QRandomGenerator>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

namespace DiskFile {

namespace {

// A rewrite's temporary file: a name no data file can have, since none
// starts with a dot and ends in ".tmp" (each is a fixed name, begins with
// "NamesList" or ends in a field's name), so stale ones can be found and
// removed without touching anything else.
constexpr char temporaryPrefix[] = ".kinfolio-";
constexpr char temporarySuffix[] = ".tmp";
constexpr char temporaryLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int temporaryRandomLetters = 8;

constexpr int maxAttempts = 100;
// A new file holds personal data: only its owner may read it.
constexpr mode_t privateMode = 0600;
constexpr mode_t permissions = 07777;

// Asked once: the program never changes whose it runs as, and a read of
// ten files a contact would ask each time.
uid_t ownUser()
{
    static const uid_t user = ::geteuid();
    return user;
}

bool isTemporary(const char *name)
{
    const std::size_t length = std::strlen(name);
    const std::size_t prefix = std::strlen(temporaryPrefix);
    if (length != prefix + temporaryRandomLetters + std::strlen(temporarySuffix)
        || std::strncmp(name, temporaryPrefix, prefix) != 0
        || std::strcmp(name + prefix + temporaryRandomLetters, temporarySuffix) != 0)
        return false;
    return std::all_of(name + prefix, name + prefix + temporaryRandomLetters,
                       [](char c) { return std::strchr(temporaryLetters, c) != nullptr; });
}

// Deletes the temporaries in one directory; calls linked(path) for each
// symbolic link found there.
template <typename Linked>
int removeTemporariesIn(const QByteArray &dir, Linked linked)
{
    DIR *entries = ::opendir(dir.constData());
    if (!entries)
        return 0;
    int removed = 0;
    const int fd = ::dirfd(entries);
    while (const dirent *entry = ::readdir(entries)) {
        struct stat status{};
        if (::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISLNK(status.st_mode))
            linked(dir + '/' + entry->d_name);
        else if (S_ISREG(status.st_mode) && isTemporary(entry->d_name) && ::unlinkat(fd, entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(entries);
    return removed;
}

} // namespace

int read(const QByteArray &path, QByteArray &bytes, bool anyOwner)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat status{};
    int error = ::fstat(fd, &status) != 0                 ? errno
                : S_ISDIR(status.st_mode)                  ? EISDIR
                : !S_ISREG(status.st_mode)                 ? EINVAL
                : anyOwner || status.st_uid == ownUser()   ? 0
                                                           : EPERM;
    if (error == 0) {
        // One byte more than the file holds, so its end is found without growing.
        QByteArray content(qsizetype(status.st_size) + 1, Qt::Uninitialized);
        qsizetype size = 0;
        for (;;) {
            if (size == content.size())
                content.resize(2 * size);
            const ssize_t got = ::read(fd, content.data() + size, size_t(content.size() - size));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                error = errno;
            if (got <= 0)
                break;
            size += got;
        }
        content.truncate(size);
        bytes = std::move(content);
    }
    ::close(fd);
    return error;
}

QByteArray directoryOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

namespace {

// A sync through a handle of the directory's own.
int syncThrough(const QByteArray &dir, int (*sync)(int))
{
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = sync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

} // namespace

int syncDirectory(const QByteArray &dir)
{
    return syncThrough(dir, ::fsync);
}

int syncFileSystemOf(const QByteArray &dir)
{
    return syncThrough(dir, ::syncfs);
}

int removeTemporaries(const QByteArray &dir)
{
    std::set<QByteArray> beyond;
    int removed = removeTemporariesIn(dir, [&](const QByteArray &link) {
        if (char *resolved = ::realpath(link.constData(), nullptr)) {
            const QByteArray targetDir = directoryOf(resolved);
            ::free(resolved);
            if (targetDir != dir)
                beyond.insert(targetDir);
        }
    });
    for (const QByteArray &other : beyond)
        removed += removeTemporariesIn(other, [](const QByteArray &) {});
    return removed;
}

NewVersion::NewVersion(NewVersion &&other) noexcept
    : m_target(std::move(other.m_target)), m_temporary(std::exchange(other.m_temporary, {})),
      m_fd(std::exchange(other.m_fd, -1)), m_targetExisted(other.m_targetExisted), m_fresh(other.m_fresh),
      m_inPlace(std::exchange(other.m_inPlace, false))
{
}

NewVersion &NewVersion::operator=(NewVersion &&other) noexcept
{
    if (this != &other) {
        discard();
        m_target = std::move(other.m_target);
        m_temporary = std::exchange(other.m_temporary, {});
        m_fd = std::exchange(other.m_fd, -1);
        m_targetExisted = other.m_targetExisted;
        m_fresh = other.m_fresh;
        m_inPlace = std::exchange(other.m_inPlace, false);
    }
    return *this;
}

NewVersion::~NewVersion()
{
    discard();
}

std::optional<NewVersion> NewVersion::write(const QByteArray &target, const QByteArray &bytes, int &error, bool fresh,
                                            bool inPlace)
{
    NewVersion version(target);
    error = version.create(fresh || inPlace, inPlace);
    if (error == 0)
        error = version.writeAll(bytes);
    if (error != 0)
        return std::nullopt;
    return version;
}

void NewVersion::startWriteBack() const
{
    ::sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

int NewVersion::sync() const
{
    return ::fdatasync(m_fd) == 0 ? 0 : errno;
}

int NewVersion::syncFileSystem() const
{
    return ::syncfs(m_fd) == 0 ? 0 : errno;
}

dev_t NewVersion::device() const
{
    struct stat status{};
    return ::fstat(m_fd, &status) == 0 ? status.st_dev : 0;
}

int NewVersion::replace()
{
    int error = EEXIST;
    if (m_inPlace) {
        m_inPlace = false;
        error = 0;
    } else if (m_temporary.isEmpty()) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
        // A file that did not exist is linked in directly, which saves the
        // rename; should one have appeared meanwhile, it is replaced below.
        if (!m_targetExisted)
            error = ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, m_target.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
        if (error == EEXIST && m_fresh) {
            // Not looked for before: what is there now is checked as create() checks it.
            struct stat existing{};
            error = ::lstat(m_target.constData(), &existing) != 0 ? errno
                    : S_ISLNK(existing.st_mode)                   ? ELOOP
                                                                  : mayReplace(existing);
            if (error == 0)
                error = ::fchmod(m_fd, existing.st_mode & permissions) == 0 ? EEXIST : errno;
        }
        if (error == EEXIST) {
            for (int attempt = 0; attempt < maxAttempts; ++attempt) {
                QByteArray name = temporaryName();
                if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
                    m_temporary = name;
                    error = ::rename(m_temporary.constData(), m_target.constData()) == 0 ? 0 : errno;
                    break;
                }
                error = errno;
                if (error != EEXIST)
                    break;
            }
        }
    } else {
        error = ::rename(m_temporary.constData(), m_target.constData()) == 0 ? 0 : errno;
    }
    if (error == 0)
        m_temporary.clear();
    discard();
    return error;
}

QByteArray NewVersion::temporaryName() const
{
    QByteArray name = m_target.left(m_target.lastIndexOf('/') + 1) + temporaryPrefix;
    for (int i = 0; i < temporaryRandomLetters; ++i)
        name += temporaryLetters[QRandomGenerator::global()->bounded(int(sizeof temporaryLetters - 1))];
    return name + temporarySuffix;
}

int NewVersion::create(bool fresh, bool inPlace)
{
    // O_EXCL: never a file or link found there after all, which is then
    // handled as for any fresh file.
    if (inPlace) {
        m_fd = ::open(m_target.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, privateMode);
        m_inPlace = m_fd >= 0;
        if (m_inPlace)
            return 0;
        if (errno != EEXIST)
            return errno;
    }
    // An unnamed file is linked in through /proc, which a sandbox may lack.
    static const bool canLinkUnnamed = ::access("/proc/self/fd", X_OK) == 0;
    // A file the caller found absent is not looked for again where it can
    // be linked in, which fails on one found in its place after all (see
    // replace()); a named temporary would be renamed over it unseen.
    if (fresh && canLinkUnnamed) {
        m_fd = ::open(directoryOf(m_target).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, privateMode);
        m_fresh = m_fd >= 0;
        if (m_fresh)
            return 0;
    }
    // A data file that is a symbolic link stays one: the file it points to
    // is rewritten, and its temporary made beside that file. (Not one found
    // where the caller found nothing: whoever made it meant another file.)
    struct stat existing{};
    m_targetExisted = ::lstat(m_target.constData(), &existing) == 0;
    if (m_targetExisted && S_ISLNK(existing.st_mode) && fresh)
        return ELOOP;
    if (m_targetExisted && S_ISLNK(existing.st_mode)) {
        char *resolved = ::realpath(m_target.constData(), nullptr);
        if (!resolved)
            return errno;
        m_target = resolved;
        ::free(resolved);
        m_targetExisted = ::stat(m_target.constData(), &existing) == 0;
    }
    if (m_targetExisted) {
        if (const int refused = mayReplace(existing))
            return refused;
    }

    const QByteArray dir = directoryOf(m_target);
    int error = EOPNOTSUPP;
    if (canLinkUnnamed) {
        m_fd = ::open(dir.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, privateMode);
        error = m_fd >= 0 ? 0 : errno;
    }
    if (error == EOPNOTSUPP || error == EISDIR || error == EINVAL) {
        // No unnamed files here: use a named one beside the target.
        for (int attempt = 0; attempt < maxAttempts; ++attempt) {
            QByteArray name = temporaryName();
            m_fd = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, privateMode);
            error = m_fd >= 0 ? 0 : errno;
            if (m_fd >= 0)
                m_temporary = name;
            if (error != EEXIST)
                break;
        }
    }
    if (error != 0)
        return error;
    // The new version keeps the permissions the old one was given.
    return !m_targetExisted || ::fchmod(m_fd, existing.st_mode & permissions) == 0 ? 0 : errno;
}

// Only a regular file is replaced, never a directory, pipe or device; and a
// file its owner made read-only is left as it is.
int NewVersion::mayReplace(const struct stat &existing) const
{
    if (!S_ISREG(existing.st_mode))
        return S_ISDIR(existing.st_mode) ? EISDIR : EINVAL;
    // Whoever else owns the file a link leads to could have put the link there.
    if (existing.st_uid != ownUser())
        return EPERM;
    return ::access(m_target.constData(), W_OK) == 0 ? 0 : errno;
}

int NewVersion::writeAll(const QByteArray &bytes) const
{
    const char *next = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(m_fd, next, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return EIO;
        next += written;
        left -= written;
    }
    return 0;
}

void NewVersion::discard()
{
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_temporary.clear();
    if (std::exchange(m_inPlace, false))
        ::unlink(m_target.constData());
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace DiskFile
