/* The digital-I/O driver's interface (/dev/dio): the argument record of its
 * ioctl requests, the request numbers, and how a node is opened. Plain C, so
 * that zk_set_relay can use it without the C++ runtime. */
#ifndef QUORVIK_COMMON_DIO_REQUEST_H
#define QUORVIK_COMMON_DIO_REQUEST_H

#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <unistd.h>

#define QUORVIK_DIO_PATH "/dev/dio"

/* Request numbers, passed to ioctl as plain integers. */
#define DIO_SET_RELAY 15 /* set relay output `port` to `value` */
#define DIO_GET_POWER 17 /* read power input `port` into `value` */

/* 8 bytes in the processor's byte order, no padding. */
struct dio_request {
    int32_t port;  /* power input 0 or 1, or relay output number */
    int32_t value; /* relay: 0 sets it, 1 releases it; power: filled by the driver */
};

#ifdef __cplusplus
static_assert(sizeof(struct dio_request) == 8, "dio_request is 8 bytes");
#else
_Static_assert(sizeof(struct dio_request) == 8, "dio_request is 8 bytes");
#endif

/* Opens a driver node read-write on a descriptor above the standard ones: a
 * process that runs with stdout closed would otherwise get the node as
 * descriptor 1, and whatever any thread prints would be written into the
 * driver. While it is opened, free standard descriptors are held by
 * placeholders that can be neither read nor written (O_PATH), so the node is
 * never on one of them, not even for the moment a later move would leave to
 * another thread. O_NOCTTY: a node naming a terminal never becomes the
 * controlling terminal. -1 with errno on failure. */
static inline int dio_open_node(const char* path) {
    int placeholders[3];
    int held = 0;
    while (held < 3) {
        const int placeholder = open("/", O_PATH | O_CLOEXEC);
        if (placeholder < 0) break;
        if (placeholder > STDERR_FILENO) {
            close(placeholder);
            break;
        }
        placeholders[held++] = placeholder;
    }
    int fd = open(path, O_RDWR | O_CLOEXEC | O_NOCTTY);
    int saved = errno;
    while (held > 0) close(placeholders[--held]);
    /* Another thread closed a standard descriptor meanwhile, or no
     * placeholder could be had: move the node up. */
    if (fd >= 0 && fd <= STDERR_FILENO) {
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        saved = errno;
        close(fd);
        fd = moved;
    }
    errno = saved;
    return fd;
}

#endif
