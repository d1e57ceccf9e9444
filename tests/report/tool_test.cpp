// The built quorvik-info as an integrator runs it: options and exit statuses,
// standard output that holds only the report, the output file replaced
// atomically, progress only on a terminal. Tools of our own on PATH make the
// system figures known; the real libraries read this machine otherwise.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "exposition.h"
#include "fake_tools.h"
#include "process.h"

namespace quorvik::report::test {
namespace {

namespace fs = std::filesystem;
using blackbox::Outcome;
using sim::FakeTools;

constexpr double kMiB = 1024.0 * 1024.0;

// Two CPUs whose usage cannot be measured (no sleeping), 2000 MiB of memory.
class Tool : public testing::Test {
  protected:
    void SetUp() override {
        tools_.add("nproc", "echo 2");
        tools_.add("cat", "[ \"$1\" = /proc/stat ] && echo broken && exit 0\nexec " +
                              FakeTools::real("cat") + " \"$@\"");
        tools_.add("free", "echo header; echo 'Mem: 2000 758 900 10 342 1100'");
        dir_ = fs::path(tools_.dir()) / "out";
        fs::create_directories(dir_);
    }

    static Outcome info(const std::vector<std::string>& args) {
        return blackbox::run(QUORVIK_INFO_PATH, args);
    }
    static std::string slurp(const fs::path& path) {
        std::ifstream file(path);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.push_back(entry.path().filename());
        }
        return names;
    }

    FakeTools tools_;
    fs::path dir_;
};

TEST_F(Tool, WrongCommandLinesFailWithStatusTwoBeforeReadingAnything) {
    const std::vector<std::vector<std::string>> wrong = {
        {"--json", "--prometheus"},
        {"--output"},
        {"--output="},
        {"--check-profile", "x.ini", "--json"},
        {"--per-cpu", "--check-profile"},
        {"--no-such-option"},
        {"extra"},
    };
    for (const auto& args : wrong) {
        const Outcome outcome = info(args);
        EXPECT_EQ(outcome.exit_status, 2) << testing::PrintToString(args);
        EXPECT_EQ(outcome.out, "") << testing::PrintToString(args);
        EXPECT_NE(outcome.err.find("Try 'quorvik-info --help'"), std::string::npos) << outcome.err;
    }
    EXPECT_TRUE(tools_.calls().empty()) << "nothing measured for a wrong command line";

    const Outcome help = info({"--help"});
    EXPECT_EQ(help.exit_status, 0);
    for (const char* option : {"--json", "--prometheus", "--per-cpu", "--output FILE",
                               "--check-profile [FILE]", "Exit status"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
}

TEST_F(Tool, StandardOutputHoldsOnlyTheReportWhateverTheLibrariesPrint) {
    // Off a board the hardware library prints why identification failed, on
    // standard output; the tool sends that to standard error.
    const Outcome json = info({"--json"});
    EXPECT_EQ(json.exit_status, 0) << json.err;
    nlohmann::json document;
    ASSERT_NO_THROW(document = nlohmann::json::parse(json.out)) << json.out;
    bool memory_total = false;
    for (const auto& reading : document["readings"]) {
        if (reading["group"] == "memory" && reading["name"] == "total") {
            memory_total = reading["value"] == 2000 * 1024 * 1024;
        }
    }
    EXPECT_TRUE(memory_total) << json.out;

    const Outcome text = info({});
    EXPECT_EQ(text.exit_status, 0) << text.err;
    for (const char* line : {
             "  CPUs                           2\n",
             "  CPU usage                      unavailable (ERR_CMD_EXIT, -107)\n",
             "  Memory usage                   37.0 %\n",
             "  Memory total                   2000 MiB\n",
             "  Memory free                    900 MiB\n",
         }) {
        EXPECT_NE(text.out.find(line), std::string::npos) << line << "in:\n" << text.out;
    }
    for (const std::string& output : {json.out, text.out}) {
        EXPECT_EQ(output.find('\r'), std::string::npos) << "a library message on stdout";
    }
}

TEST_F(Tool, OutputFileIsReplacedAtomicallyAndReadableByAll) {
    const fs::path file = dir_ / "quorvik.prom";
    std::ofstream(file) << "old\n";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);

    const Outcome written = info({"--prometheus", "--output", file.string()});
    EXPECT_EQ(written.exit_status, 0) << written.err;
    EXPECT_EQ(written.out, "");
    const Exposition exposition = parse_exposition(slurp(file));
    EXPECT_TRUE(exposition.errors.empty()) << testing::PrintToString(exposition.errors);
    EXPECT_EQ(exposition.value("quorvik_memory_total_bytes"), 2000 * kMiB);
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "renamed over, not rewritten in place";
    EXPECT_EQ(after.st_mode & 07777, 0644u);
    EXPECT_EQ(listing(), std::vector<std::string>{"quorvik.prom"}) << "no temporary file left";

    // Neither a missing directory, a directory in the way nor a full device
    // gets a report, and no temporary file stays behind.
    fs::create_directory(dir_ / "taken");
    for (const fs::path& target : {dir_ / "missing" / "quorvik.prom", dir_ / "taken"}) {
        const Outcome failed = info({"--json", "--output=" + target.string()});
        EXPECT_EQ(failed.exit_status, 1) << target;
        EXPECT_NE(failed.err.find("quorvik-info: "), std::string::npos) << failed.err;
    }
    const Outcome full = blackbox::run(
        "/bin/sh", {"-c", std::string(QUORVIK_INFO_PATH) + " --prometheus > /dev/full"});
    EXPECT_EQ(full.exit_status, 1) << "standard output that takes nothing";
    std::vector<std::string> names = listing();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"quorvik.prom", "taken"}));
    EXPECT_TRUE(fs::is_empty(dir_ / "taken"));
}

TEST_F(Tool, PerCpuProgressOnlyWhenStandardErrorIsATerminal) {
    const Outcome piped = info({"--per-cpu", "--json"});
    EXPECT_EQ(piped.exit_status, 0);
    EXPECT_EQ(piped.err.find("measuring CPU"), std::string::npos) << piped.err;
    const auto document = nlohmann::json::parse(piped.out);
    int cores = 0;
    for (const auto& reading : document["readings"]) cores += reading["name"] == "core_usage";
    EXPECT_EQ(cores, 2);

    // script(1) gives the tool a terminal; standard output goes elsewhere.
    const std::string command = std::string(QUORVIK_INFO_PATH) + " --per-cpu --json > /dev/null";
    const Outcome terminal = blackbox::run("/usr/bin/script", {"-qec", command, "/dev/null"});
    EXPECT_EQ(terminal.exit_status, 0) << terminal.err;
    EXPECT_NE(terminal.out.find("measuring CPU 2 of 2"), std::string::npos) << terminal.out;
}

}  // namespace
}  // namespace quorvik::report::test
