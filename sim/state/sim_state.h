/* The live state of one simulated board run: what `quorvik-sim run` writes
 * into the run's state directory and every process of the run (the
 * simulated libraries, the preloaded device shim, the stand-in tools,
 * `quorvik-sim set` and `get`) reads and changes.
 *
 * The hardware part (Super I/O register file, MSRs, power inputs, relay
 * outputs) is one fixed-size binary file, STATE/hardware, that each process
 * maps shared once: a port access is a load or store in that mapping, no
 * parse and no system call. Everything else is plain files in the state
 * directory, laid out as the production command lines expect to find them
 * (see quorvik-sim(1), "STATE DIRECTORY").
 *
 * Plain C: the preload shim must not bring the C++ runtime into programs
 * that link only libc (zk_set_relay). */
#ifndef QUORVIK_SIM_STATE_H
#define QUORVIK_SIM_STATE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The environment variables that `run` hands to the processes of a run. */
#define QSIM_ENV_STATE "QUORVIK_SIM_STATE"   /* the state directory */
#define QSIM_ENV_LIBDIR "QUORVIK_SIM_LIBDIR" /* the simulated libraries' directory */

#define QSIM_MAGIC "QSIMHW03"
#define QSIM_BANKS 8           /* the banks a board description gives */
#define QSIM_REGISTER_FILES 16 /* room for a chip with a bank bit more */
#define QSIM_MSRS 64
#define QSIM_RELAYS 8
#define QSIM_POWER_INPUTS 2

/* The driver failures a board can be given (qsim_hardware.dio_fail). */
#define QSIM_DIO_FAIL_REQUEST 1u /* every request refused with EIO */
#define QSIM_DIO_FAIL_CLOSE 2u   /* a close of the node reports EIO */

/* File names inside the state directory. */
#define QSIM_HARDWARE_FILE "hardware" /* struct qsim_hardware */
#define QSIM_MEMORY_FILE "memory"     /* sparse image of the first 4 GiB */
#define QSIM_PROFILE_FILE "DeviceProfile.ini"
#define QSIM_DIO_NODE_FILE "dev/dio"     /* what an open of /dev/dio opens */
#define QSIM_RELAY_NODE_FILE "dev/relay" /* the KT-500R relay node */
#define QSIM_DIO_LOG_FILE "dio.log"      /* one line per driver request */
#define QSIM_REWRITE_FILE "rewrite"      /* "FROM TO" paths for command lines */
#define QSIM_BOARD_FILE "board.ini"      /* the board as the run started it */

struct qsim_msr {
    uint32_t number;
    uint32_t present;
    uint64_t value;
};

struct qsim_hardware {
    char magic[8];
    uint32_t size; /* sizeof(struct qsim_hardware) */

    /* Super I/O hardware monitor: index and data port; a banked chip selects
     * the bank with the bits of its bank register (bank_register, which every
     * bank shows) that its row of the chip table does not keep (bank_kept).
     * The index latch and the bank select are chip state, shared by every
     * process of the run as on a board. */
    uint32_t chip_present;
    uint32_t banked;
    uint16_t index_port;
    uint16_t data_port;
    uint8_t index_latch;
    uint8_t bank_select;
    uint8_t bank_register;
    uint8_t bank_kept;
    uint8_t registers[QSIM_REGISTER_FILES][256];

    /* Model-specific registers of CPU 0; msr_device 0: no /dev/cpu/0/msr. */
    uint32_t msr_device;
    uint32_t msr_count;
    struct qsim_msr msr[QSIM_MSRS];

    /* The digital-I/O driver: dio_device 0 means no /dev/dio. */
    uint32_t dio_device;
    int32_t power[QSIM_POWER_INPUTS];
    int32_t relay[QSIM_RELAYS]; /* -1: never set */
    uint32_t dio_requests;      /* requests served */
    uint32_t dio_fail;          /* QSIM_DIO_FAIL_* bits: a broken driver */

    /* Counters: port accesses without permission (a board would fault),
     * software SMIs raised. */
    uint32_t port_violations;
    uint32_t smi_calls;
};

/* The register file that the chip's bank select names; 0 on a chip without
 * banks. */
static inline unsigned qsim_selected_bank(const struct qsim_hardware* hw) {
    return hw->banked ? (unsigned)(hw->bank_select & ~hw->bank_kept) & (QSIM_REGISTER_FILES - 1)
                      : 0;
}

/* The run's hardware, mapped once per process from $QUORVIK_SIM_STATE;
 * NULL (and a message on stderr, once) when there is no run. */
struct qsim_hardware* qsim_run_hardware(void);

/* The state directory ($QUORVIK_SIM_STATE), or NULL. */
const char* qsim_state_dir(void);

/* dir/name into out (size bytes); 0, or -1 when it does not fit. */
int qsim_path(char* out, size_t size, const char* dir, const char* name);

/* Maps the hardware file of a state directory read-write; NULL on failure. */
struct qsim_hardware* qsim_map_hardware(const char* dir);

/* ---- the digital-I/O driver, shared by the shim and libquorvik's platform ---- */

/* 1 when path names a driver node of the board: /dev/dio, or the relay node
 * /dev/relay of the KT-500R (and any other node path in STATE/dio-nodes). */
int qsim_is_dio_path(const char* path);

/* Opens the state file that stands for the driver node path: a descriptor
 * (flags as given, O_CREAT and O_TRUNC taken out), or -1 with errno ENOENT
 * when the board has no driver. open_fn is the real open. */
int qsim_dio_open(const char* path, int flags, int (*open_fn)(const char*, int, ...));

/* Forgets the node paths read from STATE/dio-nodes: the next lookup reads
 * the file again (for a process that changes the board's nodes). */
void qsim_reload_dio_nodes(void);

/* 1 when fd is a descriptor of the driver node. */
int qsim_dio_is_node(int fd);

/* The driver's answer to an ioctl on the node (request 15 set relay, 17 read
 * power input), logged to STATE/dio.log: 0, or -1 with errno. */
int qsim_dio_request(int fd, unsigned long request, void* argument);

/* Closes a descriptor of the node with close_fn (the real close): its
 * result, or -1 with EIO after the close when the board's driver fails
 * closes. */
int qsim_dio_close(int fd, int (*close_fn)(int));

#ifdef __cplusplus
}
#endif

#endif
