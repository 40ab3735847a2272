// Preloaded into a test to make chosen file-system calls fail, as a full,
// read-only or failing disk would, where file permissions cannot (the tests
// run as root). Nothing fails unless the test asks for it:
//   KINFOLIO_FAULT=<call>[+<call>...]:<errno name>, e.g. "write:ENOSPC"
//   KINFOLIO_FAULT_PATH=<path prefix>; only calls on paths under it fail
// Both are read at every call, so a test switches faults while it runs.
// Calls: create (open for writing), tmpfile (open for an unnamed file, also
// a create), read (open for reading), write, sync, link, rename, unlink, mkdir.
// A slow disk: KINFOLIO_DELAY=<milliseconds> makes every sync (fsync,
// fdatasync) that long, on any path, as a spinning disk or a USB stick would.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

extern "C" {

static long injected;

// How many calls have been failed so far; tests find it with dlsym.
long kinfolio_faults_injected(void)
{
    return injected;
}

// The error a name stands for; EIO for EIO and for any name not listed.
static int errnoNamed(const char *name)
{
    static const struct {
        const char *name;
        int value;
    } known[] = {{"EACCES", EACCES}, {"EPERM", EPERM}, {"EROFS", EROFS}, {"ENOSPC", ENOSPC}, {"EDQUOT", EDQUOT},
                 {"EOPNOTSUPP", EOPNOTSUPP}};
    for (const auto &error : known)
        if (strcmp(error.name, name) == 0)
            return error.value;
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
    const size_t length = strlen(call);
    // Each call named before the colon; a match is followed by '+' or the colon itself.
    for (const char *p = spec; colon && p < colon; p += strcspn(p, "+:") + 1) {
        if (strncmp(p, call, length) == 0 && (p[length] == '+' || p[length] == ':')) {
            ++injected;
            errno = errnoNamed(colon + 1);
            return 1;
        }
    }
    return 0;
}

// Waits as long as KINFOLIO_DELAY asks.
static void delay(void)
{
    const char *milliseconds = getenv("KINFOLIO_DELAY");
    if (!milliseconds)
        return;
    const long ms = strtol(milliseconds, nullptr, 10);
    struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

static int fdFails(const char *call, int fd)
{
    if (!getenv("KINFOLIO_FAULT"))
        return 0;
    char link[64], path[4096];
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

// Fails `name` when `check` holds, else passes it on. Parameters and
// arguments come in parentheses.
#define WRAP(type, name, check, params, args)                                                                          \
    type name params                                                                                                   \
    {                                                                                                                  \
        return check ? -1 : NEXT(name) args;                                                                           \
    }

// open and its large-file and *at twins; a mode follows only O_CREAT and O_TMPFILE.
#define OPEN(name, params, args)                                                                                       \
    int name params                                                                                                    \
    {                                                                                                                  \
        va_list list;                                                                                                  \
        va_start(list, flags);                                                                                         \
        const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(list, mode_t) : 0;          \
        va_end(list);                                                                                                  \
        if ((flags & O_TMPFILE) == O_TMPFILE && fails("tmpfile", path))                                               \
            return -1;                                                                                                 \
        return fails(openCall(flags), path) ? -1 : NEXT(name) args;                                                    \
    }

OPEN(open, (const char *path, int flags, ...), (path, flags, mode))
OPEN(open64, (const char *path, int flags, ...), (path, flags, mode))
OPEN(openat, (int dir, const char *path, int flags, ...), (dir, path, flags, mode))
OPEN(openat64, (int dir, const char *path, int flags, ...), (dir, path, flags, mode))

WRAP(ssize_t, write, fdFails("write", fd), (int fd, const void *bytes, size_t size), (fd, bytes, size))
WRAP(int, fsync, (delay(), fdFails("sync", fd)), (int fd), (fd))
WRAP(int, fdatasync, (delay(), fdFails("sync", fd)), (int fd), (fd))
WRAP(int, linkat, fails("link", to), (int fromDir, const char *from, int toDir, const char *to, int flags),
     (fromDir, from, toDir, to, flags))
WRAP(int, rename, fails("rename", to), (const char *from, const char *to), (from, to))
WRAP(int, renameat, fails("rename", to), (int fromDir, const char *from, int toDir, const char *to),
     (fromDir, from, toDir, to))
WRAP(int, renameat2, fails("rename", to),
     (int fromDir, const char *from, int toDir, const char *to, unsigned int flags), (fromDir, from, toDir, to, flags))
WRAP(int, unlink, fails("unlink", path), (const char *path), (path))
WRAP(int, unlinkat, fails("unlink", path), (int dir, const char *path, int flags), (dir, path, flags))
WRAP(int, mkdir, fails("mkdir", path), (const char *path, mode_t mode), (path, mode))

} // extern "C"
