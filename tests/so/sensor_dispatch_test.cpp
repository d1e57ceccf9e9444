// GetSensorValueByType end to end: an identified simulated board, the
// system's profile at its fixed path, and the chip behind the ports.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "bios_builder.h"
#include "private_mounts.h"
#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

constexpr char kIopermFail[] = "Error: ioperm() fail\r\n";
const std::vector<PermissionCall> kSmiPair{{0xB2, 1, 1}, {0xB2, 1, 0}};

class DispatchTest : public SensorTest {
  protected:
    void SetUp() override {
        SensorTest::SetUp();
        std::memset(Model_str, 0, sizeof Model_str);
        PlatformInfo_Flag = 0;
    }
    void TearDown() override {
        SensorTest::TearDown();
        std::memset(Model_str, 0, sizeof Model_str);
        PlatformInfo_Flag = 0;
    }

    // Identifies the board as model, then forgets what identification did.
    void identify(const std::string& model = "KT-500R") {
        install(insyde_board(model, "R1.05", "SN1"));
        ASSERT_EQ(PlatformInfo(), 0);
        board().permission_calls.clear();
    }

    // The chip's voltage input 0 reads 142 (1136 mV at 8 mV per count).
    void arrange_voltage() { chip().set(0, 0x20, 142); }

    int dispatch(const char* model, unsigned long type, long input, int& value) {
        int result = -1;
        printed_ = printed_by([&] { result = GetSensorValueByType(model, type, input, &value); });
        return result;
    }
};

TEST_F(DispatchTest, ReadsEveryTypeWithinTheSmiPortPermission) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    identify();
    write_system_profile(board_section().text());
    arrange_voltage();
    chip().set(0, 0x27, 0xF6);
    chip().set(0, 0x28, 0x05);
    chip().set(0, 0x29, 0x46);
    const struct {
        unsigned long type;
        int value;
    } cases[] = {{SENSOR_VOLT, 1136}, {SENSOR_TEMP, -10000}, {SENSOR_FAN, 1000}};
    for (const auto& c : cases) {
        board().permission_calls.clear();
        int value = 7;
        EXPECT_EQ(dispatch("KT-500R", c.type, 0, value), 1) << printed_;
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(printed_, "");
        const auto& calls = board().permission_calls;
        ASSERT_EQ(calls.size(), 6u);
        EXPECT_EQ(calls.front(), kSmiPair.front());
        EXPECT_EQ(calls.back(), kSmiPair.back());
    }
}

struct Label {
    std::string label;
    const char* factor;
    int result;
    int value;  // 99: untouched
};

class DispatchLabels : public DispatchTest, public testing::WithParamInterface<Label> {};

TEST_P(DispatchLabels, ValueFollowsTheLastSeparator) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    identify();
    write_system_profile(
        board_section().set("Vin0Str", GetParam().label).set("Vin0Cof", GetParam().factor).text());
    arrange_voltage();
    int value = 99;
    EXPECT_EQ(dispatch("KT-500R", SENSOR_VOLT, 0, value), GetParam().result);
    EXPECT_EQ(value, GetParam().value);
    EXPECT_EQ(calls_for(0xB2), kSmiPair);
}

INSTANTIATE_TEST_SUITE_P(
    Sensors, DispatchLabels,
    testing::Values(Label{"VCORE", "8", 1, 1136}, Label{"", "8", 1, 1136},
                    Label{"VCORE", "-8", 1, -1136},
                    // Labels of several words, or with the separator in them.
                    Label{"CPU Core Voltage", "8", 1, 1136}, Label{"A: B", "8", 1, 1136},
                    Label{"Core:", "8", 1, 1136},
                    // The first word, colon included, must fit the 40-byte scratch.
                    Label{std::string(38, 'W'), "8", 1, 1136},
                    Label{std::string(39, 'W'), "8", 0, 99},
                    Label{std::string(40, 'W') + " V", "8", 0, 99},
                    Label{"V " + std::string(60, 'W'), "8", 1, 1136}));

TEST_F(DispatchTest, OtherModelNamesAreRefusedBeforeAnythingHappens) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    identify();
    write_system_profile(board_section().text());
    const std::vector<std::string> models{"kt-500r",
                                          "KT-500",
                                          "KT-500R ",
                                          "",
                                          std::string(45, 'K'),
                                          "KT-500R" + std::string(40, 'X')};
    for (const auto& model : models) {
        int value = 99;
        EXPECT_EQ(dispatch(model.c_str(), SENSOR_VOLT, 0, value), 0) << model;
        EXPECT_EQ(printed_, "product input error<KT-500R>\r\n");
        EXPECT_EQ(value, 99);
    }
    EXPECT_TRUE(board().permission_calls.empty());
    EXPECT_TRUE(board().port_log.empty());
}

TEST_F(DispatchTest, NothingIsReadBeforeTheBoardIsIdentified) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    write_system_profile(board_section().text());
    int value = 99;
    EXPECT_EQ(dispatch("KT-500R", SENSOR_VOLT, 0, value), 0);
    EXPECT_EQ(printed_, "product input error<>\r\n");
    EXPECT_TRUE(board().permission_calls.empty());
}

TEST_F(DispatchTest, UnknownTypesOnlyRaiseAndDropThePermission) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    identify();
    write_system_profile(board_section().text());
    for (unsigned long type : {3ul, 100ul, ULONG_MAX}) {
        board().permission_calls.clear();
        int value = 99;
        EXPECT_EQ(dispatch("KT-500R", type, 0, value), 0);
        EXPECT_EQ(value, 99);
        EXPECT_EQ(board().permission_calls, kSmiPair);
    }
    EXPECT_TRUE(board().port_log.empty());
}

TEST_F(DispatchTest, FailedReaderLeavesTheValue) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    identify();
    write_system_profile(board_section().text());
    int value = 99;
    EXPECT_EQ(dispatch("KT-500R", SENSOR_VOLT, 5, value), 0);  // no Vin5Str
    EXPECT_EQ(value, 99);
    EXPECT_EQ(board().permission_calls, kSmiPair);
    remove_system_profile();
    board().permission_calls.clear();
    testing::internal::CaptureStderr();  // iniparser's complaint
    EXPECT_EQ(dispatch("KT-500R", SENSOR_VOLT, 0, value), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(board().permission_calls, kSmiPair);
}

TEST_F(DispatchTest, RefusedSmiPermissionDoesNotStopTheReading) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    identify();
    write_system_profile(board_section().text());
    arrange_voltage();
    board().ioperm_result = [](const PermissionCall& c) {
        return c.from == 0xB2 && c.turn_on ? -1 : 0;
    };
    int value = 99;
    EXPECT_EQ(dispatch("KT-500R", SENSOR_VOLT, 0, value), 1);
    EXPECT_EQ(printed_, kIopermFail);
    EXPECT_EQ(value, 1136);
}

TEST_F(DispatchTest, InputNumberIsNarrowedToAnInt) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    identify();
    write_system_profile(board_section()
                             .set("Vin1Str", "V1")
                             .set("Vin1Bnk", "0")
                             .set("Vin1Idx", "0x21")
                             .set("Vin1Cof", "1")
                             .text());
    chip().set(0, 0x21, 42);
    int value = 0;
    EXPECT_EQ(dispatch("KT-500R", SENSOR_VOLT, (1L << 32) + 1, value), 1);
    EXPECT_EQ(value, 42);
}

TEST_F(DispatchTest, NullArgumentsAreRefusedQuietly) {
    identify();
    int value = 99;
    EXPECT_EQ(dispatch(nullptr, SENSOR_VOLT, 0, value), 0);
    printed_ = printed_by([&] { EXPECT_EQ(GetSensorValueByType("KT-500R", 1, 0, nullptr), 0); });
    EXPECT_EQ(printed_, "");
    EXPECT_TRUE(board().permission_calls.empty());
}

}  // namespace
}  // namespace quorvik::sim
