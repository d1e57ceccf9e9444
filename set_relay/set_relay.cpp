// zk_set_relay: sets relay output 0 through the digital-I/O driver. It uses
// neither the libraries nor the device profile, and links only libc: plain C
// calls, no exceptions, no C++ runtime.
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "quorvik.h"
#include "quorvik_common/dio_request.h"

namespace {

const char kUsage[] =
    "Usage: ./zk_set_relay value\nValue=0 -> relay is set\nValue=1 -> relay is not set";

// Sets relay output 0 to value; on failure *cause holds the errno.
int set_output_zero(int value, int* cause) {
    const char path[128] = QUORVIK_DIO_PATH;
    const int fd = dio_open_node(path);
    if (fd < 0) {
        *cause = errno;
        return ERR_DEV_OPEN;
    }
    struct dio_request request;
    request.port = 0;
    request.value = value;
    if (ioctl(fd, DIO_SET_RELAY, &request) != 0) {
        *cause = errno;
        close(fd);
        return ERR_DEV_IOCTL;
    }
    if (close(fd) != 0) {
        *cause = errno;
        return ERR_DEV_CLOSE;
    }
    return 0;
}

// The value as atoi reads it (blanks, a sign, digits up to the first other
// character), but only when there is a number: atoi reads "off", "" and
// "--help" as 0, which would set the relay. A number outside long is no
// relay value either (atoi's overflow is undefined).
bool read_value(const char* text, long* value) {
    const char* digits = text;
    while (isspace(static_cast<unsigned char>(*digits))) ++digits;
    if (*digits == '+' || *digits == '-') ++digits;
    if (!isdigit(static_cast<unsigned char>(*digits))) return false;
    errno = 0;
    *value = strtol(text, nullptr, 10);
    return errno != ERANGE;
}

}  // namespace

int main(int argc, char** argv) {
    long value = 0;
    if (argc < 2 || !read_value(argv[1], &value) || (value != 0 && value != 1)) {
        puts(kUsage);
        return -1;
    }
    int cause = 0;
    switch (set_output_zero(static_cast<int>(value), &cause)) {
        case 0:
            return 0;
        case ERR_DEV_OPEN:
            fprintf(stderr, "zk_set_relay: cannot open %s: %s\n", QUORVIK_DIO_PATH,
                    strerror(cause));
            return 1;
        case ERR_DEV_IOCTL:
            fprintf(stderr, "zk_set_relay: %s refused the relay request: %s\n", QUORVIK_DIO_PATH,
                    strerror(cause));
            return 1;
        default:
            fprintf(stderr, "zk_set_relay: closing %s failed: %s\n", QUORVIK_DIO_PATH,
                    strerror(cause));
            return 1;
    }
}
