// Temperature reader: a signed register of the hardware monitor, or the CPU's
// digital thermal sensor through its model-specific registers, or the
// sensor's reference plus a register holding the distance from it; scaled by
// the input's factor and offset into whole degrees held in 8 bits.
#include <fcntl.h>

#include <cmath>
#include <cstdint>
#include <optional>

#include "QuorvikSO.h"
#include "diag.h"
#include "resources.h"
#include "sensor_reading.h"
#include "superio.h"

namespace {

using namespace quorvik::sensor;
using quorvik::SectionKeys;
namespace schema = quorvik::schema;

constexpr char kMsrDevice[] = "/dev/cpu/0/msr";

// The msr driver of CPU 0, opened at the first register read and kept for
// the second one of the same reading.
class MsrDevice final : public MsrSource {
  public:
    // One model-specific register: the driver reads the register whose number
    // is the file offset; anything short of 8 bytes is no value.
    Status read(std::uint32_t reg, std::uint64_t& value) override {
        if (!device_) device_.emplace(kMsrDevice, O_RDONLY);
        if (!device_->valid()) {
            quorvik::diag::line("Can't open msr device");
            return SENSOR_ERR_VALUE;
        }
        unsigned char bytes[8] = {};
        if (quorvik::platform::pread(device_->get(), bytes, sizeof bytes,
                                     static_cast<off_t>(reg)) !=
            static_cast<ssize_t>(sizeof bytes)) {
            return SENSOR_ERR_VALUE;
        }
        value = 0;
        for (std::size_t i = sizeof bytes; i-- > 0;) value = (value << 8) | bytes[i];
        return SENSOR_OK;
    }

  private:
    std::optional<quorvik::FileDescriptor> device_;
};

// Whole degrees as the signed 8-bit value that the boards report: truncated
// toward zero, then only the low 8 bits kept. A scaled value beyond an int's
// range keeps its low 8 bits as well; only a non-finite one fails.
bool whole_degrees(int reading, const TempInput& input, int& degrees) {
    const double scaled = std::trunc(static_cast<double>(reading) * input.factor + input.offset);
    if (!std::isfinite(scaled)) return false;
    double low = std::fmod(scaled, 256.0);  // exact, sign of scaled
    if (low < 0) low += 256.0;
    const int byte = static_cast<int>(low);
    degrees = byte >= 128 ? byte - 256 : byte;
    return true;
}

int sign_extend_byte(int value) {
    return (value & 0x80) != 0 ? value - 256 : value;
}

Reading measure_temp(SectionKeys& keys) {
    TempInput temp;
    MsrDevice msr;
    if (const Status s = read_temp_input(keys, temp, msr); s != SENSOR_OK) return {s};
    int reading = 0;
    const Status status = read_chip(temp.ports, temp.bank, [&](HardwareMonitor& monitor) {
        if (!temp.has_readout) reading = monitor.read_register(temp.reg);
    });
    if (status != SENSOR_OK) return {status};

    reading = sign_extend_byte(reading);
    if (temp.has_reference) {
        reading = temp.has_readout ? (temp.reference - temp.readout) & 0xFF
                                   : (temp.reference + reading) & 0xFF;
    }
    int degrees = 0;
    if (!whole_degrees(reading, temp, degrees)) return {SENSOR_ERR_VALUE};
    return {SENSOR_OK, temp.label, static_cast<long>(degrees) * 1000};
}

}  // namespace

extern "C" int SensorTemp(const char* path, const char* model, int input, char** text) noexcept {
    return serve_reading(path, model, input, text, schema::kTemp, measure_temp);
}
