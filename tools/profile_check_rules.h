// Internal pieces of the profile checker: one section's view of the loaded
// profile, and the rule groups. Verdicts about a value come from the
// libraries' own key readers; the checker finds the lines and words them.
#pragma once

#include <iniparser.h>

#include <map>
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
        : dict_(dict), scan_(scan), place_(place), out_(out), first_finding_(out.size()) {}

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

    // What a library refused: the absence, "empty value", or why (as the
    // library's key reader says it) with the value.
    std::string refused(std::string_view key, std::string_view why) const;

    void error(std::string_view key, std::string message) const;
    void warning(std::string_view key, std::string message) const;

  private:
    const dictionary* dict_;
    const FileScan& scan_;
    const SectionPlace& place_;
    std::vector<Finding>& out_;
    std::size_t first_finding_;  // this section's findings follow the others'
};

struct InputName {
    const schema::InputKind* kind = nullptr;
    const schema::Field* field = nullptr;
    int number = 0;
    bool leading_zero = false;
};

// The type of any key of a section (any case), from the schema; nothing for
// a key that neither library reads.
std::optional<schema::ValueType> value_type(std::string_view key);

// "vin12cof" names field Cof of voltage input 12.
std::optional<InputName> parse_input_key(std::string_view lower);

// The sensor inputs that a section describes, by input number.
struct Inputs {
    std::map<const schema::InputKind*, std::set<int>> by_kind;
    bool any() const { return !by_kind.empty(); }
    std::set<int>& of(const schema::InputKind& kind) { return by_kind[&kind]; }
    const std::set<int>& of(const schema::InputKind& kind) const {
        static const std::set<int> kNone;
        const auto found = by_kind.find(&kind);
        return found != by_kind.end() ? found->second : kNone;
    }
};

// What an input's own reader makes of a section.
struct ReaderAnswer {
    int status = 0;   // SENSOR_OK or the reader's SENSOR_ERR_*
    std::string key;  // where the reader stopped
    std::string why;  // what it made of a value it refused
    std::set<std::string> asked;
};
ReaderAnswer ask_reader(const SectionCheck& check, const schema::InputKind& kind, int input);
const char* reader_status_name(int status);

// Rule groups, one section each. The sensor and monitoring groups return the
// keys that the libraries read (or would read once a refusal is mended).
Inputs check_key_names(const SectionCheck& check);
std::set<std::string> check_sensor_inputs(const SectionCheck& check, const Inputs& inputs);
std::set<std::string> check_monitoring_keys(const SectionCheck& check, const Inputs& inputs);

// A count that no board has is a broken profile.
void check_plausible(const SectionCheck& check, const char* key, int count);

// Section keys that the file gives but no query reads with the section's
// other values (role keys left out by their count are the role rules').
void check_unread_keys(const SectionCheck& check, const std::set<std::string>& read_keys);

// Number texts of the keys read that hold more than the number the
// libraries take from them, and empty numbers that read as 0.
void check_value_texts(const SectionCheck& check, const std::set<std::string>& read_keys);

// Keys given twice, values cut by a comment sign.
void check_key_lines(const SectionCheck& check);

// Whole-file rules: section names and model matching, repeated sections, keys
// outside sections.
void check_layout(const dictionary* dict, const FileScan& scan, std::vector<Finding>& out);

std::string join_numbers(const std::set<int>& numbers);

}  // namespace quorvik::profile_check
