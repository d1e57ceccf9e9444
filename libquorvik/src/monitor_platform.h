// The thin layer between the monitoring library and the machine: how a
// command is started, and the digital-I/O driver's device calls.
//
// platform_linux.cpp holds the real calls; the board simulator builds the
// library with a platform of its own in their place. Nothing here is exported.
#pragma once

#include <sys/types.h>

#include "quorvik_common/dio_request.h"

namespace quorvik::platform {

// Starts command with the shell, its standard output on stdout_fd and its
// standard input on /dev/null, as the leader of a new process group, and
// returns that leader's pid (the group's id), or -1. The leader is a shell
// that waits for the command and exits with its status (128 + the signal if
// a signal ended it), never the command's own program, so that a kill of the
// whole group always ends it and the caller can always reap it, even while a
// program of the group is stuck in the kernel.
pid_t start_shell(const char* command, int stdout_fd);

// The digital-I/O driver nodes: dio_open_node's rules (read-write, above the
// standard descriptors), ioctl and close, with their results.
int dio_open(const char* path);
int dio_send(int fd, unsigned long request, dio_request* record);
int dio_close(int fd);

}  // namespace quorvik::platform
