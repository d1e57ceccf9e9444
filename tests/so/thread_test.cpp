// Identity queries from many threads at once: one identification, every
// thread sees the whole identity. Run under ThreadSanitizer too.
#include <atomic>
#include <thread>
#include <vector>

#include "identity_fixture.h"

namespace quorvik::sim {
namespace {

TEST_F(IdentityTest, ConcurrentFirstQueriesIdentifyOnce) {
    install(insyde_board("KT-500R", "R1.05", "SN0042"));
    constexpr int kThreads = 8;
    std::vector<std::string> models(kThreads), serials(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            char buf[128] = {};
            for (int i = 0; i < 200; ++i) {
                if (GetDeviceName(buf) == 1) models[t] = buf;
                if (GetSerialNumber(buf) == 1) serials[t] = buf;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(models[t], "KT-500R");
        EXPECT_EQ(serials[t], "SN0042");
    }
    EXPECT_EQ(board().permission_calls.size(), 2u) << "identified exactly once";
}

TEST_F(IdentityTest, ConcurrentQueriesWithoutSerialNeverSeeAHalfClearedCache) {
    BoardImages images = insyde_board("KT-1", "1.0", "unused");
    images.table = SmbiosTable().bios("Insyde", "1.0").system("Q", "KT-1").end_of_table();
    install(images);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    printed_by([&] {
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                char buf[128];
                for (int i = 0; i < 100; ++i) {
                    if (GetDeviceName(buf) != 1 || std::string(buf) != "KT-1") ++wrong;
                }
            });
        }
        for (auto& thread : threads) thread.join();
    });
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace quorvik::sim
