/* quorvik-sim's device shim, preloaded (LD_PRELOAD) into every program of a
 * run: it serves, for the program's own calls, what the simulated libraries
 * serve for theirs.
 *  - open/fopen of /etc/quorvik/DeviceProfile.ini opens the board's profile
 *    (quorvik-info reads the profile itself);
 *  - open of the digital-I/O driver node (/dev/dio, or the relay node the
 *    board's profile names) opens the board's driver node, and ioctl on it is
 *    answered by the board's driver (zk_set_relay links only libc);
 *  - open/fopen of a path that the board describes (STATE/rewrite: the
 *    mounts table, /sys/class/net/ethN/..., serial nodes, /dev/relay) opens
 *    the board's file instead, so that a program reads what the production
 *    command lines read.
 * Everything else goes to the C library. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "sim_state.h"

#define PROFILE_PATH "/etc/quorvik/DeviceProfile.ini"

typedef int (*open_fn)(const char*, int, ...);
typedef int (*openat_fn)(int, const char*, int, ...);
typedef FILE* (*fopen_fn)(const char*, const char*);

/* ---- the board's paths ---- */

struct rewrite {
    char from[256];
    char to[512];
};
static struct rewrite rewrites[64];
static int rewrite_count;
static pthread_once_t rewrites_once = PTHREAD_ONCE_INIT;

static void load_rewrites(void) {
    const char* dir = qsim_state_dir();
    char path[4096];
    if (dir == NULL || qsim_path(path, sizeof path, dir, QSIM_REWRITE_FILE) != 0) return;
    const int fd = (int)syscall(SYS_openat, AT_FDCWD, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    static char text[64 * 800];
    size_t used = 0;
    ssize_t n;
    while (used < sizeof text - 1 && (n = read(fd, text + used, sizeof text - 1 - used)) > 0) {
        used += (size_t)n;
    }
    close(fd);
    text[used] = '\0';
    char* save = NULL;
    for (char* line = strtok_r(text, "\n", &save); line != NULL && rewrite_count < 64;
         line = strtok_r(NULL, "\n", &save)) {
        char* blank = strchr(line, ' ');
        if (blank == NULL) continue;
        *blank = '\0';
        if (strlen(line) >= sizeof rewrites[0].from || strlen(blank + 1) >= sizeof rewrites[0].to)
            continue;
        strcpy(rewrites[rewrite_count].from, line);
        strcpy(rewrites[rewrite_count].to, blank + 1);
        ++rewrite_count;
    }
}

/* The board's file for path into out, or path itself. */
static const char* board_path(const char* path, char* out, size_t size) {
    if (path == NULL || path[0] != '/') return path;
    const char* dir = qsim_state_dir();
    if (dir == NULL) return path;
    if (strcmp(path, PROFILE_PATH) == 0) {
        return qsim_path(out, size, dir, QSIM_PROFILE_FILE) == 0 ? out : path;
    }
    pthread_once(&rewrites_once, load_rewrites);
    for (int i = 0; i < rewrite_count; ++i) {
        const struct rewrite* r = &rewrites[i];
        const size_t length = strlen(r->from);
        if (strncmp(path, r->from, length) != 0) continue;
        const int prefix = length > 0 && r->from[length - 1] == '/';
        if (!prefix && path[length] != '\0' && path[length] != '/') continue;
        const int n = snprintf(out, size, "%s%s", r->to, path + length);
        return n > 0 && (size_t)n < size ? out : path;
    }
    return path;
}

static mode_t mode_of(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? (mode_t)va_arg(args, int) : 0;
}

static int open_with(const char* name, const char* path, int flags, mode_t mode) {
    open_fn real = (open_fn)dlsym(RTLD_NEXT, name);
    if (qsim_is_dio_path(path)) return qsim_dio_open(path, flags, real);
    char board[4096];
    return real(board_path(path, board, sizeof board), flags, mode);
}

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_of(flags, args);
    va_end(args);
    return open_with("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_of(flags, args);
    va_end(args);
    return open_with("open64", path, flags, mode);
}

int __open_2(const char* path, int flags) {
    return open_with("open", path, flags, 0);
}

int __open64_2(const char* path, int flags) {
    return open_with("open64", path, flags, 0);
}

static int openat_with(const char* name, int dirfd, const char* path, int flags, mode_t mode) {
    openat_fn real = (openat_fn)dlsym(RTLD_NEXT, name);
    if (path != NULL && path[0] == '/') {
        if (qsim_is_dio_path(path)) {
            return qsim_dio_open(path, flags, (open_fn)dlsym(RTLD_NEXT, "open"));
        }
        char board[4096];
        return real(dirfd, board_path(path, board, sizeof board), flags, mode);
    }
    return real(dirfd, path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_of(flags, args);
    va_end(args);
    return openat_with("openat", dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_of(flags, args);
    va_end(args);
    return openat_with("openat64", dirfd, path, flags, mode);
}

static FILE* fopen_with(const char* name, const char* path, const char* mode) {
    fopen_fn real = (fopen_fn)dlsym(RTLD_NEXT, name);
    char board[4096];
    return real(board_path(path, board, sizeof board), mode);
}

FILE* fopen(const char* path, const char* mode) {
    return fopen_with("fopen", path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
    return fopen_with("fopen64", path, mode);
}

int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (qsim_dio_is_node(fd)) return qsim_dio_request(fd, request, argument);
    int (*real)(int, unsigned long, ...) =
        (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    return real(fd, request, argument);
}
