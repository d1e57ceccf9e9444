// The simulator's stand-in tools for the test run's ports, called through a
// link named ifconfig, ifstat or lsof (the sanitizer builds have no
// quorvik-sim command to link to); through one named quorvik-sim, its `set`,
// for a test's tool that changes the board while the library waits on it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "live.h"
#include "standins.h"

int main(int argc, char** argv) {
    const std::string tool = std::filesystem::path(argv[0]).filename().string();
    if (tool != "quorvik-sim") return quorvik::simtool::run_standin(tool, argc, argv).value_or(127);
    const char* dir = std::getenv(QSIM_ENV_STATE);
    if (argc != 4 || std::string_view(argv[1]) != "set" || dir == nullptr) return 2;
    quorvik::simtool::Live live(dir);
    const std::string e = live.ok() ? live.set(argv[2], argv[3]) : live.error();
    if (!e.empty()) std::fprintf(stderr, "quorvik-sim: %s\n", e.c_str());
    return e.empty() ? 0 : 1;
}
