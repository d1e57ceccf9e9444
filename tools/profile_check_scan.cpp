#include "profile_check_scan.h"

#include <cctype>

namespace quorvik::profile_check {
namespace {

std::string_view strip(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

class Scanner {
  public:
    FileScan take() { return std::move(scan_); }

    // One logical line as iniparser sees it, after joining continuations.
    void logical_line(std::string_view text, int line) {
        text = strip(text);
        if (text.empty() || text.front() == '#' || text.front() == ';') return;
        if (text.front() == '[' && text.back() == ']') {
            section_line(text, line);
        } else if (const auto equals = text.find('='); equals != std::string_view::npos) {
            key_line(text.substr(0, equals), text.substr(equals + 1), line);
        }
        // Anything else is a syntax error, which iniparser reports itself.
    }

    void long_line(int line, std::size_t length) { scan_.long_lines.push_back({line, length}); }
    void nul_line(int line) { scan_.nul_lines.push_back(line); }

  private:
    void section_line(std::string_view text, int line) {
        text.remove_prefix(1);
        const std::string name = to_lower(strip(text.substr(0, text.find(']'))));
        for (std::size_t i = 0; i < scan_.sections.size(); ++i) {
            if (scan_.sections[i].name == name) {
                scan_.sections[i].repeated_lines.push_back(line);
                current_ = static_cast<int>(i);
                return;
            }
        }
        scan_.sections.push_back({name, line, {}, {}});
        current_ = static_cast<int>(scan_.sections.size()) - 1;
    }

    void key_line(std::string_view name, std::string_view value, int line) {
        if (current_ < 0) {
            scan_.orphan_key_lines.push_back(line);
            return;
        }
        const std::string written(strip(name));
        KeyPlace& place = scan_.sections[current_].keys[to_lower(written)];
        if (place.line != 0) place.earlier_lines.push_back(place.line);
        place.written = written;
        place.raw_value = std::string(strip(value));
        place.line = line;
    }

    FileScan scan_;
    int current_ = -1;
};

}  // namespace

std::string to_lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

const KeyPlace* SectionPlace::find(std::string_view lower_key) const {
    const auto it = keys.find(std::string(lower_key));
    return it != keys.end() ? &it->second : nullptr;
}

const SectionPlace* FileScan::find(std::string_view name) const {
    for (const SectionPlace& section : sections) {
        if (section.name == name) return &section;
    }
    return nullptr;
}

FileScan scan_profile_text(std::string_view text) {
    Scanner scanner;
    std::string pending;  // a value continued with a trailing backslash
    int first_line = 0;
    int line = 0;
    while (!text.empty()) {
        ++line;
        const std::size_t end = text.find('\n');
        std::string_view physical = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (physical.find('\0') != std::string_view::npos) scanner.nul_line(line);
        if (pending.empty()) first_line = line;
        std::string joined = pending + std::string(physical);
        if (joined.size() >= kLongLine) scanner.long_line(line, joined.size());
        const std::string_view trimmed = strip(joined);
        // iniparser drops the backslash and appends the next line in its place.
        if (!trimmed.empty() && trimmed.back() == '\\') {
            pending = joined.substr(0, (trimmed.data() - joined.data()) + trimmed.size() - 1);
            continue;
        }
        pending.clear();
        scanner.logical_line(trimmed, first_line);
    }
    if (!pending.empty()) scanner.logical_line(pending, first_line);
    return scanner.take();
}

}  // namespace quorvik::profile_check
