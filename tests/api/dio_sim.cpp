#include "dio_sim.h"

#include <cerrno>

#include "dio_device.h"

namespace quorvik::sim {

DioDriver& DioDriver::get() {
    static DioDriver driver;
    return driver;
}

void DioDriver::reset() {
    *this = DioDriver();
}

int DioDriver::open(const char* path) {
    opened.emplace_back(path);
    if (throw_on_open) std::rethrow_exception(throw_on_open);
    if (nodes.count(path) == 0) {
        errno = ENOENT;
        return -1;
    }
    const int fd = next_fd_++;
    open_[fd] = path;
    return fd;
}

int DioDriver::request(int fd, unsigned long number, int* port, int* value) {
    const auto node = open_.find(fd);
    if (node == open_.end()) {
        errno = EBADF;
        return -1;
    }
    calls.push_back({node->second, number, *port, *value});
    if (throw_on_request) std::rethrow_exception(throw_on_request);
    if (refuse_requests) {
        errno = EIO;
        return -1;
    }
    // The driver knows two requests, two power inputs and two relay values.
    if (number == DIO_GET_POWER && (*port == 0 || *port == 1)) {
        *value = power_inputs[*port];
        return 0;
    }
    if (number == DIO_SET_RELAY && *port >= 0 && (*value == 0 || *value == 1)) {
        relays[*port] = *value;
        return 0;
    }
    errno = number == DIO_GET_POWER || number == DIO_SET_RELAY ? EINVAL : ENOTTY;
    return -1;
}

int DioDriver::close(int fd) {
    if (open_.erase(fd) == 0) {
        errno = EBADF;
        return -1;
    }
    if (fail_close) {
        errno = EIO;
        return -1;
    }
    return 0;
}

}  // namespace quorvik::sim

// The library's device calls, served by the simulated driver.
namespace {

int sim_open(const char* path) {
    return quorvik::sim::DioDriver::get().open(path);
}

int sim_send(int fd, unsigned long request, dio_request* record) {
    return quorvik::sim::DioDriver::get().request(fd, request, &record->port, &record->value);
}

int sim_close(int fd) {
    return quorvik::sim::DioDriver::get().close(fd);
}

constexpr quorvik::dio::Driver kSimulated{sim_open, sim_send, sim_close};

}  // namespace

namespace quorvik::sim {

void DioDriver::install() {
    dio::replace_driver(&kSimulated);
}

void DioDriver::uninstall() {
    dio::replace_driver(nullptr);
}

}  // namespace quorvik::sim
