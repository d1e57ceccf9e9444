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

int kernel_open(const char* path) {
    return dio_open_node(path);
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
