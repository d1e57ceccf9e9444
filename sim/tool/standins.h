#pragma once

#include <optional>
#include <string>

namespace quorvik::simtool {

// Runs the stand-in named tool (ifconfig, ifstat, lsof, df): its exit
// status, or nullopt when tool names none.
std::optional<int> run_standin(const std::string& tool, int argc, char** argv);

}  // namespace quorvik::simtool
