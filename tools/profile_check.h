// quorvik-info --check-profile: checks a device profile against what the two
// libraries read from it, and reports each problem with its file line.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace quorvik::profile_check {

// error: a library call would fail or read a wrong value.
// warning: worth a look, but every call still does what the profile says.
enum class Severity { warning, error };

struct Finding {
    Severity severity = Severity::warning;
    int line = 0;         // 0: about the file as a whole
    std::string section;  // empty: not about one section
    std::string key;      // canonical spelling ("Vin0Cof"); empty: the section itself
    std::string message;
};

enum class LoadState { loaded, unreadable, unloadable };

struct Report {
    LoadState load = LoadState::loaded;
    int sections = 0;
    std::vector<Finding> findings;  // in line order

    // 0 without errors, 1 with errors, 2 when the file cannot be read or loaded.
    int exit_status() const;
    int count(Severity severity) const;
};

// Checks the profile at path; prints nothing.
Report check_file(const std::string& path);

// "path:12: error: [kt-500r] Vin0Cof: factor 0 ..." (no line number for line 0).
std::string format_finding(const std::string& path, const Finding& finding);

// Checks the profile at path, prints each finding and a summary line to out,
// and returns the exit status of the check. A null path is
// QUORVIK_PROFILE_PATH.
int check_profile(const char* path, std::FILE* out);

}  // namespace quorvik::profile_check
