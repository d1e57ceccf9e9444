// Voltage reader: one register of the hardware monitor times the input's
// factor, in millivolts.
#include <cstdint>
#include <limits>
#include <optional>

#include "QuorvikSO.h"
#include "sensor_reading.h"
#include "superio.h"

namespace {

using namespace quorvik::sensor;
using quorvik::SectionKeys;
namespace schema = quorvik::schema;

// The product is an int on these boards: one that does not fit is no
// reading. The trip through volts in double precision and back makes some
// products one millivolt less (1001 gives 1000), which is what the board's
// readings have always shown.
std::optional<long> millivolts(std::uint8_t reading, int factor) {
    const std::int64_t product = std::int64_t{reading} * factor;
    if (product < std::numeric_limits<int>::min() || product > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    const double volts = static_cast<double>(product) / 1000.0;
    return static_cast<long>(volts * 1000.0);
}

Reading measure_volt(SectionKeys& keys) {
    VoltInput volt;
    if (const Status s = read_volt_input(keys, volt); s != SENSOR_OK) return {s};
    std::uint8_t reading = 0;
    const Status status = read_chip(volt.ports, volt.bank, [&](HardwareMonitor& monitor) {
        reading = monitor.read_register(volt.reg);
    });
    if (status != SENSOR_OK) return {status};
    const std::optional<long> value = millivolts(reading, volt.factor);
    if (!value) return {SENSOR_ERR_VALUE};
    return {SENSOR_OK, volt.label, *value};
}

}  // namespace

extern "C" int SensorVolt(const char* path, const char* model, int input, char** text) noexcept {
    return serve_reading(path, model, input, text, schema::kVolt, measure_volt);
}
