// quorvik-info where a fleet's boards run it for months: commands that hang
// (a dead mount), containers that allow no more threads or processes, and
// commands that must not inherit the tool's own descriptors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "exposition.h"
#include "tool_fixture.h"

namespace quorvik::report::test {
namespace {

namespace fs = std::filesystem;
using blackbox::Outcome;
using Clock = std::chrono::steady_clock;

// Commands that block until the test lets them go, as on a dead NFS server.
class HangingTool : public Tool {
  protected:
    void SetUp() override {
        Tool::SetUp();
        gate_ = fs::path(tools_.dir()) / "gate";
        ASSERT_EQ(::mkfifo(gate_.c_str(), 0600), 0);
    }
    // Lets every blocked command end (a writer opens the FIFO, then closes it).
    void TearDown() override {
        const int writer = ::open(gate_.c_str(), O_RDWR | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
    }
    void hang(const std::string& tool) { tools_.add(tool, "read x < '" + gate_.string() + "'"); }

    fs::path gate_;
};

// The readings of a JSON report by "group/name".
std::vector<nlohmann::json> readings_of(const nlohmann::json& document, const std::string& group) {
    std::vector<nlohmann::json> found;
    for (const auto& reading : document["readings"]) {
        if (reading["group"] == group) found.push_back(reading);
    }
    return found;
}

TEST_F(HangingTool, AtTheDeadlineTheReportHasEveryReadingAndHangingOnesFailed) {
    hang("free");
    constexpr double kDeadline = 1.5;
    const fs::path file = dir_ / "quorvik.json";
    for (const bool to_file : {false, true}) {
        SCOPED_TRACE(to_file ? "--output" : "standard output");
        std::vector<std::string> args = {"--json"};
        if (to_file) args.insert(args.end(), {"--output", file.string()});
        const auto start = Clock::now();
        const Outcome outcome = blackbox::run(
            QUORVIK_INFO_PATH, args, {"QUORVIK_INFO_DEADLINE=" + std::to_string(kDeadline)});
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
        EXPECT_GE(seconds, kDeadline);
        EXPECT_LT(seconds, kDeadline + 2.0) << "the tool waited for a hanging command";
        EXPECT_NE(outcome.err.find("not finished by the deadline"), std::string::npos)
            << outcome.err;
        const std::string text = to_file ? slurp(file) : outcome.out;
        if (to_file) {
            EXPECT_EQ(outcome.out, "");
        }
        nlohmann::json document;
        ASSERT_NO_THROW(document = nlohmann::json::parse(text)) << text;
        // Every memory reading waits behind the hanging free: each is there,
        // failed as a command that did not finish.
        const auto memory = readings_of(document, "memory");
        ASSERT_EQ(memory.size(), 3u) << text;
        for (const auto& reading : memory) {
            EXPECT_EQ(reading["status"], "ERR_CMD_EXIT") << reading;
            EXPECT_EQ(reading["note"], "not read within quorvik-info's deadline") << reading;
            EXPECT_FALSE(reading.contains("value"));
        }
        const auto cpus = readings_of(document, "cpu");
        ASSERT_FALSE(cpus.empty());
        EXPECT_EQ(cpus[0]["value"], 2) << "what did not hang is read";
    }
    EXPECT_EQ(listing(), std::vector<std::string>{"quorvik.json"}) << "no temporary file left";
}

// Runs the tool as nobody under limits (prlimit options), writing
// Prometheus text to file; root only (ulimit -u does not bind root).
Outcome limited(const std::vector<std::string>& limits, const fs::path& file) {
    std::vector<std::string> args = {"--reuid=65534", "--regid=65534", "--clear-groups", "--",
                                     "prlimit"};
    args.insert(args.end(), limits.begin(), limits.end());
    args.insert(args.end(), {"--", QUORVIK_INFO_PATH, "-p", "-o", file.string()});
    return blackbox::run("/usr/bin/setpriv", args);
}

// Every reading of a report, read or failed: the series of quorvik_reading_ok.
std::set<LabelSet> readings(const Exposition& exposition) {
    std::set<LabelSet> found;
    for (const Sample& sample : exposition.family("quorvik_reading_ok")) {
        found.insert(sample.labels);
    }
    return found;
}

// A pids limit (ulimit -u) or an address space too small for a thread's
// stack: no more threads, or no thread at all and no command either; the
// report is written all the same, with every reading in it.
TEST_F(Tool, WithoutThreadsOrProcessesTheReportIsStillWritten) {
    if (::geteuid() != 0) GTEST_SKIP() << "runs the tool as another user: root only";
    fs::permissions(tools_.dir(), fs::perms::all);
    fs::permissions(dir_, fs::perms::all);
    const fs::path file = dir_ / "quorvik.prom";
    const Outcome free_run = limited({}, file);
    ASSERT_EQ(free_run.exit_status, 0) << free_run.err;
    const Exposition unlimited = report_in(file);
    const std::set<LabelSet> every = readings(unlimited);
    ASSERT_EQ(unlimited.value("quorvik_memory_total_bytes"), 2000 * 1024.0 * 1024.0);

    std::vector<std::vector<std::string>> limits = {{"--nproc=3"}};
#if QUORVIK_TEST_SINGLE_TASK
    limits.push_back({"--nproc=1"});  // no thread, no command
#endif
#if QUORVIK_TEST_ADDRESS_LIMIT
    // Room for the program, not for a thread's 8 MiB stack.
    limits.push_back({"--as=16777216", "--stack=8388608"});
#endif
    for (const auto& limit : limits) {
        SCOPED_TRACE(testing::PrintToString(limit));
        fs::remove(file);
        const Outcome outcome = limited(limit, file);
        EXPECT_EQ(outcome.exit_status, 0) << outcome.err;
        EXPECT_EQ(outcome.err.find("terminate"), std::string::npos) << outcome.err;
        EXPECT_EQ(readings(report_in(file)), every);
        EXPECT_EQ(listing(), std::vector<std::string>{"quorvik.prom"}) << "no temporary file";
    }
}

// "N target" of each descriptor above 2 in an `ls -l /proc/PID/fd` listing,
// less the listing's own directory.
std::set<std::string> descriptors(const fs::path& listing) {
    std::set<std::string> found;
    std::ifstream file(listing);
    std::string line;
    while (std::getline(file, line)) {
        const auto arrow = line.find(" -> ");
        if (arrow == std::string::npos) continue;
        const auto blank = line.rfind(' ', arrow - 1);
        const std::string fd = line.substr(blank + 1, arrow - blank - 1);
        const std::string target = line.substr(arrow + 4);
        if (std::stoi(fd) > 2 && !target.starts_with("/proc/")) found.insert(fd + " " + target);
    }
    return found;
}

// A command that the libraries run sees none of the tool's own descriptors
// (the temporary report, the saved standard output, the message capture):
// a command that outlives the tool would hold them.
TEST_F(Tool, CommandsInheritNoDescriptorOfTheTool) {
    const fs::path seen = dir_.parent_path();
    tools_.add("free",
               "p=$$\n"
               "while [ \"$(cat /proc/$p/comm)\" != quorvik-info ] && [ \"$p\" -gt 1 ]; do\n"
               "  p=$(awk '{print $4}' /proc/$p/stat)\n"
               "done\n"
               "ls -l /proc/$p/fd > '" +
                   (seen / "tool-fds").string() + "'\nls -l /proc/self/fd > '" +
                   (seen / "command-fds").string() +
                   "'\necho header; echo 'Mem: 2000 758 900 10 342 1100'");
    // What the tool inherits is no descriptor of its own.
    const std::string script = "ls -l /proc/self/fd > '" + (seen / "start-fds").string() +
                               "'; exec " + QUORVIK_INFO_PATH + " -p -o " +
                               (dir_ / "quorvik.prom").string();
    const Outcome outcome = blackbox::run("/bin/sh", {"-c", script});
    ASSERT_EQ(outcome.exit_status, 0) << outcome.err;
    std::set<std::string> own = descriptors(seen / "tool-fds");
    for (const std::string& inherited : descriptors(seen / "start-fds")) own.erase(inherited);
    ASSERT_GE(own.size(), 2u) << "the temporary report and the message capture are open";
    for (const std::string& fd : descriptors(seen / "command-fds")) {
        EXPECT_FALSE(own.contains(fd)) << "inherited: " << fd;
    }
}

}  // namespace
}  // namespace quorvik::report::test
