// Temperature reader: a signed register of the hardware monitor, or the CPU's
// digital thermal sensor through its model-specific registers, or the
// sensor's reference plus a register holding the distance from it; scaled by
// the input's factor and offset into whole degrees held in 8 bits.
#include <fcntl.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>

#include "QuorvikSO.h"
#include "diag.h"
#include "guard.h"
#include "quorvik_common/c_number.h"
#include "quorvik_common/ini_value.h"
#include "resources.h"
#include "sensor_profile.h"
#include "superio.h"

namespace {

using namespace quorvik::sensor;
namespace schema = quorvik::schema;

constexpr char kMsrDevice[] = "/dev/cpu/0/msr";

struct TempInput {
    const char* label = "";
    PortDescription ports;
    int bank = 0;
    // Reference temperature (bits 23-16 of the reference register) and the
    // distance below it (bits 22-16 of the offset register), when given.
    bool has_reference = false;
    int reference = 0;
    bool has_readout = false;
    int readout = 0;
    int reg = 0;  // hardware monitor register, when there is no readout
    double factor = 1.0;
    double offset = 0.0;
};

// A register number from a profile key: present here, so empty or 0 (no
// register means anything there) is unusable. Register numbers are 32-bit
// unsigned (0xC0010299 is one), so a number up to 0xFFFFFFFF reads as given
// and a negative one that fits an int as its 32-bit pattern, as always; only
// a value beyond 32 bits is refused, as it would wrap into another register.
Status msr_number(const char* text, std::uint32_t& reg) {
    if (text == nullptr) return SENSOR_ERR_KEY;
    if (*text == '\0') return SENSOR_ERR_VALUE;
    const int saved_errno = errno;
    errno = 0;
    const long number = quorvik::number::c_strtol(text, nullptr, 0);
    const bool out_of_range = errno == ERANGE || number < INT_MIN || number > UINT32_MAX;
    errno = saved_errno;
    if (out_of_range) return SENSOR_ERR_VALUE;
    reg = static_cast<std::uint32_t>(number);
    return reg != 0 ? SENSOR_OK : SENSOR_ERR_VALUE;
}

// The msr driver of CPU 0, opened at the first register read and kept for
// the second one of the same reading.
class MsrDevice {
  public:
    // One model-specific register: the driver reads the register whose number
    // is the file offset; anything short of 8 bytes is no value.
    Status read(std::uint32_t reg, std::uint64_t& value) {
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

Status read_msr_field(MsrDevice& msr, const char* key_text, std::uint64_t mask, int& field) {
    std::uint32_t reg = 0;
    if (const Status s = msr_number(key_text, reg); s != SENSOR_OK) return s;
    std::uint64_t value = 0;
    if (const Status s = msr.read(reg, value); s != SENSOR_OK) return s;
    field = static_cast<int>((value & mask) >> 16);
    return SENSOR_OK;
}

// Keys in the order that decides which failure a caller sees; both
// model-specific registers are read before any port is touched.
Status read_input(Keys& keys, TempInput& input) {
    if (const Status s = read_label(keys, input.label); s != SENSOR_OK) return s;
    if (const Status s = read_port_description(keys, input.ports); s != SENSOR_OK) return s;
    if (const Status s = read_bank(keys, input.ports, input.bank); s != SENSOR_OK) return s;

    MsrDevice msr;
    if (const char* reference = keys.input_value(schema::kReferenceMsr); reference != nullptr) {
        if (const Status s = read_msr_field(msr, reference, 0xFF0000, input.reference);
            s != SENSOR_OK) {
            return s;
        }
        input.has_reference = true;
    }
    if (const char* readout = keys.input_value(schema::kReadoutMsr); readout != nullptr) {
        // A distance below nothing is no temperature.
        if (!input.has_reference) return SENSOR_ERR_VALUE;
        if (const Status s = read_msr_field(msr, readout, 0x7F0000, input.readout);
            s != SENSOR_OK) {
            return s;
        }
        input.has_readout = true;
    } else if (const Status s = number(keys.input_value(schema::kRegister), input.reg);
               s != SENSOR_OK) {
        return s;
    }

    if (const char* factor = keys.input_value(schema::kFactor); factor != nullptr) {
        input.factor = quorvik::ini::text_to_double(factor);
        // A factor of 0 (or an empty one) would read every temperature as 0.
        if (input.factor == 0.0) return SENSOR_ERR_VALUE;
    }
    if (const char* offset = keys.input_value(schema::kOffset); offset != nullptr) {
        input.offset = quorvik::ini::text_to_double(offset);
    }
    if (!std::isfinite(input.factor) || !std::isfinite(input.offset)) return SENSOR_ERR_VALUE;
    return SENSOR_OK;
}

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

}  // namespace

extern "C" int SensorTemp(const char* path, const char* model, int input, char** text) noexcept {
    return quorvik::guard::run_with_text(SENSOR_ERR_NOMEM, text, [&]() -> int {
        if (path == nullptr || model == nullptr || text == nullptr) return SENSOR_ERR_VALUE;
        quorvik::ini::Profile profile(path);
        if (!profile) return SENSOR_ERR_PROFILE;
        const SectionName section(profile.get(), model);
        Keys keys(profile.get(), section.get(), schema::kTemp.prefix, input);

        TempInput temp;
        if (const Status s = read_input(keys, temp); s != SENSOR_OK) return s;
        int reading = 0;
        const Status status = read_chip(temp.ports, temp.bank, [&](HardwareMonitor& monitor) {
            if (!temp.has_readout) reading = monitor.read_register(temp.reg);
        });
        if (status != SENSOR_OK) return status;

        reading = sign_extend_byte(reading);
        if (temp.has_reference) {
            reading = temp.has_readout ? (temp.reference - temp.readout) & 0xFF
                                       : (temp.reference + reading) & 0xFF;
        }
        int degrees = 0;
        if (!whole_degrees(reading, temp, degrees)) return SENSOR_ERR_VALUE;
        return hand_over(text, temp.label, static_cast<long>(degrees) * 1000);
    });
}
