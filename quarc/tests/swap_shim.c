/* Preloaded into quarc by the tests: swaps names in the tree at the moment
 * quarc opens a given name, after it has looked at what stood there, or at
 * the moment the directory listing hands the name out, before quarc looks.
 *
 *   QUARC_SWAP_ON    the last component of the name whose opening swaps
 *   QUARC_SWAP_FROM  an absolute path
 *   QUARC_SWAP_TO    an absolute path; FROM is renamed over TO, or with
 *   QUARC_SWAP_EXCHANGE set, the two are exchanged
 *   QUARC_SWAP_WHEN  "readdir" to swap when the name is read from its
 *                    directory; otherwise the swap comes with the open
 *
 * The swap is done once, just before the open is passed on, or just before
 * the directory entry is returned. */
/* Both the plain and the 64-bit names are defined here, so the headers must
 * not map the one onto the other. */
#undef _FILE_OFFSET_BITS
#undef _TIME_BITS
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

static int swapped;

/* Whether the swap comes at this moment: "open" or "readdir". */
static int swaps_at(const char *moment) {
    const char *when = getenv("QUARC_SWAP_WHEN");
    return strcmp(when ? when : "open", moment) == 0;
}

static void swap_if_due(const char *path, const char *moment) {
    const char *on = getenv("QUARC_SWAP_ON");
    const char *from = getenv("QUARC_SWAP_FROM");
    const char *to = getenv("QUARC_SWAP_TO");
    if (swapped || !on || !from || !to || !path || !swaps_at(moment))
        return;
    const char *last = strrchr(path, '/');
    if (strcmp(last ? last + 1 : path, on) != 0)
        return;
    swapped = 1;
    unsigned flags = getenv("QUARC_SWAP_EXCHANGE") ? 2u /* RENAME_EXCHANGE */ : 0u;
    if (syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, flags) != 0) {
        perror("swap_shim: renameat2");
        _exit(120);
    }
}

/* The mode argument is there only when a file may be made. */
static mode_t mode_arg(int flags, va_list ap) {
    return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(ap, mode_t) : 0;
}

#define PASS_ON(name, params, ...)                                                                 \
    int name params {                                                                              \
        va_list ap;                                                                                \
        va_start(ap, flags);                                                                       \
        mode_t mode = mode_arg(flags, ap);                                                         \
        va_end(ap);                                                                                \
        swap_if_due(path, "open");                                                                 \
        int(*real) params = (int(*) params)dlsym(RTLD_NEXT, #name);                                \
        return real(__VA_ARGS__, flags, mode);                                                     \
    }

PASS_ON(open, (const char *path, int flags, ...), path)
PASS_ON(open64, (const char *path, int flags, ...), path)
PASS_ON(openat, (int dirfd, const char *path, int flags, ...), dirfd, path)
PASS_ON(openat64, (int dirfd, const char *path, int flags, ...), dirfd, path)

DIR *opendir(const char *path) {
    swap_if_due(path, "open");
    DIR *(*real)(const char *) = (DIR * (*)(const char *)) dlsym(RTLD_NEXT, "opendir");
    return real(path);
}

#define PASS_ON_READDIR(name, entry_type)                                                          \
    entry_type *name(DIR *dir) {                                                                   \
        entry_type *(*real)(DIR *) = (entry_type * (*)(DIR *)) dlsym(RTLD_NEXT, #name);            \
        entry_type *entry = real(dir);                                                             \
        if (entry)                                                                                 \
            swap_if_due(entry->d_name, "readdir");                                                 \
        return entry;                                                                              \
    }

PASS_ON_READDIR(readdir, struct dirent)
PASS_ON_READDIR(readdir64, struct dirent64)
