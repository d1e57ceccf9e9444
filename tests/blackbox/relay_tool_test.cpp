// zk_set_relay run as it is: its dependencies, its usage errors, its
// requests to a simulated /dev/dio driver, and its failures on real nodes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fixed_paths.h"
#include "process.h"

namespace quorvik::blackbox {
namespace {

const std::string kUsage =
    "Usage: ./zk_set_relay value\nValue=0 -> relay is set\nValue=1 -> relay is not set\n";

std::string command_output(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return text;
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) text += chunk;
    ::pclose(pipe);
    return text;
}

// Runs the tool with the simulated driver serving /dev/dio; requests holds
// what reached the driver ("request port value" lines), descriptors the
// descriptor each came on, written whatever else was written into the node.
struct DriverRun {
    Outcome outcome;
    std::vector<std::string> requests;
    std::vector<int> descriptors;
    std::string written;
};

std::string temporary_file() {
    char name[] = "/tmp/quorvik-dio-XXXXXX";
    ::close(::mkstemp(name));
    return name;
}

std::vector<std::string> lines_of(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) lines.push_back(line);
    return lines;
}

DriverRun run_with_driver(const std::vector<std::string>& args, const std::string& fail = "",
                          const std::vector<int>& closed = {}) {
    const std::string log = temporary_file();
    const std::string fd_log = temporary_file();
    const std::string node = temporary_file();
    std::vector<std::string> environment{
        std::string("LD_PRELOAD=") + DIO_PRELOAD_PATH, "QUORVIK_SIM_DIO_LOG=" + log,
        "QUORVIK_SIM_DIO_FD_LOG=" + fd_log, "QUORVIK_SIM_DIO_NODE=" + node};
    if (!fail.empty()) environment.push_back("QUORVIK_SIM_DIO_FAIL=" + fail);
    DriverRun result{run(ZK_SET_RELAY_PATH, args, environment, closed), lines_of(log), {}, {}};
    for (const auto& line : lines_of(fd_log)) result.descriptors.push_back(std::stoi(line));
    std::ifstream written(node);
    std::stringstream text;
    text << written.rdbuf();
    result.written = text.str();
    for (const auto& path : {log, fd_log, node}) ::unlink(path.c_str());
    return result;
}

TEST(RelayTool, LinksOnlyLibc) {
    std::istringstream dynamic(command_output(std::string("readelf -d ") + ZK_SET_RELAY_PATH));
    std::vector<std::string> needed;
    std::string line;
    while (std::getline(dynamic, line)) {
        if (line.find("(NEEDED)") != std::string::npos)
            needed.push_back(line.substr(line.find('[')));
    }
    EXPECT_EQ(needed, std::vector<std::string>{"[libc.so.6]"});
}

TEST(RelayTool, UsageErrorsPrintTheUsageAndExit255) {
    // An argument without a number is no value: atoi would read it as 0 and
    // set the relay.
    const std::vector<std::vector<std::string>> cases{
        {},      {"2"},    {"-1"},     {"10"}, {"4294967297"}, {"99999999999999999999999"},
        {"off"}, {""},     {"--help"}, {"on"}, {" "},          {"+"},
        {"-"},   {" -x1"}, {"+ 1"},    {"\t"}, {"x1"}};
    for (const auto& args : cases) {
        const DriverRun result = run_with_driver(args);
        const std::string shown = args.empty() ? "(none)" : args[0];
        EXPECT_EQ(result.outcome.exit_status, 255) << shown;
        EXPECT_EQ(result.outcome.out, kUsage) << shown;
        EXPECT_EQ(result.outcome.err, "") << shown;
        EXPECT_TRUE(result.requests.empty()) << shown << ": the device is not touched";
    }
}

TEST(RelayTool, ValuesReadAsAtoiReadsThemWhenThereIsANumber) {
    const struct {
        std::vector<std::string> args;
        const char* request;
    } cases[] = {
        {{"1"}, "15 0 1"},     {{"0"}, "15 0 0"},    {{"1x"}, "15 0 1"},
        {{" +1"}, "15 0 1"},   {{" 1"}, "15 0 1"},   {{"+1"}, "15 0 1"},
        {{"\t\n0"}, "15 0 0"}, {{"1.9"}, "15 0 1"},  {{"1", "0", "extra"}, "15 0 1"},
        {{"-0"}, "15 0 0"},    {{"-0x1"}, "15 0 0"}, {{"00001"}, "15 0 1"},
        {{"0x"}, "15 0 0"},
    };
    for (const auto& c : cases) {
        const DriverRun result = run_with_driver(c.args);
        EXPECT_EQ(result.outcome.exit_status, 0) << c.args[0];
        EXPECT_EQ(result.outcome.out + result.outcome.err, "") << c.args[0];
        EXPECT_EQ(result.requests, std::vector<std::string>{c.request}) << c.args[0];
    }
}

TEST(RelayTool, DriverFailuresExitWithStatus1AndSaySo) {
    for (const char* step : {"ioctl", "close"}) {
        const DriverRun result = run_with_driver({"1"}, step);
        EXPECT_EQ(result.outcome.exit_status, 1) << step;
        EXPECT_EQ(result.outcome.out, "") << step;
        EXPECT_NE(result.outcome.err.find("/dev/dio"), std::string::npos) << result.outcome.err;
        EXPECT_EQ(result.requests, std::vector<std::string>{"15 0 1"}) << step;
    }
}

// Run as a daemon with standard descriptors closed: the node must not take
// their place, or whatever goes to stdout or stderr (here the error message
// of a refused request) is written into the driver.
TEST(RelayTool, TheNodeNeverTakesAStandardDescriptor) {
    const struct {
        std::vector<int> closed;
        const char* fail;
        int exit_status;
    } cases[] = {
        {{1}, "", 0},         {{0, 1, 2}, "", 0}, {{2}, "ioctl", 1},
        {{1, 2}, "ioctl", 1}, {{0}, "close", 1},
    };
    for (const auto& c : cases) {
        std::string shown = "closed";
        for (const int fd : c.closed) shown += " " + std::to_string(fd);
        shown += std::string(", failing ") + c.fail;
        const DriverRun result = run_with_driver({"1"}, c.fail, c.closed);
        EXPECT_EQ(result.outcome.exit_status, c.exit_status) << shown;
        EXPECT_EQ(result.requests, std::vector<std::string>{"15 0 1"}) << shown;
        ASSERT_EQ(result.descriptors.size(), 1u) << shown;
        EXPECT_GT(result.descriptors[0], 2) << shown;
        EXPECT_EQ(result.written, "") << shown << ": only requests reach the driver";
    }
}

// The real /dev/dio path, in a private /dev: missing, and a node whose
// driver knows no relay request (the null device).
TEST(RelayTool, RealNodesMissingOrRefusing) {
    sim::Overlay dev("/dev");
    QUORVIK_REQUIRE_OVERLAY(dev);
    ::unlink("/dev/dio");
    Outcome missing = run(ZK_SET_RELAY_PATH, {"0"});
    EXPECT_EQ(missing.exit_status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("cannot open /dev/dio"), std::string::npos) << missing.err;

    ASSERT_TRUE(sim::make_char_node("/dev/dio", 1, 3));
    Outcome refused = run(ZK_SET_RELAY_PATH, {"1"});
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_NE(refused.err.find("refused"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace quorvik::blackbox
