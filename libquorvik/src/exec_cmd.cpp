// The command runner: one shell command, its last line of output, and a
// deadline after which the whole command is given up.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "frame.h"
#include "monitor_platform.h"
#include "quorvik.h"
#include "quorvik_common/unique_fd.h"

namespace quorvik {
namespace {

// Keeps what fgets into a buffer of kBufferSize - 1 bytes would leave there
// after reading to the end: each read takes one line, or 126 bytes of a
// longer one, and the last read stays.
class LastLine {
  public:
    explicit LastLine(char* output) : output_(output) {}
    void feed(const char* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            chunk_[length_++] = bytes[i];
            if (bytes[i] == '\n' || length_ == kChunk) keep();
        }
    }
    void finish() {
        if (length_ > 0) keep();
    }

  private:
    static constexpr std::size_t kChunk = kBufferSize - 2;
    void keep() {
        std::memcpy(output_, chunk_, length_);
        output_[length_] = '\0';
        length_ = 0;
    }
    char* output_;
    char chunk_[kChunk];
    std::size_t length_ = 0;
};

using Clock = std::chrono::steady_clock;

// Reads the command's output into line until its end or the deadline:
// true at the end of output, false at the deadline.
bool read_until(int fd, Clock::time_point deadline, LastLine& line) {
    char bytes[512];
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left));
        if (ready < 0 && errno != EINTR) return true;
        if (ready <= 0) continue;
        const ssize_t got = ::read(fd, bytes, sizeof bytes);
        if (got > 0) {
            line.feed(bytes, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            return true;
        }
    }
}

// The leader's exit status, or -1 when it cannot be had.
int reap(pid_t leader) {
    int status = 0;
    while (::waitpid(leader, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

}  // namespace

int run_command(const char* command, char* output, bool* timed_out) {
    std::memset(output, 0, kBufferSize);
    *timed_out = false;
    if (command == nullptr) return ERR_POPEN;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return ERR_POPEN;
    const UniqueFd read_end(ends[0]);
    const pid_t leader = platform::start_shell(command, ends[1]);
    ::close(ends[1]);
    if (leader < 0) return ERR_POPEN;

    LastLine line(output);
    const auto deadline = Clock::now() + kCommandDeadline;
    if (!read_until(read_end.get(), deadline, line)) {
        // The leader dies at once; commands stuck in the kernel are left to init.
        ::kill(-leader, SIGKILL);
        reap(leader);
        *timed_out = true;
        return ERR_CMD_EXIT;
    }
    line.finish();
    const int status = reap(leader);
    if (status < 0) return ERR_PCLOSE;
    return status != 0 ? ERR_CMD_EXIT : 0;
}

int exec_cmd(const char* command, char* output) {
    bool timed_out = false;
    return run_command(command, output, &timed_out);
}

}  // namespace quorvik
