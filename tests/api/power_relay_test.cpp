// Power inputs and the relay output over the test run's digital-I/O driver,
// and the KT-500R's relay through /dev/relay in a private /dev.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "api_fixture.h"
#include "fixed_paths.h"
#include "quorvik.h"

namespace quorvik::sim {
namespace {

using PowerRelay = BoardApiTest;

std::string read_file(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST_F(PowerRelay, PowerInputStatesComeFromRequest17) {
    board("AB-1234", "S_Power_indicator = 1\n");
    run().add_driver();
    run().set_power(0, 1);
    run().set_power(1, 7);
    for (const auto& [index, expected] : {std::pair{0, 1}, std::pair{1, 7}}) {
        int state = -9;
        EXPECT_EQ(get_pwr_status(index, &state), 0) << index;
        EXPECT_EQ(state, expected) << "the driver's value is passed on unchanged";
    }
    const std::vector<DriverRequest> expected{{"get-power", 0, 1, true}, {"get-power", 1, 7, true}};
    EXPECT_EQ(run().driver_log(), expected);
    EXPECT_EQ(watch().opened(), (std::vector<std::string>{"/dev/dio", "/dev/dio"}));
}

TEST_F(PowerRelay, PowerStatusRefusalsLeaveTheResultAndTheDevice) {
    const struct {
        const char* profile;
        int index;
        int status;
    } cases[] = {
        {"S_Power_indicator = 0\n", 0, ERR_NO_POWER_INDICATOR},
        {"S_Power_indicator = 0\n", 1, ERR_NO_POWER_INDICATOR},
        {"S_Power_indicator = 0\n", 5, ERR_NO_POWER_INDICATOR},
        {"S_Power_indicator = 4\n", 2, ERR_RANGE},
        {"S_Power_indicator = 1\n", -1, ERR_RANGE},
        {"S_Power_indicator = -2\n", 0, ERR_PROFILE_VALUE},
        {"Other = 1\n", 0, ERR_PROFILE_VALUE},
    };
    run().add_driver();
    for (const auto& c : cases) {
        board("AB-1234", c.profile);
        int state = 42;
        EXPECT_EQ(get_pwr_status(c.index, &state), c.status) << c.profile << c.index;
        EXPECT_EQ(state, 42);
    }
    EXPECT_TRUE(watch().opened().empty()) << "no refusal may open the device";
    board("AB-1234", "S_Power_indicator = 1\n");
    EXPECT_EQ(get_pwr_status(0, nullptr), ERR_RANGE);
    EXPECT_TRUE(watch().opened().empty());
}

TEST_F(PowerRelay, PowerStatusDeviceFailures) {
    board("AB-1234", "S_Power_indicator = 1\n");
    run().set_power(0, 1);
    int state = 42;
    EXPECT_EQ(get_pwr_status(0, &state), ERR_DEV_OPEN) << "no /dev/dio node";
    EXPECT_EQ(state, 42);

    run().add_driver();
    run().fail_driver(QSIM_DIO_FAIL_REQUEST);
    EXPECT_EQ(get_pwr_status(0, &state), ERR_DEV_IOCTL);
    EXPECT_EQ(state, 42) << "a refused request writes nothing";

    run().fail_driver(QSIM_DIO_FAIL_CLOSE);
    EXPECT_EQ(get_pwr_status(0, &state), ERR_DEV_CLOSE);
    EXPECT_EQ(state, 1) << "the answer is stored before the close fails";
}

TEST_F(PowerRelay, ProfileAndIdentityFailures) {
    int state = 42;
    remove_system_profile();
    install(insyde_board("AB-1234", "R1.00", "SN1"));
    EXPECT_EQ(get_pwr_status(0, &state), ERR_PROFILE_LOAD);
    EXPECT_EQ(set_relay(0, 0), ERR_PROFILE_LOAD);

    unidentified_board();
    write_system_profile("[AB-1234]\nS_Power_indicator = 1\nO_Relay = 1\n");
    printed_by([&] {
        EXPECT_EQ(get_pwr_status(0, &state), ERR_DEVICE_NAME);
        EXPECT_EQ(set_relay(0, 0), ERR_DEVICE_NAME);
    });
    EXPECT_EQ(state, 42);
    EXPECT_TRUE(watch().opened().empty());
}

TEST_F(PowerRelay, RelaySetThroughTheProfilesNode) {
    board("AB-1234", "O_Relay = 2\nRelay_Node = /dev/dio\n");
    run().add_driver();
    EXPECT_EQ(set_relay(0, 0), 0);
    EXPECT_EQ(set_relay(1, 1), 0);
    const std::vector<DriverRequest> expected{{"set-relay", 0, 0, true}, {"set-relay", 1, 1, true}};
    EXPECT_EQ(run().driver_log(), expected);
    EXPECT_EQ(watch().opened(), (std::vector<std::string>{"/dev/dio", "/dev/dio"}));
    EXPECT_EQ(run().relay(0), 0);
    EXPECT_EQ(run().relay(1), 1);
    EXPECT_EQ(run().relay(2), -1) << "a relay never set";

    board("AB-1234", "O_Relay = 1\nRelay_Node = /dev/relay7\n");
    run().add_driver({"/dev/relay7"});
    watch().forget();
    EXPECT_EQ(set_relay(0, 1), 0);
    EXPECT_EQ(watch().opened(), std::vector<std::string>{"/dev/relay7"});
    EXPECT_EQ(run().driver_log().back(), (DriverRequest{"set-relay", 0, 1, true}));
    EXPECT_EQ(run().relay(0), 1);
}

TEST_F(PowerRelay, RelayRefusalsTouchNothing) {
    const struct {
        const char* profile;
        int index;
        int value;
        int status;
    } cases[] = {
        {"O_Relay = 0\nRelay_Node = /dev/dio\n", 0, 0, ERR_NO_RELAY},
        {"O_Relay = 1\nRelay_Node = /dev/dio\n", 1, 0, ERR_RANGE},
        {"O_Relay = 1\nRelay_Node = /dev/dio\n", -1, 0, ERR_RANGE},
        {"O_Relay = 1\nRelay_Node = /dev/dio\n", 0, 2, ERR_RANGE},
        {"O_Relay = 1\nRelay_Node = /dev/dio\n", 0, -1, ERR_RANGE},
        {"Relay_Node = /dev/dio\n", 0, 0, ERR_PROFILE_VALUE},
        {"O_Relay = 1\n", 0, 0, ERR_PROFILE_VALUE},
    };
    run().add_driver();
    for (const auto& c : cases) {
        board("AB-1234", c.profile);
        EXPECT_EQ(set_relay(c.index, c.value), c.status) << c.profile << c.index << c.value;
    }
    EXPECT_TRUE(watch().opened().empty());
}

TEST_F(PowerRelay, RelayDeviceFailures) {
    board("AB-1234", "O_Relay = 1\nRelay_Node =\n");
    EXPECT_EQ(set_relay(0, 0), ERR_DEV_OPEN) << "an empty node path cannot be opened";
    board("AB-1234", "O_Relay = 1\nRelay_Node = /dev/dio\n");
    EXPECT_EQ(set_relay(0, 0), ERR_DEV_OPEN);
    run().add_driver();
    run().fail_driver(QSIM_DIO_FAIL_REQUEST);
    EXPECT_EQ(set_relay(0, 0), ERR_DEV_IOCTL);
    EXPECT_EQ(run().relay(0), -1) << "a refused request sets nothing";
    run().fail_driver(QSIM_DIO_FAIL_CLOSE);
    EXPECT_EQ(set_relay(0, 0), ERR_DEV_CLOSE);
    board("AB-1234", "O_Relay = 1\nRelay_Node = /dev/" + std::string(130, 'r') + "\n");
    EXPECT_EQ(set_relay(0, 0), ERR_PROFILE_VALUE) << "a node path too long for its buffer";
}

// The KT-500R's relay: the shell writes the value to /dev/relay, in a
// private /dev so that the machine's own /dev stays as it is.
TEST_F(PowerRelay, Kt500rWritesTheValueToDevRelay) {
    Overlay dev("/dev");
    QUORVIK_REQUIRE_OVERLAY(dev);
    board("KT-500R", "O_Relay = 2\n");
    run().add_driver();
    EXPECT_EQ(set_relay(1, 1), 0);
    EXPECT_EQ(read_file("/dev/relay"), "1\n");
    EXPECT_EQ(set_relay(0, 0), 0);
    EXPECT_EQ(read_file("/dev/relay"), "0\n");
    EXPECT_EQ(set_relay(0, 2), ERR_RANGE) << "the value is checked before the model";
    EXPECT_EQ(read_file("/dev/relay"), "0\n");
    EXPECT_EQ(set_relay(2, 0), ERR_RANGE);
    EXPECT_TRUE(watch().opened().empty()) << "the KT-500R never uses the digital-I/O driver";

    ASSERT_EQ(::unlink("/dev/relay"), 0);
    ASSERT_EQ(::mkdir("/dev/relay", 0755), 0);
    EXPECT_EQ(set_relay(0, 1), ERR_CMD_EXIT) << "the shell cannot write a directory";
}

}  // namespace
}  // namespace quorvik::sim
