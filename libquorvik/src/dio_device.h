// The device nodes behind the power inputs and the relay (/dev/dio and a
// model's relay node). The library reaches them only through a Driver: the
// kernel's open/ioctl/close by default, a simulated driver in the white-box
// tests.
#pragma once

#include "quorvik_common/dio_request.h"

namespace quorvik::dio {

struct Driver {
    int (*open_node)(const char* path);  // read-write, above fd 2: a descriptor or -1
    int (*send)(int fd, unsigned long request, dio_request* record);  // ioctl: 0 accepted
    int (*close_node)(int fd);                                        // close: 0 or -1
};

// The driver in use; replace_driver(nullptr) returns to the kernel's.
const Driver& driver();
void replace_driver(const Driver* replacement);

// Owner of an open node: close() reports the close's result once; a node
// still open at scope exit is closed without a report.
class Node {
  public:
    explicit Node(const char* path) : fd_(driver().open_node(path)) {}
    ~Node() { close(); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    bool is_open() const { return fd_ >= 0; }
    int send(unsigned long request, dio_request* record) const {
        return driver().send(fd_, request, record);
    }
    int close() {
        if (fd_ < 0) return 0;
        const int fd = fd_;
        fd_ = -1;
        return driver().close_node(fd);
    }

  private:
    int fd_;
};

}  // namespace quorvik::dio
