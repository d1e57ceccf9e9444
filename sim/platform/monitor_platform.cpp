// libquorvik's platform layer on a simulated board (quorvik-sim).
//
// Commands: the production command line is started with the production
// start (command::start_in_group), after two changes that make it read the
// board instead of the machine:
//  - the absolute paths that the board describes (/sys/class/net/ethN/...,
//    /dev/ttyS0, /dev/relay, /usr/bin/ifstat, /proc/self/mounts) are
//    replaced by their places in the run's state directory, as listed in
//    STATE/rewrite ("FROM TO" a line; FROM ending in '/' is a prefix);
//  - STATE/bin, where `run` put the stand-in tools (ifconfig, ifstat, lsof,
//    df) that print the board's state in the real tools' formats, goes
//    first in the shell's PATH.
// The pipelines' grep, awk, tail and sed run for real, and so do the
// commands of what the board does not describe (CPU, memory).
//
// The digital-I/O driver: the board's driver node in the state directory,
// answered by sim_state.c (shared with the preload shim).
#include "monitor_platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "command_start.h"
#include "monitor_hooks.h"
#include "sim_state.h"

extern char** environ;

namespace {

struct Rewrite {
    std::string from;
    std::string to;
};

std::once_flag rewrites_once;
std::vector<Rewrite> rewrites;

void load_rewrites() {
    const char* dir = qsim_state_dir();
    if (dir == nullptr) return;
    std::ifstream file(std::string(dir) + "/" + QSIM_REWRITE_FILE);
    std::string from, to;
    while (file >> from >> to) rewrites.push_back({from, to});
}

bool path_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == '/';
}

// The command line with the board's paths in place of the machine's: a path
// is replaced where it stands as a whole word (/dev/ttyS1 is not the start of
// /dev/ttyS10, nor the end of /x/dev/ttyS1).
std::string rewrite(const char* command) {
    std::string line = command;
    for (const Rewrite& r : rewrites) {
        const bool prefix = !r.from.empty() && r.from.back() == '/';
        for (std::size_t at = line.find(r.from); at != std::string::npos;
             at = line.find(r.from, at)) {
            const std::size_t end = at + r.from.size();
            const bool starts = at == 0 || !path_char(line[at - 1]);
            const bool ends =
                prefix || end == line.size() || !path_char(line[end]) || line[end] == '/';
            if (starts && ends) {
                line.replace(at, r.from.size(), r.to);
                at += r.to.size();
            } else {
                at = end;
            }
        }
    }
    return line;
}

// The environment with STATE/bin first in PATH.
std::vector<std::string> shell_environment() {
    std::vector<std::string> env;
    const char* dir = qsim_state_dir();
    bool has_path = false;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        std::string entry = *e;
        if (dir != nullptr && entry.rfind("PATH=", 0) == 0) {
            entry = "PATH=" + std::string(dir) + "/bin:" + entry.substr(5);
            has_path = true;
        }
        env.push_back(std::move(entry));
    }
    if (dir != nullptr && !has_path)
        env.push_back("PATH=" + std::string(dir) + "/bin:/usr/bin:/bin");
    return env;
}

}  // namespace

namespace quorvik::platform {

pid_t start_shell(const char* command, int stdout_fd) {
    if (command == nullptr) return -1;
    std::call_once(rewrites_once, load_rewrites);
    const std::string line = rewrite(command);
    std::vector<std::string> env = shell_environment();
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    return command::start_in_group(line.c_str(), envp.data(), stdout_fd);
}

namespace {

int variadic_open(const char* path, int flags, ...) {
    return ::open(path, flags);
}

int plain_close(int fd) {
    return ::close(fd);
}

std::atomic<DioHooks*> installed_hooks{nullptr};

}  // namespace

void set_dio_hooks(DioHooks* hooks) {
    installed_hooks.store(hooks, std::memory_order_release);
}

int dio_open(const char* path) {
    if (DioHooks* hooks = installed_hooks.load(std::memory_order_acquire)) hooks->opening(path);
    if (!qsim_is_dio_path(path)) {
        // A node the board does not have.
        errno = ENOENT;
        return -1;
    }
    int fd = qsim_dio_open(path, O_RDWR | O_CLOEXEC | O_NOCTTY, variadic_open);
    // Above the standard descriptors, as dio_open_node keeps it.
    if (fd >= 0 && fd <= STDERR_FILENO) {
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        const int saved = errno;
        ::close(fd);
        fd = moved;
        errno = saved;
    }
    return fd;
}

int dio_send(int fd, unsigned long request, dio_request* record) {
    if (!qsim_dio_is_node(fd)) {
        errno = ENOTTY;
        return -1;
    }
    if (DioHooks* hooks = installed_hooks.load(std::memory_order_acquire)) {
        if (record != nullptr) hooks->sending(request, *record);
    }
    return qsim_dio_request(fd, request, record);
}

int dio_close(int fd) {
    return qsim_dio_close(fd, plain_close);
}

}  // namespace quorvik::platform
