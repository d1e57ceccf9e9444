#include "driver_watch.h"

namespace quorvik::sim {

std::vector<std::string> DriverWatch::opened() const {
    const std::lock_guard lock(mutex_);
    return opened_;
}

void DriverWatch::forget() {
    const std::lock_guard lock(mutex_);
    opened_.clear();
}

void DriverWatch::opening(const char* path) {
    {
        const std::lock_guard lock(mutex_);
        opened_.emplace_back(path);
    }
    if (throw_on_open) std::rethrow_exception(throw_on_open);
}

void DriverWatch::sending(unsigned long, const dio_request&) {
    if (throw_on_request) std::rethrow_exception(throw_on_request);
}

}  // namespace quorvik::sim
