// quorvik-info: prints everything the Quorvik libraries can tell about this
// board, each reading with its value or its status by name, as a readable
// report, JSON or Prometheus exposition; or checks a device profile
// (--check-profile).
#include <cstdio>
#include <cstring>
#include <string>

#include "info_output.h"
#include "profile_check.h"
#include "report.h"

namespace {

constexpr int kWriteFailed = 1;
constexpr int kUsageError = 2;

enum class Format { text, json, prometheus };

struct Options {
    bool help = false;
    bool per_cpu = false;
    Format format = Format::text;
    bool format_given = false;
    const char* output = nullptr;
    bool check_profile = false;
    const char* profile = quorvik::profile_check::kDefaultProfile;
};

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "Usage: quorvik-info [--json | --prometheus] [--per-cpu] [--output FILE]\n"
                 "       quorvik-info --check-profile [FILE]\n"
                 "\n"
                 "Prints the board's identity, sensors and system metrics; readings that\n"
                 "fail show their status by name.\n"
                 "\n"
                 "  --json                 one JSON document (schema_version 1)\n"
                 "  --prometheus           Prometheus text format for node_exporter's\n"
                 "                         textfile collector\n"
                 "  --per-cpu              also measure each CPU's usage (one second per CPU)\n"
                 "  --output FILE          write the report to FILE atomically (a temporary\n"
                 "                         file in the same directory, then renamed)\n"
                 "  --check-profile [FILE] check a device profile (default %s):\n"
                 "                         one line per finding, then a summary; exit status\n"
                 "                         0 no errors, 1 errors, 2 the file cannot be loaded\n"
                 "  --help                 show this help\n"
                 "\n"
                 "Exit status: 0 report written (failed readings are in it), 1 the report\n"
                 "could not be written, 2 usage error.\n",
                 quorvik::profile_check::kDefaultProfile);
}

bool is_option(const char* arg) {
    return arg[0] == '-' && arg[1] != '\0';
}

bool usage_error(const char* message, const char* arg) {
    std::fprintf(stderr, "quorvik-info: %s '%s'\nTry 'quorvik-info --help'.\n", message, arg);
    return false;
}

bool set_format(Options& options, Format format, const char* arg) {
    if (options.format_given && options.format != format) {
        return usage_error("only one of --json and --prometheus, not also", arg);
    }
    options.format = format;
    options.format_given = true;
    return true;
}

// --check-profile takes no report options: they would be silently ignored.
bool check_combination(const Options& options) {
    if (!options.check_profile) return true;
    if (options.format_given || options.per_cpu || options.output != nullptr) {
        return usage_error("report options do not go with", "--check-profile");
    }
    return true;
}

// Returns false, after saying why on stderr, for a wrong command line.
bool parse_options(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, "--per-cpu") == 0) {
            options.per_cpu = true;
        } else if (std::strcmp(arg, "--json") == 0) {
            if (!set_format(options, Format::json, arg)) return false;
        } else if (std::strcmp(arg, "--prometheus") == 0) {
            if (!set_format(options, Format::prometheus, arg)) return false;
        } else if (std::strcmp(arg, "--output") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') return usage_error("FILE missing:", arg);
            options.output = argv[++i];
        } else if (std::strncmp(arg, "--output=", 9) == 0 && arg[9] != '\0') {
            options.output = arg + 9;
        } else if (std::strcmp(arg, "--check-profile") == 0) {
            options.check_profile = true;
            if (i + 1 < argc && !is_option(argv[i + 1])) options.profile = argv[++i];
        } else if (std::strncmp(arg, "--check-profile=", 16) == 0) {
            options.check_profile = true;
            options.profile = arg + 16;
        } else {
            return usage_error(is_option(arg) ? "unknown option" : "unexpected argument", arg);
        }
    }
    return check_combination(options);
}

quorvik::report::Report collect(const Options& options) {
    quorvik::info::CpuProgress progress;
    quorvik::report::CollectOptions collect_options;
    collect_options.per_cpu = options.per_cpu;
    collect_options.cpu_progress = [&progress](int done, int total) { progress(done, total); };
    const quorvik::info::DiagnosticsToStderr diagnostics;
    return quorvik::report::collect(collect_options);
}

std::string render(const quorvik::report::Report& report, Format format) {
    switch (format) {
        case Format::json:
            return quorvik::report::render_json(report);
        case Format::prometheus:
            return quorvik::report::render_prometheus(report);
        case Format::text:
            break;
    }
    return quorvik::report::render_text(report);
}

int write_report(const std::string& text, const char* output) {
    if (output == nullptr) {
        if (quorvik::info::write_stdout(text)) return 0;
        std::perror("quorvik-info: standard output");
        return kWriteFailed;
    }
    std::string error;
    if (quorvik::info::write_atomically(output, text, error)) return 0;
    std::fprintf(stderr, "quorvik-info: %s\n", error.c_str());
    return kWriteFailed;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse_options(argc, argv, options)) return kUsageError;
    if (options.help) {
        print_help(stdout);
        return 0;
    }
    if (options.check_profile) {
        return quorvik::profile_check::check_profile(options.profile, stdout);
    }
    return write_report(render(collect(options), options.format), options.output);
}
