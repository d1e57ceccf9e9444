// Voltages and temperatures by role, end to end: the profile's role keys,
// libQuorvikSO's dispatch and readers, and a Super I/O chip on the simulated
// board's ports.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "api_fixture.h"
#include "quorvik.h"
#include "superio_chip.h"

namespace quorvik::sim {
namespace {

using RoleQuery = int (*)(int, int*);

// Five inputs on a W83627DHG, each role on an input of its own; the CPU
// temperature is input 1, the system temperature input 0.
const std::string kInputs =
    "Index = 0x295\nData = 0x296\nSio = W83627DHG\n"
    "Vin0Str = VCORE\nVin0Bnk = 0\nVin0Idx = 0x20\nVin0Cof = 8\n"
    "Vin1Str = VDRAM\nVin1Bnk = 0\nVin1Idx = 0x21\nVin1Cof = 16\n"
    "Vin2Str = V5\nVin2Bnk = 0\nVin2Idx = 0x23\nVin2Cof = 24\n"
    "Tin0Str = SYSTEM\nTin0Bnk = 0\nTin0Idx = 0x27\nTin0Cof = 1.0\nTin0Off = 0.0\n"
    "Tin1Str = CPUTIN\nTin1Bnk = 0\nTin1Idx = 0x29\nTin1Cof = 1.0\nTin1Off = 0.0\n";

const std::string kRoles =
    "Volt = 3\nTemp = 2\nV_CPU_Index = 0\nV_DRAM_Index = 1\nV_5V_Index = 2\n"
    "T_CPU_Index = 1\nT_SYSTEM_Index = 0\n";

class Sensors : public BoardApiTest {
  protected:
    void SetUp() override {
        BoardApiTest::SetUp();
        if (IsSkipped()) return;
        chip_ = std::make_unique<SuperIoChip>(0x295, 0x296, true);
        chip_->attach_to(Board::get());
        chip_->set(0, 0x20, 142);  // 1136 mV
        chip_->set(0, 0x21, 100);  // 1600 mV
        chip_->set(0, 0x23, 200);  // 4800 mV
        chip_->set(0, 0x27, 45);   // 45 degrees
        chip_->set(0, 0x29, 60);   // 60 degrees
    }
    void TearDown() override {
        EXPECT_TRUE(Board::get().permitted.none()) << "a port permission was left raised";
        BoardApiTest::TearDown();
        Board::get().reset();
    }

    // Reads a role; the board identifies as AB-1234 with roles (the section's
    // role keys) and kInputs.
    int read(RoleQuery query, int index, int* value, const std::string& roles = kRoles) {
        board("AB-1234", roles + kInputs);
        int status = 0;
        printed_ = printed_by([&] { status = query(index, value); });
        return status;
    }

    std::unique_ptr<SuperIoChip> chip_;
    std::string printed_;
};

TEST_F(Sensors, EachRoleReadsTheInputItsKeyNames) {
    const struct {
        const char* query_name;
        RoleQuery query;
        int index;
        int value;
    } cases[] = {
        {"get_milli_volt", get_milli_volt, 0, 1136},
        {"get_milli_volt", get_milli_volt, 1, 1600},
        {"get_milli_volt", get_milli_volt, 2, 4800},
        {"get_temperature", get_temperature, 0, 60000},  // CPU: input 1
        {"get_temperature", get_temperature, 1, 45000},  // system: input 0
    };
    for (const auto& c : cases) {
        int value = -1;
        EXPECT_EQ(read(c.query, c.index, &value), 0) << c.query_name << c.index << printed_;
        EXPECT_EQ(value, c.value) << c.query_name << c.index;
    }
}

TEST_F(Sensors, RolesOutsideTheModelOrTheTablesAreRefusedUntouched) {
    const struct {
        const char* query_name;
        RoleQuery query;
        std::string roles;
        int index;
        int status;
    } cases[] = {
        {"volt", get_milli_volt, kRoles, 3, ERR_RANGE},
        {"volt", get_milli_volt, kRoles, -1, ERR_RANGE},
        {"volt", get_milli_volt, kRoles, -2147483647 - 1, ERR_RANGE},
        {"volt", get_milli_volt, "Volt = 9\n" + kRoles.substr(9), 3, ERR_RANGE},  // no 4th role
        {"volt", get_milli_volt, "Volt = 2\n" + kRoles.substr(9), 2, ERR_RANGE},
        {"temp", get_temperature, kRoles, 2, ERR_RANGE},
        {"temp", get_temperature, "Temp = 1\nVolt = 3\nT_SYSTEM_Index = 0\n", 1, ERR_RANGE},
        {"temp", get_temperature, "Temp = 7\nT_CPU_Index = 1\nT_SYSTEM_Index = 0\n", 2, ERR_RANGE},
        {"volt", get_milli_volt, "Temp = 2\nV_CPU_Index = 0\n", 0, ERR_PROFILE_VALUE},
        {"volt", get_milli_volt, "Volt = -3\nV_CPU_Index = 0\n", 0, ERR_PROFILE_VALUE},
        {"temp", get_temperature, "Temp = 2\nT_CPU_Index = 1\n", 1, ERR_PROFILE_VALUE},
        {"volt", get_milli_volt, "Volt = 3\nV_DRAM_Index = -1\n", 1, ERR_PROFILE_VALUE},
    };
    for (const auto& c : cases) {
        int value = 42;
        EXPECT_EQ(read(c.query, c.index, &value, c.roles), c.status)
            << c.query_name << c.index << "\n"
            << c.roles;
        EXPECT_EQ(value, 42);
    }
    EXPECT_TRUE(chip_->accesses.empty()) << "no sensor is read for a refused role";
    EXPECT_EQ(read(get_milli_volt, 0, nullptr), ERR_RANGE);
    EXPECT_EQ(read(get_temperature, 0, nullptr), ERR_RANGE);
}

TEST_F(Sensors, FailuresBelowBecomeTheirStatus) {
    int value = 42;
    // The role's input has no label in the profile: the reader fails.
    EXPECT_EQ(read(get_milli_volt, 0, &value, "Volt = 3\nV_CPU_Index = 7\n"), ERR_SENSOR);
    EXPECT_EQ(value, 42);

    remove_system_profile();
    for (const RoleQuery query : {get_milli_volt, get_temperature}) {
        int status = 0;
        printed_by([&] { status = query(0, &value); });
        EXPECT_EQ(status, ERR_PROFILE_LOAD);
    }
    unidentified_board();
    write_system_profile("[AB-1234]\n" + kRoles + kInputs);
    for (const RoleQuery query : {get_milli_volt, get_temperature}) {
        int status = 0;
        printed_by([&] { status = query(0, &value); });
        EXPECT_EQ(status, ERR_DEVICE_NAME);
    }
    EXPECT_EQ(value, 42);
}

}  // namespace
}  // namespace quorvik::sim
