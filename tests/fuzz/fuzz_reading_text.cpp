// The dispatch's parse of reader texts over arbitrary text: labels of any
// length and content, any number of ": ", numbers out of range. What it
// accepts must be a first word that fits the scratch and a whole decimal int
// after the last ": "; what it refuses leaves the value alone.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "quorvik_common/reading_text.h"

namespace {

using quorvik::sensor::kScratchSize;

bool is_blank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The reader's text is a C string on the heap, so reads past its end show.
    const std::string text(reinterpret_cast<const char*>(data),
                           strnlen(reinterpret_cast<const char*>(data), size));
    char scratch[kScratchSize];
    std::memset(scratch, '#', sizeof scratch);
    constexpr int kUntouched = 0x5A5A5A5A;
    int value = kUntouched;
    const bool parsed = quorvik::sensor::parse_reading(text.c_str(), scratch, value);
    if (!parsed) {
        if (value != kUntouched) __builtin_trap();
        return 0;
    }

    // The first word, blanks skipped before it, fits with its terminator.
    const std::size_t word_length = strnlen(scratch, sizeof scratch);
    if (word_length == 0 || word_length == sizeof scratch) __builtin_trap();
    const std::size_t begin = text.find_first_not_of(" \t\n\v\f\r");
    if (begin == std::string::npos || text.compare(begin, word_length, scratch) != 0) {
        __builtin_trap();
    }
    for (std::size_t i = 0; i < word_length; ++i) {
        if (is_blank(scratch[i])) __builtin_trap();
    }
    if (begin + word_length < text.size() && !is_blank(text[begin + word_length])) {
        __builtin_trap();
    }

    // The value is the whole rest after the last ": ", an int.
    const std::size_t separator = text.rfind(": ");
    if (separator == std::string::npos) __builtin_trap();
    const char* number = text.c_str() + separator + 2;
    char* end = nullptr;
    errno = 0;
    const long expected = std::strtol(number, &end, 10);
    if (*end != '\0' || errno == ERANGE || expected != value) __builtin_trap();
    return 0;
}
