// The metrics service as systemd would run it on a board: its time limit
// between quorvik-info's own deadline and the timer's interval, an exposure
// that systemd-analyze rates 5.0 or less, and a sandbox that still lets the
// readers open and call what a real board needs. A simulated board passes
// whatever /dev, /proc or system calls a sandbox leaves: these are checked
// against the readers' needs here.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "quorvik_common/dio_request.h"
#include "report.h"
#include "unit_file.h"

namespace quorvik::units::test {
namespace {

// Seconds of a systemd time span such as "55s", "1min" or "55".
double seconds_of(const std::string& span) {
    std::size_t end = 0;
    const double number = std::stod(span, &end);
    const std::string unit = span.substr(end);
    if (unit == "min") return number * 60;
    if (unit == "ms") return number / 1000;
    EXPECT_TRUE(unit.empty() || unit == "s") << span;
    return number;
}

const std::string kTimer = QUORVIK_UNIT_DIR "/quorvik-metrics.timer";

TEST(MetricsUnit, StopsAHangingRunBetweenTheToolsDeadlineAndTheNextRun) {
    const Unit service = read_unit(kService);
    const Unit timer = read_unit(kTimer);
    ASSERT_FALSE(last(service, "TimeoutStartSec").empty()) << "a oneshot without a time limit";
    const double limit = seconds_of(last(service, "TimeoutStartSec"));
    const double deadline = std::chrono::duration<double>(report::kDeadline).count();
    EXPECT_GT(limit, deadline) << "the tool must get to write what it has";
    EXPECT_LT(limit, seconds_of(last(timer, "OnUnitActiveSec"))) << "the next run must start";
}

TEST(MetricsUnit, ExposureIsFiveOrLess) {
    const blackbox::Outcome outcome =
        blackbox::run("/usr/bin/systemd-analyze", {"security", "--offline=true", kService});
    const std::string marker = "Overall exposure level for quorvik-metrics.service: ";
    const auto at = outcome.out.find(marker);
    ASSERT_NE(at, std::string::npos) << outcome.out << outcome.err;
    const double exposure = std::stod(outcome.out.substr(at + marker.size()));
    EXPECT_LE(exposure, 5.0) << outcome.out;
    std::printf("exposure %.1f\n", exposure);
}

// The system calls of a filter, its groups expanded by systemd-analyze.
std::set<std::string> expand(const std::set<std::string>& filter) {
    std::set<std::string> calls;
    std::vector<std::string> pending(filter.begin(), filter.end());
    std::set<std::string> groups;
    while (!pending.empty()) {
        const std::string name = pending.back();
        pending.pop_back();
        if (!name.starts_with('@')) {
            calls.insert(name);
            continue;
        }
        if (!groups.insert(name).second) continue;
        const blackbox::Outcome listed =
            blackbox::run("/usr/bin/systemd-analyze", {"syscall-filter", name});
        std::istringstream lines(listed.out);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream in(line);
            std::string word;
            if (line.starts_with("    ") && in >> word && word[0] != '#') pending.push_back(word);
        }
    }
    return calls;
}

TEST(MetricsUnit, SandboxLeavesWhatTheReadersOpenAndCall) {
    const Unit service = read_unit(kService);

    // Capabilities: raw I/O (ports, /dev/mem, MSRs); ptrace and read-search
    // so that lsof sees a port held by any process. Nothing more.
    EXPECT_EQ(words(service, "CapabilityBoundingSet"),
              (std::set<std::string>{"CAP_SYS_RAWIO", "CAP_SYS_PTRACE", "CAP_DAC_READ_SEARCH"}));
    EXPECT_TRUE(words(service, "AmbientCapabilities").empty());

    // /dev: the host's (the serial ports must be there for ls and lsof),
    // and each device the readers open allowed with the access they need.
    EXPECT_NE(last(service, "PrivateDevices"), "yes");
    const bool device_list =
        !words(service, "DeviceAllow").empty() || last(service, "ProtectClock") == "yes" ||
        last(service, "DevicePolicy") == "closed" || last(service, "DevicePolicy") == "strict";
    const struct {
        const char* opened;
        std::vector<std::string> names;  // in DeviceAllow
        const char* access;
    } devices[] = {
        {"/dev/mem", {"/dev/mem"}, "r"},                              // identity
        {"/dev/cpu/0/msr", {"/dev/cpu/0/msr", "char-cpu/msr"}, "r"},  // CPU temperature
        {QUORVIK_DIO_PATH, {QUORVIK_DIO_PATH}, "rw"},                 // power inputs
    };
    if (device_list) {
        const std::vector<std::string> allowed = service.contains("DeviceAllow")
                                                     ? service.at("DeviceAllow")
                                                     : std::vector<std::string>{};
        for (const auto& device : devices) {
            const bool found = std::any_of(allowed.begin(), allowed.end(), [&](const auto& rule) {
                std::istringstream in(rule);
                std::string name, access;
                in >> name >> access;
                const std::string needed = device.access;
                return std::find(device.names.begin(), device.names.end(), name) !=
                           device.names.end() &&
                       std::all_of(needed.begin(), needed.end(),
                                   [&](char c) { return access.find(c) != std::string::npos; });
            });
            EXPECT_TRUE(found) << device.opened << " " << device.access;
        }
    }

    // /proc: lsof reads every process's descriptors, the CPU and memory
    // figures come from /proc/stat and /proc/meminfo.
    for (const char* hidden : {"invisible", "noaccess", "ptraceable"}) {
        EXPECT_NE(last(service, "ProtectProc"), hidden);
    }
    EXPECT_NE(last(service, "ProcSubset"), "pid");

    // System calls: raw I/O for the Super I/O ports beside what the tools
    // and the libraries call.
    const std::set<std::string> filter = words(service, "SystemCallFilter");
    if (!filter.empty()) {
        ASSERT_FALSE((*filter.begin()).starts_with('~')) << "an allow list";
        const std::set<std::string> calls = expand(filter);
        for (const char* call : {"ioperm", "iopl", "mmap", "pread64", "ioctl", "openat", "socket",
                                 "statfs", "readlinkat", "execve", "clone", "wait4", "pipe2"}) {
            EXPECT_TRUE(calls.contains(call)) << call;
        }
    }
    // Addresses: ifconfig asks for the interfaces over an inet socket; no
    // private network, so it sees the host's.
    const std::set<std::string> families = words(service, "RestrictAddressFamilies");
    if (!families.empty()) {
        EXPECT_TRUE(families.contains("AF_INET"));
    }
    EXPECT_NE(last(service, "PrivateNetwork"), "yes");
    EXPECT_NE(last(service, "PrivateUsers"), "yes") << "/dev/mem and ports need the host's root";

    // The system read-only but for the directory the report goes to.
    const std::string exec = last(service, "ExecStart");
    const auto output = exec.find("--output ");
    ASSERT_NE(output, std::string::npos) << exec;
    const std::string target = exec.substr(output + 9);
    const std::string directory = target.substr(0, target.rfind('/'));
    EXPECT_EQ(last(service, "ProtectSystem"), "strict");
    EXPECT_TRUE(words(service, "ReadWritePaths").contains(directory));
}

}  // namespace
}  // namespace quorvik::units::test
