// Readings in a host that chose a locale with a decimal comma: every profile
// number and the dispatch's parse of the reader text read exactly as in the
// "C" locale. The German locale is the machine's own when it is installed,
// or else generated for this test into a private directory (LOCPATH); when
// neither works the locale cases are skipped, saying so.
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bios_builder.h"
#include "private_mounts.h"
#include "sensor_fixture.h"

namespace quorvik::sim {
namespace {

constexpr char kCommaLocale[] = "de_DE.UTF-8";

// Makes kCommaLocale usable by setlocale; an empty text when it is, else why not.
std::string provide_comma_locale() {
    static const std::string failure = [] {
        if (std::setlocale(LC_ALL, kCommaLocale) != nullptr) {
            std::setlocale(LC_ALL, "C");
            return std::string();
        }
        char dir[] = "/tmp/quorvik-locale-XXXXXX";
        if (::mkdtemp(dir) == nullptr) return std::string("no directory for the locale");
        const std::string command = std::string("localedef -i de_DE -f UTF-8 ") + dir + "/" +
                                    kCommaLocale + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            std::filesystem::remove_all(dir);
            return std::string(
                "de_DE.UTF-8 is not installed and localedef could not make it "
                "(Debian package locales)");
        }
        ::setenv("LOCPATH", dir, 1);
        if (std::setlocale(LC_ALL, kCommaLocale) == nullptr) return std::string("locale unusable");
        std::setlocale(LC_ALL, "C");
        return std::string();
    }();
    return failure;
}

// The host's locale for one scope, as setlocale(LC_ALL, name) sets it.
class HostLocale {
  public:
    explicit HostLocale(const char* name) : ok_(std::setlocale(LC_ALL, name) != nullptr) {}
    ~HostLocale() { std::setlocale(LC_ALL, "C"); }
    HostLocale(const HostLocale&) = delete;
    HostLocale& operator=(const HostLocale&) = delete;
    bool ok() const { return ok_; }

  private:
    bool ok_;
};

struct LocaleCase {
    const char* name;
    Reader reader;
    std::vector<std::pair<const char*, const char*>> keys;  // set in board_section()
    std::uint8_t reg;                                       // register the reading uses
    std::uint8_t value;
    const char* text;
};

const LocaleCase kCases[] = {
    {"TempHalfFactor", SensorTemp, {{"Tin0Cof", "0.5"}}, 0x27, 100, "SYSTEM: 50000"},
    {"TempFactorAndAHalf", SensorTemp, {{"Tin0Cof", "1.5"}}, 0x27, 40, "SYSTEM: 60000"},
    {"TempOffset", SensorTemp, {{"Tin0Off", "-0.5"}}, 0x27, 10, "SYSTEM: 9000"},
    {"TempExponent", SensorTemp, {{"Tin0Cof", "2.5e-1"}}, 0x27, 100, "SYSTEM: 25000"},
    // A decimal comma is where the number stops, in every locale.
    {"TempCommaStopsTheNumber", SensorTemp, {{"Tin0Cof", "1,5"}}, 0x27, 40, "SYSTEM: 40000"},
    {"VoltHexFactor",
     SensorVolt,
     {{"Vin0Cof", "0x10"}, {"Index", "0x295"}},
     0x20,
     10,
     "VCORE: 160"},
    {"VoltOctalFactor", SensorVolt, {{"Vin0Cof", "010"}}, 0x20, 10, "VCORE: 80"},
    {"FanDividend", SensorFan, {{"Fin0Count", "1350000"}}, 0x29, 100, "SYSFAN: 13500"},
};

class ReadingsInAnyLocale : public SensorTest, public testing::WithParamInterface<LocaleCase> {
  protected:
    std::string text_in(const char* locale) {
        HostLocale host(locale);
        EXPECT_TRUE(host.ok()) << locale;
        SectionText section = board_section();
        for (const auto& [key, value] : GetParam().keys) section.set(key, value);
        chip().set(0, GetParam().reg, GetParam().value);
        const Reading reading = read(GetParam().reader, profile(section));
        EXPECT_EQ(reading.status, SENSOR_OK) << locale;
        return reading.text;
    }
};

TEST_P(ReadingsInAnyLocale, ReadTheSameAsInTheCLocale) {
    EXPECT_EQ(text_in("C"), GetParam().text);
    const std::string why = provide_comma_locale();
    if (!why.empty()) GTEST_SKIP() << "decimal-comma locale case skipped: " << why;
    {
        HostLocale host(kCommaLocale);
        ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "not a decimal-comma locale";
    }
    EXPECT_EQ(text_in(kCommaLocale), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Sensors, ReadingsInAnyLocale, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SensorTest, DispatchReadsTheValueInADecimalCommaLocale) {
    QUORVIK_REQUIRE_PRIVATE_MOUNTS();
    const std::string why = provide_comma_locale();
    if (!why.empty()) GTEST_SKIP() << "decimal-comma locale case skipped: " << why;
    struct FreshIdentity {
        FreshIdentity() { clear(); }
        ~FreshIdentity() { clear(); }
        static void clear() {
            std::memset(Model_str, 0, sizeof Model_str);
            PlatformInfo_Flag = 0;
        }
    } fresh;
    install(insyde_board("KT-500R", "R1.05", "SN1"));
    write_system_profile(board_section().set("Tin0Cof", "1.5").set("Tin0Off", "-0.5").text());
    chip().set(0, 0x27, 30);
    HostLocale host(kCommaLocale);
    ASSERT_TRUE(host.ok());
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
