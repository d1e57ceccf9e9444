// A mount whose server never answers, as a fleet meets it beside NFS shares:
// the disk query of another file system still answers, and the queries that
// must touch the dead mount (df on it; lsof, which stats every mount point)
// end at the command deadline instead of hanging, leaving nothing behind.
#include "dead_mount.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>

#include "api_fixture.h"
#include "fake_tools.h"
#include "fixed_paths.h"
#include "quorvik.h"

namespace quorvik::sim {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(10);

struct Timed {
    int status;
    Clock::duration took;
};

template <typename Query>
std::future<Timed> start(Query query) {
    return std::async(std::launch::async, [query] {
        const auto begin = Clock::now();
        const int status = query();
        return Timed{status, Clock::now() - begin};
    });
}

// Children of this process in the zombie state whose command is name.
int zombies_named(const std::string& name) {
    int count = 0;
    DIR* proc = ::opendir("/proc");
    for (dirent* entry = proc ? ::readdir(proc) : nullptr; entry; entry = ::readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string pid, comm, state, ppid;
        if (!(stat >> pid >> comm >> state >> ppid)) continue;
        if (ppid == std::to_string(::getpid()) && state == "Z" && comm == "(" + name + ")") {
            ++count;
        }
    }
    if (proc) ::closedir(proc);
    return count;
}

// Other processes in this test's private mount namespace: those of the
// commands the library started.
int others_in_our_namespace() {
    char own[64] = {};
    if (::readlink("/proc/self/ns/mnt", own, sizeof own - 1) <= 0) return -1;
    int count = 0;
    DIR* proc = ::opendir("/proc");
    for (dirent* entry = proc ? ::readdir(proc) : nullptr; entry; entry = ::readdir(proc)) {
        if (std::atoi(entry->d_name) <= 0 || std::atoi(entry->d_name) == ::getpid()) continue;
        char theirs[64] = {};
        const std::string link = std::string("/proc/") + entry->d_name + "/ns/mnt";
        if (::readlink(link.c_str(), theirs, sizeof theirs - 1) > 0 && std::string(theirs) == own) {
            ++count;
        }
    }
    if (proc) ::closedir(proc);
    return count;
}

// Waits up to limit for the commands' processes to end.
bool commands_end(std::chrono::seconds limit) {
    const auto until = Clock::now() + limit;
    while (others_in_our_namespace() != 0) {
        if (Clock::now() > until) return false;
        ::usleep(20000);
    }
    return true;
}

class DeadMountTest : public BoardApiTest, public testing::WithParamInterface<DeadMount::Server> {
  protected:
    void SetUp() override {
        BoardApiTest::SetUp();
        if (IsSkipped()) return;
        board("AB-1234", "TotalSerialPort = 1\nTtyType = S\nTtyNum = 0\n");
        tools_.add("ls", "exit 0");  // the node test: only lsof is about the mount
    }
    FakeTools tools_;
};

TEST_P(DeadMountTest, QueriesEndAtTheDeadlineAndLeaveNoProcess) {
    char dir[] = "/tmp/quorvik-dead-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    MountedDisk healthy("/dev/sdq1");
    ASSERT_TRUE(healthy.mounted());
    {
        DeadMount dead(std::string(dir) + "/share", GetParam());
        ASSERT_TRUE(dead.mounted()) << dead.failure();
        const std::string dead_path = dead.directory();

        auto other_disk = start([&] {
            double mebibytes = -1;
            const int status = get_disk_total_size("/dev/sdq1", &mebibytes);
            return status == 0 && mebibytes == 16 ? 0 : status == 0 ? -1 : status;
        });
        auto dead_disk = start([&] {
            double percent = -1;
            return get_disk_usage(dead_path.c_str(), &percent);
        });
        auto serial = start([] {
            int in_use = -1;
            const int status = get_uart_status(0, &in_use);
            return status == 0 ? 100 + in_use : status;
        });

        const Timed other = other_disk.get();
        EXPECT_EQ(other.status, 0) << "another file system reads as usual";
        EXPECT_LT(other.took, std::chrono::seconds(5));
        for (const auto& [what, result] : {std::pair{"df on the dead mount", dead_disk.get()},
                                           std::pair{"lsof", serial.get()}}) {
            EXPECT_EQ(result.status, ERR_CMD_EXIT) << what << ": never read as free or empty";
            EXPECT_GE(result.took, kDeadline) << what;
            EXPECT_LT(result.took, kDeadline + std::chrono::seconds(1)) << what;
        }
        EXPECT_EQ(zombies_named("sh"), 0) << "the library reaps what it started";
        if (GetParam() == DeadMount::Server::first_only) {
            EXPECT_GT(others_in_our_namespace(), 0) << "stuck in the kernel through SIGKILL";
        }
        dead.release();
    }
    EXPECT_TRUE(commands_end(std::chrono::seconds(5)))
        << "a command's process is left once the server is gone";
    ::rmdir(dir);
}

INSTANTIATE_TEST_SUITE_P(Servers, DeadMountTest,
                         testing::Values(DeadMount::Server::silent, DeadMount::Server::first_only),
                         [](const auto& info) {
                             return info.param == DeadMount::Server::silent ? "NeverAnswers"
                                                                            : "AnswersOnlyFirst";
                         });

}  // namespace
}  // namespace quorvik::sim
