// Preloaded into a test to make chosen file-system calls fail, as a full,
// read-only or failing disk would, where file permissions cannot (the tests
// run as root). Nothing fails unless the test asks for it:
//   KINFOLIO_FAULT=<call>[+<call>...]:<errno name>, e.g. "write:ENOSPC"
//   KINFOLIO_FAULT_PATH=<path prefix>; only calls on paths under it fail
// Both are read at every call, so a test switches faults while it runs.
// Calls: create (open for writing), read (open for reading), write, sync,
// link, rename, unlink, mkdir.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {

static long injected;

// How many calls have been failed so far; tests find it with dlsym.
long kinfolio_faults_injected(void)
{
    return injected;
}

static int errnoNamed(const char *name)
{
    static const struct {
        const char *name;
        int value;
    } known[] = {
        {"EACCES", EACCES}, {"EPERM", EPERM}, {"EROFS", EROFS}, {"ENOSPC", ENOSPC}, {"EIO", EIO}, {"EDQUOT", EDQUOT},
    };
    for (size_t i = 0; i < sizeof known / sizeof known[0]; ++i)
        if (strcmp(known[i].name, name) == 0)
            return known[i].value;
    return EIO;
}

// Whether this call on this path is to fail; sets errno when it is.
static int fails(const char *call, const char *path)
{
    const char *spec = getenv("KINFOLIO_FAULT");
    const char *prefix = getenv("KINFOLIO_FAULT_PATH");
    if (!spec || !prefix || !*prefix || !path || strncmp(path, prefix, strlen(prefix)) != 0)
        return 0;
    const char *colon = strchr(spec, ':');
    if (!colon)
        return 0;
    const size_t length = strlen(call);
    for (const char *p = spec; p < colon;) {
        auto *end = static_cast<const char *>(memchr(p, '+', static_cast<size_t>(colon - p)));
        if (!end)
            end = colon;
        if (static_cast<size_t>(end - p) == length && strncmp(p, call, length) == 0) {
            ++injected;
            errno = errnoNamed(colon + 1);
            return 1;
        }
        p = end + 1;
    }
    return 0;
}

static int fdFails(const char *call, int fd)
{
    if (!getenv("KINFOLIO_FAULT"))
        return 0;
    char link[64];
    char path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return 0;
    path[n] = '\0';
    return fails(call, path);
}

static const char *openCall(int flags)
{
    return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) || (flags & O_TMPFILE) == O_TMPFILE ? "create" : "read";
}

// The next definition of a call: libc's own, or a sanitizer's in front of it.
#define NEXT(name) reinterpret_cast<decltype(&::name)>(dlsym(RTLD_NEXT, #name))

// open and its large-file and *at twins; a mode follows only O_CREAT and O_TMPFILE.
#define MODE(flags)                                                                                                    \
    va_list args;                                                                                                      \
    va_start(args, flags);                                                                                             \
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;              \
    va_end(args)

int open(const char *path, int flags, ...)
{
    MODE(flags);
    return fails(openCall(flags), path) ? -1 : NEXT(open)(path, flags, mode);
}

int open64(const char *path, int flags, ...)
{
    MODE(flags);
    return fails(openCall(flags), path) ? -1 : NEXT(open64)(path, flags, mode);
}

int openat(int dir, const char *path, int flags, ...)
{
    MODE(flags);
    return fails(openCall(flags), path) ? -1 : NEXT(openat)(dir, path, flags, mode);
}

int openat64(int dir, const char *path, int flags, ...)
{
    MODE(flags);
    return fails(openCall(flags), path) ? -1 : NEXT(openat64)(dir, path, flags, mode);
}

ssize_t write(int fd, const void *bytes, size_t size)
{
    return fdFails("write", fd) ? -1 : NEXT(write)(fd, bytes, size);
}

int fsync(int fd)
{
    return fdFails("sync", fd) ? -1 : NEXT(fsync)(fd);
}

int fdatasync(int fd)
{
    return fdFails("sync", fd) ? -1 : NEXT(fdatasync)(fd);
}

int linkat(int fromDir, const char *from, int toDir, const char *to, int flags)
{
    return fails("link", to) ? -1 : NEXT(linkat)(fromDir, from, toDir, to, flags);
}

int rename(const char *from, const char *to)
{
    return fails("rename", to) ? -1 : NEXT(rename)(from, to);
}

int renameat(int fromDir, const char *from, int toDir, const char *to)
{
    return fails("rename", to) ? -1 : NEXT(renameat)(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned int flags)
{
    return fails("rename", to) ? -1 : NEXT(renameat2)(fromDir, from, toDir, to, flags);
}

int unlink(const char *path)
{
    return fails("unlink", path) ? -1 : NEXT(unlink)(path);
}

int unlinkat(int dir, const char *path, int flags)
{
    return fails("unlink", path) ? -1 : NEXT(unlinkat)(dir, path, flags);
}

int mkdir(const char *path, mode_t mode)
{
    return fails("mkdir", path) ? -1 : NEXT(mkdir)(path, mode);
}

} // extern "C"
