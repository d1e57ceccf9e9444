// Bounded text formatting into fixed buffers.
#pragma once

#include <cstddef>
#include <span>

namespace quorvik::text {

// printf into buffer, cut to buffer.size() - 1 characters and terminated.
// Returns false when the text had to be cut (or the format failed).
bool format_into(std::span<char> buffer, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace quorvik::text
