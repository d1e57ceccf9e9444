// Disk usage and sizes: names that may not reach the shell, file systems of
// our own read by the real df, and the root file system of this machine.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fake_tools.h"
#include "private_mounts.h"
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

// File systems of our own in the private mount namespace, read by the real
// df: tmpfs mounts whose source names are those of disks (the mount table
// shows a tmpfs's source as given), each with a size of its own.
class MountedDisks : public testing::Test {
  protected:
    struct Disk {
        const char* source;
        const char* dir;  // under the test's directory
        int mebibytes;
    };
    static constexpr Disk kDisks[] = {
        {"/dev/sdz1", "data", 1500},
        {"/dev/sdy1", "data2", 200},
        {"/dev/sdy2", "backup", 400},
        {"rootfs", "root", 90},
        {"tmpfs", "run", 10},
        {"/dev/sr0", "media/cdrom", 70},
        {"/dev/mapper/vg0-data", "vg/data", 16},
        {"/dev/mapper/vg0-data2", "vg/data2", 32},
        {"/dev/sda1", "sda1", 48},
        {"/dev/sda10", "sda10", 64},
        {"/dev/md1", "md1", 80},
        {"/dev/md10", "md10", 96},
    };

    void SetUp() override {
        QUORVIK_REQUIRE_PRIVATE_MOUNTS();
        char dir[] = "/tmp/quorvik-disks-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        dir_ = dir;
        for (const Disk& disk : kDisks) {
            const std::string target = path(disk.dir);
            std::filesystem::create_directories(target);
            const std::string options = "size=" + std::to_string(disk.mebibytes) + "m";
            ASSERT_EQ(::mount(disk.source, target.c_str(), "tmpfs", 0, options.c_str()), 0)
                << target << ": " << std::strerror(errno);
            mounted_.push_back(target);
        }
    }
    void TearDown() override {
        for (auto it = mounted_.rbegin(); it != mounted_.rend(); ++it) {
            ::umount2(it->c_str(), MNT_DETACH);
        }
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }
    std::string path(const std::string& dir) const { return dir_ + "/" + dir; }

    std::string dir_;
    std::vector<std::string> mounted_;
};

TEST_F(MountedDisks, ColumnsOfTheNamedFileSystemOrTheLastMatchingLine) {
    // 8 MiB written into the 16 MiB vg0-data: half of it in use.
    std::ofstream(path("vg/data/fill")) << std::string(8 << 20, 'x');
    const struct {
        std::string name;
        int status;
        double usage, total, avail;
    } cases[] = {
        {"/dev/sdz1", 0, 0, 1500, 1500},
        {path("data"), 0, 0, 1500, 1500},  // exactly a mount point: that one
        {"/data", 0, 0, 32, 32},           // a pattern: data, data2, vg/data, vg/data2; the last
        {"/dev/sdy", 0, 0, 400, 400},
        {"rootfs", 0, 0, 0, 90},    // usage and total drop rootfs lines
        {path("run"), 0, 0, 0, 0},  // only a tmpfs line: nothing printed
        {"cdrom", 0, 0, 0, 0},
        // A name that begins another's reads its own file system.
        {"/dev/mapper/vg0-data", 0, 50, 16, 8},
        {"/dev/mapper/vg0-data2", 0, 0, 32, 32},
        {"/dev/sda1", 0, 0, 48, 48},
        {"/dev/sda10", 0, 0, 64, 64},
        {"/dev/md1", 0, 0, 80, 80},
        {"/dev/md10", 0, 0, 96, 96},
        {"/dev/nvme9n9", ERR_CMD_EXIT, -1, -1, -1},
        // A device that is not mounted: df itself would report the file
        // system that holds /dev.
        {"/dev/loop63", ERR_CMD_EXIT, -1, -1, -1},
        {"Filesystem", ERR_CMD_EXIT, -1, -1, -1},  // df's header is no file system
    };
    for (const auto& c : cases) {
        const double expected[] = {c.usage, c.total, c.avail};
        for (int q = 0; q < 3; ++q) {
            double value = -1;
            EXPECT_EQ(kQueries[q].query(c.name.c_str(), &value), c.status)
                << kQueries[q].name << " " << c.name;
            EXPECT_EQ(value, expected[q]) << kQueries[q].name << " " << c.name;
        }
    }
}

TEST_F(MountedDisks, NamesThatCouldReachTheShellAreRefusedBeforeAnyCommand) {
    sim::FakeTools tools;
    tools.add("df", "exit 0");
    tools.add("awk", "exit 0");
    const char* refused[] = {nullptr, "",   "a b", "a;b", "$(touch /tmp/x)", "`id`", "a|b", "a'b",
                             "a\"b",  "a*", "a>b", "-v",  "/dev/sd\xc3\xa9"};
    for (const char* name : refused) {
        for (const auto& q : kQueries) {
            double value = 42;
            EXPECT_EQ(q.query(name, &value), ERR_RANGE) << q.name << " " << (name ? name : "null");
            EXPECT_EQ(value, 42);
        }
    }
    const std::string too_long(201, 'n');
    for (const auto& q : kQueries) {
        double value = 42;
        EXPECT_EQ(q.query("/dev/sdz1", nullptr), ERR_RANGE);
        EXPECT_EQ(q.query(too_long.c_str(), &value), ERR_RANGE) << q.name;
        EXPECT_EQ(value, 42);
    }
    EXPECT_TRUE(tools.calls().empty());
}

TEST_F(MountedDisks, EveryAcceptedCharacterAndTheLongestName) {
    // A mount point of 200 characters, named exactly.
    const std::string dir = path("");
    const std::string longest = dir + std::string(200 - dir.size(), 'm');
    std::filesystem::create_directories(longest);
    ASSERT_EQ(::mount("/dev/sdx1", longest.c_str(), "tmpfs", 0, "size=20m"), 0);
    mounted_.push_back(longest);
    for (const auto& q : kQueries) {
        double value = 42;
        EXPECT_EQ(q.query("aZ09/._-+:@x", &value), ERR_CMD_EXIT) << q.name;
        EXPECT_EQ(q.query(longest.c_str(), &value), 0) << q.name;
    }
    double total = 0;
    ASSERT_EQ(get_disk_total_size(longest.c_str(), &total), 0);
    EXPECT_EQ(total, 20);
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
