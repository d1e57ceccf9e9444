// The temperature reader: signed register, digital thermal sensor through the
// model-specific registers, factor and offset, and the 8-bit result.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

constexpr std::uint32_t kReferenceMsr = 0x1A2;
constexpr std::uint32_t kReadoutMsr = 0x19C;

class TempTest : public SensorTest {
  protected:
    // Input 0 with the thermal sensor's two registers instead of a chip register.
    static SectionText with_msrs() {
        return board_section()
            .set("Tin0MSR", "0x1A2")
            .set("Tin0MSROffset", "0x19C")
            .erase("Tin0Idx");
    }
    // Register reads of the chip other than bank selection.
    std::vector<SuperIoChip::RegisterAccess> register_reads() {
        std::vector<SuperIoChip::RegisterAccess> reads;
        for (const auto& access : chip().accesses) {
            if (access.reg != chip().bank_register()) reads.push_back(access);
        }
        return reads;
    }
};

struct Scaled {
    std::uint8_t reading;
    const char* factor;  // nullptr: key missing
    const char* offset;
    long millidegrees;
};

class ScaledTest : public SensorTest, public testing::WithParamInterface<Scaled> {};

TEST_P(ScaledTest, SignedRegisterScaledIntoEightBitDegrees) {
    chip().set(0, 0x27, GetParam().reading);
    SectionText section = board_section();
    if (GetParam().factor != nullptr) section.set("Tin0Cof", GetParam().factor);
    if (GetParam().offset != nullptr) section.set("Tin0Off", GetParam().offset);
    const Reading reading = read(SensorTemp, profile(section));
    ASSERT_EQ(reading.status, SENSOR_OK);
    EXPECT_EQ(reading.text, "SYSTEM: " + std::to_string(GetParam().millidegrees));
}

INSTANTIATE_TEST_SUITE_P(
    Temp, ScaledTest,
    testing::Values(Scaled{0x2D, nullptr, nullptr, 45000}, Scaled{0xF6, nullptr, nullptr, -10000},
                    Scaled{0xC8, nullptr, nullptr, -56000}, Scaled{0x7F, nullptr, nullptr, 127000},
                    Scaled{0x80, nullptr, nullptr, -128000}, Scaled{100, "0.5", "2.0", 52000},
                    // -2.5 truncates toward zero.
                    Scaled{0xFD, nullptr, "0.5", -2000},
                    // 150 does not fit in 8 bits signed.
                    Scaled{100, "1.5", nullptr, -106000}, Scaled{0, nullptr, "300", 44000},
                    Scaled{10, "-1", nullptr, -10000},
                    // An empty offset reads as 0.0.
                    Scaled{100, nullptr, "", 100000}, Scaled{100, "1", "", 100000},
                    // Small factors that are not 0 still scale.
                    Scaled{100, "0.01", nullptr, 1000}, Scaled{100, "1e-9", "5", 5000},
                    // Beyond an int the low 8 bits still count: 3000000001 = 0xB2D05E01.
                    Scaled{1, "3000000001", nullptr, 1000}));

struct Thermal {
    std::uint64_t reference;
    std::optional<std::uint64_t> readout;  // nullopt: no offset register
    std::uint8_t reading;                  // chip register, without offset register
    long millidegrees;
};

class ThermalTest : public TempTest, public testing::WithParamInterface<Thermal> {};

TEST_P(ThermalTest, ReferenceMinusReadoutOrPlusSignedRegister) {
    board().msr[kReferenceMsr] = GetParam().reference;
    SectionText section = board_section().set("Tin0MSR", "0x1A2");
    if (GetParam().readout) {
        board().msr[kReadoutMsr] = *GetParam().readout;
        section = with_msrs();
    }
    chip().set(0, 0x27, GetParam().reading);
    const Reading reading = read(SensorTemp, profile(section));
    ASSERT_EQ(reading.status, SENSOR_OK);
    EXPECT_EQ(reading.text, "SYSTEM: " + std::to_string(GetParam().millidegrees));
    if (GetParam().readout) {
        EXPECT_EQ(board().msr_reads, (std::vector<off_t>{kReferenceMsr, kReadoutMsr}));
        EXPECT_TRUE(register_reads().empty()) << "no chip register is read";
    } else {
        EXPECT_EQ(board().msr_reads, (std::vector<off_t>{kReferenceMsr}));
        EXPECT_EQ(register_reads().size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Temp, ThermalTest,
    testing::Values(Thermal{0x640000, 0x370000, 0, 45000},
                    // Bits above 23 of the reference, and bit 23 of the readout, do not count.
                    Thermal{0xFFFFFFFFAB640000, 0xFFB70000, 0, 45000},
                    // Readout above the reference: 246 at the 8-bit step.
                    Thermal{0x640000, 0x6E0000, 0, -10000},
                    Thermal{0x640000, std::nullopt, 0xEC, 80000},
                    Thermal{0x640000, std::nullopt, 0x10, 116000},
                    Thermal{0x640000, std::nullopt, 0x00, 100000}));

TEST_F(TempTest, ThermalSensorStillSelectsTheBankOnABankedChip) {
    board().msr[kReferenceMsr] = 0x640000;
    board().msr[kReadoutMsr] = 0x370000;
    chip().bank_select = 0x80;
    const Reading reading = read(SensorTemp, profile(with_msrs().set("Tin0Bnk", "1")));
    EXPECT_EQ(reading.text, "SYSTEM: 45000");
    EXPECT_EQ(chip().bank_select, 0x81);
    EXPECT_TRUE(register_reads().empty());
}

TEST_F(TempTest, FactorAppliesToTheThermalReading) {
    board().msr[kReferenceMsr] = 0x640000;
    board().msr[kReadoutMsr] = 0x370000;
    const Reading reading =
        read(SensorTemp, profile(with_msrs().set("Tin0Cof", "0.5").set("Tin0Off", "-1")));
    EXPECT_EQ(reading.text, "SYSTEM: 21000");  // 45 x 0.5 - 1 = 21.5
}

TEST_F(TempTest, ReadoutWithoutChipRegisterNeedsNoRegisterKey) {
    board().msr[kReferenceMsr] = 0x640000;
    board().msr[kReadoutMsr] = 0x370000;
    EXPECT_EQ(read(SensorTemp, profile(with_msrs())).status, SENSOR_OK);
    // With the reference alone the chip register is needed again.
    const Reading reading =
        read(SensorTemp, profile(with_msrs().erase("Tin0MSROffset").erase("Tin0Idx")));
    EXPECT_EQ(reading.status, SENSOR_ERR_KEY);
}

struct ThermalFault {
    const char* name;
    std::function<void(Board&, SectionText&)> arrange;
    const char* printed;
    std::size_t msr_reads;
};

class ThermalFaults : public TempTest, public testing::WithParamInterface<ThermalFault> {};

TEST_P(ThermalFaults, FailBeforeAnyPortIsTouched) {
    board().msr[kReferenceMsr] = 0x640000;
    board().msr[kReadoutMsr] = 0x370000;
    SectionText section = with_msrs();
    GetParam().arrange(board(), section);
    const Reading reading = read(SensorTemp, profile(section));
    EXPECT_EQ(reading.status, SENSOR_ERR_VALUE);
    EXPECT_TRUE(reading.pointer_untouched);
    EXPECT_EQ(printed_, GetParam().printed);
    EXPECT_EQ(board().msr_reads.size(), GetParam().msr_reads);
    EXPECT_TRUE(board().permission_calls.empty());
    EXPECT_TRUE(board().port_log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Temp, ThermalFaults,
    testing::Values(
        ThermalFault{"DeviceMissing", [](Board& b, SectionText&) { b.fail_open_msr = true; },
                     "Can't open msr device\n", 0},
        ThermalFault{"DeviceMissingForTheReferenceAlone",
                     [](Board& b, SectionText& s) {
                         b.fail_open_msr = true;
                         s.erase("Tin0MSROffset").set("Tin0Idx", "0x27");
                     },
                     "Can't open msr device\n", 0},
        ThermalFault{"ShortRead", [](Board& b, SectionText&) { b.msr_read_limit = 4; }, "", 1},
        ThermalFault{"ReadoutRegisterNotServed",
                     [](Board& b, SectionText&) { b.msr.erase(kReadoutMsr); }, "", 2},
        ThermalFault{"ReferenceEmpty", [](Board&, SectionText& s) { s.set("Tin0MSR", ""); }, "", 0},
        ThermalFault{"ReadoutEmpty", [](Board&, SectionText& s) { s.set("Tin0MSROffset", ""); }, "",
                     1},
        ThermalFault{"ReadoutWithoutReference", [](Board&, SectionText& s) { s.erase("Tin0MSR"); },
                     "", 0},
        ThermalFault{"ReferenceRegisterZero", [](Board&, SectionText& s) { s.set("Tin0MSR", "0"); },
                     "", 0},
        ThermalFault{"ReadoutRegisterZero",
                     [](Board&, SectionText& s) { s.set("Tin0MSROffset", "0x0"); }, "", 1},
        ThermalFault{"FactorNotFinite", [](Board&, SectionText& s) { s.set("Tin0Cof", "inf"); }, "",
                     2},
        // A factor of 0 would read every temperature as 0 degrees.
        ThermalFault{"FactorEmpty", [](Board&, SectionText& s) { s.set("Tin0Cof", ""); }, "", 2},
        ThermalFault{"FactorZero", [](Board&, SectionText& s) { s.set("Tin0Cof", "0"); }, "", 2},
        ThermalFault{"FactorZeroInDecimals",
                     [](Board&, SectionText& s) { s.set("Tin0Cof", "-0.000"); }, "", 2},
        ThermalFault{"FactorNotANumber", [](Board&, SectionText& s) { s.set("Tin0Cof", "half"); },
                     "", 2},
        ThermalFault{"OffsetNotANumber", [](Board&, SectionText& s) { s.set("Tin0Off", "nan"); },
                     "", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TempTest, ScaledValueBeyondADoubleFailsAfterTheReading) {
    chip().set(0, 0x27, 100);
    const Reading reading = read(SensorTemp, profile(board_section().set("Tin0Cof", "1e308")));
    EXPECT_EQ(reading.status, SENSOR_ERR_VALUE);
    EXPECT_TRUE(reading.pointer_untouched);
}

TEST_F(TempTest, ZeroFactorOnAChipRegisterTouchesNoPort) {
    chip().set(0, 0x27, 45);
    for (const char* factor : {"", "0", "0x0", "0.0"}) {
        SCOPED_TRACE(factor);
        const Reading reading = read(SensorTemp, profile(board_section().set("Tin0Cof", factor)));
        EXPECT_EQ(reading.status, SENSOR_ERR_VALUE);
        EXPECT_TRUE(reading.pointer_untouched);
    }
    EXPECT_TRUE(board().permission_calls.empty());
    EXPECT_TRUE(board().port_log.empty());
}

TEST_F(TempTest, RegisterKeyFaults) {
    EXPECT_EQ(read(SensorTemp, profile(board_section().erase("Tin0Idx"))).status, SENSOR_ERR_KEY);
    EXPECT_EQ(read(SensorTemp, profile(board_section().set("Tin0Idx", ""))).status,
              SENSOR_ERR_VALUE);
    EXPECT_TRUE(board().port_log.empty());
}

}  // namespace
}  // namespace quorvik::sim
