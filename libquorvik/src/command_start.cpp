// Commands start in a process group of their own, and the shell that leads
// it never hands its place to the command (an exit follows the command, so
// the shell cannot exec the command's last program in its own place). A
// deadline can then end the whole group at once, and the caller never waits
// for a process stuck in the kernel (a df on a dead NFS server may survive
// even SIGKILL): the shell dies at once, and what it leaves behind is
// reparented and reaped by init, not by the caller.
#include "command_start.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <string>

namespace quorvik::command {
namespace {

// After the command, the shell exits with its status (128 + the signal when
// a signal ended it), as a shell given the command alone would.
constexpr const char* kLeaderExit = "\nexit $?";

class SpawnActions {
  public:
    SpawnActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
    ~SpawnActions() {
        if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    // Standard input from /dev/null, standard output on stdout_fd.
    bool set_streams(int stdout_fd) {
        return ok_ &&
               ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY,
                                                  0) == 0 &&
               (stdout_fd == STDOUT_FILENO ||
                ::posix_spawn_file_actions_adddup2(&actions_, stdout_fd, STDOUT_FILENO) == 0);
    }
    const posix_spawn_file_actions_t* get() const { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
    bool ok_;
};

class SpawnAttributes {
  public:
    SpawnAttributes() { ok_ = ::posix_spawnattr_init(&attributes_) == 0; }
    ~SpawnAttributes() {
        if (ok_) ::posix_spawnattr_destroy(&attributes_);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    // A new process group, and none of the caller's blocked or ignored
    // signals that would change how the command behaves or ends.
    bool set_group_and_signals() {
        sigset_t none;
        sigset_t defaults;
        ::sigemptyset(&none);
        ::sigemptyset(&defaults);
        ::sigaddset(&defaults, SIGPIPE);
        ::sigaddset(&defaults, SIGCHLD);
        ::sigaddset(&defaults, SIGINT);
        ::sigaddset(&defaults, SIGQUIT);
        return ok_ && ::posix_spawnattr_setpgroup(&attributes_, 0) == 0 &&
               ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
               ::posix_spawnattr_setsigdefault(&attributes_, &defaults) == 0 &&
               ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETPGROUP |
                                                            POSIX_SPAWN_SETSIGMASK |
                                                            POSIX_SPAWN_SETSIGDEF) == 0;
    }
    const posix_spawnattr_t* get() const { return &attributes_; }

  private:
    posix_spawnattr_t attributes_;
    bool ok_;
};

}  // namespace

pid_t start_in_group(const char* command, char* const envp[], int stdout_fd) {
    SpawnActions actions;
    SpawnAttributes attributes;
    if (!actions.set_streams(stdout_fd) || !attributes.set_group_and_signals()) return -1;
    std::string script = command;
    script += kLeaderExit;
    char* const argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), script.data(), nullptr};
    pid_t leader = -1;
    if (::posix_spawn(&leader, "/bin/sh", actions.get(), attributes.get(), argv, envp) != 0) {
        return -1;
    }
    return leader;
}

}  // namespace quorvik::command
