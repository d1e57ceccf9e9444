/* A simulated digital-I/O driver for programs run as they are (zk_set_relay,
 * a host of the built libquorvik.so): preloaded with LD_PRELOAD, it serves
 * the node /dev/dio in place of the kernel.
 *  - Opening /dev/dio opens the file named by QUORVIK_SIM_DIO_NODE (default
 *    /dev/null) with the caller's flags. That file is the node: whatever a
 *    program writes to its descriptor lands there, and a descriptor that
 *    refers to it (also after dup or fcntl F_DUPFD) is the driver's.
 *  - Requests 15 (set relay) and 17 (read power input) are answered and
 *    appended to the file named by QUORVIK_SIM_DIO_LOG as "request port
 *    value"; the descriptor each came on is appended to QUORVIK_SIM_DIO_FD_LOG.
 *    Like a driver that demands write access, requests on a descriptor not
 *    opened read-write are refused (EBADF).
 *  - QUORVIK_SIM_DIO_POWER gives the two power inputs' states ("1,0");
 *    QUORVIK_SIM_DIO_FAIL=ioctl or =close makes that step fail.
 * Everything else goes to the real calls. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "quorvik_common/dio_request.h"

#define REAL(name) ((int (*)(const char*, int, ...))dlsym(RTLD_NEXT, name))

/* The node file last opened as /dev/dio. */
static int node_known = 0;
static dev_t node_dev;
static ino_t node_ino;

static int is_node(int fd) {
    struct stat st;
    return node_known && fd >= 0 && fstat(fd, &st) == 0 && st.st_dev == node_dev &&
           st.st_ino == node_ino;
}

static int fails(const char* step) {
    const char* fail = getenv("QUORVIK_SIM_DIO_FAIL");
    return fail != NULL && strcmp(fail, step) == 0;
}

/* The request and descriptor logs, opened when the preload is loaded (no
 * thread runs yet) on descriptors far above the standard ones, so that
 * output a program sends to a closed stdout never lands in them. */
static int request_log = -1;
static int fd_log = -1;

static int open_log(const char* variable) {
    const char* path = getenv(variable);
    if (path == NULL) return -1;
    int (*real_open)(const char*, int, ...) = REAL("open");
    const int low = real_open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (low < 0) return -1;
    const int fd = fcntl(low, F_DUPFD_CLOEXEC, 100);
    ((int (*)(int))dlsym(RTLD_NEXT, "close"))(low);
    return fd;
}

__attribute__((constructor)) static void open_logs(void) {
    request_log = open_log("QUORVIK_SIM_DIO_LOG");
    fd_log = open_log("QUORVIK_SIM_DIO_FD_LOG");
}

static void log_line(int log, const char* format, ...) {
    if (log < 0) return;
    char line[128];
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length < 0 || (size_t)length >= sizeof line) return;
    if (write(log, line, (size_t)length) != length) {
        /* A lost line shows as a missing request. */
    }
}

static int power_input(int port) {
    const char* states = getenv("QUORVIK_SIM_DIO_POWER");
    int first = 0, second = 0;
    if (states != NULL) sscanf(states, "%d,%d", &first, &second);
    return port == 0 ? first : second;
}

static int open_node(const char* path, int flags, mode_t mode, int (*real)(const char*, int, ...)) {
    if (strcmp(path, QUORVIK_DIO_PATH) != 0) return real(path, flags, mode);
    const char* node = getenv("QUORVIK_SIM_DIO_NODE");
    const int fd = real(node != NULL ? node : "/dev/null", flags & ~(O_CREAT | O_TRUNC | O_EXCL));
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0) {
        node_dev = st.st_dev;
        node_ino = st.st_ino;
        node_known = 1;
    }
    return fd;
}

static mode_t mode_of(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? (mode_t)va_arg(args, int) : 0;
}

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_of(flags, args);
    va_end(args);
    return open_node(path, flags, mode, REAL("open"));
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_of(flags, args);
    va_end(args);
    return open_node(path, flags, mode, REAL("open64"));
}

int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (!is_node(fd)) {
        int (*real)(int, unsigned long, ...) =
            (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
        return real(fd, request, argument);
    }
    struct dio_request* record = argument;
    log_line(request_log, "%lu %d %d\n", request, record->port, record->value);
    log_line(fd_log, "%d\n", fd);
    const int mode = fcntl(fd, F_GETFL);
    if (mode < 0 || (mode & O_ACCMODE) != O_RDWR) {
        errno = EBADF;
        return -1;
    }
    if (fails("ioctl")) {
        errno = EIO;
        return -1;
    }
    if (request == DIO_SET_RELAY && record->port >= 0 &&
        (record->value == 0 || record->value == 1)) {
        return 0;
    }
    if (request == DIO_GET_POWER && (record->port == 0 || record->port == 1)) {
        record->value = power_input(record->port);
        return 0;
    }
    errno = request == DIO_SET_RELAY || request == DIO_GET_POWER ? EINVAL : ENOTTY;
    return -1;
}

int close(int fd) {
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "close");
    if (!is_node(fd)) return real(fd);
    const int result = real(fd);
    if (fails("close")) {
        errno = EIO;
        return -1;
    }
    return result;
}
