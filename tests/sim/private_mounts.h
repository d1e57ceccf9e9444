// Fixed paths of the libraries (/etc/quorvik/DeviceProfile.ini and friends)
// made private to the test process: the process enters its own mount
// namespace once and mounts a tmpfs on /etc/quorvik, so tests can write the
// system's profile without touching the machine's.
#pragma once

#include <string>
#include <string_view>

namespace quorvik::sim {

// True when the process has its private /etc/quorvik (root and mount
// namespaces needed); on false, why() says what failed.
bool enter_private_mounts();
const std::string& private_mounts_failure();

// Writes (or with nullopt-like empty path semantics, removes) the system
// profile inside the private mount. Call only after enter_private_mounts().
void write_system_profile(std::string_view text);
void remove_system_profile();

// Skips the calling test when the private mounts cannot be made.
#define QUORVIK_REQUIRE_PRIVATE_MOUNTS()                              \
    do {                                                              \
        if (!::quorvik::sim::enter_private_mounts())                  \
            GTEST_SKIP() << "no private mount namespace: "            \
                         << ::quorvik::sim::private_mounts_failure(); \
    } while (0)

}  // namespace quorvik::sim
