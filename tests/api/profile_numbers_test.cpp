// Profile integers that do not fit an int, read through the profile lookup
// and through the queries that use it: refused, never wrapped into a
// plausible count; a negative count is refused too. The numbers' every form:
// tests/common/number_test.cpp.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "api_fixture.h"
#include "fake_tools.h"
#include "frame.h"
#include "quorvik.h"

namespace quorvik::sim {
namespace {

constexpr int kUntouched = 12345;

const struct HostileNumber {
    const char* text;
    int status;
    int value;  // kUntouched: the destination is left alone
} kNumbers[] = {
    // Wrapped to int these read as small counts or "none".
    {"4294967298", ERR_PROFILE_VALUE, kUntouched},  // 2
    {"0xFFFFFFFF", ERR_PROFILE_VALUE, kUntouched},  // -1
    // Values that fit: as before.
    {"0x7fffffff", 0, INT_MAX},
    {"02", 0, 2},
    {"-1", ERR_PROFILE_VALUE, -1},  // fits, and is negative
    {"x", 0, 0},
};

std::string shown(const HostileNumber& n) {
    return std::string("value '") + n.text + "'";
}

using ProfileNumbers = BoardApiTest;

TEST_F(ProfileNumbers, TheLookupRefusesNumbersOutsideInt) {
    for (const auto& n : kNumbers) {
        board("AB-1234", std::string("Count = ") + n.text + "\n");
        int value = kUntouched;
        EXPECT_EQ(model_lookup("Count", value), n.status) << shown(n);
        EXPECT_EQ(value, n.value) << shown(n);
    }
}

// The counts that gate the queries: a refused count stops the query with
// ERR_PROFILE_VALUE before any command or device request.
TEST_F(ProfileNumbers, QueriesStopAtACountOutsideInt) {
    FakeTools tools;
    tools.add("ls", "exit 0");
    tools.add("lsof", "exit 1");
    tools.add("ifconfig", "echo 'eth1: flags=4163<UP,BROADCAST,RUNNING,MULTICAST>  mtu 1500'");
    run().add_driver();
    for (const auto& n : kNumbers) {
        if (n.status == 0) continue;
        board("AB-1234", std::string("TotalSerialPort = ") + n.text +
                             "\nTtyType = S\nTtyNum = 0,1\n" + "TotalLanPort = " + n.text +
                             "\nO_Relay = " + n.text +
                             "\nRelay_Node = /dev/dio\nS_Power_indicator = " + n.text + "\n");
        int count = kUntouched;
        EXPECT_EQ(get_uart_count(&count), n.status) << shown(n);
        EXPECT_EQ(count, n.value) << shown(n);
        count = kUntouched;
        EXPECT_EQ(get_eth_count(&count), n.status) << shown(n);
        EXPECT_EQ(count, n.value) << shown(n);
        int result = kUntouched;
        EXPECT_EQ(get_uart_status(1, &result), n.status) << shown(n);
        EXPECT_EQ(get_eth_link(1, &result), n.status) << shown(n);
        EXPECT_EQ(get_pwr_status(1, &result), n.status) << shown(n);
        EXPECT_EQ(result, kUntouched) << shown(n);
        EXPECT_EQ(set_relay(1, 0), n.status) << shown(n) << ": no \"no relay\", no relay set";
    }
    EXPECT_TRUE(tools.calls().empty()) << tools.calls().front();
    EXPECT_TRUE(watch().opened().empty());
}

TEST_F(ProfileNumbers, RoleKeysOutsideIntReadNoSensor) {
    board("AB-1234", "Volt = 3\nV_CPU_Index = 4294967296\nTemp = 4294967298\nT_CPU_Index = 0\n");
    int reading = kUntouched;
    EXPECT_EQ(get_milli_volt(0, &reading), ERR_PROFILE_VALUE) << "input 0 is not read";
    EXPECT_EQ(get_temperature(1, &reading), ERR_PROFILE_VALUE) << "not 2 temperature roles";
    EXPECT_EQ(reading, kUntouched);
    EXPECT_TRUE(Board::get().port_log.empty()) << "no sensor was touched";
}

}  // namespace
}  // namespace quorvik::sim
