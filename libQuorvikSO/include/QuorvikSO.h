/*
 * libQuorvikSO: hardware access for Quorvik boards.
 *
 * Board identity from BIOS memory and SMBIOS, the Super I/O hardware monitor
 * (voltages, temperatures, fans), the device profile's model matching and the
 * software-SMI mailbox of the board firmware. Every call that touches hardware
 * needs root. Soname libQuorvikSO.so.1.
 */
#ifndef QUORVIK_SO_H
#define QUORVIK_SO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QUORVIK_SO_BUILD)
#define QUORVIK_SO_API __attribute__((visibility("default")))
#else
#define QUORVIK_SO_API
#endif

/* ---- Sensor types (type argument of GetSensorValueByType) ---- */
#define SENSOR_TEMP 0
#define SENSOR_VOLT 1
#define SENSOR_FAN 2

/* ---- Sensor reader status (readers and count queries) ---- */
#define SENSOR_OK 0
#define SENSOR_ERR_VALUE (-1)   /* key present but unusable, or a device failed */
#define SENSOR_ERR_NOMEM (-2)   /* result text could not be allocated */
#define SENSOR_ERR_PROFILE (-3) /* device profile could not be loaded */
#define SENSOR_ERR_KEY (-4)     /* a key the reading needs is missing */

/* Path of the device profile that the dispatch hands to the readers. */
#define QUORVIK_PROFILE_PATH "/etc/quorvik/DeviceProfile.ini"

/* ---- Identity cache ---- */
/* Filled once per process by the first complete identification. */
extern QUORVIK_SO_API char Model_str[30];        /* at most 29 characters */
extern QUORVIK_SO_API char BIOS_Ver_str[10];     /* at most 9 characters */
extern QUORVIK_SO_API char SerialNumber_str[30]; /* at most 29 characters, may be empty */
extern QUORVIK_SO_API char PlatformInfo_Flag;    /* 1 once identification fully succeeded */

/* ---- Platform identification ---- */

/* Identifies the board (once per process). Returns 0 when the cache is valid
 * (also when only the serial number is missing), 1 on failure; diagnostics go
 * to standard output. */
QUORVIK_SO_API int PlatformInfo(void);

/* Copy the model name, BIOS version or serial number into buf (at least 30
 * bytes). Return 1 on success, 0 when the board cannot be identified; buf is
 * then left untouched. A null buf returns 0. */
QUORVIK_SO_API int GetDeviceName(char* buf);
QUORVIK_SO_API int GetBiosVersion(char* buf);
QUORVIK_SO_API int GetSerialNumber(char* buf);

/* Copy len bytes of physical memory at addr (bits 0-31 used) into buf through
 * /dev/mem. Returns 0 on success, 1 on failure. */
QUORVIK_SO_API int MemBlockRead(uint64_t addr, unsigned char* buf, uint64_t len);

/* Searches of a 65,536-byte F-segment image. F000_search_ZEKT: 0 when the
 * upper-case maker signature is present, -1 when not. F000_search_SMBIOS: 0
 * with *anchor set to the "_SM_" anchor inside the image, or -1 with *anchor
 * untouched. */
QUORVIK_SO_API int F000_search_ZEKT(const unsigned char* image);
QUORVIK_SO_API int F000_search_SMBIOS(const unsigned char* image, const unsigned char** anchor);

/* Offset of the first structure of the given type in a 65,536-byte SMBIOS
 * structure-table image, or -1. */
QUORVIK_SO_API int search_type(const unsigned char* table, unsigned char type);

/* Copies the word after the upper-case maker signature of an F-segment image
 * into dest (zero-filled, at least 30 bytes; no terminator is written and at
 * most 29 bytes are). Returns 0, or 1 when there is no signature or no blank
 * after the word. */
QUORVIK_SO_API int Copy_F000_MODEL(const unsigned char* image, char* dest);

/* Raise / drop the I/O permission of the SMI command port 0xB2. Return 0, or
 * the non-zero ioperm result after printing "Error: ioperm() fail\r". */
QUORVIK_SO_API int SmbxInit(void);
QUORVIK_SO_API int SmbxExit(void);

#ifdef __cplusplus
}
#endif

#endif /* QUORVIK_SO_H */
