// Profile numbers that do not fit: every reader and count query refuses them
// before any port or register is touched, where a wrapped value once raised
// the permission of port 0 or read a fan at a negative speed. Each key with
// one such value here; the numbers' every form: tests/common/number_test.cpp.
#include <string>

#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

// 2^32 + 0x295: wrapped to int, the chip's own index port.
constexpr char kBeyondInt[] = "4294967957";

TEST_F(SensorTest, NumbersBeyondIntAreRefusedBeforeAnyPortIsTouched) {
    const struct {
        Reader reader;
        const char* key;
    } keys[] = {
        {SensorVolt, "Index"},   {SensorFan, "Data"},      {SensorVolt, "Vin0Idx"},
        {SensorVolt, "Vin0Bnk"}, {SensorVolt, "Vin0Cof"},  {SensorTemp, "Tin0Idx"},
        {SensorTemp, "Tin0Bnk"}, {SensorFan, "Fin0MSB"},   {SensorFan, "Fin0LSB"},
        {SensorFan, "Fin0Bnk"},  {SensorFan, "Fin0Count"},
    };
    for (const auto& k : keys) {
        const Reading reading = read(k.reader, profile(board_section().set(k.key, kBeyondInt)));
        EXPECT_EQ(reading.status, SENSOR_ERR_VALUE) << k.key;
        EXPECT_TRUE(reading.pointer_untouched) << k.key;
        EXPECT_TRUE(board().permission_calls.empty()) << k.key;
        EXPECT_TRUE(board().port_log.empty()) << k.key;
        EXPECT_EQ(printed_, "") << k.key;
    }
}

// Register numbers are 32-bit unsigned: only what lies beyond 32 bits would
// wrap into another register.
TEST_F(SensorTest, RegisterNumbersBeyond32BitsAreRefusedBeforeAnyRegisterIsRead) {
    board().msr[0x1A2] = 0x640000;
    board().msr[0x19C] = 0x370000;
    for (const char* key : {"Tin0MSR", "Tin0MSROffset"}) {
        SectionText section = board_section().set("Tin0MSR", "0x1A2").set("Tin0MSROffset", "0x19C");
        const Reading reading = read(SensorTemp, profile(section.set(key, "0x1000001A2")));
        EXPECT_EQ(reading.status, SENSOR_ERR_VALUE) << key;
        EXPECT_TRUE(reading.pointer_untouched) << key;
        EXPECT_TRUE(board().port_log.empty()) << key;
        for (const off_t reg : board().msr_reads) EXPECT_LT(reg, 0x1A3) << key;
    }
}

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

TEST_F(SensorTest, CountsBeyondIntAreRefusedWithTheTextUntouched) {
    const struct {
        int (*query)(const char*, const char*, char**);
        const char* key;
    } counts[] = {{SensorVoltQuery, "Volt"}, {SensorTempQuery, "Temp"}, {SensorFanQuery, "Fan"}};
    for (const auto& count : counts) {
        const std::string path = profile(SectionText("kt-500r").set(count.key, "4294967297"));
        static char sentinel;
        char* text = &sentinel;
        EXPECT_EQ(count.query(path.c_str(), "KT-500R", &text), SENSOR_ERR_VALUE) << count.key;
        EXPECT_EQ(text, &sentinel) << count.key;
    }
}

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
