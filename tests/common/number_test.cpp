// Numbers of profile values and command output, read by common/'s helpers as
// the "C" locale reads them, whatever locale the host chose, and never
// wrapped into a plausible value when they do not fit.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "comma_locale.h"
#include "quorvik_common/c_number.h"

namespace quorvik::sim {
namespace {

using number::c_strto_register;
using number::c_strtod;
using number::c_strtoi;
using number::truncate_to_int;

// Every table reads the same in the "C" locale and in one with a decimal comma.
class Numbers : public testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (std::string(GetParam()) != "C") {
            const std::string why = provide_comma_locale();
            if (!why.empty()) GTEST_SKIP() << "decimal-comma locale: " << why;
        }
        host_.emplace(GetParam());
        ASSERT_TRUE(host_->ok()) << GetParam();
        if (std::string(GetParam()) != "C") {
            ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "not a decimal-comma locale";
        }
    }
    std::optional<HostLocale> host_;
};

TEST_P(Numbers, WholeNumbersReadAsStrtolWithBaseZeroOrNotAtAllBeyondInt) {
    const struct {
        const char* text;
        std::optional<int> value;
    } cases[] = {
        // Wrapped to int these would read as small counts, ports or "none".
        {"4294967298", std::nullopt},  // 2
        {"4294967296", std::nullopt},  // 0
        {"4294967297", std::nullopt},  // 1
        {"4294967957", std::nullopt},  // the chip's index port 0x295
        {"-4294967295", std::nullopt},
        {"0x100000002", std::nullopt},
        {"0x100000295", std::nullopt},
        {"040000000002", std::nullopt},  // octal
        {"040000001225", std::nullopt},
        {"0xFFFFFFFF", std::nullopt},   // -1
        {"2147483648", std::nullopt},   // INT_MIN
        {"-2147483649", std::nullopt},  // INT_MAX
        {"4294967298 ; two", std::nullopt},
        {"4294967298abc", std::nullopt},
        {"99999999999999999999", std::nullopt},  // beyond a long as well
        {"-99999999999999999999", std::nullopt},
        // What fits reads as strtol reads it.
        {"2147483647", INT_MAX},
        {"0x7fffffff", INT_MAX},
        {"017777777777", INT_MAX},
        {"-2147483648", INT_MIN},
        {"0x10", 16},
        {"010", 8},
        {"0x2", 2},
        {"02", 2},
        {"2abc", 2},
        {"+2", 2},
        {"-1", -1},
        {"2,5", 2},
        {"x", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c_strtoi(c.text), c.value) << c.text;
}

TEST_P(Numbers, RegisterNumbersReadUpTo32Bits) {
    const struct {
        const char* text;
        std::optional<std::uint32_t> value;
    } cases[] = {
        {"0x1A2", 0x1A2u},
        {"0xC0010299", 0xC0010299u},  // AMD's thermal registers lie above 0x7FFFFFFF
        {"3221291674", 0xC001029Au},
        {"0xFFFFFFFF", 0xFFFFFFFFu},
        {"-1", 0xFFFFFFFFu},  // a negative int as its 32-bit pattern
        // Beyond 32 bits these would wrap into another register.
        {"4294967296", std::nullopt},
        {"0x1000001A2", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"4294967714 ; comment", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(c_strto_register(c.text), c.value) << c.text;
}

TEST_P(Numbers, RealsStopAtADecimalComma) {
    const struct {
        const char* text;
        double value;
        std::size_t length;  // what strtod takes
    } cases[] = {
        {"0.5", 0.5, 3},     {"1.5", 1.5, 3},        {"-0.5", -0.5, 4},
        {"2.5e-1", 0.25, 6}, {"1987.5", 1987.5, 6},  {"900.75 MiB", 900.75, 6},
        {"1,5", 1.0, 1},     {"8000,5M", 8000.0, 4}, {" 37.5%", 37.5, 5},
        {"x", 0.0, 0},
    };
    for (const auto& c : cases) {
        char* end = nullptr;
        EXPECT_EQ(c_strtod(c.text, &end), c.value) << c.text;
        EXPECT_EQ(static_cast<std::size_t>(end - c.text), c.length) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, Numbers, testing::Values("C", kCommaLocale),
                         [](const auto& info) {
                             return std::string(info.param) == "C" ? "C" : "DecimalComma";
                         });

TEST(TruncateToInt, CutsTowardZeroWithinInt) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        std::optional<int> cut;
    } cases[] = {
        {1.9, 1},
        {-1.9, -1},
        {2147483647.9, INT_MAX},
        {-2147483648.9, INT_MIN},
        {2147483648.0, std::nullopt},
        {-2147483649.0, std::nullopt},
        {std::nan(""), std::nullopt},
        {inf, std::nullopt},
        {-inf, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(truncate_to_int(c.value), c.cut) << c.value;
}

}  // namespace
}  // namespace quorvik::sim
