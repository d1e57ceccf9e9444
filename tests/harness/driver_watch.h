// What a test watches and breaks in the digital-I/O driver calls of its own
// process, through the hooks of the simulator's monitoring platform.
#pragma once

#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "monitor_hooks.h"

namespace quorvik::sim {

// The paths opened, and exceptions thrown from an open or a request.
// Installed for its lifetime.
class DriverWatch final : public platform::DioHooks {
  public:
    DriverWatch() { platform::set_dio_hooks(this); }
    ~DriverWatch() override { platform::set_dio_hooks(nullptr); }
    DriverWatch(const DriverWatch&) = delete;
    DriverWatch& operator=(const DriverWatch&) = delete;

    std::exception_ptr throw_on_open;
    std::exception_ptr throw_on_request;

    std::vector<std::string> opened() const;
    void forget();

    void opening(const char* path) override;
    void sending(unsigned long request, const dio_request& record) override;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
};

}  // namespace quorvik::sim
