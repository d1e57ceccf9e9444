// Starting a shell command in a process group of its own: the production
// platform and the board simulator's both start commands this way.
#pragma once

#include <sys/types.h>

namespace quorvik::command {

// As platform::start_shell, with the environment envp for the shell.
pid_t start_in_group(const char* command, char* const envp[], int stdout_fd);

}  // namespace quorvik::command
