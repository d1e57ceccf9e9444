// No exception crosses the C interface: every exported function runs its
// work through one of these and answers its own failure status instead (a
// lock that cannot be taken, memory that cannot be had).
#pragma once

#include <utility>

namespace quorvik::guard {

// The work's result, or failure when it threw.
template <typename Work>
int run(int failure, Work&& work) noexcept {
    try {
        return std::forward<Work>(work)();
    } catch (...) {
        return failure;
    }
}

// For the readers and count queries: SENSOR_ERR_NOMEM-like failure with the
// caller's text pointer set to null, as when the result text cannot be had.
template <typename Work>
int run_with_text(int failure, char** text, Work&& work) noexcept {
    try {
        return std::forward<Work>(work)();
    } catch (...) {
        if (text != nullptr) *text = nullptr;
        return failure;
    }
}

}  // namespace quorvik::guard
