// Captures what library code prints on standard output.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

namespace quorvik::sim {

template <typename Action>
std::string printed_by(Action&& action) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    std::forward<Action>(action)();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

}  // namespace quorvik::sim
