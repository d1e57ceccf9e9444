#include "profile_check.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "QuorvikSO.h"
#include "fd_io.h"
#include "profile_check_rules.h"
#include "profile_check_scan.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/text.h"
#include "quorvik_common/unique_fd.h"

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

// A profile is a few kilobytes; anything beyond this is no profile.
constexpr off_t kLargestProfile = 1 << 20;

// Reads the whole file once; a FIFO, a device or a file too large is refused
// without reading it. On failure returns false with the reason in error.
bool read_file(const std::string& path, std::string& text, std::string& error) {
    // Non-blocking, so that opening a FIFO without a writer does not hang.
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    if (!file.valid() || ::fstat(file.get(), &status) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = "not a regular file";
        return false;
    }
    if (status.st_size > kLargestProfile) {
        error = "larger than " + std::to_string(kLargestProfile) + " bytes, no device profile";
        return false;
    }
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            return false;
        }
        text.append(chunk, static_cast<std::size_t>(got));
        // The file grew while being read.
        if (text.size() > static_cast<std::size_t>(kLargestProfile)) {
            error = "larger than " + std::to_string(kLargestProfile) + " bytes, no device profile";
            return false;
        }
    }
}

// iniparser loads only from a path: the text already read is handed to it
// through an anonymous memory file, so that the file itself is read once.
ini::Profile load_text(const std::string& text) {
    const UniqueFd memory(::memfd_create("profile", MFD_CLOEXEC));
    if (!memory.valid() || !fd_io::write_all(memory.get(), text)) return ini::Profile(nullptr);
    const std::string path = "/proc/self/fd/" + std::to_string(memory.get());
    return ini::Profile(path.c_str());
}

// iniparser's messages end in " (<line>):" or " (<line>)"; 0 when none.
int message_line(const std::string& message) {
    const std::size_t open = message.find(" (");
    if (open == std::string::npos) return 0;
    return std::atoi(message.c_str() + open + 2);
}

// Lines that the scan reports itself, better than iniparser does.
bool is_reported_line(const FileScan& scan, int line) {
    return std::any_of(scan.long_lines.begin(), scan.long_lines.end(),
                       [line](const LongLine& long_line) { return long_line.line == line; }) ||
           std::find(scan.nul_lines.begin(), scan.nul_lines.end(), line) != scan.nul_lines.end();
}

// A NUL byte ends the line for iniparser, which then takes it for one too
// long and refuses the file; whether or not the file loads, it is an error.
void add_nul_lines(const FileScan& scan, std::vector<Finding>& out) {
    for (const int line : scan.nul_lines) {
        out.push_back({Severity::error, line, "", "",
                       "NUL byte in the line: iniparser stops reading the line there and "
                       "refuses the whole file as having an overlong line"});
    }
}

void add_load_failure(const FileScan& scan, const std::vector<std::string>& messages,
                      std::vector<Finding>& out) {
    add_nul_lines(scan, out);
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
        } else if (line == 0 || !is_reported_line(scan, line)) {
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
    std::set<std::string> read_keys = check_monitoring_keys(check, inputs);
    read_keys.merge(check_sensor_inputs(check, inputs));
    check_value_texts(check, read_keys);
    check_unread_keys(check, read_keys);
}

// Each section's entries in a dictionary of its own: a section's checks look
// up hundreds of keys, and iniparser finds each by scanning the whole
// dictionary, which a profile of thousands of sections makes take minutes.
// A section's own keys, and those of sections named "<section>:...", share
// the text before the first ':'.
class SectionDictionaries {
  public:
    explicit SectionDictionaries(const dictionary* dict) {
        for (ssize_t i = 0; dict != nullptr && i < dict->size; ++i) {
            const char* key = dict->key[i];
            if (key == nullptr) continue;
            const std::string_view whole(key);
            const std::string section(whole.substr(0, whole.find(':')));
            dictionary*& part = parts_[section];
            if (part == nullptr) part = dictionary_new(0);
            if (part != nullptr) dictionary_set(part, key, dict->val[i]);
        }
    }
    ~SectionDictionaries() {
        for (auto& [name, part] : parts_) {
            if (part != nullptr) dictionary_del(part);
        }
    }
    SectionDictionaries(const SectionDictionaries&) = delete;
    SectionDictionaries& operator=(const SectionDictionaries&) = delete;

    // The entries of the section named so (lower case); nullptr if none.
    const dictionary* of(const std::string& name) const {
        const auto found = parts_.find(name);
        return found != parts_.end() ? found->second : nullptr;
    }

  private:
    std::unordered_map<std::string, dictionary*> parts_;
};

// Sections that no model reaches are reported once, by check_layout; what
// they hold makes no call fail.
bool reachable(const SectionPlace& place) {
    return !place.name.empty() && place.name.find(':') == std::string::npos &&
           place.name.size() <= kLongestModel;
}

void check_loaded(const dictionary* dict, const FileScan& scan, std::vector<Finding>& out) {
    check_layout(dict, scan, out);
    const SectionDictionaries parts(dict);
    for (const SectionPlace& place : scan.sections) {
        if (!reachable(place)) continue;
        const dictionary* own = parts.of(to_lower(place.name));
        check_section(own != nullptr ? own : dict, scan, place, out);
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
    const ini::Profile profile = load_text(text);
    if (!profile) {
        report.load = LoadState::unloadable;
        add_load_failure(scan, capture.messages(), report.findings);
    } else {
        add_nul_lines(scan, report.findings);
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
    return text::escape_controls(text + finding.message);
}

int check_profile(const char* path, std::FILE* out) {
    const std::string name = path != nullptr ? path : QUORVIK_PROFILE_PATH;
    const std::string shown = text::escape_controls(name);
    const Report report = check_file(name);
    for (const Finding& finding : report.findings) {
        std::fprintf(out, "%s\n", format_finding(name, finding).c_str());
    }
    if (report.load == LoadState::unreadable) {
        std::fprintf(out, "%s: not checked: the file cannot be read\n", shown.c_str());
    } else if (report.load == LoadState::unloadable) {
        std::fprintf(out,
                     "%s: not checked: iniparser cannot load it, so every call that reads the "
                     "profile fails (SENSOR_ERR_PROFILE, ERR_PROFILE_LOAD)\n",
                     shown.c_str());
    } else {
        std::fprintf(out, "%s: %s, %s, %s\n", shown.c_str(),
                     counted(report.sections, "section").c_str(),
                     counted(report.count(Severity::error), "error").c_str(),
                     counted(report.count(Severity::warning), "warning").c_str());
    }
    return report.exit_status();
}

}  // namespace quorvik::profile_check
