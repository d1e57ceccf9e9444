// Disk usage and sizes: names that may not reach the shell, df output of our
// own for exact answers, and the root file system of this machine.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cmath>
#include <fstream>
#include <string>

#include "fake_tools.h"
#include "quorvik.h"

namespace quorvik {
namespace {

using DiskQuery = int (*)(const char*, double*);

const struct {
    const char* name;
    DiskQuery query;
} kQueries[] = {{"get_disk_usage", get_disk_usage},
                {"get_disk_total_size", get_disk_total_size},
                {"get_disk_avail_size", get_disk_avail_size}};

// Long enough that no column command fits 255 characters, short enough for
// the first command.
const std::string kLongMount = "/srv/" + std::string(180, 'm');

class ControlledDf : public testing::Test {
  protected:
    void SetUp() override {
        std::ofstream(tools_.dir() + "/df.txt")
            << "Filesystem     1048576-blocks   Used Available Capacity Mounted on\n"
            << "rootfs                  9000M  3000M     6000M      34% /\n"
            << "/dev/sdz1              15000M  7000M     8000M      37% /data\n"
            << "tmpfs                    100M     0M      100M       0% /run\n"
            << "/dev/sdy1               2000M   500M     1500M      25% /data2\n"
            << "/dev/sdy2               4000M  3000M     1000M      75% /backup\n"
            << "/dev/sr0                 700M   700M        0M     100% /media/cdrom\n"
            << "/dev/sdx1                 50M    10M       40M      20% " << kLongMount << "\n";
        tools_.add("df", "exec " + sim::FakeTools::real("cat") + " " + tools_.dir() + "/df.txt");
    }
    sim::FakeTools tools_;
};

TEST_F(ControlledDf, ColumnsOfTheLastMatchingLine) {
    const struct {
        const char* name;
        int status;
        double usage, total, avail;
    } cases[] = {
        {"/dev/sdz1", 0, 37, 15000, 8000},
        {"/data", 0, 25, 2000, 1500},  // /data and /data2: the last one
        {"/dev/sdy", 0, 75, 4000, 1000},
        {"rootfs", 0, 0, 0, 6000},  // usage and total drop rootfs lines
        {"/run", 0, 0, 0, 0},       // only a tmpfs line: nothing printed
        {"cdrom", 0, 0, 0, 0},
        {"Filesystem", 0, 0, 0, 0},  // only the header
        {"/dev/nvme0n1", ERR_CMD_EXIT, -1, -1, -1},
    };
    for (const auto& c : cases) {
        const double expected[] = {c.usage, c.total, c.avail};
        for (int q = 0; q < 3; ++q) {
            double value = -1;
            EXPECT_EQ(kQueries[q].query(c.name, &value), c.status)
                << kQueries[q].name << " " << c.name;
            EXPECT_EQ(value, expected[q]) << kQueries[q].name << " " << c.name;
        }
    }
    EXPECT_EQ(tools_.calls().front(), "df ");
    EXPECT_EQ(tools_.calls().at(1), "df -P -BM");
}

TEST_F(ControlledDf, NamesThatCouldReachTheShellAreRefusedBeforeAnyCommand) {
    const char* refused[] = {nullptr, "",   "a b", "a;b", "$(touch /tmp/x)", "`id`", "a|b", "a'b",
                             "a\"b",  "a*", "a>b", "-v",  "/dev/sd\xc3\xa9"};
    for (const char* name : refused) {
        for (const auto& q : kQueries) {
            double value = 42;
            EXPECT_EQ(q.query(name, &value), ERR_RANGE) << q.name << " " << (name ? name : "null");
            EXPECT_EQ(value, 42);
        }
    }
    for (const auto& q : kQueries) EXPECT_EQ(q.query("/dev/sdz1", nullptr), ERR_RANGE);
    EXPECT_TRUE(tools_.calls().empty());

    // Every accepted character, in a name that df does not list.
    for (const auto& q : kQueries) {
        double value = 42;
        EXPECT_EQ(q.query("aZ09/._-+:@x", &value), ERR_CMD_EXIT) << q.name;
    }
}

TEST_F(ControlledDf, NamesTooLongForTheCommandLine) {
    for (const auto& q : kQueries) {
        double value = 42;
        // The first command fits and finds nothing.
        EXPECT_EQ(q.query(std::string(200, 'n').c_str(), &value), ERR_CMD_EXIT) << q.name;
        // Listed by df, but the column command would be cut.
        EXPECT_EQ(q.query(kLongMount.c_str(), &value), ERR_RANGE) << q.name;
        // Not even the first command fits.
        EXPECT_EQ(q.query(std::string(240, 'n').c_str(), &value), ERR_RANGE) << q.name;
        EXPECT_EQ(value, 42);
    }
}

// ---- the root file system of this machine ----

std::string root_source() {
    std::ifstream mounts("/proc/self/mounts");
    std::string source, target, rest;
    std::string found;
    while (mounts >> source >> target && std::getline(mounts, rest)) {
        if (target == "/") found = source;
    }
    return found;
}

TEST(DiskOnThisMachine, RootFileSystemAgreesWithStatvfs) {
    const std::string source = root_source();
    double total = -1;
    if (source.empty() || get_disk_total_size(source.c_str(), &total) != 0) {
        GTEST_SKIP() << "the root file system '" << source << "' cannot be named to df here";
    }
    struct statvfs fs {};
    ASSERT_EQ(statvfs("/", &fs), 0);
    constexpr double kMiB = 1024.0 * 1024.0;
    const double size = std::ceil(static_cast<double>(fs.f_blocks) * fs.f_frsize / kMiB);
    EXPECT_NEAR(total, size, 1.0) << source;

    double avail = -1;
    ASSERT_EQ(get_disk_avail_size(source.c_str(), &avail), 0);
    EXPECT_NEAR(avail, static_cast<double>(fs.f_bavail) * fs.f_frsize / kMiB, 256.0) << source;

    double usage = -1;
    ASSERT_EQ(get_disk_usage(source.c_str(), &usage), 0);
    const double used = static_cast<double>(fs.f_blocks - fs.f_bfree);
    EXPECT_NEAR(usage, std::ceil(used * 100.0 / (used + fs.f_bavail)), 1.0) << source;
}

}  // namespace
}  // namespace quorvik
