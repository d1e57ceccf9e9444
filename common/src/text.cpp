#include "quorvik_common/text.h"

#include <cstdarg>
#include <cstdio>

namespace quorvik::text {

bool format_into(std::span<char> buffer, const char* format, ...) {
    if (buffer.empty()) return false;
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (length < 0) {
        buffer[0] = '\0';
        return false;
    }
    return static_cast<std::size_t>(length) < buffer.size();
}

std::string escape_controls(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            escaped += "\\x";
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0xF];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace quorvik::text
