#include "quorvik_common/reading_text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "quorvik_common/c_number.h"

namespace quorvik::sensor {

namespace {

// The blanks of the "C" locale, whatever locale the host chose: the text's
// words and number read the same everywhere.
bool is_blank(char c) {
    return std::string_view(" \t\n\v\f\r").find(c) != std::string_view::npos;
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool parse_reading(const char* text, char (&scratch)[kScratchSize], int& value) {
    const char* word = text;
    while (is_blank(*word)) ++word;
    std::size_t length = 0;
    while (word[length] != '\0' && !is_blank(word[length])) ++length;
    if (length == 0 || length >= kScratchSize) return false;
    std::memcpy(scratch, word, length);
    scratch[length] = '\0';

    const std::string_view all(text);
    const std::size_t separator = all.rfind(": ");
    if (separator == std::string_view::npos) return false;
    const char* number = text + separator + 2;
    if (*number != '-' && *number != '+' && !is_digit(*number)) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long parsed = quorvik::number::c_strtol(number, &end, 10);
    if (end == number || *end != '\0' || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace quorvik::sensor
