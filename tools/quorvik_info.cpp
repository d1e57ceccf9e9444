// quorvik-info: prints everything the Quorvik libraries can tell about this
// board, each reading with its value or its status by name; or checks a
// device profile (--check-profile).
#include <cstdio>
#include <cstring>

#include "info.h"
#include "profile_check.h"

namespace {

constexpr int kUsageError = 2;

struct Options {
    bool help = false;
    bool per_cpu = false;
    bool check_profile = false;
    const char* profile = quorvik::profile_check::kDefaultProfile;
};

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "Usage: quorvik-info [--per-cpu]\n"
                 "       quorvik-info --check-profile [FILE]\n"
                 "\n"
                 "Without options, prints the board's identity, sensors and system metrics.\n"
                 "\n"
                 "  --per-cpu              also measure each CPU's usage (one second per CPU)\n"
                 "  --check-profile [FILE] check a device profile (default %s):\n"
                 "                         one line per finding, then a summary; exit status\n"
                 "                         0 no errors, 1 errors, 2 the file cannot be loaded\n"
                 "  --help                 show this help\n",
                 quorvik::profile_check::kDefaultProfile);
}

bool is_option(const char* arg) {
    return arg[0] == '-' && arg[1] != '\0';
}

// Returns false, after saying why on stderr, for an unknown argument.
bool parse_options(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, "--per-cpu") == 0) {
            options.per_cpu = true;
        } else if (std::strcmp(arg, "--check-profile") == 0) {
            options.check_profile = true;
            if (i + 1 < argc && !is_option(argv[i + 1])) options.profile = argv[++i];
        } else if (std::strncmp(arg, "--check-profile=", 16) == 0) {
            options.check_profile = true;
            options.profile = arg + 16;
        } else {
            std::fprintf(stderr, "quorvik-info: %s '%s'\nTry 'quorvik-info --help'.\n",
                         is_option(arg) ? "unknown option" : "unexpected argument", arg);
            return false;
        }
    }
    return true;
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
    quorvik::info::report_identity();
    quorvik::info::report_sensors();
    quorvik::info::report_system(options.per_cpu);
    return 0;
}
