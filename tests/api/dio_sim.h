// A simulated digital-I/O driver behind libquorvik's device calls: device
// nodes that exist or not, the two requests it serves (15 sets a relay, 17
// reads a power input), failures on demand, and a log of what reached it.
#pragma once

#include <exception>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quorvik::sim {

struct DioCall {
    std::string node;
    unsigned long request;
    int port;
    int value;  // as the caller sent it
    bool operator==(const DioCall&) const = default;
};

class DioDriver {
  public:
    static DioDriver& get();

    // Puts the simulated driver in the place of the kernel's, and back.
    static void install();
    static void uninstall();

    // No nodes, relays released, power inputs reading 0, nothing logged.
    void reset();

    // ---- arrangement ----
    std::set<std::string> nodes;      // paths that open
    std::map<int, int> power_inputs;  // port -> state answered by request 17
    bool refuse_requests = false;     // every request fails as a broken driver's would
    bool fail_close = false;
    // Thrown from the driver's open or request: what a C++ device layer
    // throws when memory runs out or its lock fails.
    std::exception_ptr throw_on_open;
    std::exception_ptr throw_on_request;

    // ---- what happened ----
    std::map<int, int> relays;        // port -> value last set by request 15
    std::vector<DioCall> calls;       // requests that reached the driver
    std::vector<std::string> opened;  // every open attempt, in order
    int open_descriptors() const { return static_cast<int>(open_.size()); }

    // Used by the simulated device calls.
    int open(const char* path);
    int request(int fd, unsigned long number, int* port, int* value);
    int close(int fd);

  private:
    std::map<int, std::string> open_;
    int next_fd_ = 300;
};

}  // namespace quorvik::sim
