// The simulator's stand-ins for the test run (sanitizer builds have no
// quorvik-sim), by the link's name: ifconfig, ifstat, lsof; quorvik-sim for
// `set KEY VALUE`, for a test's tool that changes the board mid-command.
#include <cstdlib>
#include <filesystem>

#include "live.h"
#include "standins.h"

int main(int argc, char** argv) {
    const std::string tool = std::filesystem::path(argv[0]).filename().string();
    if (tool != "quorvik-sim") return quorvik::simtool::run_standin(tool, argc, argv).value_or(127);
    const char* dir = std::getenv(QSIM_ENV_STATE);
    quorvik::simtool::Live live(dir != nullptr ? dir : "");
    return argc == 4 && live.ok() && live.set(argv[2], argv[3]).empty() ? 0 : 1;
}
