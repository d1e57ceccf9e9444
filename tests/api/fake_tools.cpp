#include "fake_tools.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "fixed_paths.h"

namespace quorvik::sim {

FakeTools::FakeTools() {
    char name[] = "/tmp/quorvik-tools-XXXXXX";
    if (::mkdtemp(name) != nullptr) dir_ = name;
    const char* path = std::getenv("PATH");
    saved_path_ = path != nullptr ? path : "/usr/bin:/bin";
    ::setenv("PATH", (dir_ + ":" + saved_path_).c_str(), 1);
}

FakeTools::FakeTools(std::string bin) : dir_(std::move(bin)), own_dir_(false) {}

FakeTools::~FakeTools() {
    std::error_code ignored;
    if (!own_dir_) {
        for (const std::string& name : added_) std::filesystem::remove(dir_ + "/" + name, ignored);
        std::filesystem::remove(dir_ + "/calls", ignored);
        return;
    }
    ::setenv("PATH", saved_path_.c_str(), 1);
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

void FakeTools::add(const std::string& name, const std::string& body) {
    added_.push_back(name);
    write_script(dir_ + "/" + name, "echo \"" + name + " $*\" >> '" + dir_ + "/calls'\n" + body);
}

std::string FakeTools::real(const std::string& name) {
    for (const char* dir :
         {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
        const std::string candidate = std::string(dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return name;
}

std::vector<std::string> FakeTools::calls() const {
    // The board's paths lie in the simulator run's state directory.
    const char* state = std::getenv("QUORVIK_SIM_STATE");
    const std::string run = state != nullptr ? state : "";
    std::vector<std::string> lines;
    std::ifstream log(dir_ + "/calls");
    std::string line;
    while (std::getline(log, line)) {
        for (auto at = line.find(run); !run.empty() && at != line.npos; at = line.find(run, at))
            line.erase(at, run.size());
        lines.push_back(line);
    }
    return lines;
}

void FakeTools::clear_calls() const {
    std::ofstream(dir_ + "/calls", std::ios::trunc);
}

}  // namespace quorvik::sim
