// quorvik-sim: runs unmodified programs on a simulated Quorvik board.
//   quorvik-sim check BOARD
//   quorvik-sim run [--name NAME] [--state DIR] [--keep] BOARD -- PROGRAM [ARGS...]
//   quorvik-sim set RUN KEY=VALUE...
//   quorvik-sim get RUN [KEY...]
//   quorvik-sim record DIR
// and, called as ifconfig, ifstat, lsof or df, the stand-in tools of a run.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board.h"
#include "images.h"
#include "live.h"
#include "standins.h"
#include "state.h"

#ifndef QUORVIK_SIM_VERSION
#define QUORVIK_SIM_VERSION "0"
#endif
#ifndef QUORVIK_SIM_LIBDIR_RELATIVE
#define QUORVIK_SIM_LIBDIR_RELATIVE "../lib/quorvik-sim"
#endif

using namespace quorvik::simtool;

namespace {

const char kUsage[] =
    "Usage: quorvik-sim check BOARD\n"
    "       quorvik-sim run [--name NAME] [--state DIR] [--keep] BOARD -- PROGRAM [ARGS...]\n"
    "       quorvik-sim set RUN KEY=VALUE...\n"
    "       quorvik-sim get RUN [KEY...]\n"
    "       quorvik-sim images BOARD DIR\n"
    "       quorvik-sim record DIR\n"
    "BOARD is a board directory (with board.ini) or a board file; RUN is a run's\n"
    "name or its state directory. See quorvik-sim(1).\n";

int usage_error(const std::string& message) {
    std::fprintf(stderr, "quorvik-sim: %s\n%s", message.c_str(), kUsage);
    return 2;
}

std::string self_path() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "quorvik-sim";
    path[n] = '\0';
    return path;
}

// The simulated libraries: beside the executable in the build tree
// (sim/lib), or the installed directory relative to the program's.
std::string find_libdir() {
    if (const char* dir = std::getenv("QUORVIK_SIM_LIBDIR_OVERRIDE")) return dir;
    const std::filesystem::path exe = self_path();
    for (const std::filesystem::path& candidate :
         {exe.parent_path() / "lib", exe.parent_path() / QUORVIK_SIM_LIBDIR_RELATIVE}) {
        std::error_code ignored;
        if (std::filesystem::exists(candidate / "libquorvik.so.1", ignored)) {
            return std::filesystem::weakly_canonical(candidate, ignored).string();
        }
    }
    return "";
}

// Where runs keep their state: $XDG_RUNTIME_DIR or $TMPDIR or /tmp, in a
// directory of the user's own.
std::string runs_dir() {
    const char* base = std::getenv("XDG_RUNTIME_DIR");
    if (base == nullptr || base[0] != '/') base = std::getenv("TMPDIR");
    if (base == nullptr || base[0] != '/') base = "/tmp";
    return std::string(base) + "/quorvik-sim-" + std::to_string(::getuid());
}

std::string run_dir(const std::string& run) {
    if (run.find('/') != std::string::npos) return run;
    return runs_dir() + "/" + run;
}

bool pid_alive(const std::string& dir) {
    std::ifstream in(dir + "/pid");
    long pid = 0;
    return (in >> pid) && pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

int check(const std::string& path) {
    Diagnostics out;
    const Board board = read_board(path, out);
    std::fputs(out.text().c_str(), stdout);
    if (out.has_errors()) return 1;
    std::printf("%s: board %s, model %s, identity by %s: no errors\n", board.file.c_str(),
                board.name.c_str(), board.identity.model.c_str(),
                board.identity.source == Identity::Source::Smbios      ? "SMBIOS (Insyde vendor)"
                : board.identity.source == Identity::Source::Signature ? "signature text"
                                                                       : "images");
    return 0;
}

int write_images(const std::string& path, const std::string& dir) {
    Diagnostics out;
    const Board board = read_board(path, out);
    const auto images = out.has_errors() ? std::nullopt : build_images(board, out);
    if (!images) {
        std::fputs(out.text().c_str(), stderr);
        return 1;
    }
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    const std::vector<std::uint8_t> dump = dump_bin(*images);
    for (const auto& [name, bytes] :
         {std::pair{"fsegment.bin", &images->fsegment}, std::pair{"smbios.bin", &dump}}) {
        std::ofstream file(dir + "/" + name, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes->data()),
                   static_cast<std::streamsize>(bytes->size()));
        if (!file) {
            std::fprintf(stderr, "quorvik-sim: cannot write %s/%s\n", dir.c_str(), name);
            return 1;
        }
    }
    return 0;
}

// The program as execvp finds it.
std::string find_program(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

// A program the loader would start in secure-execution mode ignores
// LD_PRELOAD, LD_AUDIT and LD_LIBRARY_PATH: it would get the real libraries.
std::string secure_execution_reason(const std::string& program) {
    struct stat st;
    if (::stat(program.c_str(), &st) != 0) return "";
    if ((st.st_mode & S_ISUID) != 0 && st.st_uid != ::geteuid()) return "it is set-user-ID";
    if ((st.st_mode & S_ISGID) != 0 && st.st_gid != ::getegid()) return "it is set-group-ID";
    if (::getxattr(program.c_str(), "security.capability", nullptr, 0) > 0)
        return "it has file capabilities";
    return "";
}

std::string prepend(const char* variable, const std::string& value, char separator) {
    const char* old = std::getenv(variable);
    return old != nullptr && old[0] != '\0' ? value + separator + old : value;
}

volatile sig_atomic_t forwarded_child = 0;

void forward(int signal) {
    if (forwarded_child > 0) ::kill(forwarded_child, signal);
}

int run(int argc, char** argv) {
    std::string name, state;
    bool keep = false;
    int i = 2;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--name" && i + 1 < argc) {
            name = argv[++i];
        } else if (arg.rfind("--name=", 0) == 0) {
            name = arg.substr(7);
        } else if (arg == "--state" && i + 1 < argc) {
            state = argv[++i];
        } else if (arg.rfind("--state=", 0) == 0) {
            state = arg.substr(8);
        } else if (arg == "--keep") {
            keep = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return usage_error("unknown option " + arg);
        } else {
            break;
        }
    }
    if (i >= argc) return usage_error("run needs a BOARD");
    const std::string board_path = argv[i++];
    if (i < argc && std::strcmp(argv[i], "--") == 0) ++i;
    if (i >= argc) return usage_error("run needs a PROGRAM after the board (BOARD -- PROGRAM)");
    char** program_argv = argv + i;

    Diagnostics out;
    const Board board = read_board(board_path, out);
    if (out.has_errors()) {
        std::fputs(out.text().c_str(), stderr);
        std::fprintf(stderr, "quorvik-sim: the board has errors (quorvik-sim check %s)\n",
                     board_path.c_str());
        return 125;
    }
    const auto images = build_images(board, out);
    if (!images) {
        std::fputs(out.text().c_str(), stderr);
        return 125;
    }
    const std::string libdir = find_libdir();
    if (libdir.empty()) {
        std::fprintf(stderr,
                     "quorvik-sim: the simulated libraries are not installed beside quorvik-sim\n");
        return 125;
    }

    const std::string program = find_program(program_argv[0]);
    if (program.empty()) {
        std::fprintf(stderr, "quorvik-sim: %s: command not found\n", program_argv[0]);
        return 127;
    }
    if (const std::string why = secure_execution_reason(program); !why.empty()) {
        std::fprintf(
            stderr,
            "quorvik-sim: %s cannot run on a simulated board: %s, so the loader would give it "
            "the real libraries and the real hardware\n",
            program.c_str(), why.c_str());
        return 126;
    }

    // The state directory.
    const bool own_state = state.empty();
    if (own_state) {
        const std::string base = runs_dir();
        if (::mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "quorvik-sim: cannot create %s: %s\n", base.c_str(),
                         std::strerror(errno));
            return 125;
        }
        // Another user's directory there would see and change the runs.
        struct stat owner;
        if (::lstat(base.c_str(), &owner) != 0 || !S_ISDIR(owner.st_mode) ||
            owner.st_uid != ::getuid() || (owner.st_mode & 077) != 0) {
            std::fprintf(stderr, "quorvik-sim: %s is not a private directory of yours\n",
                         base.c_str());
            return 125;
        }
        if (name.empty()) name = board.name;
        if (!plain_text(name, "._+-")) {
            return usage_error("a run name is letters, digits, '.', '_', '+' and '-'");
        }
        state = base + "/" + name;
        if (std::filesystem::exists(state)) {
            if (pid_alive(state)) {
                std::fprintf(stderr,
                             "quorvik-sim: a run named %s is going on; give another --name\n",
                             name.c_str());
                return 125;
            }
            std::error_code ignored;
            std::filesystem::remove_all(state, ignored);  // a finished run's
        }
    }
    {
        std::error_code ignored;
        const std::filesystem::path absolute = std::filesystem::absolute(state, ignored);
        state = absolute.lexically_normal().string();
        while (state.size() > 1 && state.back() == '/') state.pop_back();
    }
    // The state directory's name goes into shell command lines.
    if (!plain_text(state, "/._+-")) {
        std::fprintf(stderr,
                     "quorvik-sim: the state directory %s may hold only letters, digits and "
                     "/._+- (it goes into command lines)\n",
                     state.c_str());
        return 125;
    }
    if (const std::string e = create_state(board, *images, state, self_path()); !e.empty()) {
        std::fprintf(stderr, "quorvik-sim: %s\n", e.c_str());
        return 125;
    }
    {
        std::ofstream pid(state + "/pid");
        pid << ::getpid() << "\n";
    }

    ::setenv(QSIM_ENV_STATE, state.c_str(), 1);
    ::setenv(QSIM_ENV_LIBDIR, libdir.c_str(), 1);
    ::setenv("LD_LIBRARY_PATH", prepend("LD_LIBRARY_PATH", libdir, ':').c_str(), 1);
    ::setenv("LD_PRELOAD", prepend("LD_PRELOAD", libdir + "/quorvik-sim-preload.so", ':').c_str(),
             1);
    ::setenv("LD_AUDIT", prepend("LD_AUDIT", libdir + "/quorvik-sim-audit.so", ':').c_str(), 1);

    const pid_t child = ::fork();
    if (child < 0) {
        std::fprintf(stderr, "quorvik-sim: fork: %s\n", std::strerror(errno));
        return 125;
    }
    if (child == 0) {
        ::execv(program.c_str(), program_argv);
        std::fprintf(stderr, "quorvik-sim: %s: %s\n", program.c_str(), std::strerror(errno));
        ::_exit(errno == ENOENT ? 127 : 126);
    }
    forwarded_child = child;
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(signal, forward);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (own_state && !keep) {
        std::error_code ignored;
        std::filesystem::remove_all(state, ignored);
    } else {
        ::unlink((state + "/pid").c_str());
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 125;
}

int set_or_get(bool set, int argc, char** argv) {
    if (argc < 3) return usage_error(std::string(set ? "set" : "get") + " needs a RUN");
    const std::string dir = run_dir(argv[2]);
    if (!std::filesystem::exists(dir + "/" + QSIM_HARDWARE_FILE)) {
        std::fprintf(stderr, "quorvik-sim: no run %s (no state directory %s)\n", argv[2],
                     dir.c_str());
        return 1;
    }
    Live live(dir);
    if (!live.ok()) {
        std::fprintf(stderr, "quorvik-sim: %s: %s\n", dir.c_str(), live.error().c_str());
        return 1;
    }
    if (set && argc < 4) return usage_error("set needs KEY=VALUE");
    int status = 0;
    if (!set && argc == 3) {
        std::fputs(live.dump().c_str(), stdout);
        return 0;
    }
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string result;
        if (set) {
            const std::size_t equals = arg.find('=');
            if (equals == std::string::npos) return usage_error("set takes KEY=VALUE, not " + arg);
            result = live.set(arg.substr(0, equals), arg.substr(equals + 1));
            if (!result.empty()) {
                std::fprintf(stderr, "quorvik-sim: %s: %s\n", arg.c_str(), result.c_str());
                status = 1;
            }
        } else {
            std::string value;
            result = live.get(arg, value);
            if (!result.empty()) {
                std::fprintf(stderr, "quorvik-sim: %s: %s\n", arg.c_str(), result.c_str());
                status = 1;
            } else if (argc == 4) {
                std::fputs(value.c_str(), stdout);
            } else {
                std::printf("%s = %s", arg.c_str(), value.c_str());
            }
            if (result.empty() && !value.empty() && value.back() != '\n') std::fputc('\n', stdout);
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string invoked = std::filesystem::path(argv[0]).filename().string();
    if (const auto status = run_standin(invoked, argc, argv)) return *status;

    if (argc < 2) return usage_error("a command is needed");
    const std::string command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "-V" || command == "--version") {
        std::printf("quorvik-sim %s\n", QUORVIK_SIM_VERSION);
        return 0;
    }
    if (command == "check") {
        if (argc != 3) return usage_error("check needs one BOARD");
        return check(argv[2]);
    }
    if (command == "images") {
        if (argc != 4) return usage_error("images needs BOARD and DIR");
        return write_images(argv[2], argv[3]);
    }
    if (command == "run") return run(argc, argv);
    if (command == "set") return set_or_get(true, argc, argv);
    if (command == "get") return set_or_get(false, argc, argv);
    if (command == "record") {
        // The recorder reads the board through libQuorvikSO's platform
        // layer: the simulator's within a run, Linux's otherwise.
        const std::string libdir = find_libdir();
        const std::string recorder =
            libdir + (std::getenv(QSIM_ENV_STATE) != nullptr ? "/quorvik-sim-record-sim"
                                                             : "/quorvik-sim-record-linux");
        std::vector<char*> args{const_cast<char*>(recorder.c_str())};
        for (int i = 2; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execv(recorder.c_str(), args.data());
        std::fprintf(stderr, "quorvik-sim: %s: %s\n", recorder.c_str(), std::strerror(errno));
        return 127;
    }
    return usage_error("unknown command " + command);
}
