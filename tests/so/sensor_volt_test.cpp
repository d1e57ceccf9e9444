// The voltage reader: millivolts from one register and the input's factor.
#include <string>
#include <vector>

#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

class VoltTest : public SensorTest {};

struct Millivolts {
    std::uint8_t reading;
    const char* factor;
    long millivolts;
};

class MillivoltTest : public SensorTest, public testing::WithParamInterface<Millivolts> {};

TEST_P(MillivoltTest, ReadingTimesFactorThroughVoltsAndBack) {
    chip().set(0, 0x20, GetParam().reading);
    const Reading reading =
        read(SensorVolt, profile(board_section().set("Vin0Cof", GetParam().factor)));
    ASSERT_EQ(reading.status, SENSOR_OK);
    EXPECT_EQ(reading.text, "VCORE: " + std::to_string(GetParam().millivolts));
}

INSTANTIATE_TEST_SUITE_P(Volt, MillivoltTest,
                         testing::Values(Millivolts{150, "8", 1200}, Millivolts{0, "8", 0},
                                         // The trip through volts in double loses one millivolt on
                                         // some products and not on others.
                                         Millivolts{143, "7", 1000}, Millivolts{17, "59", 1002},
                                         Millivolts{143, "14", 2001}, Millivolts{125, "8", 1000},
                                         Millivolts{167, "6", 1002}, Millivolts{142, "8", 1136},
                                         Millivolts{143, "-7", -1000},
                                         Millivolts{255, "0x10", 4080},
                                         Millivolts{255, "010", 2040},
                                         // The largest products that still fit an int, either sign.
                                         Millivolts{255, "8421504", 2147483520},
                                         Millivolts{255, "-8421504", -2147483520}));

struct Overflow {
    std::uint8_t reading;
    const char* factor;
};

class ProductOverflow : public SensorTest, public testing::WithParamInterface<Overflow> {};

TEST_P(ProductOverflow, IsNoReading) {
    chip().set(0, 0x20, GetParam().reading);
    const Reading reading =
        read(SensorVolt, profile(board_section().set("Vin0Cof", GetParam().factor)));
    EXPECT_EQ(reading.status, SENSOR_ERR_VALUE);
    EXPECT_TRUE(reading.pointer_untouched);
    // The register was read (the product needs it) and the permission dropped.
    ASSERT_FALSE(chip().accesses.empty());
    EXPECT_EQ(chip().accesses.back().reg, 0x20);
    EXPECT_EQ(board().permission_calls.size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(
    Volt, ProductOverflow,
    testing::Values(  // 255 x 16843010 = 2^32 + 254, which once read as 254 mV.
        Overflow{255, "16843010"}, Overflow{255, "8421505"}, Overflow{255, "-8421505"},
        Overflow{2, "0x40000000"}, Overflow{2, "-1073741825"}, Overflow{128, "2147483647"}));

TEST_F(VoltTest, FactorTooLargeForAnyReadingStillReadsAZeroRegister) {
    // The factor itself fits an int; only the product decides.
    chip().set(0, 0x20, 0);
    const Reading reading = read(SensorVolt, profile(board_section().set("Vin0Cof", "2147483647")));
    EXPECT_EQ(reading.status, SENSOR_OK);
    EXPECT_EQ(reading.text, "VCORE: 0");
}

TEST_F(VoltTest, WholeReadingOnTheBankedChip) {
    chip().bank_select = 0x80;
    chip().set(2, 0x20, 150);
    const Reading reading = read(SensorVolt, profile(board_section().set("Vin0Bnk", "2")));
    EXPECT_EQ(reading.text, "VCORE: 1200");
    const std::vector<PortAccess> sequence{
        {PortAccess::Out, kIndexPort, 0x4E}, {PortAccess::In, kDataPort, 0x80},
        {PortAccess::Out, kDataPort, 0x82},  {PortAccess::Out, kIndexPort, 0x20},
        {PortAccess::In, kDataPort, 150},
    };
    EXPECT_EQ(board().port_log, sequence);
}

struct BankSelect {
    std::uint8_t before;
    const char* bank;
    std::uint8_t after;
};

class BankSelectTest : public SensorTest,
                       public testing::WithParamInterface<std::tuple<BankSelect, const char*>> {};

TEST_P(BankSelectTest, KeepsBitsSevenToThreeAndSetsTheBank) {
    const auto& [select, chip_name] = GetParam();
    chip().bank_select = select.before;
    chip().set(select.after & 7, 0x20, 150);
    const Reading reading = read(
        SensorVolt, profile(board_section().set("Sio", chip_name).set("Vin0Bnk", select.bank)));
    EXPECT_EQ(reading.status, SENSOR_OK);
    EXPECT_EQ(reading.text, "VCORE: 1200") << "read from the selected bank";
    EXPECT_EQ(chip().bank_select, select.after);
}

INSTANTIATE_TEST_SUITE_P(
    Volt, BankSelectTest,
    testing::Combine(testing::Values(BankSelect{0x80, "2", 0x82}, BankSelect{0x87, "0", 0x80},
                                     BankSelect{0x05, "7", 0x07}, BankSelect{0xFA, "1", 0xF9},
                                     // An empty bank value reads as bank 0.
                                     BankSelect{0x83, "", 0x80}),
                     testing::Values("W83627DHG", "W83627EHF")));

struct KeyFault {
    const char* name;
    const char* idx;  // nullptr: key missing
    const char* cof;
    int status;
};

class VoltKeyFaults : public SensorTest, public testing::WithParamInterface<KeyFault> {};

TEST_P(VoltKeyFaults, RegisterBeforeFactorAndNoPortTouched) {
    SectionText section = board_section();
    const auto apply = [&](const char* key, const char* value) {
        if (value != nullptr) {
            section.set(key, value);
        } else {
            section.erase(key);
        }
    };
    apply("Vin0Idx", GetParam().idx);
    apply("Vin0Cof", GetParam().cof);
    const Reading reading = read(SensorVolt, profile(section));
    EXPECT_EQ(reading.status, GetParam().status);
    EXPECT_TRUE(reading.pointer_untouched);
    EXPECT_TRUE(board().port_log.empty());
    EXPECT_TRUE(board().permission_calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Volt, VoltKeyFaults,
    testing::Values(KeyFault{"RegisterMissing", nullptr, "", SENSOR_ERR_KEY},
                    KeyFault{"RegisterEmpty", "", nullptr, SENSOR_ERR_VALUE},
                    KeyFault{"FactorMissing", "0x20", nullptr, SENSOR_ERR_KEY},
                    KeyFault{"FactorEmpty", "0x20", "", SENSOR_ERR_VALUE},
                    KeyFault{"FactorZero", "0x20", "0", SENSOR_ERR_VALUE},
                    KeyFault{"FactorZeroInHex", "0x20", "0x0", SENSOR_ERR_VALUE},
                    KeyFault{"FactorNotANumber", "0x20", "eight", SENSOR_ERR_VALUE}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvik::sim
