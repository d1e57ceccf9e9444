// One entry for reading any sensor of the identified board by type.
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "QuorvikSO.h"
#include "diag.h"
#include "quorvik_common/text.h"
#include "reading_text.h"

namespace {

using quorvik::sensor::kScratchSize;

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
        parsed = text != nullptr && quorvik::sensor::parse_reading(text, scratch, reading);
    }
    std::free(text);
    SmbxExit();
    if (!parsed) return 0;
    *value = reading;
    return 1;
}
