// A light line scan of a device profile: where each section and key stands.
// Values are never taken from here but from iniparser itself; the scan only
// follows iniparser's line rules far enough to find line numbers.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quorvik::profile_check {

// iniparser reads a line, newline included, into 1024 bytes with fgets: a line
// of this many characters (newline not counted) or more fails the load.
inline constexpr std::size_t kLongLine = 1023;

struct KeyPlace {
    std::string written;    // the name as the file spells it
    std::string raw_value;  // the text after '=', blanks stripped, as written
    int line = 0;           // of the last occurrence: iniparser keeps the last value
    std::vector<int> earlier_lines;
};

struct SectionPlace {
    std::string name;  // lower case, as iniparser keeps it
    int line = 0;      // first appearance
    std::vector<int> repeated_lines;
    std::map<std::string, KeyPlace> keys;  // by lower-case name

    const KeyPlace* find(std::string_view lower_key) const;
};

struct LongLine {
    int line = 0;
    std::size_t length = 0;
};

struct FileScan {
    std::vector<SectionPlace> sections;  // in order of first appearance
    std::vector<int> orphan_key_lines;   // keys above the first section
    std::vector<LongLine> long_lines;
    std::vector<int> nul_lines;  // lines holding a NUL byte

    const SectionPlace* find(std::string_view name) const;
};

FileScan scan_profile_text(std::string_view text);

std::string to_lower(std::string_view text);

}  // namespace quorvik::profile_check
