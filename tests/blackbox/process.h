// Runs a program as a user would and collects what it did.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quorvik::blackbox {

struct Outcome {
    int exit_status = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs program with args and extra environment variables ("NAME=value"),
// with the standard descriptors listed in closed closed, as a daemon runs.
Outcome run(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& environment = {}, const std::vector<int>& closed = {});

}  // namespace quorvik::blackbox
