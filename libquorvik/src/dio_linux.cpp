// The kernel's device calls, and the switch that lets the white-box tests
// put a simulated driver in their place.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "dio_device.h"

namespace quorvik::dio {
namespace {

// The node goes on a descriptor above the standard ones: a daemon that runs
// with stdout closed would otherwise get the node as descriptor 1, and every
// puts of any thread would be flushed into the driver. While it is opened,
// free standard descriptors are held by placeholders that can be neither
// read nor written (O_PATH), so the node is never on one of them, not even
// for the moment a later move would leave to another thread.
int kernel_open(const char* path) {
    int placeholders[3];
    int held = 0;
    while (held < 3) {
        const int placeholder = ::open("/", O_PATH | O_CLOEXEC);
        if (placeholder < 0) break;
        if (placeholder > STDERR_FILENO) {
            ::close(placeholder);
            break;
        }
        placeholders[held++] = placeholder;
    }
    int fd = ::open(path, O_RDWR | O_CLOEXEC | O_NOCTTY);
    const int saved = errno;
    while (held > 0) ::close(placeholders[--held]);
    // Another thread closed a standard descriptor meanwhile, or no
    // placeholder could be had: move the node up.
    if (fd >= 0 && fd <= STDERR_FILENO) {
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        ::close(fd);
        fd = moved;
    } else {
        errno = saved;
    }
    return fd;
}

int kernel_send(int fd, unsigned long request, dio_request* record) {
    return ::ioctl(fd, request, record);
}

int kernel_close(int fd) {
    return ::close(fd);
}

constexpr Driver kKernel{kernel_open, kernel_send, kernel_close};

std::atomic<const Driver*> current{&kKernel};

}  // namespace

const Driver& driver() {
    return *current.load(std::memory_order_acquire);
}

void replace_driver(const Driver* replacement) {
    current.store(replacement != nullptr ? replacement : &kKernel, std::memory_order_release);
}

}  // namespace quorvik::dio
