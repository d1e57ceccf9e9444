// Numbers in fixed-format texts (device profile values, command output),
// read the same whatever locale the host set: a host in a locale with a
// decimal comma must still read "1.5" as one and a half.
#pragma once

#include <cstdint>
#include <optional>

namespace quorvik::number {

// strtod in the "C" locale: leading blanks skipped, stops at the first
// character that is not part of a number; 0.0 when there is none. *end, when
// given, is set as strtod sets it.
double c_strtod(const char* text, char** end = nullptr);

// strtol in the "C" locale with the given base; *end, when given, is set as
// strtol sets it, and so is errno.
long c_strtol(const char* text, char** end, int base);

// strtol with base 0 (0x hexadecimal, leading-0 octal, trailing text ignored
// where strtol stops) in the "C" locale. nullopt when the value does not fit
// an int: a wrapped value never reaches hardware or a caller.
std::optional<int> c_strtoi(const char* text);

// A 32-bit register number, as c_strtoi reads it: up to 0xFFFFFFFF as given
// (0xC0010299 is one), a negative number that fits an int as its 32-bit
// pattern; nullopt beyond 32 bits, which would wrap into another register.
std::optional<std::uint32_t> c_strto_register(const char* text);

// value cut toward zero; nullopt for NaN, the infinities and values outside
// int, where the cut is undefined.
std::optional<int> truncate_to_int(double value);

}  // namespace quorvik::number
