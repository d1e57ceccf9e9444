// Bounded text formatting into fixed buffers.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace quorvik::text {

// printf into buffer, cut to buffer.size() - 1 characters and terminated.
// Returns false when the text had to be cut (or the format failed).
bool format_into(std::span<char> buffer, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// The text with every control character (below 0x20, and 0x7F) written as
// \xHH, so that nothing from a file or a library reaches a terminal raw.
std::string escape_controls(std::string_view text);

}  // namespace quorvik::text
