// The device calls over the kernel. Built into libquorvik.so only; the
// white-box tests link a simulated driver in its place.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "dio_device.h"

namespace quorvik::dio {

int open_node(const char* path) {
    return ::open(path, O_RDWR | O_CLOEXEC);
}

int send(int fd, unsigned long request, dio_request* record) {
    return ::ioctl(fd, request, record);
}

int close_node(int fd) {
    return ::close(fd);
}

}  // namespace quorvik::dio
