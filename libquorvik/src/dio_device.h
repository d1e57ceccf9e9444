// The device nodes behind the power inputs and the relay (/dev/dio and a
// model's relay node). The library's only contact with them goes through
// these three calls, implemented over the kernel in dio_linux.cpp and by a
// simulated driver in the white-box tests.
#pragma once

#include "quorvik_common/dio_request.h"

namespace quorvik::dio {

// open(path, O_RDWR): a descriptor, or -1.
int open_node(const char* path);

// ioctl(fd, request, record): 0 when the driver accepted the request.
int send(int fd, unsigned long request, dio_request* record);

// close(fd): 0, or -1 when closing failed.
int close_node(int fd);

// Owner of an open node: close() reports close_node's result once; a node
// still open at scope exit is closed without a report.
class Node {
  public:
    explicit Node(const char* path) : fd_(open_node(path)) {}
    ~Node() { close(); }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    bool is_open() const { return fd_ >= 0; }
    int send(unsigned long request, dio_request* record) const {
        return dio::send(fd_, request, record);
    }
    int close() {
        if (fd_ < 0) return 0;
        const int fd = fd_;
        fd_ = -1;
        return close_node(fd);
    }

  private:
    int fd_;
};

}  // namespace quorvik::dio
