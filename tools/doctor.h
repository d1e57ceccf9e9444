// quorvik-info --doctor: why a reading fails on this board, and what to do.
// A fixed list of checks, in the order a reading goes (privileges, firmware,
// profile, devices, tools, then what a fleet adds), each with its verdict,
// what it found and, when not OK, the remedy in one sentence.
#pragma once

#include <string>
#include <vector>

namespace quorvik::doctor {

enum class Verdict { ok, warn, fail };

struct Finding {
    Verdict verdict = Verdict::ok;
    std::string found;
    std::string remedy;  // empty when OK
};

struct Result {
    const char* check;
    Finding finding;
};

// Runs every check in order. Nothing is written and no port is touched
// beyond what identification does; reading the kernel log never blocks.
std::vector<Result> run_checks();

// "FAIL  lockdown        found. Remedy: ..." one line each, then a summary.
std::string render_text(const std::vector<Result>& results);
// {"schema_version": 1, "checks": [{"check", "verdict", "found", "remedy"}...],
//  "ok", "warn", "fail"}
std::string render_json(const std::vector<Result>& results);

// 1 when a check failed, else 0.
int exit_status(const std::vector<Result>& results);

const char* verdict_name(Verdict verdict);

// quorvik-info --doctor [--json]: runs the checks, writes the rendering to
// standard output and the libraries' own messages, once each, to standard
// error; returns the exit status (1 also when the output cannot be written).
int run(bool json);

}  // namespace quorvik::doctor
