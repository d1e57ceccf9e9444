#include "profile_check_rules.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "quorvik_common/ini_value.h"

namespace quorvik::profile_check {

const char* SectionCheck::value(std::string_view key) const {
    const std::string full = place_.name + ":" + to_lower(key);
    return ini::find_text(dict_, full.c_str());
}

int SectionCheck::line_of(std::string_view key) const {
    const KeyPlace* place = place_.find(to_lower(key));
    return place != nullptr ? place->line : place_.line;
}

std::string SectionCheck::absence(std::string_view key) const {
    const KeyPlace* place = place_.find(to_lower(key));
    if (place == nullptr) return "missing";
    // The file gives the key, yet iniparser has no value: a later section line
    // of the same text ("[x:volt]" for key Volt of [x]) replaced it.
    const SectionPlace* hider = scan_.find(place_.name + ":" + to_lower(key));
    if (hider == nullptr) return "no value";
    return "no value: section [" + hider->name + "] (line " + std::to_string(hider->line) +
           ") takes the place of this key";
}

bool SectionCheck::has_error(std::string_view key) const {
    for (const Finding& finding : out_) {
        if (finding.severity == Severity::error && finding.section == place_.name &&
            to_lower(finding.key) == to_lower(key)) {
            return true;
        }
    }
    return false;
}

void SectionCheck::error(std::string_view key, std::string message) const {
    out_.push_back(
        {Severity::error, line_of(key), place_.name, std::string(key), std::move(message)});
}

void SectionCheck::warning(std::string_view key, std::string message) const {
    out_.push_back(
        {Severity::warning, line_of(key), place_.name, std::string(key), std::move(message)});
}

Number parse_number(const char* text) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 0);
    const bool fits = errno != ERANGE && value >= INT_MIN && value <= INT_MAX;
    // iniparser strips the blanks around unquoted values; anything left over
    // is text that strtol stops at.
    const bool consumed = end != text && *end == '\0';
    return {static_cast<int>(value), consumed && fits};
}

Number read_number(const SectionCheck& check, std::string_view key, const char* text) {
    const Number number = parse_number(text);
    if (!number.whole) {
        check.error(key, "'" + std::string(text) +
                             "' is not one whole number: the libraries read " +
                             std::to_string(number.value));
    }
    return number;
}

std::optional<int> lookup_integer(const SectionCheck& check, std::string_view key,
                                  std::string_view failure, std::string_view also_when_missing) {
    const char* text = check.value(key);
    if (text == nullptr) {
        std::string message = check.absence(key) + ": " + std::string(failure);
        if (!also_when_missing.empty()) message += ", " + std::string(also_when_missing);
        check.error(key, std::move(message));
        return std::nullopt;
    }
    if (*text == '\0') {
        check.warning(key, "empty value reads as 0");
        return 0;
    }
    const Number number = read_number(check, key, text);
    if (number.value < 0) {
        check.error(key, "negative: " + std::string(failure));
    }
    return number.value;
}

std::string join_numbers(const std::set<int>& numbers) {
    std::string text;
    for (const int number : numbers) {
        if (!text.empty()) text += ", ";
        text += std::to_string(number);
    }
    return text;
}

}  // namespace quorvik::profile_check
