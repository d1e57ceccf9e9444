// The built quorvik-info run as an integrator runs it, with tools of the
// test's own on PATH for the system figures; the real libraries read this
// machine otherwise (off a board: nothing identified).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "exposition.h"
#include "fake_tools.h"
#include "process.h"

namespace quorvik::report::test {

// Shell lines that print /proc/stat with cpus CPUs, every counter growing
// with the time so that each measurement, whenever it samples, sees each CPU
// half busy.
inline std::string growing_stat(int cpus) {
    return "read up rest < /proc/uptime\nt=${up%.*}${up#*.}\n"
           "echo \"cpu  $((t * " +
           std::to_string(cpus) + ")) 0 0 $((t * " + std::to_string(cpus) +
           ")) 0 0 0\"\n"
           "i=0\nwhile [ $i -lt " +
           std::to_string(cpus) + " ]; do echo \"cpu$i $t 0 0 $t 0 0 0\"; i=$((i + 1)); done\n";
}

// Two CPUs whose usage cannot be measured (no sleeping), 2000 MiB of memory.
class Tool : public testing::Test {
  protected:
    void SetUp() override {
        tools_.add("nproc", "echo 2");
        serve_stat("echo broken");
        tools_.add("free", "echo header; echo 'Mem: 2000 758 900 10 342 1100'");
        dir_ = std::filesystem::path(tools_.dir()) / "out";
        std::filesystem::create_directories(dir_);
    }

    // What cat prints for /proc/stat.
    void serve_stat(const std::string& lines) {
        tools_.add("cat", "if [ \"$1\" = /proc/stat ]; then\n" + lines + "\nexit 0\nfi\nexec " +
                              sim::FakeTools::real("cat") + " \"$@\"");
    }

    static blackbox::Outcome info(const std::vector<std::string>& args) {
        return blackbox::run(QUORVIK_INFO_PATH, args);
    }
    static std::string slurp(const std::filesystem::path& path) {
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    // The Prometheus report in file, which must parse without an error.
    static Exposition report_in(const std::filesystem::path& file) {
        Exposition exposition = parse_exposition(slurp(file));
        EXPECT_TRUE(exposition.errors.empty()) << testing::PrintToString(exposition.errors);
        return exposition;
    }
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            names.push_back(entry.path().filename());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    sim::FakeTools tools_;
    std::filesystem::path dir_;
};

}  // namespace quorvik::report::test
