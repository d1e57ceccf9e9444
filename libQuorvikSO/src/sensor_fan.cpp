// Fan reader: the profile's dividend over the 16-bit fan count held in two
// registers of the hardware monitor.
#include "QuorvikSO.h"
#include "sensor_reading.h"
#include "superio.h"

namespace {

using namespace quorvik::sensor;
using quorvik::SectionKeys;
namespace schema = quorvik::schema;

Reading measure_fan(SectionKeys& keys) {
    FanInput fan;
    if (const Status s = read_fan_input(keys, fan); s != SENSOR_OK) return {s};
    unsigned count = 0;
    const Status status = read_chip(fan.ports, fan.bank, [&](HardwareMonitor& monitor) {
        // Low register first, then high, as these chips have always been read.
        const unsigned low = monitor.read_register(fan.low_reg);
        const unsigned high = monitor.read_register(fan.high_reg);
        count = high * 256 + low;
    });
    if (status != SENSOR_OK) return {status};

    // A stopped fan (count 0) reads 0.
    const int value = count == 0 ? 0 : fan.dividend / static_cast<int>(count);
    return {SENSOR_OK, fan.label, value};
}

}  // namespace

extern "C" int SensorFan(const char* path, const char* model, int input, char** text) noexcept {
    return serve_reading(path, model, input, text, schema::kFan, measure_fan);
}
