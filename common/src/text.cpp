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

}  // namespace quorvik::text
