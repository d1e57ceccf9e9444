#include "profile_check.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "profile_check_rules.h"
#include "quorvik_common/ini_value.h"

namespace quorvik::profile_check {
namespace {

// iniparser reports load errors through one process-wide callback; this
// collects them while it lives and then gives the callback back.
class ErrorCapture {
  public:
    ErrorCapture() {
        sink_ = &messages_;
        iniparser_set_error_callback(&collect);
    }
    ~ErrorCapture() {
        iniparser_set_error_callback(nullptr);
        sink_ = nullptr;
    }
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;

    const std::vector<std::string>& messages() const { return messages_; }

  private:
    static int collect(const char* format, ...) __attribute__((format(printf, 1, 2))) {
        char text[2048];
        va_list args;
        va_start(args, format);
        const int length = std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        if (sink_ != nullptr && length >= 0) sink_->emplace_back(text);
        return 0;
    }

    static inline std::vector<std::string>* sink_ = nullptr;
    std::vector<std::string> messages_;
};

// Reads the whole file; on failure returns false with errno's text in error.
bool read_file(const std::string& path, std::string& text, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    if (failed) error = std::strerror(errno);
    std::fclose(file);
    return !failed;
}

// iniparser's messages end in " (<line>):" or " (<line>)"; 0 when none.
int message_line(const std::string& message) {
    const std::size_t open = message.find(" (");
    if (open == std::string::npos) return 0;
    return std::atoi(message.c_str() + open + 2);
}

bool is_long_line(const FileScan& scan, int line) {
    return std::any_of(scan.long_lines.begin(), scan.long_lines.end(),
                       [line](const LongLine& long_line) { return long_line.line == line; });
}

void add_load_failure(const FileScan& scan, const std::vector<std::string>& messages,
                      std::vector<Finding>& out) {
    for (const LongLine& line : scan.long_lines) {
        out.push_back({Severity::error, line.line, "", "",
                       "line of " + std::to_string(line.length) +
                           " characters: iniparser takes 1022 and the newline at most, and "
                           "refuses the whole file"});
    }
    for (const std::string& message : messages) {
        const int line = message_line(message);
        if (message.find("syntax error") != std::string::npos) {
            const std::size_t arrow = message.find("-> ");
            std::string text = arrow == std::string::npos ? "" : message.substr(arrow + 3);
            while (!text.empty() && text.back() == '\n') text.pop_back();
            out.push_back({Severity::error, line, "", "",
                           "syntax error: '" + text +
                               "' is no section, key = value or comment line; iniparser refuses "
                               "the whole file"});
        } else if (line == 0 || !is_long_line(scan, line)) {
            std::string text = message;
            while (!text.empty() && text.back() == '\n') text.pop_back();
            out.push_back({Severity::error, line, "", "", text});
        }
    }
    if (out.empty()) out.push_back({Severity::error, 0, "", "", "iniparser cannot load the file"});
}

void check_section(const dictionary* dict, const FileScan& scan, const SectionPlace& place,
                   std::vector<Finding>& out) {
    const SectionCheck check(dict, scan, place, out);
    const Inputs inputs = check_key_names(check);
    check_key_lines(check);
    check_monitoring_keys(check, inputs);
    check_sensor_inputs(check, inputs);
}

// Sections that no model reaches are reported once, by check_layout; what
// they hold makes no call fail.
bool reachable(const SectionPlace& place) {
    return place.name.find(':') == std::string::npos && place.name.size() <= kLongestModel;
}

void check_loaded(const dictionary* dict, const FileScan& scan, std::vector<Finding>& out) {
    check_layout(dict, scan, out);
    for (const SectionPlace& place : scan.sections) {
        if (reachable(place)) check_section(dict, scan, place, out);
    }
}

std::string counted(int count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

int Report::count(Severity severity) const {
    return static_cast<int>(
        std::count_if(findings.begin(), findings.end(),
                      [severity](const Finding& finding) { return finding.severity == severity; }));
}

int Report::exit_status() const {
    if (load != LoadState::loaded) return 2;
    return count(Severity::error) > 0 ? 1 : 0;
}

Report check_file(const std::string& path) {
    Report report;
    std::string text;
    std::string error;
    if (!read_file(path, text, error)) {
        report.load = LoadState::unreadable;
        report.findings.push_back({Severity::error, 0, "", "", "cannot be read: " + error});
        return report;
    }
    const FileScan scan = scan_profile_text(text);
    report.sections = static_cast<int>(scan.sections.size());
    ErrorCapture capture;
    const ini::Profile profile(path.c_str());
    if (!profile) {
        report.load = LoadState::unloadable;
        add_load_failure(scan, capture.messages(), report.findings);
    } else {
        check_loaded(profile.get(), scan, report.findings);
    }
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return report;
}

std::string format_finding(const std::string& path, const Finding& finding) {
    std::string text = path;
    if (finding.line > 0) text += ":" + std::to_string(finding.line);
    text += finding.severity == Severity::error ? ": error: " : ": warning: ";
    if (!finding.section.empty()) text += "[" + finding.section + "] ";
    if (!finding.key.empty()) text += finding.key + ": ";
    return text + finding.message;
}

int check_profile(const char* path, std::FILE* out) {
    const std::string name = path != nullptr ? path : kDefaultProfile;
    const Report report = check_file(name);
    for (const Finding& finding : report.findings) {
        std::fprintf(out, "%s\n", format_finding(name, finding).c_str());
    }
    if (report.load == LoadState::unreadable) {
        std::fprintf(out, "%s: not checked: the file cannot be read\n", name.c_str());
    } else if (report.load == LoadState::unloadable) {
        std::fprintf(out,
                     "%s: not checked: iniparser cannot load it, so every call that reads the "
                     "profile fails (SENSOR_ERR_PROFILE, ERR_PROFILE_LOAD)\n",
                     name.c_str());
    } else {
        std::fprintf(out, "%s: %s, %s, %s\n", name.c_str(),
                     counted(report.sections, "section").c_str(),
                     counted(report.count(Severity::error), "error").c_str(),
                     counted(report.count(Severity::warning), "warning").c_str());
    }
    return report.exit_status();
}

}  // namespace quorvik::profile_check
