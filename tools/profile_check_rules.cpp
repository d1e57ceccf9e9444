#include "profile_check_rules.h"

#include <cctype>
#include <charconv>

#include "quorvik_common/c_number.h"
#include "quorvik_common/ini_value.h"

namespace quorvik::profile_check {
namespace {

const schema::Field* field_of(const schema::InputKind& kind, std::string_view lower) {
    for (const schema::Field& field : kind.fields) {
        if (to_lower(field.name) == lower) return &field;
    }
    return nullptr;
}

void check_number_text(const SectionCheck& c, const std::string& key, schema::ValueType type) {
    const char* text = c.value(key);
    if (text == nullptr || c.has_error(key)) return;
    const bool real = type == schema::ValueType::real;
    if (*text == '\0') {
        c.warning(key, real ? "empty value reads as 0.0" : "empty value reads as 0");
        return;
    }
    // iniparser strips the blanks around unquoted values; anything left over
    // is text that the conversion stops at.
    char* end = nullptr;
    if (real) {
        const double value = number::c_strtod(text, &end);
        if (end != text && *end == '\0') return;
        c.error(key, "'" + std::string(text) + "' is not one number: the library reads " +
                         std::to_string(value));
    } else {
        const long value = number::c_strtol(text, &end, 0);
        if (end != text && *end == '\0') return;
        c.error(key, "'" + std::string(text) + "' is not one whole number: the libraries read " +
                         std::to_string(value));
    }
}

}  // namespace

std::optional<schema::ValueType> value_type(std::string_view key) {
    const std::string lower = to_lower(key);
    for (const schema::Field& field : schema::kSectionKeys) {
        if (to_lower(field.name) == lower) return field.type;
    }
    for (const schema::InputKind* kind : schema::kInputKinds) {
        for (const schema::Role& role : kind->roles) {
            if (to_lower(role.key) == lower) return schema::ValueType::integer;
        }
    }
    const auto input = parse_input_key(lower);
    if (!input) return std::nullopt;
    return input->field->type;
}

std::optional<InputName> parse_input_key(std::string_view lower) {
    for (const schema::InputKind* kind : schema::kInputKinds) {
        const std::string prefix = to_lower(kind->prefix);
        if (lower.substr(0, prefix.size()) != prefix) continue;
        const std::size_t start = prefix.size();
        std::size_t end = start;
        while (end < lower.size() && std::isdigit(static_cast<unsigned char>(lower[end]))) ++end;
        const schema::Field* field = field_of(*kind, lower.substr(end));
        if (end == start || field == nullptr) continue;
        InputName name{kind, field, 0, lower[start] == '0' && end > start + 1};
        const auto [ptr, status] =
            std::from_chars(lower.data() + start, lower.data() + end, name.number);
        if (status != std::errc()) continue;
        return name;
    }
    return std::nullopt;
}

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

std::string SectionCheck::refused(std::string_view key, std::string_view why) const {
    const char* text = value(key);
    if (text == nullptr) return absence(key);
    if (*text == '\0') return "empty value";
    const std::string quoted = "'" + std::string(text) + "'";
    return why.empty() ? quoted : std::string(why) + " (" + quoted + ")";
}

bool SectionCheck::has_error(std::string_view key) const {
    for (std::size_t i = first_finding_; i < out_.size(); ++i) {
        const Finding& finding = out_[i];
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

void check_value_texts(const SectionCheck& c, const std::set<std::string>& read_keys) {
    for (const std::string& key : read_keys) {
        const auto type = value_type(key);
        if (type == schema::ValueType::integer || type == schema::ValueType::msr_register ||
            type == schema::ValueType::real) {
            check_number_text(c, key, *type);
        }
    }
}

void check_plausible(const SectionCheck& c, const char* key, int count) {
    if (count <= schema::kMostPlausible) return;
    c.error(key, std::to_string(count) + " is more than any board has (at most " +
                     std::to_string(schema::kMostPlausible) + ")");
}

void check_unread_keys(const SectionCheck& c, const std::set<std::string>& read_keys) {
    for (const schema::Field& field : schema::kSectionKeys) {
        if (!c.has(field.name) || read_keys.count(field.name) != 0) continue;
        c.warning(field.name, "not read: no query asks for it with this section's other values");
    }
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
