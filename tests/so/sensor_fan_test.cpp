// The fan reader: a dividend over the 16-bit count in two registers.
#include <string>
#include <vector>

#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

class FanTest : public SensorTest {};

struct FanValue {
    std::uint8_t high;
    std::uint8_t low;
    const char* dividend;
    int value;
};

class FanValueTest : public SensorTest, public testing::WithParamInterface<FanValue> {};

TEST_P(FanValueTest, DividendOverTheFanCount) {
    chip().set(0, 0x28, GetParam().high);
    chip().set(0, 0x29, GetParam().low);
    const Reading reading =
        read(SensorFan, profile(board_section().set("Fin0Count", GetParam().dividend)));
    ASSERT_EQ(reading.status, SENSOR_OK);
    EXPECT_EQ(reading.text, "SYSFAN: " + std::to_string(GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(
    Fan, FanValueTest,
    testing::Values(FanValue{0x05, 0x46, "1350000", 1000}, FanValue{0x01, 0x00, "1350000", 5273},
                    FanValue{0xFF, 0xFF, "1350000", 20},
                    // A stopped fan: no division, value 0.
                    FanValue{0x00, 0x00, "1350000", 0}, FanValue{0x05, 0x46, "0x149970", 1000},
                    FanValue{0x05, 0x46, "-1350000", -1000}, FanValue{0x00, 0x07, "100", 14}));

TEST_F(FanTest, LowRegisterIsReadBeforeTheHighOne) {
    use_chip(false);
    chip().set(0, 0x28, 0x05);
    chip().set(0, 0x29, 0x46);
    const Reading reading = read(SensorFan, profile(board_section().set("Sio", "NCT6776")));
    EXPECT_EQ(reading.text, "SYSFAN: 1000");
    const std::vector<PortAccess> sequence{
        {PortAccess::Out, kIndexPort, 0x29},
        {PortAccess::In, kDataPort, 0x46},
        {PortAccess::Out, kIndexPort, 0x28},
        {PortAccess::In, kDataPort, 0x05},
    };
    EXPECT_EQ(board().port_log, sequence);
}

struct FanFault {
    const char* name;
    const char* key;
    const char* value;  // nullptr: key missing
    int status;
};

class FanKeyFaults : public SensorTest, public testing::WithParamInterface<FanFault> {};

TEST_P(FanKeyFaults, EndTheReadingBeforeAnyPortIsTouched) {
    SectionText section = board_section();
    if (GetParam().value != nullptr) {
        section.set(GetParam().key, GetParam().value);
    } else {
        section.erase(GetParam().key);
    }
    const Reading reading = read(SensorFan, profile(section));
    EXPECT_EQ(reading.status, GetParam().status);
    EXPECT_TRUE(reading.pointer_untouched);
    EXPECT_TRUE(board().port_log.empty());
    EXPECT_TRUE(board().permission_calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Fan, FanKeyFaults,
    testing::Values(FanFault{"HighMissing", "Fin0MSB", nullptr, SENSOR_ERR_KEY},
                    FanFault{"HighEmpty", "Fin0MSB", "", SENSOR_ERR_VALUE},
                    FanFault{"LowMissing", "Fin0LSB", nullptr, SENSOR_ERR_KEY},
                    FanFault{"LowEmpty", "Fin0LSB", "", SENSOR_ERR_VALUE},
                    // No dividend is a value fault, missing key or not.
                    FanFault{"DividendMissing", "Fin0Count", nullptr, SENSOR_ERR_VALUE},
                    FanFault{"DividendEmpty", "Fin0Count", "", SENSOR_ERR_VALUE}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvik::sim
