// Internal pieces of the profile checker: one section's view of the loaded
// profile, the number rules both libraries share, and the rule groups.
#pragma once

#include <iniparser.h>

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "profile_check.h"
#include "profile_check_scan.h"
#include "quorvik_common/profile_schema.h"

namespace quorvik::profile_check {

inline constexpr std::size_t kLongestModel = schema::kLongestModel;

// One section: values come from iniparser, lines from the scan.
class SectionCheck {
  public:
    SectionCheck(const dictionary* dict, const FileScan& scan, const SectionPlace& place,
                 std::vector<Finding>& out)
        : dict_(dict), scan_(scan), place_(place), out_(out) {}

    const std::string& name() const { return place_.name; }
    const dictionary* dict() const { return dict_; }

    // Whether an error has been reported under key in this section.
    bool has_error(std::string_view key) const;
    const SectionPlace& place() const { return place_; }

    // iniparser's text for key (any case); nullptr when the key is missing.
    const char* value(std::string_view key) const;
    bool has(std::string_view key) const { return value(key) != nullptr; }

    // Line of the key, or of the section when the file does not give the key.
    int line_of(std::string_view key) const;

    // "missing", or why a key that the file gives reads as missing.
    std::string absence(std::string_view key) const;

    void error(std::string_view key, std::string message) const;
    void warning(std::string_view key, std::string message) const;

  private:
    const dictionary* dict_;
    const FileScan& scan_;
    const SectionPlace& place_;
    std::vector<Finding>& out_;
};

// A value converted as iniparser_getint and strtol with base 0 convert it.
struct Number {
    int value = 0;       // what the libraries read
    bool whole = false;  // the whole text is one number that fits an int
};

Number parse_number(const char* text);

// Converts text, reporting under key a text that is not one whole number.
Number read_number(const SectionCheck& check, std::string_view key, const char* text);

// Integer read by the monitoring library's model lookup, which fails for a
// missing or negative value; `failure` names the calls that fail then, and
// `also_when_missing` what else fails for a missing key. Returns the value as
// read, or nothing when the key is missing.
std::optional<int> lookup_integer(const SectionCheck& check, std::string_view key,
                                  std::string_view failure,
                                  std::string_view also_when_missing = {});

// The sensor inputs that a section describes, by input number.
struct Inputs {
    std::set<int> volt, temp, fan;
    bool any() const { return !volt.empty() || !temp.empty() || !fan.empty(); }
    std::set<int>& of(const schema::InputKind& kind) {
        return &kind == &schema::kVolt ? volt : &kind == &schema::kTemp ? temp : fan;
    }
    const std::set<int>& of(const schema::InputKind& kind) const {
        return const_cast<Inputs*>(this)->of(kind);
    }
};

// Rule groups, one section each.
Inputs check_key_names(const SectionCheck& check);
void check_sensor_inputs(const SectionCheck& check, const Inputs& inputs);
void check_monitoring_keys(const SectionCheck& check, const Inputs& inputs);

// Keys given twice, values cut by a comment sign.
void check_key_lines(const SectionCheck& check);

// Whole-file rules: section names and model matching, repeated sections, keys
// outside sections.
void check_layout(const dictionary* dict, const FileScan& scan, std::vector<Finding>& out);

std::string join_numbers(const std::set<int>& numbers);

}  // namespace quorvik::profile_check
