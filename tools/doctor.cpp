// The doctor's table of checks, its run and its two renderings.
#include "doctor.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "doctor_checks.h"
#include "info_output.h"
#include "quorvik_common/text.h"
#include "report.h"

namespace quorvik::doctor {
namespace {

struct Check {
    const char* name;
    Finding (*run)(Context&);
};

// The order follows a reading's way: who may read, what the firmware lets
// through, which board and profile, then each device and tool it uses.
constexpr Check kChecks[] = {
    {"privileges", check_privileges},
    {"lockdown", check_lockdown},
    {"port-access", check_port_access},
    {"physical-memory", check_physical_memory},
    {"board", check_board},
    {"profile", check_profile},
    {"superio-driver", check_superio_driver},
    {"superio-acpi", check_superio_acpi},
    {"msr", check_msr},
    {"dio", check_dio},
    {"relay", check_relay},
    {"ethernet", check_ethernet},
    {"serial", check_serial},
    {"tools", check_tools},
    {"network-mounts", check_network_mounts},
    {"metrics-timer", check_metrics_timer},
};

int count(const std::vector<Result>& results, Verdict verdict) {
    return static_cast<int>(std::count_if(results.begin(), results.end(), [&](const Result& r) {
        return r.finding.verdict == verdict;
    }));
}

}  // namespace

const char* verdict_name(Verdict verdict) {
    switch (verdict) {
        case Verdict::ok:
            return "OK";
        case Verdict::warn:
            return "WARN";
        case Verdict::fail:
            break;
    }
    return "FAIL";
}

std::vector<Result> run_checks() {
    Context context;
    std::vector<Result> results;
    for (const Check& check : kChecks) results.push_back({check.name, check.run(context)});
    return results;
}

std::string render_text(const std::vector<Result>& results) {
    std::string text;
    for (const Result& result : results) {
        char head[40];
        std::snprintf(head, sizeof head, "%-5s %-15s ", verdict_name(result.finding.verdict),
                      result.check);
        std::string line = head + result.finding.found;
        if (result.finding.verdict != Verdict::ok) line += ". Remedy: " + result.finding.remedy;
        text += text::escape_controls(line) + "\n";
    }
    text += std::to_string(results.size()) +
            " checks: " + std::to_string(count(results, Verdict::ok)) + " OK, " +
            std::to_string(count(results, Verdict::warn)) + " WARN, " +
            std::to_string(count(results, Verdict::fail)) + " FAIL\n";
    return text;
}

std::string render_json(const std::vector<Result>& results) {
    nlohmann::ordered_json checks = nlohmann::ordered_json::array();
    for (const Result& result : results) {
        checks.push_back({{"check", result.check},
                          {"verdict", verdict_name(result.finding.verdict)},
                          {"found", result.finding.found},
                          {"remedy", result.finding.remedy}});
    }
    // Its own schema, versioned as the report's is: fields are only added.
    const nlohmann::ordered_json document = {{"schema_version", 1},
                                             {"checks", checks},
                                             {"ok", count(results, Verdict::ok)},
                                             {"warn", count(results, Verdict::warn)},
                                             {"fail", count(results, Verdict::fail)}};
    // Texts from files may hold any byte: replaced, never a thrown error.
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

int exit_status(const std::vector<Result>& results) {
    return count(results, Verdict::fail) > 0 ? 1 : 0;
}

int run(bool json) {
    std::string messages;
    std::vector<Result> results;
    {
        // The libraries print why identification failed on standard output.
        info::LibraryOutput library_output;
        results = run_checks();
        messages = report::library_messages(library_output.finish());
    }
    const bool written = info::write_stdout(json ? render_json(results) : render_text(results));
    std::fputs(messages.c_str(), stderr);
    if (!written) {
        std::perror("quorvik-info: standard output");
        return 1;
    }
    return exit_status(results);
}

}  // namespace quorvik::doctor
