/* The run's state: mapping the hardware file, and the digital-I/O driver. */
#define _GNU_SOURCE
#include "sim_state.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "quorvik_common/dio_request.h"

/* The kernel's open, past any open that a preloaded library puts in front
 * of the C library's (this file is linked into the preload shim too). */
static int kernel_open(const char* path, int flags) {
    return (int)syscall(SYS_openat, AT_FDCWD, path, flags | O_CLOEXEC, 0600);
}

static void say(const char* text) {
    /* stderr unbuffered and never the program's stdout. */
    if (write(STDERR_FILENO, text, strlen(text)) < 0) {
        /* nothing to do */
    }
}

int qsim_path(char* out, size_t size, const char* dir, const char* name) {
    const int n = snprintf(out, size, "%s/%s", dir, name);
    return n < 0 || (size_t)n >= size ? -1 : 0;
}

const char* qsim_state_dir(void) {
    const char* dir = getenv(QSIM_ENV_STATE);
    return dir != NULL && dir[0] == '/' ? dir : NULL;
}

struct qsim_hardware* qsim_map_hardware(const char* dir) {
    char path[4096];
    if (qsim_path(path, sizeof path, dir, QSIM_HARDWARE_FILE) != 0) return NULL;
    const int fd = kernel_open(path, O_RDWR);
    if (fd < 0) return NULL;
    struct stat st;
    void* map = MAP_FAILED;
    if (fstat(fd, &st) == 0 && st.st_size == (off_t)sizeof(struct qsim_hardware)) {
        map = mmap(NULL, sizeof(struct qsim_hardware), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    }
    close(fd);
    if (map == MAP_FAILED) return NULL;
    struct qsim_hardware* hw = map;
    if (memcmp(hw->magic, QSIM_MAGIC, sizeof hw->magic) != 0 ||
        hw->size != sizeof(struct qsim_hardware)) {
        munmap(map, sizeof(struct qsim_hardware));
        return NULL;
    }
    return hw;
}

static struct qsim_hardware* mapped;
static pthread_once_t map_once = PTHREAD_ONCE_INIT;

static void map_run(void) {
    const char* dir = qsim_state_dir();
    if (dir == NULL) {
        say("quorvik-sim: no simulated board: " QSIM_ENV_STATE
            " is not set (start programs with `quorvik-sim run BOARD -- PROGRAM`)\n");
        return;
    }
    mapped = qsim_map_hardware(dir);
    if (mapped == NULL) {
        say("quorvik-sim: the state directory in " QSIM_ENV_STATE
            " holds no board (was its run ended?)\n");
    }
}

struct qsim_hardware* qsim_run_hardware(void) {
    pthread_once(&map_once, map_run);
    return mapped;
}

/* ---- the digital-I/O driver ---- */

static int node_known;
static dev_t node_dev;
static ino_t node_ino;
static pthread_mutex_t node_mutex = PTHREAD_MUTEX_INITIALIZER;

/* Held across fork, so that a child of a host forking while another thread
 * looks a node up never starts with it held. */
static void lock_nodes(void) {
    pthread_mutex_lock(&node_mutex);
}
static void unlock_nodes(void) {
    pthread_mutex_unlock(&node_mutex);
}
__attribute__((constructor)) static void keep_nodes_across_fork(void) {
    pthread_atfork(lock_nodes, unlock_nodes, unlock_nodes);
}

/* Relay node paths the board's profile names besides /dev/dio: the lines of
 * STATE/dio-nodes, read once. */
static char extra_nodes[8][128];
static int extra_count = -1;

static void read_extra_nodes(void) {
    extra_count = 0;
    const char* dir = qsim_state_dir();
    char path[4096];
    if (dir == NULL || qsim_path(path, sizeof path, dir, "dio-nodes") != 0) return;
    const int fd = kernel_open(path, O_RDONLY);
    if (fd < 0) return;
    char text[1024];
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0) return;
    text[n] = '\0';
    char* save = NULL;
    for (char* line = strtok_r(text, "\n", &save); line != NULL && extra_count < 8;
         line = strtok_r(NULL, "\n", &save)) {
        if (strlen(line) < sizeof extra_nodes[0]) strcpy(extra_nodes[extra_count++], line);
    }
}

int qsim_is_dio_path(const char* path) {
    if (path == NULL) return 0;
    if (strcmp(path, QUORVIK_DIO_PATH) == 0) return 1;
    pthread_mutex_lock(&node_mutex);
    if (extra_count < 0) read_extra_nodes();
    int found = 0;
    for (int i = 0; i < extra_count && !found; ++i) found = strcmp(path, extra_nodes[i]) == 0;
    pthread_mutex_unlock(&node_mutex);
    return found;
}

void qsim_reload_dio_nodes(void) {
    pthread_mutex_lock(&node_mutex);
    extra_count = -1;
    pthread_mutex_unlock(&node_mutex);
}

int qsim_dio_open(const char* path, int flags, int (*open_fn)(const char*, int, ...)) {
    (void)path;
    struct qsim_hardware* hw = qsim_run_hardware();
    const char* dir = qsim_state_dir();
    char node[4096];
    if (hw == NULL || dir == NULL || !hw->dio_device ||
        qsim_path(node, sizeof node, dir, QSIM_DIO_NODE_FILE) != 0) {
        errno = ENOENT;
        return -1;
    }
    const int fd = open_fn(node, flags & ~(O_CREAT | O_TRUNC | O_EXCL | O_TMPFILE));
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0) {
        pthread_mutex_lock(&node_mutex);
        node_dev = st.st_dev;
        node_ino = st.st_ino;
        node_known = 1;
        pthread_mutex_unlock(&node_mutex);
    }
    return fd;
}

int qsim_dio_is_node(int fd) {
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) return 0;
    pthread_mutex_lock(&node_mutex);
    const int is = node_known && st.st_dev == node_dev && st.st_ino == node_ino;
    pthread_mutex_unlock(&node_mutex);
    return is;
}

static void log_request(unsigned long request, const struct dio_request* record, int result,
                        int error) {
    const char* dir = qsim_state_dir();
    char path[4096];
    if (dir == NULL || qsim_path(path, sizeof path, dir, QSIM_DIO_LOG_FILE) != 0) return;
    const int fd = kernel_open(path, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0) return;
    char line[160];
    const int n = snprintf(line, sizeof line, "pid=%ld request=%lu %s port=%d value=%d %s%s\n",
                           (long)getpid(), request,
                           request == DIO_SET_RELAY   ? "set-relay"
                           : request == DIO_GET_POWER ? "get-power"
                                                      : "unknown",
                           record != NULL ? record->port : 0, record != NULL ? record->value : 0,
                           result == 0 ? "ok" : "refused:", result == 0 ? "" : strerror(error));
    if (n > 0 && (size_t)n < sizeof line && write(fd, line, (size_t)n) < 0) {
        /* a lost line shows as a missing request */
    }
    close(fd);
}

int qsim_dio_request(int fd, unsigned long request, void* argument) {
    struct qsim_hardware* hw = qsim_run_hardware();
    struct dio_request* record = argument;
    int result = -1;
    int error = 0;
    const int mode = fcntl(fd, F_GETFL);
    if (hw == NULL) {
        error = ENODEV;
    } else if (record == NULL) {
        error = EFAULT;
    } else if (mode < 0 || (mode & O_ACCMODE) != O_RDWR) {
        /* The driver demands read-write descriptors. */
        error = EBADF;
    } else if (__atomic_load_n(&hw->dio_fail, __ATOMIC_RELAXED) & QSIM_DIO_FAIL_REQUEST) {
        error = EIO;
    } else if (request == DIO_SET_RELAY) {
        if (record->port >= 0 && record->port < QSIM_RELAYS &&
            (record->value == 0 || record->value == 1)) {
            __atomic_store_n(&hw->relay[record->port], record->value, __ATOMIC_RELAXED);
            result = 0;
        } else {
            error = EINVAL;
        }
    } else if (request == DIO_GET_POWER) {
        if (record->port >= 0 && record->port < QSIM_POWER_INPUTS) {
            record->value = __atomic_load_n(&hw->power[record->port], __ATOMIC_RELAXED);
            result = 0;
        } else {
            error = EINVAL;
        }
    } else {
        error = ENOTTY;
    }
    if (hw != NULL) __atomic_fetch_add(&hw->dio_requests, 1, __ATOMIC_RELAXED);
    log_request(request, record, result, error);
    errno = error;
    return result;
}

int qsim_dio_close(int fd, int (*close_fn)(int)) {
    struct qsim_hardware* hw = qsim_run_hardware();
    const int result = close_fn(fd);
    if (result == 0 && hw != NULL &&
        (__atomic_load_n(&hw->dio_fail, __ATOMIC_RELAXED) & QSIM_DIO_FAIL_CLOSE)) {
        errno = EIO;
        return -1;
    }
    return result;
}
