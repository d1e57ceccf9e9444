/*
 * libQuorvikSO: hardware access for Quorvik boards.
 *
 * Board identity from BIOS memory and SMBIOS, the Super I/O hardware monitor
 * (voltages, temperatures, fans), the device profile's model matching and the
 * software-SMI mailbox of the board firmware. Every call that touches hardware
 * needs root. Soname libQuorvikSO.so.1.
 *
 * Threads: every function may be called from several threads at once; the
 * library starts no thread.
 *  - Identification runs once at a time, under a lock. Once PlatformInfo_Flag
 *    is 1 the identity cache never changes again. Read Model_str,
 *    BIOS_Ver_str and SerialNumber_str directly only after reading
 *    PlatformInfo_Flag as 1 with acquire ordering
 *    (__atomic_load_n(&PlatformInfo_Flag, __ATOMIC_ACQUIRE)); before that
 *    another thread's identification may be rewriting them. GetDeviceName,
 *    GetBiosVersion and GetSerialNumber always copy a whole identity, and
 *    GetSensorValueByType compares with a whole copy of the model name.
 *  - Each Super I/O reading (port permission raised, bank selected, registers
 *    read, permission dropped) holds one process-wide lock: readings of
 *    SensorVolt, SensorTemp, SensorFan and GetSensorValueByType never
 *    interleave on the chip's index and data ports. Nothing excludes other
 *    processes: let one process per board read the sensors.
 *  - Each SmbxSendSMI, and each whole SmbxRead or SmbxWrite transfer, holds
 *    one process-wide lock: no chunk of another transfer comes between.
 *  - I/O-port permissions belong to the calling thread (Linux): SmbxInit and
 *    SmbxExit raise and drop the calling thread's permission of port 0xB2
 *    only, so a thread that uses the mailbox calls SmbxInit itself. The pair
 *    keeps no count within a thread. The library remembers, per thread,
 *    what SmbxInit and SmbxExit left: identification and
 *    GetSensorValueByType leave a permission so held in place, and the
 *    transfers refuse to run on a thread that does not hold it.
 *  - Readers and count queries load their own copy of the profile at every
 *    call. SensorModelCheck only reads the dictionary it is given.
 *  - Caller buffers are the caller's: one buffer is not shared by calls
 *    running at the same time.
 *  - The library never changes the locale or the environment, and reads
 *    numbers the same in every locale; a host that changes the locale while
 *    calls run races with their letter-case conversions of model and
 *    section names.
 */
#ifndef QUORVIK_SO_H
#define QUORVIK_SO_H

/* Version of this library and header. The soname (libQuorvikSO.so.1) follows the major
 * version: it changes only with an incompatible change to this header. Minor
 * grows with additions, patch with fixes that leave the interface alone. */
#define QUORVIK_SO_VERSION_MAJOR 1
#define QUORVIK_SO_VERSION_MINOR 0
#define QUORVIK_SO_VERSION_PATCH 0

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QUORVIK_SO_BUILD)
#define QUORVIK_SO_API __attribute__((visibility("default")))
#else
#define QUORVIK_SO_API
#endif

/* No function lets an exception out (C++ hosts see them noexcept). When the
 * work fails inside (no memory, a lock that cannot be taken) each answers its
 * own failure status: SENSOR_ERR_NOMEM with *text set to null for the
 * readers and count queries; 0 for the identity queries, SensorModelCheck and
 * GetSensorValueByType (*value untouched); 1 for PlatformInfo (cache
 * zeroed), MemBlockRead, Copy_F000_MODEL and the SMI transfers (nothing
 * sent); -1 for the searches, SmbxInit and SmbxExit. */
#ifdef __cplusplus
#define QUORVIK_SO_NOEXCEPT noexcept
#else
#define QUORVIK_SO_NOEXCEPT
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
 * to standard output. A failed attempt leaves Model_str, BIOS_Ver_str and
 * SerialNumber_str all zeroed. Raises the permission of port 0xB2 for the
 * attempt and drops it after, unless the calling thread holds it from
 * SmbxInit: then it is neither raised nor dropped. */
QUORVIK_SO_API int PlatformInfo(void) QUORVIK_SO_NOEXCEPT;

/* Copy the model name, BIOS version or serial number into buf (at least 30
 * bytes). Return 1 on success, 0 when the board cannot be identified; buf is
 * then left untouched. A null buf returns 0. */
QUORVIK_SO_API int GetDeviceName(char* buf) QUORVIK_SO_NOEXCEPT;
QUORVIK_SO_API int GetBiosVersion(char* buf) QUORVIK_SO_NOEXCEPT;
QUORVIK_SO_API int GetSerialNumber(char* buf) QUORVIK_SO_NOEXCEPT;

/* Copy len bytes of physical memory at addr (bits 0-31 used) into buf through
 * /dev/mem. Returns 0 on success, 1 on failure. */
QUORVIK_SO_API int MemBlockRead(uint64_t addr, unsigned char* buf,
                                uint64_t len) QUORVIK_SO_NOEXCEPT;

/* Searches of a 65,536-byte F-segment image. F000_search_ZEKT: 0 when the
 * upper-case maker signature is present, -1 when not. F000_search_SMBIOS: 0
 * with *anchor set to the "_SM_" anchor inside the image, or -1 with *anchor
 * untouched. */
QUORVIK_SO_API int F000_search_ZEKT(const unsigned char* image) QUORVIK_SO_NOEXCEPT;
QUORVIK_SO_API int F000_search_SMBIOS(const unsigned char* image,
                                      const unsigned char** anchor) QUORVIK_SO_NOEXCEPT;

/* Offset of the first structure of the given type in a 65,536-byte SMBIOS
 * structure-table image, or -1. */
QUORVIK_SO_API int search_type(const unsigned char* table, unsigned char type) QUORVIK_SO_NOEXCEPT;

/* Copies the word after the upper-case maker signature of an F-segment image
 * into dest (zero-filled, at least 30 bytes; no terminator is written and at
 * most 29 bytes are). Returns 0, or 1 when there is no signature or no blank
 * after the word. */
QUORVIK_SO_API int Copy_F000_MODEL(const unsigned char* image, char* dest) QUORVIK_SO_NOEXCEPT;

/* Raise / drop the calling thread's I/O permission of the SMI command port
 * 0xB2. Return 0, or the non-zero ioperm result after printing
 * "Error: ioperm() fail\r". After a successful SmbxInit the thread holds the
 * port for the transfers below until its next SmbxExit (which ends the hold
 * whatever it returns). A permission raised other than through SmbxInit
 * (the host's own ioperm or iopl) is unknown to the library. */
QUORVIK_SO_API int SmbxInit(void) QUORVIK_SO_NOEXCEPT;
QUORVIK_SO_API int SmbxExit(void) QUORVIK_SO_NOEXCEPT;

/* ---- Device profile ---- */

/* The INI library's loaded profile (iniparser's dictionary). */
struct _dictionary_;

/* Finds the profile section that serves model by prefix: the first section, in
 * file order, whose name begins the model name (compared in lower case).
 * Returns 1 after copying that section's name with its terminator into section
 * (30 bytes, zeroed by the caller). Returns 0, section untouched, when a
 * section is named exactly like the model (the caller then uses the model name
 * itself), when the profile has no sections, when no section fits, or when an
 * argument is null. Section names of 30 characters or more, and an empty
 * section name, never serve by prefix. */
QUORVIK_SO_API int SensorModelCheck(const char* model, struct _dictionary_* profile,
                                    char* section) QUORVIK_SO_NOEXCEPT;

/* ---- Sensor readers ---- */

/* Each reads input number `input` of the model's section in the profile at
 * path, through the Super I/O hardware monitor (and, for temperatures, the
 * CPU's model-specific registers). On success (SENSOR_OK) *text receives a
 * 1024-byte heap text "<label>: <value>" that the caller releases with free():
 *   SensorVolt: millivolts;
 *   SensorTemp: thousandths of a degree Celsius (whole degrees times 1000);
 *   SensorFan:  the profile's Fin<n>Count divided by the fan count (0 for a
 *               stopped fan), usually revolutions per minute.
 * Profile numbers are read as strtol with base 0 reads them (0x hexadecimal,
 * leading-0 octal, trailing text ignored) and Tin<n>Cof / Tin<n>Off as strtod
 * does, both in the C locale whatever locale the host set.
 * Statuses: SENSOR_ERR_PROFILE (profile not loadable), SENSOR_ERR_KEY (a
 * needed key missing), SENSOR_ERR_VALUE (a value empty or unusable, a number
 * that does not fit an int, an empty or zero Vin<n>Cof or Tin<n>Cof, a
 * voltage reading times its factor that does not fit an int, a label too
 * long for the text, a port permission that could not be raised or dropped,
 * the MSR device unusable, or a null argument), SENSOR_ERR_NOMEM (no memory
 * for the text: *text is set to null). On every failure but
 * SENSOR_ERR_NOMEM *text is left untouched, and a failure found in the profile
 * touches no port. */
QUORVIK_SO_API int SensorVolt(const char* path, const char* model, int input,
                              char** text) QUORVIK_SO_NOEXCEPT;
QUORVIK_SO_API int SensorTemp(const char* path, const char* model, int input,
                              char** text) QUORVIK_SO_NOEXCEPT;
QUORVIK_SO_API int SensorFan(const char* path, const char* model, int input,
                             char** text) QUORVIK_SO_NOEXCEPT;

/* ---- Sensor dispatch and count queries ---- */

/* Reads input `input` of sensor type `type` (SENSOR_TEMP, SENSOR_VOLT,
 * SENSOR_FAN) of the identified board through its reader and the profile at
 * QUORVIK_PROFILE_PATH, and stores the reader's value (millivolts,
 * thousandths of a degree, or the fan value) in *value. model must equal the
 * cached Model_str exactly (identify the board first, e.g. GetDeviceName);
 * otherwise "product input error<Model_str>\r\n" is printed and nothing
 * else happens. Holds the SMI command port permission around the reading,
 * raised and dropped again unless the calling thread holds it from SmbxInit
 * (then it stays held). Returns 1 on success; 0 on a model mismatch, an unknown type, a
 * failed reader, a reader text without a number after its last ": ", a first
 * word of 40 characters or more in that text, or a null argument. *value is
 * written only on success. */
QUORVIK_SO_API int GetSensorValueByType(const char* model, unsigned long type, long input,
                                        int* value) QUORVIK_SO_NOEXCEPT;

/* Count of voltage, temperature or fan inputs (profile key Volt, Temp or Fan)
 * of the section serving model in the profile at path. On SENSOR_OK *text
 * receives a 1024-byte heap text with the count in decimal, released by the
 * caller with free(); the count is reported as it stands (0 or negative too).
 * Statuses: SENSOR_ERR_PROFILE, SENSOR_ERR_KEY (no such key, or a model name
 * too long to form the key), SENSOR_ERR_VALUE (a count that does not fit an
 * int, or a null argument): *text untouched; SENSOR_ERR_NOMEM: *text set to null. Nothing is
 * printed. */
QUORVIK_SO_API int SensorVoltQuery(const char* path, const char* model,
                                   char** text) QUORVIK_SO_NOEXCEPT;
QUORVIK_SO_API int SensorTempQuery(const char* path, const char* model,
                                   char** text) QUORVIK_SO_NOEXCEPT;
QUORVIK_SO_API int SensorFanQuery(const char* path, const char* model,
                                  char** text) QUORVIK_SO_NOEXCEPT;

/* ---- SMI port mailbox ---- */

/* Processor registers exchanged with the firmware's SMI handler. */
typedef struct SmiRegisterBlock {
    uint32_t eax;      /* in: low byte is the command written to port 0xB2; out */
    uint32_t ebx;      /* in and out */
    uint32_t ecx;      /* in and out */
    uint32_t edx;      /* out only: DX carries the port number in */
    uint32_t reserved; /* neither */
    uint32_t esi;      /* in only */
    uint32_t edi;      /* in only */
} SmiRegisterBlock;

/* Commands (low byte of eax). */
#define SMBX_CMD_READ 0x28       /* ECX = 16, ESI = offset; out EAX, ECX, EDX, EBX */
#define SMBX_CMD_WRITE_OPEN 0x29 /* ECX = total length, EDI = start offset */
#define SMBX_CMD_WRITE_DATA 0x2F /* EBX, ECX, EAX bits 16-31, ESI: one chunk; EDI = offset */

/* The transfers never raise the port permission: call SmbxInit first on the
 * same thread, SmbxExit afterwards. On a thread that does not hold the
 * permission from SmbxInit each returns 1 at once: nothing is sent, no port
 * is touched and neither *regs nor buf is changed. */

/* One software SMI: loads EAX, EBX, ECX, ESI, EDI from *regs, writes AL to
 * port 0xB2 and stores EAX, EBX, ECX, EDX back into *regs (esi, edi and
 * reserved are left as they were). Returns 0; -1 for a null regs; 1 without
 * the permission. */
QUORVIK_SO_API int SmbxSendSMI(SmiRegisterBlock* regs) QUORVIK_SO_NOEXCEPT;

/* Reads length / 16 chunks of 16 bytes from the firmware's store at offset,
 * one SMI each, into buf (at least length bytes; all length bytes are zeroed
 * first, so a remainder below 16 bytes reads as 0). Returns 0; -1 for a null
 * buf (nothing sent); 1 without the permission. */
QUORVIK_SO_API int SmbxRead(uint32_t offset, uint32_t length,
                            unsigned char* buf) QUORVIK_SO_NOEXCEPT;

/* Announces a write of length bytes at offset, then sends length / 16 chunks
 * of 16 bytes from buf, one SMI each; a remainder below 16 bytes is not sent.
 * Returns 0; -1 for a null buf (nothing sent); 1 without the permission. */
QUORVIK_SO_API int SmbxWrite(uint32_t offset, uint32_t length,
                             const unsigned char* buf) QUORVIK_SO_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* QUORVIK_SO_H */
