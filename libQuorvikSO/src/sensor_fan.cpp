// Fan reader: the profile's dividend over the 16-bit fan count held in two
// registers of the hardware monitor.
#include <cstdint>

#include "QuorvikSO.h"
#include "quorvik_common/guard.h"
#include "quorvik_common/ini_value.h"
#include "sensor_inputs.h"
#include "sensor_profile.h"
#include "superio.h"

namespace {

using namespace quorvik::sensor;
namespace schema = quorvik::schema;

}  // namespace

extern "C" int SensorFan(const char* path, const char* model, int input, char** text) noexcept {
    return quorvik::guard::run_with_text(SENSOR_ERR_NOMEM, text, [&]() -> int {
        if (path == nullptr || model == nullptr || text == nullptr) return SENSOR_ERR_VALUE;
        quorvik::ini::Profile profile(path);
        if (!profile) return SENSOR_ERR_PROFILE;
        const SectionName section(profile.get(), model);
        Keys keys(profile.get(), section.get(), schema::kFan.prefix, input);

        FanInput fan;
        if (const Status s = read_fan_input(keys, fan); s != SENSOR_OK) return s;
        unsigned count = 0;
        const Status status = read_chip(fan.ports, fan.bank, [&](HardwareMonitor& monitor) {
            // Low register first, then high, as these chips have always been read.
            const unsigned low = monitor.read_register(fan.low_reg);
            const unsigned high = monitor.read_register(fan.high_reg);
            count = high * 256 + low;
        });
        if (status != SENSOR_OK) return status;

        // A stopped fan (count 0) reads 0.
        const int value = count == 0 ? 0 : fan.dividend / static_cast<int>(count);
        return hand_over(text, fan.label, value);
    });
}
