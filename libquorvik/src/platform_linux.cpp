// Production platform of the monitoring library: the real shell and the
// kernel's device calls.
#include <sys/ioctl.h>
#include <unistd.h>

#include "command_start.h"
#include "monitor_platform.h"

extern char** environ;

namespace quorvik::platform {

pid_t start_shell(const char* command, int stdout_fd) {
    return command::start_in_group(command, environ, stdout_fd);
}

int dio_open(const char* path) {
    return dio_open_node(path);
}

int dio_send(int fd, unsigned long request, dio_request* record) {
    return ::ioctl(fd, request, record);
}

int dio_close(int fd) {
    return ::close(fd);
}

}  // namespace quorvik::platform
