#include <cstdio>
#include <cstring>
#include <utility>

#include "frame.h"
#include "quorvik.h"

namespace quorvik {
namespace {

// Owner of a popen pipe; close() reports pclose's result once.
class CommandPipe {
  public:
    // "e": close-on-exec, so that a command started by another thread at the
    // same time does not inherit this pipe and hold its end of file back.
    explicit CommandPipe(const char* command) : pipe_(::popen(command, "re")) {}
    ~CommandPipe() { close(); }
    CommandPipe(const CommandPipe&) = delete;
    CommandPipe& operator=(const CommandPipe&) = delete;

    FILE* get() const { return pipe_; }
    int close() { return pipe_ != nullptr ? ::pclose(std::exchange(pipe_, nullptr)) : 0; }

  private:
    FILE* pipe_;
};

// fgets limit: at most 126 bytes of a line and the NUL.
constexpr int kReadLimit = kBufferSize - 1;

}  // namespace

int exec_cmd(const char* command, char* output) {
    std::memset(output, 0, kBufferSize);
    if (command == nullptr) return ERR_POPEN;
    CommandPipe pipe(command);
    if (pipe.get() == nullptr) return ERR_POPEN;
    // Every read starts at the buffer's start: the last line read stays.
    while (std::fgets(output, kReadLimit, pipe.get()) != nullptr) {
    }
    const int status = pipe.close();
    if (status < 0) return ERR_PCLOSE;
    return status > 0 ? ERR_CMD_EXIT : 0;
}

}  // namespace quorvik
