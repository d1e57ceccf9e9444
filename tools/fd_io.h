// Descriptors as quorvik-info and its profile checker both need them: an
// owner, and writing a whole text.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

#include "quorvik_common/unique_fd.h"

namespace quorvik::fd_io {

// Owner of one descriptor; -1 owns nothing.
using Fd = UniqueFd;

// Writes all of text, again after an interrupted or short write; false on
// any other failure.
inline bool write_all(int fd, std::string_view text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace quorvik::fd_io
