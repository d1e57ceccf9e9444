// One entry for reading any sensor of the identified board by type.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "QuorvikSO.h"
#include "diag.h"
#include "quorvik_common/text.h"

namespace {

// Holds the caller's model name and later the first word of the reader's
// text; anything that does not fit is refused.
constexpr std::size_t kScratchSize = 40;

using Reader = int (*)(const char*, const char*, int, char**);

Reader reader_for(unsigned long type) {
    switch (type) {
        case SENSOR_TEMP:
            return SensorTemp;
        case SENSOR_VOLT:
            return SensorVolt;
        case SENSOR_FAN:
            return SensorFan;
        default:
            return nullptr;
    }
}

// The model names the identified board: equal to Model_str, case and all.
// A cache without its terminator names nothing.
bool names_identified_board(const char* model, char (&scratch)[kScratchSize]) {
    const std::size_t length = strnlen(model, kScratchSize);
    if (length == kScratchSize) return false;
    std::memcpy(scratch, model, length + 1);
    const std::size_t cached = strnlen(Model_str, sizeof Model_str);
    return cached < sizeof Model_str && std::string_view(scratch, length) == Model_str;
}

void refuse_model() {
    char message[64];
    quorvik::text::format_into(message, "product input error<%.*s>\r\n",
                               static_cast<int>(strnlen(Model_str, sizeof Model_str)), Model_str);
    quorvik::diag::text(message);
}

bool is_blank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// The first word of the reader's text, "<label>: <value>", must fit the
// scratch; the value is what follows the last ": ", so that labels of several
// words, or holding ": " themselves, still give their value.
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
    if (*number != '-' && *number != '+' && !std::isdigit(static_cast<unsigned char>(*number))) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(number, &end, 10);
    if (end == number || *end != '\0' || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace

extern "C" int GetSensorValueByType(const char* model, unsigned long type, long input, int* value) {
    if (model == nullptr || value == nullptr) return 0;
    char scratch[kScratchSize] = {};
    if (!names_identified_board(model, scratch)) {
        refuse_model();
        return 0;
    }

    SmbxInit();  // the reading goes on without it; SmbxInit has said why
    const Reader reader = reader_for(type);
    char* text = nullptr;
    int reading = 0;
    bool parsed = false;
    if (reader != nullptr &&
        reader(QUORVIK_PROFILE_PATH, Model_str, static_cast<int>(input), &text) == SENSOR_OK) {
        parsed = text != nullptr && parse_reading(text, scratch, reading);
    }
    std::free(text);
    SmbxExit();
    if (!parsed) return 0;
    *value = reading;
    return 1;
}
