#include "info_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace quorvik::info {
namespace {

constexpr mode_t kReadableByAll = 0644;

bool write_all(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

std::string directory_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_name(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string reason(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Writes text, makes the file readable by all, syncs and closes fd. Returns
// "" or what failed and why.
std::string fill_and_close(int fd, const std::string& text) {
    std::string failed;
    if (!write_all(fd, text)) {
        failed = reason("cannot write");
    } else if (::fchmod(fd, kReadableByAll) != 0) {
        failed = reason("cannot set its mode");
    } else if (::fsync(fd) != 0) {
        failed = reason("cannot sync");
    }
    if (::close(fd) != 0 && failed.empty()) failed = reason("cannot close");
    return failed;
}

}  // namespace

bool write_atomically(const std::string& path, const std::string& text, std::string& error) {
    const std::string directory = directory_of(path);
    // A hidden name without the final ".prom": the collector reads neither.
    std::string temporary = directory + "/." + base_name(path) + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = reason(("cannot create a temporary file in " + directory).c_str());
        return false;
    }
    std::string failed = fill_and_close(fd, text);
    if (failed.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) {
        failed = reason(("cannot rename it to " + path).c_str());
    }
    if (failed.empty()) return true;
    error = temporary + ": " + failed;
    ::unlink(temporary.c_str());
    return false;
}

bool write_stdout(const std::string& text) {
    std::fflush(stdout);
    return write_all(STDOUT_FILENO, text);
}

DiagnosticsToStderr::DiagnosticsToStderr() {
    std::fflush(stdout);
    saved_stdout_ = ::dup(STDOUT_FILENO);
    if (saved_stdout_ >= 0 && ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        ::close(saved_stdout_);
        saved_stdout_ = -1;
    }
}

DiagnosticsToStderr::~DiagnosticsToStderr() {
    std::fflush(stdout);
    if (saved_stdout_ < 0) return;
    ::dup2(saved_stdout_, STDOUT_FILENO);
    ::close(saved_stdout_);
}

CpuProgress::CpuProgress() : shown_(::isatty(STDERR_FILENO) == 1) {}

void CpuProgress::operator()(int done, int total) {
    if (!shown_) return;
    std::string line;
    if (done < total) {
        line = "quorvik-info: measuring CPU " + std::to_string(done + 1) + " of " +
               std::to_string(total) + " (one second each)";
    }
    // Blanks over what is left of the previous line; the last call clears it.
    const std::size_t width = line.size();
    if (line.size() < width_) line.append(width_ - line.size(), ' ');
    std::fprintf(stderr, "\r%s%s", line.c_str(), done < total ? "" : "\r");
    std::fflush(stderr);
    width_ = width;
}

}  // namespace quorvik::info
