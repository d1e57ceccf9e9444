// CPU count and usage, memory: the parsing and arithmetic of a sample, the
// real tools on this machine, and tools of our own where an exact answer is
// needed. Each usage measurement sleeps one second, so there are few.
#include "cpu_mem.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <cctype>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

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
        {1000, 5000, 1050, 5100, 0, 50.0},
        {1000, 5000, 1000, 5100, 0, 100.0},
        {1000, 5000, 1100, 5100, 0, 0.0},
        {1000, 5000, 1025, 5300, 0, 100.0 - 25.0 / 3.0},
        {1000, 5000, 1200, 5100, 0, 0.0},            // iowait ran backwards: never below 0
        {1000, 5000, 900, 5100, 0, 100.0},           // idle ran backwards: never above 100
        {1000, 5000, 1000, 5000, ERR_CMD_EXIT, -1},  // no ticks between the samples
        {1000, 5000, 1000, 4000, ERR_CMD_EXIT, -1},  // the total ran backwards
        // 32-bit counters that wrapped between the samples: the differences
        // modulo 2^32 are the ticks that passed (1600 ticks, 400 idle: 75 %).
        {4294966000, 4294967000, 4294966400, 1304, 0, 75.0},  // the total wrapped
        {4294967000, 4294967200, 104, 1504, 0, 75.0},         // idle and total wrapped
        {4294967295, 4294967295, 399, 1599, 0, 75.0},         // both from 2^32 - 1
        {100, 4294967295, 100, 1599, 0, 100.0},               // busy across the wrap
        // Values no 32-bit counter holds.
        {-1, 5000, 1000, 5100, ERR_CMD_EXIT, -1},
        {1000, 4294967296.0, 1000, 5100, ERR_CMD_EXIT, -1},
    };
    for (const auto& c : cases) {
        double usage = -1;
        EXPECT_EQ(calc_cpu_util(&c.idle1, &c.total1, &c.idle2, &c.total2, &usage), c.status)
            << c.idle2 << "/" << c.total2;
        EXPECT_DOUBLE_EQ(usage, c.usage) << c.idle2 << "/" << c.total2;
    }
}

// ---- on this machine ----

// The per-CPU lines of the kernel's /proc/stat, read here directly.
int cpu_lines_of_proc_stat() {
    std::ifstream stat("/proc/stat");
    int lines = 0;
    std::string line;
    while (std::getline(stat, line)) {
        if (line.size() > 3 && line.compare(0, 3, "cpu") == 0 && std::isdigit(line[3])) ++lines;
    }
    return lines;
}

// The caller's CPU affinity and OpenMP limits, restored at scope exit.
class HostLimits {
  public:
    HostLimits() { saved_ok_ = sched_getaffinity(0, sizeof saved_, &saved_) == 0; }
    ~HostLimits() {
        if (saved_ok_) sched_setaffinity(0, sizeof saved_, &saved_);
        ::unsetenv("OMP_NUM_THREADS");
        ::unsetenv("OMP_THREAD_LIMIT");
    }
    HostLimits(const HostLimits&) = delete;
    HostLimits& operator=(const HostLimits&) = delete;

    // Pins the process (and the commands it starts) to its first CPU.
    bool pin_to_one_cpu() const {
        if (!saved_ok_) return false;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (!CPU_ISSET(cpu, &saved_)) continue;
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu, &one);
            return sched_setaffinity(0, sizeof one, &one) == 0;
        }
        return false;
    }

  private:
    cpu_set_t saved_{};
    bool saved_ok_ = false;
};

TEST(CpuOnThisMachine, CountIsEveryCpuOfProcStatWhateverTheCallersLimits) {
    const int expected = cpu_lines_of_proc_stat();
    ASSERT_GT(expected, 0);
    int count = -1;
    EXPECT_EQ(get_cpu_count(&count), 0);
    EXPECT_EQ(count, expected);
    EXPECT_EQ(get_cpu_count(nullptr), ERR_RANGE);

    // An agent pinned to one CPU with OpenMP limited to one thread: nproc
    // would say 1, but the board still has every CPU.
    HostLimits limits;
    ::setenv("OMP_NUM_THREADS", "1", 1);
    ::setenv("OMP_THREAD_LIMIT", "1", 1);
    ASSERT_TRUE(limits.pin_to_one_cpu());
    count = -1;
    EXPECT_EQ(get_cpu_count(&count), 0);
    EXPECT_EQ(count, expected);
    double usage = -1;
    EXPECT_EQ(get_cpu_usage(expected - 1, &usage), 0) << "the last CPU is measured when pinned";
    EXPECT_GE(usage, 0.0);
    EXPECT_LE(usage, 100.0);
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

// /proc/stat as cat shows it: texts[n] on the n-th read, the last text on
// every read after that.
void serve_proc_stat(sim::FakeTools& tools, const std::vector<std::string>& texts) {
    const std::string dir = tools.dir();
    for (std::size_t n = 0; n < texts.size(); ++n) {
        std::ofstream(dir + "/stat" + std::to_string(n)) << texts[n];
    }
    const std::string last = std::to_string(texts.size() - 1);
    const std::string cat = sim::FakeTools::real("cat");
    tools.add("cat", "case \"$1\" in\n/proc/stat)\n  n=0; [ -f " + dir + "/n ] && read n < " + dir +
                         "/n\n  echo $((n + 1)) > " + dir + "/n\n  [ $n -gt " + last +
                         " ] && n=" + last + "\n  exec " + cat + " " + dir +
                         "/stat$n ;;\n*) exec " + cat + " \"$@\" ;;\nesac");
}

class ControlledStat : public testing::Test {
  protected:
    void samples(const std::string& first, const std::string& second) {
        serve_proc_stat(tools_, {first, second});
    }
    sim::FakeTools tools_;
};

// Two samples of a two-CPU board one second apart: the all-CPU line is 50 %
// busy, cpu0 20 %, cpu1 75 %; each line's share differs from the others.
const std::string kFirstSample =
    "cpu  100 0 100 1000 0 0 0 0 0 0\ncpu0 50 0 50 500 0 0 0\ncpu1 50 0 50 500 0 0 0\n"
    "intr 1 2 3\nctxt 99\n";
const std::string kSecondSample =
    "cpu  200 0 100 1100 0 0 0 0 0 0\ncpu0 60 0 50 540 0 0 0\ncpu1 100 0 75 525 0 0 0\n"
    "intr 1 2 3\nctxt 99\n";

TEST(ControlledStatLines, EachCallReadsItsOwnLine) {
    const struct {
        int index;  // -1: get_average_cpu_usage
        double usage;
    } cases[] = {{-1, 50.0}, {0, 20.0}, {1, 75.0}};
    for (const auto& c : cases) {
        sim::FakeTools tools;
        double usage = -1;
        if (c.index < 0) {
            serve_proc_stat(tools, {kFirstSample, kSecondSample});
            EXPECT_EQ(get_average_cpu_usage(&usage), 0);
        } else {
            tools.add("nproc", "echo 2");
            serve_proc_stat(tools, {kFirstSample, kSecondSample});
            EXPECT_EQ(get_cpu_usage(c.index, &usage), 0) << c.index;
        }
        EXPECT_DOUBLE_EQ(usage, c.usage) << c.index;
    }
}

TEST_F(ControlledStat, CounterDifferencesModulo32BitsAndNoTicksIsNoMeasurement) {
    const struct {
        const char* first;
        const char* second;
        int status;
        double usage;
    } cases[] = {
        // The all-CPU line of a board up for a month: the 32-bit sum of the
        // counters passes 2^32 during the second (1200 ticks, 300 of them idle).
        {"cpu  4294966000 0 0 1000 0 0 0 0 0 0\n", "cpu  4294966900 0 0 1300 0 0 0 0 0 0\n", 0,
         75.0},
        {"cpu  100 0 100 1000 0 0 0 0 0 0\n", "cpu  100 0 100 1000 0 0 0 0 0 0\n", ERR_CMD_EXIT,
         42},
    };
    for (const auto& c : cases) {
        samples(c.first, c.second);
        double usage = 42;
        EXPECT_EQ(get_average_cpu_usage(&usage), c.status) << c.second;
        EXPECT_DOUBLE_EQ(usage, c.usage) << c.second;
    }
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
        // nproc as it answers an agent pinned to one CPU: only --all gives
        // every CPU of the board.
        {"[ \"$1\" = --all ] && echo 16 || echo 1", 0, 16},
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

    // A zero total is a failed command, not a division.
    tools.add("free", "echo header; echo 'Mem: 0 0 0 0 0 0'");
    percent = 42;
    EXPECT_EQ(get_mem_usage(&percent), ERR_CMD_EXIT);
    EXPECT_EQ(percent, 42);
}

}  // namespace
}  // namespace quorvik
