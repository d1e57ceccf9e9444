// Numbers read from command output and profile texts. The commands print
// numbers with a decimal point whatever locale the host set, so they are
// read in the C locale; cutting a double to int is only defined for values
// within int, so every cut goes through cut_to_int.
#pragma once

#include "quorvik_common/c_number.h"

namespace quorvik {

// The number at the start of text (leading blanks skipped), 0.0 when none.
inline double leading_number(const char* text) {
    return number::c_strtod(text);
}

// value cut toward zero into *out; false (and *out untouched) for NaN, the
// infinities and values outside int.
inline bool cut_to_int(double value, int* out) {
    const std::optional<int> cut = number::truncate_to_int(value);
    if (!cut) return false;
    *out = *cut;
    return true;
}

}  // namespace quorvik
