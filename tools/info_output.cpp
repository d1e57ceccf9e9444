#include "info_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "fd_io.h"

namespace quorvik::info {
namespace {

constexpr mode_t kReadableByAll = 0644;

std::string directory_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_name(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string reason(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// What the target is now: whether it exists and, when it does, the owner and
// mode of the file it is or links to. "" or why it must not be replaced.
std::string check_target(const std::string& path, bool& exists, struct stat& file) {
    struct stat link {};
    exists = false;
    if (::lstat(path.c_str(), &link) != 0) {
        return errno == ENOENT ? std::string() : reason(path);
    }
    exists = true;
    if (S_ISLNK(link.st_mode) && ::stat(path.c_str(), &file) != 0) {
        return reason(path + " links to nothing that can be replaced");
    }
    if (!S_ISLNK(link.st_mode)) file = link;
    if (!S_ISREG(file.st_mode)) return path + ": not a regular file, left as it is";
    return {};
}

// "." + base + ".XXXXXX", with base cut so that the name fits the directory's
// file system: a target near the name limit still gets its temporary file.
std::string temporary_name(const std::string& path) {
    const std::string directory = directory_of(path);
    long most = ::pathconf(directory.c_str(), _PC_NAME_MAX);
    if (most <= 0) most = NAME_MAX;
    std::string base = base_name(path);
    constexpr std::size_t kAround = 8;  // "." and ".XXXXXX"
    if (base.size() + kAround > static_cast<std::size_t>(most)) {
        base.resize(static_cast<std::size_t>(most) - kAround);
    }
    return directory + "/." + base + ".XXXXXX";
}

// The temporary file while it exists, for a signal that ends the tool during
// the collection (a timer's timeout): the textfile directory keeps no litter.
std::atomic<const char*> pending_temporary{nullptr};

extern "C" void remove_pending_and_end(int signal_number) {
    if (const char* path = pending_temporary.exchange(nullptr)) ::unlink(path);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void remove_on_termination(const char* path) {
    pending_temporary = path;
    if (path == nullptr) return;
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction action {};
        // A signal the parent ignores (SIGINT for a background job) stays so.
        if (::sigaction(signal_number, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) {
            continue;
        }
        action = {};
        action.sa_handler = remove_pending_and_end;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal_number, &action, nullptr);
    }
}

}  // namespace

bool keep_standard_descriptors() {
    bool stdout_open = true;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        if (fd == STDOUT_FILENO) stdout_open = false;
        // open() takes the lowest free descriptor, which is fd.
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0 && null != fd) ::close(null);
    }
    return stdout_open;
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
    remove_on_termination(nullptr);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool OutputFile::open(const std::string& path, std::string& error) {
    bool exists = false;
    struct stat file {};
    error = check_target(path, exists, file);
    if (!error.empty()) return false;
    std::string temporary = temporary_name(path);
    fd_ = ::mkstemp(temporary.data());
    if (fd_ < 0) {
        error = reason("cannot create a temporary file in " + directory_of(path));
        return false;
    }
    path_ = path;
    temporary_ = temporary;
    remove_on_termination(temporary_.c_str());
    return true;
}

bool OutputFile::commit(const std::string& text, std::string& error) {
    bool exists = false;
    struct stat file {};
    std::string failed = check_target(path_, exists, file);
    const mode_t mode = exists ? (file.st_mode & 07777) : kReadableByAll;
    struct stat own {};
    if (!failed.empty()) {
        // said as it is
    } else if (!fd_io::write_all(fd_, text)) {
        failed = reason("cannot write");
    } else if (::fchmod(fd_, mode) != 0) {
        failed = reason("cannot set its mode");
    } else if (exists && ::fstat(fd_, &own) == 0 &&
               (own.st_uid != file.st_uid || own.st_gid != file.st_gid) &&
               ::fchown(fd_, file.st_uid, file.st_gid) != 0) {
        failed = reason("cannot give it the owner of " + path_);
    } else if (::fsync(fd_) != 0) {
        failed = reason("cannot sync");
    }
    if (::close(fd_) != 0 && failed.empty()) failed = reason("cannot close");
    fd_ = -1;
    if (failed.empty() && ::rename(temporary_.c_str(), path_.c_str()) != 0) {
        failed = reason("cannot rename it to " + path_);
    }
    if (failed.empty()) {
        remove_on_termination(nullptr);
        temporary_.clear();
        return true;
    }
    error = temporary_ + ": " + failed;
    return false;
}

bool write_stdout(const std::string& text) {
    std::fflush(stdout);
    return fd_io::write_all(STDOUT_FILENO, text);
}

LibraryOutput::LibraryOutput() {
    std::fflush(stdout);
    saved_stdout_ = ::dup(STDOUT_FILENO);
    if (saved_stdout_ < 0) return;
    // A file, not a pipe: nobody reads while the libraries write, and a full
    // pipe would stop them.
    std::FILE* file = std::tmpfile();
    if (file != nullptr) {
        capture_ = ::dup(::fileno(file));
        std::fclose(file);
    }
    if (::dup2(capture_ >= 0 ? capture_ : STDERR_FILENO, STDOUT_FILENO) < 0) {
        ::close(saved_stdout_);
        saved_stdout_ = -1;
    }
}

LibraryOutput::~LibraryOutput() {
    finish();
}

std::string LibraryOutput::finish() {
    std::fflush(stdout);
    if (saved_stdout_ >= 0) {
        ::dup2(saved_stdout_, STDOUT_FILENO);
        ::close(saved_stdout_);
        saved_stdout_ = -1;
    }
    std::string printed;
    if (capture_ < 0) return printed;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(capture_, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        printed.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
    ::close(capture_);
    capture_ = -1;
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
