/* The digital-I/O driver's interface (/dev/dio): the argument record of its
 * ioctl requests and the request numbers. Plain C, so that zk_set_relay can
 * use it without the C++ runtime. */
#ifndef QUORVIK_COMMON_DIO_REQUEST_H
#define QUORVIK_COMMON_DIO_REQUEST_H

#include <stdint.h>

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

#endif
