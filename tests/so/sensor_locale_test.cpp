// Readings in a host that chose a locale with a decimal comma: the profile's
// numbers and the dispatch's parse of the reader text read exactly as in the
// "C" locale (the numbers' every form: tests/common/number_test.cpp).
#include <clocale>
#include <string>

#include "bios_builder.h"
#include "comma_locale.h"
#include "private_mounts.h"
#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

TEST_F(SensorTest, DispatchReadsTheValueInADecimalCommaLocale) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    const std::string why = provide_comma_locale();
    if (!why.empty()) GTEST_SKIP() << "decimal-comma locale case skipped: " << why;
    struct FreshIdentity {
        FreshIdentity() { forget_identity(); }
        ~FreshIdentity() { forget_identity(); }
    } fresh;
    install(insyde_board("KT-500R", "R1.05", "SN1"));
    write_system_profile(board_section().set("Tin0Cof", "1.5").set("Tin0Off", "-0.5").text());
    chip().set(0, 0x27, 30);
    HostLocale host(kCommaLocale);
    ASSERT_TRUE(host.ok());
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "not a decimal-comma locale";
    char model[128] = {};
    int value = 0;
    printed_ = printed_by([&] {
        ASSERT_EQ(GetDeviceName(model), 1);
        EXPECT_EQ(GetSensorValueByType(model, SENSOR_TEMP, 0, &value), 1);
    });
    EXPECT_EQ(value, 44000);  // 30 x 1.5 - 0.5 = 44.5
}

}  // namespace
}  // namespace quorvik::sim
