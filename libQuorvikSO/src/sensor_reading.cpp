#include "sensor_reading.h"

#include "QuorvikSO.h"
#include "quorvik_common/guard.h"
#include "quorvik_common/ini_value.h"

namespace quorvik::sensor {

int serve_reading(const char* path, const char* model, int input, char** text,
                  const schema::InputKind& kind, Measure measure) noexcept {
    return guard::run_with_text(SENSOR_ERR_NOMEM, text, [&]() -> int {
        if (path == nullptr || model == nullptr || text == nullptr) return SENSOR_ERR_VALUE;
        ini::Profile profile(path);
        if (!profile) return SENSOR_ERR_PROFILE;
        const SectionName section(profile.get(), model);
        Keys keys(profile.get(), section.get(), kind.prefix, input);
        const Reading reading = measure(keys);
        if (reading.status != SENSOR_OK) return reading.status;
        return hand_over(text, reading.label, reading.value);
    });
}

}  // namespace quorvik::sensor
