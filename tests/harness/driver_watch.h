// What a test watches and breaks in the digital-I/O driver calls of its own
// process (the simulator's monitoring platform's hooks), for its lifetime:
// the paths opened, and exceptions thrown from an open or a request.
#pragma once

#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "monitor_hooks.h"

namespace quorvik::sim {

class DriverWatch final : public platform::DioHooks {
  public:
    DriverWatch() { platform::set_dio_hooks(this); }
    ~DriverWatch() override { platform::set_dio_hooks(nullptr); }
    DriverWatch(const DriverWatch&) = delete;
    DriverWatch& operator=(const DriverWatch&) = delete;

    std::exception_ptr throw_on_open;
    std::exception_ptr throw_on_request;

    std::vector<std::string> opened() const {
        const std::lock_guard lock(mutex_);
        return opened_;
    }
    void forget() {
        const std::lock_guard lock(mutex_);
        opened_.clear();
    }

    void opening(const char* path) override {
        {
            const std::lock_guard lock(mutex_);
            opened_.emplace_back(path);
        }
        if (throw_on_open) std::rethrow_exception(throw_on_open);
    }
    void sending(unsigned long, const dio_request&) override {
        if (throw_on_request) std::rethrow_exception(throw_on_request);
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
};

}  // namespace quorvik::sim
