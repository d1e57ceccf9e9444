// A host that calls setlocale(LC_ALL, "") in a locale with a decimal comma
// (de_DE.UTF-8): profile values and the numbers commands print must read
// exactly as in the C locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "api_fixture.h"
#include "fake_tools.h"
#include "fixed_paths.h"
#include "quorvik.h"

namespace quorvik::sim {
namespace {

constexpr const char* kCommaLocale = "de_DE.UTF-8";

class CommaLocale : public BoardApiTest {
  protected:
    void SetUp() override {
        BoardApiTest::SetUp();
        if (IsSkipped()) return;
        ::setenv("LC_ALL", kCommaLocale, 1);
        if (std::setlocale(LC_ALL, "") == nullptr) {
            ::unsetenv("LC_ALL");
            GTEST_SKIP() << kCommaLocale << " is not installed (scripts/setup.sh generates it)";
        }
        ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "not a decimal-comma locale";
        ASSERT_EQ(std::strtod("1,5", nullptr), 1.5) << "the host's own strtod reads commas";
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        ::unsetenv("LC_ALL");
        BoardApiTest::TearDown();
    }
    FakeTools tools_;
    MountedDisk disk_{"/dev/sdz1"};  // in the mount table, for the disk queries
};

// The numbers' every form in this locale: tests/common/number_test.cpp.
TEST_F(CommaLocale, CommandAndProfileNumbersReadAsInTheCLocale) {
    // Each tool prints its number with a decimal point; one with a comma is
    // read up to the comma, as the C locale reads it.
    tools_.add("free",
               "echo '               total        used        free'\n"
               "echo 'Mem:          1987.5       758.25      900.75'");
    tools_.add("df",
               "echo 'Filesystem 1M-blocks Used Available Capacity Mounted on'\n"
               "echo '/dev/sdz1 15000.5M 7000M 8000,5M 37.5% /data'");
    const struct {
        const char* what;
        int (*query)(double*);
        double value;
    } memory[] = {
        {"get_mem_total_size", get_mem_total_size, 1987.5},
        {"get_mem_avail_size", get_mem_avail_size, 900.75},
    };
    for (const auto& m : memory) {
        double value = -1;
        EXPECT_EQ(m.query(&value), 0) << m.what;
        EXPECT_EQ(value, m.value) << m.what;
    }
    const struct {
        const char* what;
        int (*query)(const char*, double*);
        double value;
    } disk[] = {
        {"get_disk_usage", get_disk_usage, 37.5},
        {"get_disk_total_size", get_disk_total_size, 15000.5},
        {"get_disk_avail_size", get_disk_avail_size, 8000.0},
    };
    for (const auto& d : disk) {
        double value = -1;
        EXPECT_EQ(d.query("/dev/sdz1", &value), 0) << d.what;
        EXPECT_EQ(value, d.value) << d.what;
    }

    board("AB-1234", "TotalSerialPort = 0x2\nTotalLanPort = 3,5\n");
    int count = -1;
    EXPECT_EQ(get_uart_count(&count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(get_eth_count(&count), 0);
    EXPECT_EQ(count, 3);
}

}  // namespace
}  // namespace quorvik::sim
