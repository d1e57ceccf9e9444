// Numbers of profile values and command output, read by common/'s helpers as
// the "C" locale reads them whatever locale the host chose, and never wrapped
// into a plausible value when they do not fit.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <string>

#include "comma_locale.h"
#include "quorvik_common/c_number.h"

namespace quorvik::sim {
namespace {

// Every table reads the same in the "C" locale and in one with a decimal comma.
class Numbers : public testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        const bool comma = std::string(GetParam()) != "C";
        const std::string why = comma ? provide_comma_locale() : "";
        if (!why.empty()) GTEST_SKIP() << "decimal-comma locale: " << why;
        host_.emplace(GetParam());
        ASSERT_TRUE(host_->ok()) << GetParam();
        ASSERT_STREQ(std::localeconv()->decimal_point, comma ? "," : ".");
    }
    std::optional<HostLocale> host_;
};

TEST_P(Numbers, WholeNumbersReadAsStrtolWithBaseZeroOrNotAtAllBeyondInt) {
    // Wrapped to int these would read as small counts (2, 0, 1), the chip's
    // index port 0x295, -1, INT_MIN or INT_MAX.
    for (const char* text :
         {"4294967298", "4294967296", "4294967297", "4294967957", "-4294967295", "0x100000002",
          "0x100000295", "040000000002", "040000001225", "0xFFFFFFFF", "2147483648", "-2147483649",
          "4294967298 ; two", "4294967298abc", "99999999999999999999", "-99999999999999999999"}) {
        EXPECT_EQ(number::c_strtoi(text), std::nullopt) << text;
    }
    const struct {
        const char* text;
        int value;
    } fits[] = {
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
    for (const auto& c : fits) EXPECT_EQ(number::c_strtoi(c.text), c.value) << c.text;
}

// AMD's thermal registers lie above 0x7FFFFFFF; a negative int reads as its
// 32-bit pattern; beyond 32 bits a number would wrap into another register.
TEST_P(Numbers, RegisterNumbersReadUpTo32Bits) {
    const struct {
        const char* text;
        std::uint32_t value;
    } fits[] = {
        {"0x1A2", 0x1A2u},           {"0xC0010299", 0xC0010299u}, {"3221291674", 0xC001029Au},
        {"0xFFFFFFFF", 0xFFFFFFFFu}, {"-1", 0xFFFFFFFFu},
    };
    for (const auto& c : fits) EXPECT_EQ(number::c_strto_register(c.text), c.value) << c.text;
    for (const char* text : {"4294967296", "0x1000001A2", "-2147483649", "99999999999999999999",
                             "4294967714 ; comment"}) {
        EXPECT_EQ(number::c_strto_register(text), std::nullopt) << text;
    }
}

TEST_P(Numbers, RealsStopAtADecimalComma) {
    const struct {
        const char* text;
        double value;
        long length;  // what strtod takes
    } cases[] = {
        {"0.5", 0.5, 3},     {"1.5", 1.5, 3},       {"-0.5", -0.5, 4},
        {"2.5e-1", 0.25, 6}, {"1987.5", 1987.5, 6}, {"900.75 MiB", 900.75, 6},
        {"1,5", 1.0, 1},     {"8000,5M", 8000, 4},  {" 37.5%", 37.5, 5},
        {"x", 0.0, 0},
    };
    for (const auto& c : cases) {
        char* end = nullptr;
        EXPECT_EQ(number::c_strtod(c.text, &end), c.value) << c.text;
        EXPECT_EQ(end - c.text, c.length) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, Numbers, testing::Values("C", kCommaLocale),
                         [](const auto& info) {
                             return std::string(info.param) == "C" ? "C" : "DecimalComma";
                         });

}  // namespace
}  // namespace quorvik::sim
