/*
 * libquorvik: the monitoring API of Quorvik boards.
 *
 * Every function does one synchronous job, writes its answer through the
 * caller's out-parameters and returns 0 or a negative status below. On a
 * failure the out-parameters are left as they were unless a function says
 * otherwise. Identity, profile and sensor queries need libQuorvikSO in the
 * process (linked, or loaded with RTLD_GLOBAL); without it they answer with
 * their own failure status. Soname libquorvik.so.1.
 *
 * Threads: every function may be called from several threads at once; the
 * library starts no thread.
 *  - Nothing is shared between calls but libQuorvikSO's identity cache and
 *    its functions, which are looked up once and kept atomically; no strtok,
 *    no static buffer. Each call loads its own copy of the profile, and opens
 *    its own pipes (close-on-exec, so that a command another thread starts
 *    does not inherit them) and device descriptors.
 *  - Sensor readings and identification are serialised where the hardware
 *    needs it by libQuorvikSO (see QuorvikSO.h); nothing else is locked, and
 *    no lock is held while a command runs or a call sleeps, so the calls that
 *    take time (get_average_cpu_usage and get_cpu_usage one second,
 *    get_eth_usage 0.1 s) do not hold up other threads.
 *  - Calls are not ordered among themselves: two set_relay calls on the same
 *    output from two threads leave either value.
 *  - Caller buffers are the caller's: one buffer is not shared by calls
 *    running at the same time.
 *  - Commands run with the process's environment (PATH); the library does
 *    not change it, and a host that changes it (setenv, putenv) while calls
 *    run races with those calls.
 *
 * Numbers: profile values and the numbers commands print are read as in the
 * C locale, whatever locale the host set with setlocale: "1.5" is one and a
 * half also in a locale with a decimal comma.
 *
 * Child processes: the queries that run a shell command (CPU, memory, disk,
 * Ethernet, serial ports, the KT-500R relay) start it with popen and wait for
 * that one child with pclose. A host must leave SIGCHLD at its default (not
 * SIG_IGN, not SA_NOCLDWAIT) and must not reap children it did not start
 * (waitpid(-1, ...) or wait() in a SIGCHLD handler or another thread): the
 * child's status is then lost, and every such query returns ERR_PCLOSE.
 *
 * Descriptors: the device nodes (/dev/dio, the profile's Relay_Node) are
 * opened read-write, close-on-exec, never as the controlling terminal, and
 * on a descriptor above 2, so a host that runs with stdin, stdout or stderr
 * closed never has its output written into a driver.
 *
 * Failure inside the library: no function lets an exception out (they are
 * noexcept to C++ callers). Memory exhaustion or any other internal failure
 * becomes the function's own status: ERR_DEVICE_NAME, ERR_BIOS_VER,
 * ERR_SERIAL_NUM for the identity queries; ERR_PROFILE_LOAD for
 * get_uart_count and get_eth_count; ERR_DEV_OPEN for get_pwr_status and
 * set_relay; ERR_SENSOR for get_milli_volt and get_temperature; ERR_POPEN
 * for every other function. Out-parameters are then left as they were.
 */
#ifndef QUORVIK_H
#define QUORVIK_H

/* Version of this library and header. The soname (libquorvik.so.1) follows the major
 * version: it changes only with an incompatible change to this header. Minor
 * grows with additions, patch with fixes that leave the interface alone. */
#define QUORVIK_VERSION_MAJOR 1
#define QUORVIK_VERSION_MINOR 0
#define QUORVIK_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QUORVIK_BUILD)
#define QUORVIK_API __attribute__((visibility("default")))
#else
#define QUORVIK_API
#endif

/* No function lets an exception out (see "Failure inside the library"). */
#if defined(__cplusplus)
#define QUORVIK_NOEXCEPT noexcept
#else
#define QUORVIK_NOEXCEPT
#endif

/* ---- Status codes ---- */
#define ERR_RANGE (-100)              /* index, state or argument outside what is offered */
#define ERR_POPEN (-101)              /* the shell command cannot be started */
#define ERR_PCLOSE (-102)             /* waiting for the command failed */
#define ERR_DEV_OPEN (-103)           /* the digital-I/O or relay device cannot be opened */
#define ERR_DEV_CLOSE (-104)          /* closing that device failed */
#define ERR_DEV_IOCTL (-105)          /* the device request failed */
#define ERR_PROFILE_LOAD (-106)       /* the device profile cannot be loaded */
#define ERR_CMD_EXIT (-107)           /* the command failed, did not finish in time, or its answer is unusable */
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
QUORVIK_API int get_device_name(char* buf) QUORVIK_NOEXCEPT;
QUORVIK_API int get_bios_ver(char* buf) QUORVIK_NOEXCEPT;
QUORVIK_API int get_ser_num(char* buf) QUORVIK_NOEXCEPT;

/*
 * Statuses common to the queries below:
 *   ERR_POPEN, ERR_PCLOSE, ERR_CMD_EXIT: a shell command could not be started,
 *     could not be waited for, or ended with a non-zero status; ERR_CMD_EXIT
 *     also when it did not finish in time: a command still running after 10
 *     seconds (a df or lsof stalled by a dead NFS server, a stalled ifstat)
 *     is killed with all its processes and the call returns at once;
 *   ERR_DEVICE_NAME, ERR_PROFILE_LOAD, ERR_PROFILE_VALUE: a value of the
 *     running model's section of /etc/quorvik/DeviceProfile.ini could not be
 *     read (no model name, no loadable profile, the key missing or negative,
 *     or a number that does not fit an int, such as 4294967298: it is
 *     refused, never wrapped).
 * Profile integers are read as strtol with base 0 reads them: 0x1A, 012
 * (octal) and 12abc (12) are numbers; text without a number reads 0.
 * A null out-parameter is refused with ERR_RANGE before anything runs.
 */

/* ---- CPU and memory ----
 * No profile, no board identity: these work on any Linux machine with nproc,
 * cat, grep, sed, awk and free. */

/* Number of CPUs of the board (nproc --all): the CPUs whose /proc/stat lines
 * get_cpu_usage reads. It does not follow the calling process's CPU affinity
 * or OMP_NUM_THREADS/OMP_THREAD_LIMIT, as plain nproc does. A CPU taken
 * offline still counts, and get_cpu_usage cannot measure it.
 * Returns 0, ERR_RANGE (null count), ERR_POPEN, ERR_PCLOSE, ERR_CMD_EXIT (also
 * for a number outside int). count is untouched on failure. */
QUORVIK_API int get_cpu_count(int* count) QUORVIK_NOEXCEPT;

/* Usage of all CPUs together over one second (blocks one second), percent,
 * 0.0 to 100.0, from two samples of the all-CPU line of /proc/stat. The
 * counters are taken as 32-bit values and their differences modulo 2^32, so
 * a counter that wraps between the samples still gives the true usage.
 * Returns 0, ERR_RANGE (null usage), ERR_POPEN, ERR_PCLOSE, ERR_CMD_EXIT (also
 * when a sample holds fewer than seven counters, or the counters did not
 * advance between the samples). A failing first sample returns at once,
 * without sleeping. usage is untouched on failure. */
QUORVIK_API int get_average_cpu_usage(double* usage) QUORVIK_NOEXCEPT;

/* Usage of CPU index (0 for the first) over one second, percent, 0.0 to
 * 100.0. Calls get_cpu_count first and returns its failure unchanged.
 * Returns 0, ERR_RANGE (index negative or not below the CPU count, or null
 * usage; no sample is taken), ERR_POPEN, ERR_PCLOSE, ERR_CMD_EXIT (as for
 * get_average_cpu_usage). usage is untouched on failure. */
QUORVIK_API int get_cpu_usage(int index, double* usage) QUORVIK_NOEXCEPT;

/* Used memory as a percentage of total memory (free -m), cut to a whole
 * number. Returns 0, ERR_RANGE (null percent), ERR_POPEN, ERR_PCLOSE,
 * ERR_CMD_EXIT (also for a number outside int). Untouched on failure. */
QUORVIK_API int get_mem_usage(int* percent) QUORVIK_NOEXCEPT;

/* Total and free memory, mebibytes (the total and free columns of free -m).
 * Return 0, ERR_RANGE (null pointer), ERR_POPEN, ERR_PCLOSE, ERR_CMD_EXIT.
 * Untouched on failure. */
QUORVIK_API int get_mem_total_size(double* mebibytes) QUORVIK_NOEXCEPT;
QUORVIK_API int get_mem_avail_size(double* mebibytes) QUORVIK_NOEXCEPT;

/* ---- Serial ports ----
 * Port n is the node /dev/tty<TtyType><entry n of TtyNum> of the model's
 * profile section; TotalSerialPort gives the count. */

/* Number of serial ports of the model (TotalSerialPort).
 * Returns 0, ERR_RANGE (null count), ERR_DEVICE_NAME, ERR_PROFILE_LOAD,
 * ERR_PROFILE_VALUE. A missing or negative value is left in *count with
 * ERR_PROFILE_VALUE; otherwise count is untouched on failure. */
QUORVIK_API int get_uart_count(int* count) QUORVIK_NOEXCEPT;

/* 1 in *in_use when some process holds port index's node open (lsof prints a
 * line), 0 when none does or lsof is missing. lsof stats every mount point:
 * one that never answers makes it miss the deadline, which gives
 * ERR_CMD_EXIT, never a port read as free.
 * Returns 0; ERR_RANGE (index negative, not below the port count, 128 or
 * more, or null in_use; no command runs); ERR_DEVICE_NAME, ERR_PROFILE_LOAD;
 * ERR_PROFILE_VALUE (TotalSerialPort, TtyType or TtyNum missing, TtyType not
 * letters only or too long for the command line, a TtyNum entry outside int;
 * no command runs); ERR_CMD_EXIT
 * when the node does not exist, ERR_POPEN, ERR_PCLOSE. in_use is untouched
 * on failure. */
QUORVIK_API int get_uart_status(int index, int* in_use) QUORVIK_NOEXCEPT;

/* ---- Ethernet ----
 * Port n is the interface eth<n>; TotalLanPort gives the count. A port is up
 * when "ifconfig" lists an interface of exactly that name (eth1 is not
 * veth1c2d3e4, eth10 or eth1:1). When that test cannot run (ERR_POPEN,
 * ERR_PCLOSE), its status is returned and the output is untouched;
 * ERR_LINK_DOWN means ifconfig ran and did not list the interface. */

/* Number of LAN ports of the model (TotalLanPort). Statuses and the value
 * left on failure as for get_uart_count. */
QUORVIK_API int get_eth_count(int* count) QUORVIK_NOEXCEPT;

/* Link speed of port index, Mbit/s (/sys/class/net/eth<n>/speed).
 * Returns 0; ERR_RANGE (index not below the LAN port count, or null mbits);
 * ERR_DEVICE_NAME, ERR_PROFILE_LOAD, ERR_PROFILE_VALUE; ERR_LINK_DOWN with 0
 * stored when the interface is not up (a negative index names none);
 * ERR_POPEN, ERR_PCLOSE, ERR_CMD_EXIT. ERR_CMD_EXIT also when the kernel
 * reports a speed of 0 or below: an interface that is up but whose speed the
 * kernel does not know (-1, as virtual interfaces and some links without
 * cable show) gives ERR_CMD_EXIT, not a speed and not ERR_LINK_DOWN.
 * Otherwise untouched on failure. */
QUORVIK_API int get_eth_speed(int index, int* mbits) QUORVIK_NOEXCEPT;

/* Carrier of port index: 1 with carrier, 0 without
 * (/sys/class/net/eth<n>/carrier). Statuses as for get_eth_speed, without its
 * speed rule; ERR_LINK_DOWN stores 0. */
QUORVIK_API int get_eth_link(int index, int* carrier) QUORVIK_NOEXCEPT;

/* Load of port index in whole percent of its link speed: receive plus
 * transmit over 0.1 s (ifstat, looked for at /usr/bin/ifstat), cut to whole
 * Mbit/s, times 100, divided by the speed (read as get_eth_speed reads it).
 * Returns 0; the statuses of get_eth_speed; ERR_CMD_EXIT also when
 * /usr/bin/ifstat is missing or the rate it gives is not a number, negative
 * or too large. ERR_LINK_DOWN before the measurement stores 0. When only
 * the final speed query fails, its status is returned (ERR_LINK_DOWN when the
 * interface went down during the measurement, ERR_CMD_EXIT for an unknown
 * speed) and *percent holds the rate in Mbit/s times 100; otherwise
 * untouched on failure. */
QUORVIK_API int get_eth_usage(int index, int* percent) QUORVIK_NOEXCEPT;

/* ---- Disks ----
 * name: a mounted file system's source (/dev/sda1) or mount point (/data)
 * names exactly that file system (its last mount in the mount table, the
 * one in view): /dev/sda1 is not /dev/sda10, "/" is the root file system.
 * Any other name is a grep pattern that picks every mount whose source or
 * mount point it matches ("sda" picks sda1 and sda10, "." any character).
 * df is then asked about those file systems only, so that one that never
 * answers elsewhere cannot stall the query, and the values of the last
 * matching line (in df -P -BM order, without the header and lines holding
 * tmpfs or cdrom, and for usage and total size rootfs) are given. Only
 * letters, digits and / . _ - + : @ are accepted, not a leading '-', and at
 * most 200 characters. A name that matches only dropped lines gives 0.0.
 * Return 0; ERR_RANGE (name null, empty, with another character, or too
 * long; null out-parameter; no command runs); ERR_CMD_EXIT when no mounted
 * file system matches the name (a device that is not mounted) or df did not
 * finish in time (the named file system does not answer), ERR_POPEN,
 * ERR_PCLOSE. The out-parameter is untouched on failure. */
QUORVIK_API int get_disk_usage(const char* name,
                               double* percent) QUORVIK_NOEXCEPT; /* percent in use */
QUORVIK_API int get_disk_total_size(const char* name,
                                    double* mebibytes) QUORVIK_NOEXCEPT; /* size, MiB */
QUORVIK_API int get_disk_avail_size(const char* name,
                                    double* mebibytes) QUORVIK_NOEXCEPT; /* available, MiB */

/* ---- Power inputs and relay ---- */

/* State of power input index (0 or 1) as the digital-I/O driver /dev/dio
 * reports it (request 17), passed on unchanged.
 * Returns 0; ERR_RANGE (index not 0 or 1, or null state); ERR_DEVICE_NAME,
 * ERR_PROFILE_LOAD, ERR_PROFILE_VALUE (S_Power_indicator);
 * ERR_NO_POWER_INDICATOR (S_Power_indicator is 0; the device is not opened);
 * ERR_DEV_OPEN; ERR_DEV_IOCTL (state untouched); ERR_DEV_CLOSE (state already
 * stored). Otherwise state is untouched on failure. */
QUORVIK_API int get_pwr_status(int index, int* state) QUORVIK_NOEXCEPT;

/* Sets relay output index (0 to O_Relay - 1) to value: 0 sets the relay, 1
 * releases it. The KT-500R writes the value to /dev/relay through the shell;
 * other models send request 15 to the node named by Relay_Node.
 * Returns 0; ERR_DEVICE_NAME, ERR_PROFILE_LOAD, ERR_PROFILE_VALUE (O_Relay,
 * or Relay_Node missing or 128 characters or more); ERR_NO_RELAY (O_Relay is
 * 0); ERR_RANGE (index or value out of range; nothing is touched);
 * ERR_DEV_OPEN (also for an empty Relay_Node), ERR_DEV_IOCTL, ERR_DEV_CLOSE;
 * on the KT-500R ERR_POPEN, ERR_PCLOSE, ERR_CMD_EXIT from the shell. */
QUORVIK_API int set_relay(int index, int value) QUORVIK_NOEXCEPT;

/* ---- Voltages and temperatures by role ----
 * The profile's V_CPU_Index, V_DRAM_Index, V_5V_Index (roles 0 to 2) and
 * T_CPU_Index, T_SYSTEM_Index (roles 0 and 1) name the reader input of each
 * role; libQuorvikSO (GetSensorValueByType) reads it. */

/* Voltage of role index, millivolts.
 * Returns 0; ERR_RANGE (index negative, not below Volt, or beyond the three
 * roles; null millivolts); ERR_DEVICE_NAME, ERR_PROFILE_LOAD,
 * ERR_PROFILE_VALUE (Volt or the role's key missing or negative); ERR_SENSOR
 * (libQuorvikSO absent, the model refused or the reader failed). The int is
 * written only by libQuorvikSO's reading, and untouched on every failure. */
QUORVIK_API int get_milli_volt(int index, int* millivolts) QUORVIK_NOEXCEPT;

/* Temperature of role index, thousandths of a degree Celsius (whole degrees
 * times 1000). As get_milli_volt, with Temp and the two temperature roles. */
QUORVIK_API int get_temperature(int index, int* millidegrees) QUORVIK_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* QUORVIK_H */
