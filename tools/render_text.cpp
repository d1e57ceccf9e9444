// The readable report: one section per group, one line per reading with its
// value and unit, or its status by name; and the libraries' messages told
// once each.
#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "report.h"

namespace quorvik::report {
namespace {

constexpr int kNameWidth = 30;

std::string printed(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string printed(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? length : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

const char* section_title(const char* group) {
    for (const Group& entry : kGroups) {
        if (std::strcmp(entry.name, group) == 0) return entry.title;
    }
    return group;
}

// The quantity's title with each "{label}" replaced by the reading's label
// value; a label it lacks leaves no trace.
std::string line_name(const Reading& reading) {
    std::string name;
    for (const char* c = reading.quantity->title; *c != '\0'; ++c) {
        const char* end = *c == '{' ? std::strchr(c, '}') : nullptr;
        if (end == nullptr) {
            name += *c;
            continue;
        }
        name += escape_controls(reading.label(std::string_view(c + 1, end - c - 1)));
        c = end;
    }
    std::string tidy;
    for (const char c : name) {
        if (c != ' ' || (!tidy.empty() && tidy.back() != ' ')) tidy += c;
    }
    while (!tidy.empty() && tidy.back() == ' ') tidy.pop_back();
    return tidy;
}

std::string value_text(const Reading& reading) {
    const double value = reading.value;
    switch (reading.quantity->unit) {
        case Unit::text:
            return escape_controls(reading.text);
        case Unit::number:
            return printed("%.0f", value);
        case Unit::flag:
            return value != 0.0 ? "yes" : "no";
        case Unit::volts:
            return printed("%.3f V", value);
        case Unit::celsius:
            return printed("%.1f °C", value);
        case Unit::rpm:
            return printed("%.0f RPM", value);
        case Unit::ratio:
            return printed("%.1f %%", value * 100.0);
        case Unit::bytes:
            return printed("%.0f MiB", value / (1024.0 * 1024.0));
        case Unit::bits_per_second:
            return printed("%.0f Mbit/s", value / 1e6);
    }
    return {};
}

std::string reading_line(const Reading& reading) {
    std::string value =
        reading.ok() ? value_text(reading)
                     : printed("unavailable (%s, %d)", status_name(reading.status), reading.status);
    if (!reading.note.empty()) value += ": " + reading.note;
    return printed("  %-*s %s\n", kNameWidth, line_name(reading).c_str(), value.c_str());
}

bool identified(const Report& report) {
    for (const Reading& reading : report.readings) {
        if (reading.quantity == &quantity::kModel) return reading.ok();
    }
    return true;
}

std::string footer(const Report& report) {
    int failed = 0;
    for (const Reading& reading : report.readings) failed += reading.ok() ? 0 : 1;
    std::string text;
    if (failed > 0) {
        text += printed("\n%d of %zu readings unavailable.\n", failed, report.readings.size());
    }
    if (!identified(report)) {
        text +=
            "\nThe board could not be identified: reading BIOS memory needs root, raw I/O-port\n"
            "access and /dev/mem, and a Quorvik board's BIOS (the libraries' messages after\n"
            "the report, on standard error, say which step failed). Sensors and the\n"
            "profile's readings need the identified model.\n";
    }
    return text;
}

}  // namespace

std::string library_messages(std::string_view printed_text) {
    std::vector<std::pair<std::string, int>> distinct;
    std::size_t at = 0;
    while (at < printed_text.size()) {
        std::size_t end = printed_text.find('\n', at);
        if (end == std::string_view::npos) end = printed_text.size();
        std::string_view line = printed_text.substr(at, end - at);
        at = end + 1;
        // The libraries end their lines with "\r" as well.
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
            line.remove_suffix(1);
        }
        if (line.empty()) continue;
        auto same = std::find_if(distinct.begin(), distinct.end(),
                                 [&](const auto& entry) { return entry.first == line; });
        if (same == distinct.end()) {
            distinct.emplace_back(std::string(line), 1);
        } else {
            ++same->second;
        }
    }
    std::string text;
    for (const auto& [line, times] : distinct) {
        text += "quorvik-info: library message";
        if (times > 1) text += printed(" (%d times)", times);
        text += ": " + escape_controls(line) + "\n";
    }
    return text;
}

std::string render_text(const Report& report) {
    std::string text;
    const char* group = nullptr;
    for (const Reading& reading : report.readings) {
        if (group == nullptr || std::strcmp(group, reading.quantity->group) != 0) {
            group = reading.quantity->group;
            text += printed("%s%s\n", text.empty() ? "" : "\n", section_title(group));
        }
        text += reading_line(reading);
    }
    return text + footer(report);
}

}  // namespace quorvik::report
