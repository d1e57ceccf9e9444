#include "sensor_reading.h"

#include <cstdlib>
#include <cstring>

#include "QuorvikSO.h"
#include "quorvik_common/guard.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/model_match.h"
#include "quorvik_common/text.h"

namespace quorvik::sensor {

int serve_reading(const char* path, const char* model, int input, char** text,
                  const schema::InputKind& kind, Measure measure) noexcept {
    return guard::run_with_text(SENSOR_ERR_NOMEM, text, [&]() -> int {
        if (path == nullptr || model == nullptr || text == nullptr) return SENSOR_ERR_VALUE;
        ini::Profile profile(path);
        if (!profile) return SENSOR_ERR_PROFILE;
        const SectionName section(profile.get(), model);
        SectionKeys keys(profile.get(), section.get(), kind, input);
        const Reading reading = measure(keys);
        if (reading.status != SENSOR_OK) return reading.status;
        return hand_over(text, reading.label, reading.value);
    });
}

Status hand_over(char** text, const char* label, long value) {
    char* result = static_cast<char*>(std::malloc(schema::kResultSize));
    *text = result;
    if (result == nullptr) return SENSOR_ERR_NOMEM;
    std::memset(result, 0, schema::kResultSize);
    // read_label keeps the label short enough for the text never to be cut.
    text::format_into({result, schema::kResultSize}, "%s: %ld", label, value);
    return SENSOR_OK;
}

}  // namespace quorvik::sensor
