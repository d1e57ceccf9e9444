#include "info_output.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "fd_io.h"

namespace quorvik::info {
namespace {

constexpr mode_t kReadableByAll = 0644;
constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string reason(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The directory part of path and its last component ("" for a path that
// ends in a slash: no file name).
std::pair<std::string, std::string> split_path(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Opens directory from / (or from the current directory for a relative one)
// one component at a time, refusing a symbolic link in any of them.
fd_io::Fd open_directory(const std::string& directory, std::string& error) {
    fd_io::Fd at(::open(directory.starts_with('/') ? "/" : ".", kDirectoryFlags));
    if (!at.valid()) {
        error = reason(directory);
        return at;
    }
    std::string walked = directory.starts_with('/') ? "" : ".";
    for (std::size_t begin = 0; begin <= directory.size();) {
        std::size_t end = directory.find('/', begin);
        if (end == std::string::npos) end = directory.size();
        const std::string component = directory.substr(begin, end - begin);
        begin = end + 1;
        if (component.empty() || component == ".") continue;
        walked += "/" + component;
        fd_io::Fd next(::openat(at.get(), component.c_str(), kDirectoryFlags));
        struct stat st {};
        if (!next.valid() && errno != ENOTDIR && errno != ELOOP) {
            error = reason(walked);
            return {};
        }
        if (!next.valid() || ::fstat(next.get(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            error = walked + ": not a directory (a symbolic link is not followed here)";
            return {};
        }
        at = std::move(next);
    }
    return at;
}

// What the target is now: whether it exists and, when it does, the owner and
// mode of the file it is or links to. "" or why it must not be replaced.
std::string check_target(int directory, const std::string& name, const std::string& path,
                         bool& exists, struct stat& file) {
    struct stat link {};
    exists = false;
    if (name.empty() || name == "." || name == "..") return path + ": not a regular file";
    if (::fstatat(directory, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? std::string() : reason(path);
    }
    exists = true;
    if (S_ISLNK(link.st_mode) && ::fstatat(directory, name.c_str(), &file, 0) != 0) {
        return reason(path + " links to nothing that can be replaced");
    }
    if (!S_ISLNK(link.st_mode)) file = link;
    if (!S_ISREG(file.st_mode)) return path + ": not a regular file, left as it is";
    return {};
}

// "." + name + "." and six random letters, with name cut so that the whole
// fits the directory's file system: a target near the name limit still gets
// its temporary file.
std::string temporary_name(int directory, const std::string& name) {
    long most = ::fpathconf(directory, _PC_NAME_MAX);
    if (most <= 0) most = NAME_MAX;
    std::string base = name;
    constexpr std::size_t kAround = 8;  // "." and ".XXXXXX"
    if (base.size() + kAround > static_cast<std::size_t>(most)) {
        base.resize(static_cast<std::size_t>(most) - kAround);
    }
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char random[6] = {};
    if (::getrandom(random, sizeof random, 0) != sizeof random) {
        const auto seed =
            static_cast<unsigned long>(::getpid()) ^
            static_cast<unsigned long>(std::chrono::steady_clock::now().time_since_epoch().count());
        for (std::size_t i = 0; i < sizeof random; ++i) random[i] = (seed >> (i * 5)) & 0xff;
    }
    std::string temporary = "." + base + ".";
    for (const unsigned char byte : random) temporary += kLetters[byte % (sizeof kLetters - 1)];
    return temporary;
}

// Creates a temporary file of a fresh name in directory.
fd_io::Fd create_temporary(int directory, const std::string& name, std::string& temporary) {
    constexpr int kTries = 100;
    for (int i = 0; i < kTries; ++i) {
        temporary = temporary_name(directory, name);
        fd_io::Fd file(::openat(directory, temporary.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (file.valid() || errno != EEXIST) return file;
    }
    return {};
}

// The temporary file while it exists, for whatever ends the tool before the
// rename (a timer's timeout, an abort): the textfile directory keeps no
// litter. Plain storage, so that a signal handler may read it.
std::atomic<bool> pending{false};
int pending_directory = -1;
char pending_name[NAME_MAX + 1];

void remove_pending() {
    if (pending.exchange(false)) ::unlinkat(pending_directory, pending_name, 0);
}

// What each handled signal did before, to be done once the file is gone.
struct sigaction previous[NSIG];

bool is_fault(int signal_number) {
    for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) {
        if (signal_number == fault) return true;
    }
    return false;
}

extern "C" void remove_pending_and_go_on(int signal_number, siginfo_t* info, void*) {
    const int saved_errno = errno;
    remove_pending();
    ::sigaction(signal_number, &previous[signal_number], nullptr);
    // A fault comes back when the instruction runs again, now to the previous
    // action; anything sent is sent again.
    if (!is_fault(signal_number) || info == nullptr || info->si_code <= 0) ::raise(signal_number);
    errno = saved_errno;
}

// Signals whose default ends the process, less SIGKILL and SIGSTOP.
bool ends_the_process(int signal_number) {
    switch (signal_number) {
        case SIGKILL:
        case SIGSTOP:
        case SIGCHLD:
        case SIGCONT:
        case SIGTSTP:
        case SIGTTIN:
        case SIGTTOU:
        case SIGURG:
        case SIGWINCH:
            return false;
        default:
            return true;
    }
}

void install_removal_handlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    std::atexit(remove_pending);
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        if (!ends_the_process(signal_number)) continue;
        struct sigaction action {};
        // A signal the parent ignores (SIGINT for a background job) stays so;
        // numbers the C library keeps for itself are refused here.
        if (::sigaction(signal_number, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) {
            continue;
        }
        previous[signal_number] = action;
        action = {};
        action.sa_sigaction = remove_pending_and_go_on;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal_number, &action, nullptr);
    }
}

void remove_on_termination(int directory, const std::string& name) {
    pending = false;
    if (directory < 0 || name.size() >= sizeof pending_name) return;
    pending_directory = directory;
    std::memcpy(pending_name, name.c_str(), name.size() + 1);
    install_removal_handlers();
    pending = true;
}

}  // namespace

bool keep_standard_descriptors() {
    bool stdout_open = true;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        if (fd == STDOUT_FILENO) stdout_open = false;
        // open() takes the lowest free descriptor, which is fd; a standard
        // descriptor is meant to be inherited.
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0 && null != fd) ::close(null);
    }
    return stdout_open;
}

OutputFile::~OutputFile() {
    pending = false;
    file_.reset();
    if (!temporary_.empty()) ::unlinkat(directory_.get(), temporary_.c_str(), 0);
}

bool OutputFile::open(const std::string& path, std::string& error) {
    const auto [directory, name] = split_path(path);
    std::string failed;
    fd_io::Fd at = open_directory(directory, failed);
    if (!at.valid()) {
        error = path + ": " + failed;
        return false;
    }
    bool exists = false;
    struct stat file {};
    error = check_target(at.get(), name, path, exists, file);
    if (!error.empty()) return false;
    std::string temporary;
    fd_io::Fd created = create_temporary(at.get(), name, temporary);
    if (!created.valid()) {
        error = reason("cannot create a temporary file in " + directory);
        return false;
    }
    path_ = path;
    name_ = name;
    directory_ = std::move(at);
    file_ = std::move(created);
    temporary_ = temporary;
    remove_on_termination(directory_.get(), temporary_);
    return true;
}

bool OutputFile::commit(const std::string& text, std::string& error) {
    bool exists = false;
    struct stat file {};
    std::string failed = check_target(directory_.get(), name_, path_, exists, file);
    const mode_t mode = exists ? (file.st_mode & 07777) : kReadableByAll;
    struct stat own {};
    const int fd = file_.get();
    if (!failed.empty()) {
        // said as it is
    } else if (!fd_io::write_all(fd, text)) {
        failed = reason("cannot write");
    } else if (::fchmod(fd, mode) != 0) {
        failed = reason("cannot set its mode");
    } else if (exists && ::fstat(fd, &own) == 0 &&
               (own.st_uid != file.st_uid || own.st_gid != file.st_gid) &&
               ::fchown(fd, file.st_uid, file.st_gid) != 0) {
        failed = reason("cannot give it the owner of " + path_);
    } else if (::fsync(fd) != 0) {
        failed = reason("cannot sync");
    }
    if (!file_.reset() && failed.empty()) failed = reason("cannot close");
    if (failed.empty() &&
        ::renameat(directory_.get(), temporary_.c_str(), directory_.get(), name_.c_str()) != 0) {
        failed = reason("cannot rename it to " + path_);
    }
    if (failed.empty()) {
        pending = false;
        temporary_.clear();
        return true;
    }
    error = split_path(path_).first + "/" + temporary_ + ": " + failed;
    return false;
}

bool write_stdout(const std::string& text, int fd) {
    std::fflush(stdout);
    return fd_io::write_all(fd, text);
}

LibraryOutput::LibraryOutput() {
    std::fflush(stdout);
    saved_stdout_ = fd_io::Fd(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0));
    if (!saved_stdout_.valid()) return;
    // A file, not a pipe: nobody reads while the libraries write, and a full
    // pipe would stop them. In memory, close-on-exec: no command inherits it.
    capture_ = fd_io::Fd(::memfd_create("quorvik-info-messages", MFD_CLOEXEC));
    if (::dup2(capture_.valid() ? capture_.get() : STDERR_FILENO, STDOUT_FILENO) < 0) {
        saved_stdout_.reset();
    }
}

LibraryOutput::~LibraryOutput() {
    finish();
}

std::string LibraryOutput::finish() {
    std::fflush(stdout);
    if (saved_stdout_.valid()) {
        ::dup2(saved_stdout_.get(), STDOUT_FILENO);
        saved_stdout_.reset();
    }
    std::string printed = printed_so_far();
    capture_.reset();
    return printed;
}

std::string LibraryOutput::printed_so_far() const {
    std::string printed;
    if (!capture_.valid()) return printed;
    std::fflush(stdout);
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(capture_.get(), buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        printed.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
    return printed;
}

CpuProgress::CpuProgress() : shown_(::isatty(STDERR_FILENO) == 1) {}

void CpuProgress::operator()(int done, int total) {
    if (!shown_) return;
    std::string line;
    if (done < total) {
        line = "quorvik-info: measuring CPU usage, " + std::to_string(done) + " of " +
               std::to_string(total) + " CPUs done";
    }
    // Blanks over what is left of the previous line; the last call clears it.
    const std::size_t width = line.size();
    if (line.size() < width_) line.append(width_ - line.size(), ' ');
    std::fprintf(stderr, "\r%s%s", line.c_str(), done < total ? "" : "\r");
    std::fflush(stderr);
    width_ = width;
}

}  // namespace quorvik::info
