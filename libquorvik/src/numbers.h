// Numbers read from command output and profile texts. The commands' answers
// are converted as strtod reads them; cutting a double to int is only defined
// for values within int, so every cut goes through cut_to_int.
#pragma once

#include <cstdlib>

namespace quorvik {

// The number at the start of text (leading blanks skipped), 0.0 when none.
inline double leading_number(const char* text) {
    return std::strtod(text, nullptr);
}

// value cut toward zero into *out; false (and *out untouched) for NaN, the
// infinities and values outside int.
inline bool cut_to_int(double value, int* out) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return false;
    *out = static_cast<int>(value);
    return true;
}

}  // namespace quorvik
