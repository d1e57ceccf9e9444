// No exception crosses the C interface: every exported function is noexcept,
// and an exception inside the library (here thrown from the driver calls,
// as a device layer throws when memory runs out or its lock fails) becomes
// the function's own failure status, with its out-parameter untouched and
// the node closed. Every type of exception becomes the status alike:
// tests/common/guard_test.cpp.
#include <gtest/gtest.h>

#include <exception>
#include <new>
#include <string>

#include "api_fixture.h"
#include "quorvik.h"

namespace quorvik::sim {
namespace {

// A function that lost its noexcept would fail to compile here.
static_assert(noexcept(get_device_name(nullptr)) && noexcept(get_bios_ver(nullptr)) && noexcept(
    get_ser_num(nullptr)));
static_assert(
    noexcept(get_cpu_count(nullptr)) && noexcept(get_average_cpu_usage(nullptr)) && noexcept(get_cpu_usage(0, nullptr)) && noexcept(
        get_mem_usage(
            nullptr)) && noexcept(get_mem_total_size(nullptr)) && noexcept(get_mem_avail_size(nullptr)));
static_assert(noexcept(get_uart_count(nullptr)) && noexcept(get_uart_status(0, nullptr)));
static_assert(noexcept(get_eth_count(nullptr)) && noexcept(get_eth_speed(0, nullptr)) && noexcept(
    get_eth_link(0, nullptr)) && noexcept(get_eth_usage(0, nullptr)));
static_assert(noexcept(get_disk_usage(nullptr, nullptr)) && noexcept(
    get_disk_total_size(nullptr, nullptr)) && noexcept(get_disk_avail_size(nullptr, nullptr)));
static_assert(noexcept(get_pwr_status(0, nullptr)) && noexcept(set_relay(0, 0)));
static_assert(noexcept(get_milli_volt(0, nullptr)) && noexcept(get_temperature(0, nullptr)));

using Exceptions = BoardApiTest;

TEST_F(Exceptions, ThrownInsideTheDeviceCallsBecomeTheFunctionsStatus) {
    const std::exception_ptr thrown = std::make_exception_ptr(std::bad_alloc());
    for (const bool on_open : {true, false}) {
        run().reset();
        board("AB-1234", "S_Power_indicator = 1\nO_Relay = 1\nRelay_Node = /dev/dio\n");
        run().add_driver();
        run().set_power(0, 1);
        (on_open ? watch().throw_on_open : watch().throw_on_request) = thrown;
        const std::string shown = on_open ? "bad_alloc on open" : "bad_alloc on request";

        int state = 42;
        EXPECT_EQ(get_pwr_status(0, &state), ERR_DEV_OPEN) << shown;
        EXPECT_EQ(state, 42) << shown;
        EXPECT_EQ(set_relay(0, 0), ERR_DEV_OPEN) << shown;
        EXPECT_EQ(run().relay(0), -1) << shown;
        EXPECT_EQ(run().open_nodes(), 0) << shown << ": the node is closed";

        // The driver recovers: the next calls go through.
        watch().throw_on_open = nullptr;
        watch().throw_on_request = nullptr;
        EXPECT_EQ(get_pwr_status(0, &state), 0) << shown;
        EXPECT_EQ(state, 1) << shown;
    }
}

}  // namespace
}  // namespace quorvik::sim
