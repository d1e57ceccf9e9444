/* A simulated digital-I/O driver for programs run as they are (zk_set_relay):
 * preloaded with LD_PRELOAD, it serves the node /dev/dio in place of the
 * kernel. Requests 15 (set relay) and 17 (read power input) are answered and
 * appended to the file named by QUORVIK_SIM_DIO_LOG as "request port value";
 * QUORVIK_SIM_DIO_POWER gives the two power inputs' states ("1,0");
 * QUORVIK_SIM_DIO_FAIL=ioctl or =close makes that step fail. Everything else
 * goes to the real calls. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>

#include "quorvik_common/dio_request.h"

static int dio_fd = -1;

static int fails(const char* step) {
    const char* fail = getenv("QUORVIK_SIM_DIO_FAIL");
    return fail != NULL && strcmp(fail, step) == 0;
}

static void log_request(unsigned long request, const struct dio_request* record) {
    const char* path = getenv("QUORVIK_SIM_DIO_LOG");
    if (path == NULL) return;
    FILE* log = fopen(path, "a");
    if (log == NULL) return;
    fprintf(log, "%lu %d %d\n", request, record->port, record->value);
    fclose(log);
}

static int power_input(int port) {
    const char* states = getenv("QUORVIK_SIM_DIO_POWER");
    int first = 0, second = 0;
    if (states != NULL) sscanf(states, "%d,%d", &first, &second);
    return port == 0 ? first : second;
}

static int open_node(const char* path, int flags, mode_t mode, int (*real)(const char*, int, ...)) {
    if (strcmp(path, QUORVIK_DIO_PATH) != 0) return real(path, flags, mode);
    const int fd = real("/dev/null", O_RDWR | (flags & O_CLOEXEC));
    if (fd >= 0) dio_fd = fd;
    return fd;
}

#define REAL(name) ((int (*)(const char*, int, ...))dlsym(RTLD_NEXT, name))

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
    if (fd != dio_fd || dio_fd < 0) {
        int (*real)(int, unsigned long, ...) =
            (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
        return real(fd, request, argument);
    }
    struct dio_request* record = argument;
    log_request(request, record);
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
    if (fd != dio_fd || dio_fd < 0) return real(fd);
    dio_fd = -1;
    const int result = real(fd);
    if (fails("close")) {
        errno = EIO;
        return -1;
    }
    return result;
}
