// quorvik-info's sensor section on the simulated board. The tool links the
// real libQuorvikSO, so its section's source is compiled in here against the
// simulated one.
#include "../../tools/info_sensors.cpp"

#include <cstring>
#include <string>

#include "bios_builder.h"
#include "private_mounts.h"
#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

class InfoSensors : public SensorTest {
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
};

TEST_F(InfoSensors, EveryDeclaredInputWithLabelAndUnitOrItsStatus) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    install(insyde_board("KT-500R", "R1.05", "SN1"));
    write_system_profile(board_section()
                             .set("Volt", "2")
                             .set("Temp", "2")
                             .set("Tin1Str", std::string(45, 'T'))  // no room in the dispatch
                             .set("Tin1Bnk", "0")
                             .set("Tin1Idx", "0x27")
                             .text());
    chip().set(0, 0x20, 142);
    chip().set(0, 0x27, 0xF6);
    const std::string printed = printed_by([] { info::report_sensors(); });
    EXPECT_EQ(printed,
              "\nSensors (profile /etc/quorvik/DeviceProfile.ini)\n"
              "Voltage inputs      2\n"
              "  Vin0   VCORE            1136 mV\n"
              "  Vin1   unavailable (SENSOR_ERR_KEY, -4)\n"
              "Temperature inputs  2\n"
              "  Tin0   SYSTEM           -10.000 °C\n"
              "  Tin1   " +
                  std::string(45, 'T') +
                  " unavailable (GetSensorValueByType refused the reading)\n"
                  "Fan inputs          unavailable (SENSOR_ERR_KEY, -4)\n");
}

TEST_F(InfoSensors, UnidentifiedBoardSaysSoAndReadsNothing) {
    board().ioperm_result = [](const PermissionCall&) { return -1; };
    const std::string printed = printed_by([] { info::report_sensors(); });
    EXPECT_NE(printed.find("this\nboard could not be identified"), std::string::npos) << printed;
    EXPECT_TRUE(board().port_log.empty());
    EXPECT_EQ(board().permission_calls.size(), 1u) << "only identification's own attempt";
}

}  // namespace
}  // namespace quorvik::sim
