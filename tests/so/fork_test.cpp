// A multi-threaded host that forks while other threads are in an identity
// query or a sensor reading: its child can still call the library.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

class ForkTest : public SensorTest {};

// Not under AddressSanitizer: gcc 12's runtime does not hold its allocator's
// lock across fork, so a child forked while another thread allocates waits
// for good in its first malloc (the plain and ThreadSanitizer builds run it).
#if !defined(__SANITIZE_ADDRESS__)
// Exit status of a child that makes one identity query and one reading; a
// child that blocks is ended by its alarm.
int child_queries(const std::string& path) {
    ::alarm(5);
    char model[128];
    if (GetDeviceName(model) != 0) return 1;  // this board has no identity
    char* text = nullptr;
    if (SensorVolt(path.c_str(), "KT-500R", 0, &text) != SENSOR_OK) return 2;
    std::free(text);
    return 0;
}

TEST_F(ForkTest, ChildrenOfAHostForkedDuringQueriesCanQuery) {
    // No BIOS memory: identification fails, so every identity query tries
    // again under the identity lock.
    board().keep_logs = false;
    board().per_thread_permissions = true;
    chip().set(0, 0x20, 150);
    const std::string path = profile(board_section());
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&] {
            char model[128];
            while (!stop) GetDeviceName(model);
        });
        threads.emplace_back([&] {
            while (!stop) {
                char* text = nullptr;
                if (SensorVolt(path.c_str(), "KT-500R", 0, &text) == SENSOR_OK) std::free(text);
            }
        });
    }
    for (int i = 0; i < 20; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) ::_exit(child_queries(path));
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status)) << "child " << i << " blocked (signal "
                                       << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << ")";
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << "child " << i;
    }
    stop = true;
    for (auto& thread : threads) thread.join();
}
#endif

}  // namespace
}  // namespace quorvik::sim
