// Profile numbers that do not fit an int: every reader and count query
// refuses them before any port is touched, where a wrapped value once raised
// the permission of port 0 or read a fan at a negative speed.
#include <string>
#include <vector>

#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

// Texts whose value lies beyond an int, each in a form strtol accepts.
const char* const kHostile[] = {
    "4294967296",            // 2^32: wraps to 0
    "4294967957",            // 2^32 + 0x295: wraps to the chip's index port
    "2147483648",            // INT_MAX + 1
    "-2147483649",           // INT_MIN - 1
    "0x100000295",           // hexadecimal
    "040000001225",          // octal 2^32 + 0x295
    "99999999999999999999",  // beyond a long as well
    "4294967297 ; comment",  // trailing text after the number
};

struct HostileKey {
    const char* name;
    Reader reader;
    const char* key;
};

// One key of each kind, through the reader that reads it.
const HostileKey kKeys[] = {
    {"IndexPort", SensorVolt, "Index"},       {"DataPort", SensorFan, "Data"},
    {"VoltRegister", SensorVolt, "Vin0Idx"},  {"VoltBank", SensorVolt, "Vin0Bnk"},
    {"VoltFactor", SensorVolt, "Vin0Cof"},    {"TempRegister", SensorTemp, "Tin0Idx"},
    {"TempBank", SensorTemp, "Tin0Bnk"},      {"FanHighRegister", SensorFan, "Fin0MSB"},
    {"FanLowRegister", SensorFan, "Fin0LSB"}, {"FanBank", SensorFan, "Fin0Bnk"},
    {"FanDividend", SensorFan, "Fin0Count"},
};

class HostileNumbers : public SensorTest,
                       public testing::WithParamInterface<std::tuple<HostileKey, const char*>> {};

TEST_P(HostileNumbers, AreRefusedBeforeAnyPortIsTouched) {
    const auto& [key, value] = GetParam();
    const Reading reading = read(key.reader, profile(board_section().set(key.key, value)));
    EXPECT_EQ(reading.status, SENSOR_ERR_VALUE);
    EXPECT_TRUE(reading.pointer_untouched);
    EXPECT_TRUE(board().permission_calls.empty());
    EXPECT_TRUE(board().port_log.empty());
    EXPECT_EQ(printed_, "");
}

INSTANTIATE_TEST_SUITE_P(Sensors, HostileNumbers,
                         testing::Combine(testing::ValuesIn(kKeys), testing::ValuesIn(kHostile)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::to_string(info.index);
                         });

// Register numbers are 32-bit unsigned: only what lies beyond 32 bits would
// wrap into another register.
const char* const kBeyond32Bits[] = {"4294967296", "0x1000001A2", "-2147483649",
                                     "99999999999999999999", "4294967714 ; comment"};

class HostileMsrNumbers : public SensorTest,
                          public testing::WithParamInterface<std::tuple<const char*, const char*>> {
};

TEST_P(HostileMsrNumbers, AreRefusedBeforeAnyRegisterIsRead) {
    const auto& [key, value] = GetParam();
    board().msr[0x1A2] = 0x640000;
    board().msr[0x19C] = 0x370000;
    SectionText section = board_section().set("Tin0MSR", "0x1A2").set("Tin0MSROffset", "0x19C");
    const Reading reading = read(SensorTemp, profile(section.set(key, value)));
    EXPECT_EQ(reading.status, SENSOR_ERR_VALUE);
    EXPECT_TRUE(reading.pointer_untouched);
    EXPECT_TRUE(board().port_log.empty());
    for (const off_t reg : board().msr_reads) EXPECT_LT(reg, 0x1A3);
}

INSTANTIATE_TEST_SUITE_P(Sensors, HostileMsrNumbers,
                         testing::Combine(testing::Values("Tin0MSR", "Tin0MSROffset"),
                                          testing::ValuesIn(kBeyond32Bits)));

// AMD's thermal registers lie above 0x7FFFFFFF and read as given.
TEST_F(SensorTest, RegisterNumberAboveIntReadsThatRegister) {
    board().msr[0xC0010299] = 0x500000;  // reference 80
    board().msr[0xC001029A] = 0x140000;  // 20 below it
    const Reading reading = read(
        SensorTemp,
        profile(board_section().set("Tin0MSR", "0xC0010299").set("Tin0MSROffset", "3221291674")));
    EXPECT_EQ(reading.status, SENSOR_OK);
    EXPECT_EQ(reading.text, "SYSTEM: 60000");
}

using CountQuery = int (*)(const char*, const char*, char**);

struct CountKey {
    const char* name;
    CountQuery query;
    const char* key;
};

const CountKey kCountKeys[] = {{"Volt", SensorVoltQuery, "Volt"},
                               {"Temp", SensorTempQuery, "Temp"},
                               {"Fan", SensorFanQuery, "Fan"}};

class HostileCounts : public SensorTest,
                      public testing::WithParamInterface<std::tuple<CountKey, const char*>> {};

TEST_P(HostileCounts, AreRefusedWithTheTextUntouched) {
    const auto& [count, value] = GetParam();
    const std::string path = profile(SectionText("kt-500r").set(count.key, value));
    static char sentinel;
    char* text = &sentinel;
    EXPECT_EQ(count.query(path.c_str(), "KT-500R", &text), SENSOR_ERR_VALUE);
    EXPECT_EQ(text, &sentinel);
}

INSTANTIATE_TEST_SUITE_P(Sensors, HostileCounts,
                         testing::Combine(testing::ValuesIn(kCountKeys),
                                          testing::ValuesIn(kHostile)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::to_string(info.index);
                         });

// The largest dividend that fits still divides as before.
TEST_F(SensorTest, LargestFanDividendStillReads) {
    chip().set(0, 0x28, 0x00);
    chip().set(0, 0x29, 0x02);
    const Reading reading =
        read(SensorFan, profile(board_section().set("Fin0Count", "0x7FFFFFFF")));
    EXPECT_EQ(reading.status, SENSOR_OK);
    EXPECT_EQ(reading.text, "SYSFAN: 1073741823");
}

}  // namespace
}  // namespace quorvik::sim
