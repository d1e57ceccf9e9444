#include "quorvik_common/c_number.h"

#include <locale.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>

namespace quorvik::number {
namespace {

// Made once, never freed: every thread may use it at any time.
locale_t c_locale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

double c_strtod(const char* text, char** end) {
    const locale_t locale = c_locale();
    if (locale == static_cast<locale_t>(nullptr)) return std::strtod(text, end);
    return strtod_l(text, end, locale);
}

long c_strtol(const char* text, char** end, int base) {
    const locale_t locale = c_locale();
    if (locale == static_cast<locale_t>(nullptr)) return std::strtol(text, end, base);
    return strtol_l(text, end, base, locale);
}

namespace {

// strtol with base 0; nullopt outside [lowest, highest] or beyond a long.
std::optional<long> whole_number_within(const char* text, long lowest, long highest) {
    const int saved_errno = errno;
    errno = 0;
    const long value = c_strtol(text, nullptr, 0);
    const bool outside = errno == ERANGE || value < lowest || value > highest;
    errno = saved_errno;
    if (outside) return std::nullopt;
    return value;
}

}  // namespace

std::optional<int> c_strtoi(const char* text) {
    const std::optional<long> value = whole_number_within(text, INT_MIN, INT_MAX);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<std::uint32_t> c_strto_register(const char* text) {
    const std::optional<long> value = whole_number_within(text, INT_MIN, UINT32_MAX);
    if (!value) return std::nullopt;
    return static_cast<std::uint32_t>(*value);
}

std::optional<int> truncate_to_int(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return std::nullopt;
    return static_cast<int>(value);
}

}  // namespace quorvik::number
