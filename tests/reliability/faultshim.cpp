// Preloaded to fail file-system calls as a full or failing disk would, which permissions cannot do to root.
// KINFOLIO_FAULT=<call>[+<call>...]:<errno name> fails those calls (create, tmpfile, read, write, sync, link, rename,
// unlink, mkdir) under KINFOLIO_FAULT_PATH; KINFOLIO_DELAY=<ms> slows every sync.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

extern "C" {

static long injected;
long kinfolio_faults_injected(void) { return injected; } // found with dlsym

static int fails(const char *call, const char *path)
{
    const char *fault = getenv("KINFOLIO_FAULT"), *prefix = getenv("KINFOLIO_FAULT_PATH");
    const char *colon = fault ? strchr(fault, ':') : nullptr;
    char calls[256] = "", wanted[32];
    if (colon)
        snprintf(calls, sizeof calls, "+%.*s+", int(colon - fault), fault);
    snprintf(wanted, sizeof wanted, "+%s+", call);
    if (!strstr(calls, wanted) || !prefix || !*prefix || !path || strncmp(path, prefix, strlen(prefix)) != 0)
        return 0;
    int error = 255; // the errno named; EIO for a name not known
    while (--error > 0 && !(strerrorname_np(error) && strcmp(strerrorname_np(error), colon + 1) == 0)) {
    }
    errno = error > 0 ? error : EIO;
    return int(++injected);
}

static int fdFails(const char *call, int fd)
{
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = getenv("KINFOLIO_FAULT") ? readlink(link, path, sizeof path - 1) : -1;
    return n > 0 && (path[n] = '\0', fails(call, path));
}

static int synced(int fd)
{
    const long ms = getenv("KINFOLIO_DELAY") ? strtol(getenv("KINFOLIO_DELAY"), nullptr, 10) : 0;
    struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
    while (ms > 0 && nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
    return fdFails("sync", fd);
}

static int openFails(const char *path, int flags)
{
    const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
    const bool creates = unnamed || (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC));
    return (unnamed && fails("tmpfile", path)) || fails(creates ? "create" : "read", path);
}

// The next definition of a call: libc's, or a sanitizer's in front of it.
#define NEXT(name) reinterpret_cast<decltype(&::name)>(dlsym(RTLD_NEXT, #name))
#define WRAP(type, name, check, params, args) \
    type name params { return check ? -1 : NEXT(name) args; }
// A mode follows the flags only with O_CREAT or O_TMPFILE.
#define OPEN(name, params, args) \
    int name params \
    { \
        va_list list; \
        va_start(list, flags); \
        const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(list, mode_t) : 0; \
        va_end(list); \
        return openFails(path, flags) ? -1 : NEXT(name) args; \
    }

OPEN(open, (const char *path, int flags, ...), (path, flags, mode))
OPEN(open64, (const char *path, int flags, ...), (path, flags, mode))
WRAP(ssize_t, write, fdFails("write", fd), (int fd, const void *bytes, size_t size), (fd, bytes, size))
WRAP(int, fsync, synced(fd), (int fd), (fd))
WRAP(int, fdatasync, synced(fd), (int fd), (fd))
WRAP(int, syncfs, synced(fd), (int fd), (fd))
WRAP(int, linkat, fails("link", to), (int fromDir, const char *from, int toDir, const char *to, int flags),
     (fromDir, from, toDir, to, flags))
WRAP(int, rename, fails("rename", to), (const char *from, const char *to), (from, to))
WRAP(int, renameat2, fails("rename", to), (int fromDir, const char *from, int toDir, const char *to, unsigned flags),
     (fromDir, from, toDir, to, flags))
WRAP(int, unlink, fails("unlink", path), (const char *path), (path))
WRAP(int, unlinkat, fails("unlink", path), (int dir, const char *path, int flags), (dir, path, flags))
WRAP(int, mkdir, fails("mkdir", path), (const char *path, mode_t mode), (path, mode))

} // extern "C"
