/*
 * libquorvik: the monitoring API of Quorvik boards.
 *
 * Every function does one synchronous job, writes its answer through the
 * caller's out-parameters and returns 0 or a negative status below. On a
 * failure the out-parameters are left as they were unless a function says
 * otherwise. Identity, profile and sensor queries need libQuorvikSO in the
 * process (linked, or loaded with RTLD_GLOBAL); without it they answer with
 * their own failure status. Soname libquorvik.so.1.
 */
#ifndef QUORVIK_H
#define QUORVIK_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QUORVIK_BUILD)
#define QUORVIK_API __attribute__((visibility("default")))
#else
#define QUORVIK_API
#endif

/* ---- Status codes ---- */
#define ERR_RANGE (-100)              /* index, state or argument outside what is offered */
#define ERR_POPEN (-101)              /* the shell command cannot be started */
#define ERR_PCLOSE (-102)             /* waiting for the command failed */
#define ERR_DEV_OPEN (-103)           /* the digital-I/O or relay device cannot be opened */
#define ERR_DEV_CLOSE (-104)          /* closing that device failed */
#define ERR_DEV_IOCTL (-105)          /* the device request failed */
#define ERR_PROFILE_LOAD (-106)       /* the device profile cannot be loaded */
#define ERR_CMD_EXIT (-107)           /* the command ended with a non-zero status */
#define ERR_PROFILE_VALUE (-108)      /* no usable profile value for the key */
#define ERR_DEVICE_NAME (-200)        /* the model name cannot be obtained */
#define ERR_SENSOR (-201)             /* the sensor cannot be read */
#define ERR_BIOS_VER (-202)           /* the BIOS version cannot be obtained */
#define ERR_SERIAL_NUM (-203)         /* the serial number cannot be obtained */
#define ERR_NO_RELAY (-204)           /* the model has no relay output */
#define ERR_NO_POWER_INDICATOR (-205) /* the model has no power-input indicator */
#define ERR_LINK_DOWN (-300)          /* the Ethernet interface is not up; output set to 0 */

/* ---- Identity ----
 * buf: at least 128 bytes; its first 128 bytes are cleared, then the text is
 * copied in. Returns 0, or ERR_DEVICE_NAME / ERR_BIOS_VER / ERR_SERIAL_NUM
 * when the board cannot be identified (buf then holds an empty text) or buf
 * is null. */
QUORVIK_API int get_device_name(char* buf);
QUORVIK_API int get_bios_ver(char* buf);
QUORVIK_API int get_ser_num(char* buf);

#ifdef __cplusplus
}
#endif

#endif /* QUORVIK_H */
