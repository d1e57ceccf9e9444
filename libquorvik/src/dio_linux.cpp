// The platform's device calls, and the switch that lets the white-box tests
// put a simulated driver in their place.
#include <atomic>

#include "dio_device.h"
#include "monitor_platform.h"

namespace quorvik::dio {
namespace {

constexpr Driver kKernel{platform::dio_open, platform::dio_send, platform::dio_close};

std::atomic<const Driver*> current{&kKernel};

}  // namespace

const Driver& driver() {
    return *current.load(std::memory_order_acquire);
}

void replace_driver(const Driver* replacement) {
    current.store(replacement != nullptr ? replacement : &kKernel, std::memory_order_release);
}

}  // namespace quorvik::dio
