// quorvik-info: prints everything the Quorvik libraries can tell about this
// board, each reading with its value or its status by name, as a readable
// report, JSON or Prometheus exposition; or checks a device profile
// (--check-profile); or tells why readings fail on this board (--doctor).
#include <getopt.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "QuorvikSO.h"
#include "doctor.h"
#include "info_output.h"
#include "loaded_version.h"
#include "profile_check.h"
#include "quorvik.h"
#include "report.h"

namespace {

constexpr int kWriteFailed = 1;
constexpr int kUsageError = 2;

enum class Format { text, json, prometheus };

struct Options {
    bool help = false;
    bool version = false;
    bool per_cpu = false;
    Format format = Format::text;
    bool format_given = false;
    const char* output = nullptr;  // "-" is standard output
    bool check_profile = false;
    const char* profile = nullptr;
    bool doctor = false;
};

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "Usage: quorvik-info [-j | -p] [-c] [-o FILE]\n"
                 "       quorvik-info -C [FILE]\n"
                 "       quorvik-info --doctor [-j]\n"
                 "\n"
                 "Prints the board's identity, sensors and system metrics; readings that\n"
                 "fail show their status by name. The libraries' messages follow the\n"
                 "report on standard error, each once.\n"
                 "\n"
                 "  -j, --json                  one JSON document (schema_version 1)\n"
                 "  -p, --prometheus            Prometheus text format for node_exporter's\n"
                 "                              textfile collector\n"
                 "  -c, --per-cpu               also each CPU's usage, measured in the same\n"
                 "                              second as the average\n"
                 "  -o, --output=FILE           write the report to FILE atomically (a\n"
                 "                              temporary file in the same directory, then\n"
                 "                              renamed); FILE must be a regular file if it\n"
                 "                              exists; - is standard output\n"
                 "  -C, --check-profile[=FILE]  check a device profile instead of the report\n"
                 "                              (default %s):\n"
                 "                              one line per finding, then a summary; exit\n"
                 "                              status 0 no errors, 1 errors, 2 the file\n"
                 "                              cannot be loaded\n"
                 "      --doctor                check why readings fail on this board and\n"
                 "                              say what to do: one line per check (with -j\n"
                 "                              one JSON document); exit status 0 no check\n"
                 "                              failed, 1 a check failed\n"
                 "  -h, --help                  show this help\n"
                 "  -V, --version               show the versions of the tool and libraries\n"
                 "\n"
                 "Exit status: 0 report written (failed readings are in it), 1 the report\n"
                 "could not be written, 2 usage error.\n",
                 QUORVIK_PROFILE_PATH);
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

// --check-profile takes no report options: they would be silently ignored;
// --doctor takes only --json.
bool check_combination(const Options& options) {
    if (options.doctor && (options.check_profile || options.per_cpu || options.output != nullptr ||
                           (options.format_given && options.format != Format::json))) {
        return usage_error("only --json goes with", "--doctor");
    }
    if (!options.check_profile) return true;
    if (options.format_given || options.per_cpu || options.output != nullptr) {
        return usage_error("report options do not go with", "--check-profile");
    }
    return true;
}

constexpr option kLongOptions[] = {
    {"json", no_argument, nullptr, 'j'},
    {"prometheus", no_argument, nullptr, 'p'},
    {"per-cpu", no_argument, nullptr, 'c'},
    {"output", required_argument, nullptr, 'o'},
    {"check-profile", optional_argument, nullptr, 'C'},
    {"doctor", no_argument, nullptr, 'D'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// The option getopt_long stopped at, as the user wrote it: the argument it
// was reading when that was a long option, else the short option's letter.
bool option_error(const char* current, int result) {
    const char short_option[] = {'-', static_cast<char>(optopt), '\0'};
    const bool long_option = current != nullptr && std::strncmp(current, "--", 2) == 0;
    const char* arg = long_option ? current : short_option;
    if (result == ':') return usage_error("FILE missing:", arg);
    return usage_error("unknown option", arg);
}

// Returns false, after saying why on stderr, for a wrong command line.
bool parse_options(int argc, char** argv, Options& options) {
    opterr = 0;  // our own messages, with the hint to --help
    for (;;) {
        const char* current = optind < argc ? argv[optind] : nullptr;
        const int result = getopt_long(argc, argv, ":jpco:C::hV", kLongOptions, nullptr);
        if (result == -1) break;
        switch (result) {
            case 'j':
                if (!set_format(options, Format::json, argv[optind - 1])) return false;
                break;
            case 'p':
                if (!set_format(options, Format::prometheus, argv[optind - 1])) return false;
                break;
            case 'c':
                options.per_cpu = true;
                break;
            case 'o':
                if (optarg[0] == '\0') return usage_error("FILE missing:", argv[optind - 1]);
                options.output = optarg;
                break;
            case 'C':
                options.check_profile = true;
                if (optarg != nullptr) options.profile = optarg;
                break;
            case 'D':
                options.doctor = true;
                break;
            case 'h':
                options.help = true;
                break;
            case 'V':
                options.version = true;
                break;
            default:
                return option_error(current, result);
        }
    }
    // "--check-profile FILE" names the profile as the next word, as it always has.
    if (options.check_profile && options.profile == nullptr && optind < argc) {
        options.profile = argv[optind++];
    }
    if (optind < argc) return usage_error("unexpected argument", argv[optind]);
    if (options.profile == nullptr) options.profile = QUORVIK_PROFILE_PATH;
    return check_combination(options);
}

// The collection's deadline: kDeadline, or QUORVIK_INFO_DEADLINE seconds.
std::chrono::milliseconds deadline() {
    const char* given = std::getenv("QUORVIK_INFO_DEADLINE");
    if (given == nullptr) return quorvik::report::kDeadline;
    char* end = nullptr;
    const double seconds = std::strtod(given, &end);
    if (end == given || *end != '\0' || !(seconds > 0.0 && seconds <= 86400.0)) {
        std::fprintf(stderr, "quorvik-info: QUORVIK_INFO_DEADLINE '%s' is no number of seconds\n",
                     given);
        return quorvik::report::kDeadline;
    }
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0));
}

quorvik::report::Report collect(const Options& options) {
    quorvik::info::CpuProgress progress;
    quorvik::report::CollectOptions collect_options;
    collect_options.per_cpu = options.per_cpu;
    collect_options.cpu_progress = [&progress](int done, int total) { progress(done, total); };
    collect_options.deadline = deadline();
    quorvik::report::Report report = quorvik::report::collect(collect_options);
    report.tool_version = QUORVIK_INFO_VERSION;
    return report;
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

bool to_stdout(const char* output) {
    return output == nullptr || std::strcmp(output, "-") == 0;
}

// Writes the report where the options say; unfinished tells whether calls
// still hang in other threads (the deadline came first).
int report(const Options& options, bool stdout_open, bool& unfinished) {
    quorvik::info::OutputFile file;
    std::string error;
    if (to_stdout(options.output) && !stdout_open) {
        std::fputs("quorvik-info: standard output: it is closed\n", stderr);
        return kWriteFailed;
    }
    // A target that cannot take the report is said before the measuring.
    if (!to_stdout(options.output) && !file.open(options.output, error)) {
        std::fprintf(stderr, "quorvik-info: %s\n", error.c_str());
        return kWriteFailed;
    }
    quorvik::info::LibraryOutput library_output;
    const quorvik::report::Report collected = collect(options);
    unfinished = collected.unfinished;
    // Calls that still hang may still print: their output stays captured.
    const std::string messages = quorvik::report::library_messages(
        unfinished ? library_output.printed_so_far() : library_output.finish());
    const std::string text = render(collected, options.format);
    int status = 0;
    if (to_stdout(options.output)) {
        if (!quorvik::info::write_stdout(text, library_output.standard_output())) {
            std::perror("quorvik-info: standard output");
            status = kWriteFailed;
        }
    } else if (!file.commit(text, error)) {
        std::fprintf(stderr, "quorvik-info: %s\n", error.c_str());
        status = kWriteFailed;
    }
    std::fputs(messages.c_str(), stderr);
    if (unfinished) {
        std::fputs("quorvik-info: readings not finished by the deadline are reported failed\n",
                   stderr);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const bool stdout_open = quorvik::info::keep_standard_descriptors();
    // A parent that ignores SIGCHLD would make every command's status
    // unobtainable to the libraries (ERR_PCLOSE).
    std::signal(SIGCHLD, SIG_DFL);
    Options options;
    if (!parse_options(argc, argv, options)) return kUsageError;
    if (options.help) {
        print_help(stdout);
        return 0;
    }
    if (options.version) {
        std::printf("quorvik-info %s (libquorvik %s, libQuorvikSO %s)\n", QUORVIK_INFO_VERSION,
                    quorvik::info::loaded_version("libquorvik.so").c_str(),
                    quorvik::info::loaded_version("libQuorvikSO.so").c_str());
        return 0;
    }
    if (options.check_profile) {
        return quorvik::profile_check::check_profile(options.profile, stdout);
    }
    if (options.doctor) return quorvik::doctor::run(options.format == Format::json);
    bool unfinished = false;
    const int status = report(options, stdout_open, unfinished);
    if (unfinished) {
        // Threads still hang in library calls: nothing may be torn down
        // under them, and their streams stay locked (no fflush of all).
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(status);
    }
    return status;
}
