// CPU count and usage, memory: the parsing and arithmetic of a sample, the
// real tools on this machine, and tools of our own where an exact answer is
// needed. Each usage measurement sleeps one second, so there are few.
#include "cpu_mem.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fake_tools.h"
#include "frame.h"
#include "quorvik.h"

namespace quorvik {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(CpuSample, SevenCountersGiveIdleAndTotal) {
    const struct {
        const char* text;
        int status;
        double idle;
        double total;
    } cases[] = {
        {" 9544 0 2351 106525 211 0 25 8 0 0", 0, 106525, 118656},  // later counters ignored
        {"1 2 3 4 5 6 7", 0, 4, 28},
        {"\t1\n2 3 4 5 6 7", 0, 4, 28},
        // 32-bit counters, summed modulo 2^32.
        {"4294967295 1 0 0 0 0 0", 0, 0, 0},
        {"3000000000 0 0 2000000000 0 0 0", 0, 2000000000, 705032704},
        {"-1 0 0 5 0 0 0", 0, 5, 4},
        // Too few counters: no sample.
        {"1 2 3 4 5 6", ERR_CMD_EXIT, -7, -7},
        {"", ERR_CMD_EXIT, -7, -7},
        {"1 2 3 x 5 6 7", ERR_CMD_EXIT, -7, -7},
    };
    for (const auto& c : cases) {
        double idle = -7;
        double total = -7;
        EXPECT_EQ(get_cpu_stat(c.text, &idle, &total), c.status) << c.text;
        EXPECT_EQ(idle, c.idle) << c.text;
        EXPECT_EQ(total, c.total) << c.text;
    }
}

TEST(CpuSample, UsageBetweenTwoSamples) {
    const struct {
        double idle1, total1, idle2, total2;
        int status;
        double usage;
    } cases[] = {
        {1000, 5000, 1050, 5100, 0, 50.0},          {1000, 5000, 1000, 5100, 0, 100.0},
        {1000, 5000, 1100, 5100, 0, 0.0},           {1000, 5000, 1025, 5300, 0, 100.0 - 25.0 / 3.0},
        {1000, 5000, 1200, 5100, 0, 0.0},            // iowait ran backwards: never below 0
        {1000, 5000, 900, 5100, 0, 100.0},           // idle ran backwards: never above 100
        {1000, 5000, 1000, 5000, ERR_CMD_EXIT, -1},  // no ticks between the samples
        {1000, 5000, 1000, 4000, ERR_CMD_EXIT, -1},  // the total wrapped around
    };
    for (const auto& c : cases) {
        double usage = -1;
        EXPECT_EQ(calc_cpu_util(&c.idle1, &c.total1, &c.idle2, &c.total2, &usage), c.status)
            << c.idle2 << "/" << c.total2;
        EXPECT_DOUBLE_EQ(usage, c.usage) << c.idle2 << "/" << c.total2;
    }
}

// ---- on this machine ----

int processing_units() {
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : -1;
}

TEST(CpuOnThisMachine, CountIsTheNumberOfProcessingUnits) {
    ::unsetenv("OMP_NUM_THREADS");
    ::unsetenv("OMP_THREAD_LIMIT");
    int count = -1;
    EXPECT_EQ(get_cpu_count(&count), 0);
    EXPECT_EQ(count, processing_units());
    EXPECT_EQ(get_cpu_count(nullptr), ERR_RANGE);
}

TEST(CpuOnThisMachine, UsageOfTheMachineAndOfTheLastCpu) {
    int count = 0;
    ASSERT_EQ(get_cpu_count(&count), 0);
    double usage = -1;
    EXPECT_EQ(get_average_cpu_usage(&usage), 0);
    EXPECT_GE(usage, 0.0);
    EXPECT_LE(usage, 100.0);
    usage = -1;
    EXPECT_EQ(get_cpu_usage(count - 1, &usage), 0);
    EXPECT_GE(usage, 0.0);
    EXPECT_LE(usage, 100.0);
}

TEST(CpuOnThisMachine, IndexesOutsideTheCpusAreRefusedWithoutSampling) {
    int count = 0;
    ASSERT_EQ(get_cpu_count(&count), 0);
    const auto start = Clock::now();
    for (const int index : {count, count + 1, -1, INT_MIN, INT_MAX}) {
        double usage = 42;
        EXPECT_EQ(get_cpu_usage(index, &usage), ERR_RANGE) << index;
        EXPECT_EQ(usage, 42) << index;
    }
    EXPECT_EQ(get_cpu_usage(0, nullptr), ERR_RANGE);
    EXPECT_EQ(get_average_cpu_usage(nullptr), ERR_RANGE);
    EXPECT_LT(seconds_since(start), 0.9) << "a refused call must not sleep";
}

TEST(MemoryOnThisMachine, SizesAgreeWithTheKernel) {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    double kilobytes = 0;
    meminfo >> key >> kilobytes;
    ASSERT_EQ(key, "MemTotal:");

    double total = -1;
    ASSERT_EQ(get_mem_total_size(&total), 0);
    EXPECT_NEAR(total, kilobytes / 1024, 1.0);
    EXPECT_EQ(total, static_cast<double>(static_cast<long>(total))) << "whole mebibytes";
    double avail = -1;
    ASSERT_EQ(get_mem_avail_size(&avail), 0);
    EXPECT_GT(avail, 0.0);
    EXPECT_LE(avail, total);
    int percent = -1;
    ASSERT_EQ(get_mem_usage(&percent), 0);
    EXPECT_GE(percent, 0);
    EXPECT_LE(percent, 100);

    EXPECT_EQ(get_mem_usage(nullptr), ERR_RANGE);
    EXPECT_EQ(get_mem_total_size(nullptr), ERR_RANGE);
    EXPECT_EQ(get_mem_avail_size(nullptr), ERR_RANGE);
}

// ---- with tools of our own ----

class ControlledStat : public testing::Test {
  protected:
    // /proc/stat as cat shows it: sample n on the n-th call.
    void samples(const std::string& first, const std::string& second) {
        std::ofstream(tools_.dir() + "/stat0") << first;
        std::ofstream(tools_.dir() + "/stat1") << second;
        const std::string dir = tools_.dir();
        tools_.add("cat", "case \"$1\" in\n/proc/stat)\n  n=0; [ -f " + dir + "/n ] && read n < " +
                              dir + "/n\n  echo $((n + 1)) > " + dir + "/n\n  exec " +
                              sim::FakeTools::real("cat") + " " + dir + "/stat$n ;;\n*) exec " +
                              sim::FakeTools::real("cat") + " \"$@\" ;;\nesac");
    }
    sim::FakeTools tools_;
};

TEST_F(ControlledStat, PerCpuUsageReadsThatCpusLine) {
    tools_.add("nproc", "echo 2");
    // cpu1's idle share is 25 of 100 ticks; the total and cpu0 differ.
    samples(
        "cpu  100 0 100 1000 0 0 0 0 0 0\ncpu0 50 0 50 500 0 0 0\ncpu1 50 0 50 500 0 0 0\n"
        "intr 1 2 3\nctxt 99\n",
        "cpu  300 0 100 1010 0 0 0 0 0 0\ncpu0 100 0 50 505 0 0 0\ncpu1 100 0 75 525 0 0 0\n"
        "intr 1 2 3\nctxt 99\n");
    double usage = -1;
    EXPECT_EQ(get_cpu_usage(1, &usage), 0);
    EXPECT_DOUBLE_EQ(usage, 75.0);
}

TEST_F(ControlledStat, NoTicksBetweenTheSamplesIsNoMeasurement) {
    const std::string sample = "cpu  100 0 100 1000 0 0 0 0 0 0\ncpu0 100 0 100 1000 0 0 0\n";
    samples(sample, sample);
    double usage = 42;
    EXPECT_EQ(get_average_cpu_usage(&usage), ERR_CMD_EXIT);
    EXPECT_EQ(usage, 42);
}

TEST_F(ControlledStat, AShortSampleEndsTheCallBeforeItSleeps) {
    samples("cpu  100 0 100 1000 0\n", "cpu  100 0 100 1000 0 0 0\n");
    const auto start = Clock::now();
    double usage = 42;
    EXPECT_EQ(get_average_cpu_usage(&usage), ERR_CMD_EXIT);
    EXPECT_EQ(usage, 42);
    EXPECT_LT(seconds_since(start), 0.9);
    EXPECT_EQ(tools_.calls().size(), 1u) << "one sample taken";
}

TEST(ControlledCount, NprocOutputConversions) {
    const struct {
        const char* body;
        int status;
        int count;
    } cases[] = {
        {"echo 8", 0, 8},
        {"echo 3.9", 0, 3},
        {"echo none", 0, 0},
        {"true", 0, 0},
        {"echo 1e20", ERR_CMD_EXIT, -5},
        {"echo 4; exit 1", ERR_CMD_EXIT, -5},
    };
    for (const auto& c : cases) {
        sim::FakeTools tools;
        tools.add("nproc", c.body);
        int count = -5;
        EXPECT_EQ(get_cpu_count(&count), c.status) << c.body;
        EXPECT_EQ(count, c.count) << c.body;
    }
    sim::FakeTools tools;
    tools.add("nproc", "echo none");
    double usage = 42;
    EXPECT_EQ(get_cpu_usage(0, &usage), ERR_RANGE) << "no processing units, no index";
    tools.add("nproc", "exit 2");
    EXPECT_EQ(get_cpu_usage(0, &usage), ERR_CMD_EXIT) << "the count's failure, unchanged";
    EXPECT_EQ(usage, 42);
}

TEST(ControlledMemory, FreeOutputGivesTheFigures) {
    sim::FakeTools tools;
    tools.add("free",
              "echo '               total        used        free      shared  buff/cache   "
              "available'\n"
              "echo 'Mem:            2000         758         900          10         342        "
              "1100'\n"
              "echo 'Swap:              0           0           0'");
    int percent = -1;
    EXPECT_EQ(get_mem_usage(&percent), 0);
    EXPECT_EQ(percent, 37) << "37.9 % cut to a whole number";
    double total = -1;
    EXPECT_EQ(get_mem_total_size(&total), 0);
    EXPECT_EQ(total, 2000.0);
    double avail = -1;
    EXPECT_EQ(get_mem_avail_size(&avail), 0);
    EXPECT_EQ(avail, 900.0) << "the free column";
    for (const auto& call : tools.calls()) EXPECT_EQ(call, "free -m");
}

TEST(ControlledMemory, ZeroTotalIsAFailedCommandNotADivision) {
    sim::FakeTools tools;
    tools.add("free", "echo header; echo 'Mem: 0 0 0 0 0 0'");
    int percent = 42;
    EXPECT_EQ(get_mem_usage(&percent), ERR_CMD_EXIT);
    EXPECT_EQ(percent, 42);
}

}  // namespace
}  // namespace quorvik
