// The device nodes behind the power inputs and the relay (/dev/dio and a
// model's relay node), reached through the platform layer's device calls:
// the kernel's in the library, the board simulator's under quorvik-sim and
// in the white-box tests.
#pragma once

#include "monitor_platform.h"
#include "quorvik_common/dio_request.h"

namespace quorvik::dio {

// Owner of an open node: close() reports the close's result once; a node
// still open at scope exit is closed without a report.
class Node {
  public:
    explicit Node(const char* path) : fd_(platform::dio_open(path)) {}
    ~Node() { close(); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    bool is_open() const { return fd_ >= 0; }
    int send(unsigned long request, dio_request* record) const {
        return platform::dio_send(fd_, request, record);
    }
    int close() {
        if (fd_ < 0) return 0;
        const int fd = fd_;
        fd_ = -1;
        return platform::dio_close(fd);
    }

  private:
    int fd_;
};

}  // namespace quorvik::dio
