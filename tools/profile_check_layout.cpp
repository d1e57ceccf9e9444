// Rules about the file's shape: section names and model matching, repeated
// sections and keys, values cut by a comment sign, keys outside sections.
#include "profile_check_rules.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/model_match.h"

namespace quorvik::profile_check {
namespace {

void add(std::vector<Finding>& out, Severity severity, int line, const std::string& section,
         std::string message) {
    out.push_back({severity, line, section, "", std::move(message)});
}

bool listed_by_iniparser(const SectionPlace& section) {
    return section.name.find(':') == std::string::npos;
}

void check_repeats(const SectionPlace& section, std::vector<Finding>& out) {
    for (const int line : section.repeated_lines) {
        add(out, Severity::warning, line, section.name,
            "section given again (first at line " + std::to_string(section.line) +
                "): its keys merge into the first, later values win");
    }
}

void check_name_length(const SectionPlace& section, std::vector<Finding>& out) {
    if (section.name.empty()) {
        add(out, Severity::error, section.line, section.name,
            "empty section name: no model is named so, and its keys are lost");
        return;
    }
    if (section.name.size() <= kLongestModel) return;
    add(out, Severity::warning, section.line, section.name,
        "section name of " + std::to_string(section.name.size()) +
            " characters: model names hold at most " + std::to_string(kLongestModel) +
            ", so no model reaches this section");
}

// A section "x:volt" is also the key text of key Volt in section [x].
void check_colon(const dictionary* dict, const FileScan& scan, const SectionPlace& section,
                 std::vector<Finding>& out) {
    add(out, Severity::warning, section.line, section.name,
        "iniparser_getnsec skips section names holding ':', so model matching never finds it");
    for (std::size_t colon = section.name.find(':'); colon != std::string::npos;
         colon = section.name.find(':', colon + 1)) {
        const SectionPlace* owner = scan.find(section.name.substr(0, colon));
        const KeyPlace* key = owner ? owner->find(section.name.substr(colon + 1)) : nullptr;
        if (key == nullptr || ini::has_key(dict, section.name.c_str())) continue;
        add(out, Severity::error, section.line, section.name,
            "takes the place of key " + key->written + " of section [" + owner->name + "] (line " +
                std::to_string(key->line) + "): the libraries find no value for it");
    }
}

// A model longer than a section's name that begins with it is served by the
// section that model matching finds, asked of the readers' own matching.
void check_shadowing(const dictionary* dict, const std::vector<const SectionPlace*>& listed,
                     std::vector<Finding>& out) {
    const std::vector<const char*> sections = ini::section_names(dict);
    for (const SectionPlace* place : listed) {
        const std::string& name = place->name;
        if (name.empty() || name.size() > kLongestModel) continue;
        // No section name holds a control character.
        const std::string longer = name + '\x1f';
        char served[schema::kModelSize] = {};
        if (sensor::serving_section(longer.c_str(), sections, served) != 1 || name == served) {
            continue;
        }
        const SectionPlace* winner = nullptr;
        for (const SectionPlace* other : listed) {
            if (other->name == served) winner = other;
        }
        if (winner == nullptr) continue;
        add(out, Severity::warning, place->line, name,
            "[" + winner->name + "] (line " + std::to_string(winner->line) +
                ") comes first and begins this name: models longer than '" + name +
                "' that begin with it read their sensors from [" + winner->name +
                "]; only the model named exactly so reaches this section");
    }
}

// "0x1A2#x" reads 0x1A2: a comment sign right after the value cuts it.
void check_cut_value(const SectionCheck& c, const KeyPlace& key) {
    const std::string& raw = key.raw_value;
    if (raw.empty() || raw.front() == '"' || raw.front() == '\'') return;
    const std::size_t sign = raw.find_first_of(";#");
    if (sign == std::string::npos || sign == 0 || raw[sign - 1] == ' ' || raw[sign - 1] == '\t') {
        return;
    }
    const char* value = c.value(key.written);
    c.warning(key.written, std::string("value cut at '") + raw[sign] + "': the libraries read '" +
                               (value != nullptr ? value : "") + "'");
}

}  // namespace

void check_key_lines(const SectionCheck& c) {
    for (const auto& [lower, key] : c.place().keys) {
        if (!key.earlier_lines.empty()) {
            c.warning(key.written, "given again: line " + std::to_string(key.earlier_lines.back()) +
                                       " is overridden, the last value counts");
        }
        check_cut_value(c, key);
    }
}

void check_layout(const dictionary* dict, const FileScan& scan, std::vector<Finding>& out) {
    if (scan.sections.empty()) {
        add(out, Severity::error, 0, "", "no sections: every profile lookup fails");
    }
    for (const int line : scan.orphan_key_lines) {
        add(out, Severity::warning, line, "", "key above the first section: no library reads it");
    }
    std::vector<const SectionPlace*> listed;
    for (const SectionPlace& section : scan.sections) {
        check_repeats(section, out);
        check_name_length(section, out);
        if (listed_by_iniparser(section)) {
            listed.push_back(&section);
        } else {
            check_colon(dict, scan, section, out);
        }
    }
    check_shadowing(dict, listed, out);
}

}  // namespace quorvik::profile_check
