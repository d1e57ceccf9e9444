#include "sensor_inputs.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "quorvik_common/c_number.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/profile_schema.h"

namespace quorvik::sensor {
namespace {

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

Status read_msr_field(MsrSource& msr, const char* key_text, std::uint64_t mask, int& field) {
    std::uint32_t reg = 0;
    if (const Status s = msr_number(key_text, reg); s != SENSOR_OK) return s;
    std::uint64_t value = 0;
    if (const Status s = msr.read(reg, value); s != SENSOR_OK) return s;
    field = static_cast<int>((value & mask) >> 16);
    return SENSOR_OK;
}

}  // namespace

// Keys in the order that decides which failure a caller sees.
Status read_volt_input(Keys& keys, VoltInput& input) {
    if (const Status s = read_label(keys, input.label); s != SENSOR_OK) return s;
    if (const Status s = read_port_description(keys, input.ports); s != SENSOR_OK) return s;
    if (const Status s = read_bank(keys, input.ports, input.bank); s != SENSOR_OK) return s;
    if (const Status s = number(keys.input_value(schema::kRegister), input.reg); s != SENSOR_OK)
        return s;
    const char* factor = keys.input_value(schema::kFactor);
    if (factor == nullptr) return SENSOR_ERR_KEY;
    if (const Status s = whole_number(factor, input.factor); s != SENSOR_OK) return s;
    if (input.factor == 0) return SENSOR_ERR_VALUE;
    return SENSOR_OK;
}

// Keys in the order that decides which failure a caller sees.
Status read_fan_input(Keys& keys, FanInput& input) {
    if (const Status s = read_label(keys, input.label); s != SENSOR_OK) return s;
    if (const Status s = read_port_description(keys, input.ports); s != SENSOR_OK) return s;
    if (const Status s = read_bank(keys, input.ports, input.bank); s != SENSOR_OK) return s;
    if (const Status s = number(keys.input_value(schema::kFanHigh), input.high_reg); s != SENSOR_OK)
        return s;
    if (const Status s = number(keys.input_value(schema::kFanLow), input.low_reg); s != SENSOR_OK)
        return s;
    // Without a dividend there is no fan value: missing and empty alike.
    const char* dividend = keys.input_value(schema::kFanDividend);
    if (dividend == nullptr || *dividend == '\0') return SENSOR_ERR_VALUE;
    return whole_number(dividend, input.dividend);
}

// Keys in the order that decides which failure a caller sees; both
// model-specific registers are read before any port is touched.
Status read_temp_input(Keys& keys, TempInput& input, MsrSource& msr) {
    if (const Status s = read_label(keys, input.label); s != SENSOR_OK) return s;
    if (const Status s = read_port_description(keys, input.ports); s != SENSOR_OK) return s;
    if (const Status s = read_bank(keys, input.ports, input.bank); s != SENSOR_OK) return s;

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

}  // namespace quorvik::sensor
