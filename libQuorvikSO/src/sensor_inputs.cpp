#include "sensor_inputs.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include "quorvik_common/c_number.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/profile_schema.h"

namespace quorvik::sensor {
namespace {

// A register number from a profile key: present here, so empty or 0 (no
// register means anything there) is unusable.
Status msr_number(Keys& keys, const char* text, std::uint32_t& reg) {
    if (text == nullptr) return SENSOR_ERR_KEY;
    if (*text == '\0') return SENSOR_ERR_VALUE;
    const std::optional<std::uint32_t> parsed = quorvik::number::c_strto_register(text);
    if (!parsed || *parsed == 0) return keys.refuse("no model-specific register");
    reg = *parsed;
    return SENSOR_OK;
}

Status read_msr_field(Keys& keys, MsrSource& msr, const char* key_text, std::uint64_t mask,
                      int& field) {
    std::uint32_t reg = 0;
    if (const Status s = msr_number(keys, key_text, reg); s != SENSOR_OK) return s;
    std::uint64_t value = 0;
    if (const Status s = msr.read(reg, value); s != SENSOR_OK) return s;
    field = static_cast<int>((value & mask) >> 16);
    return SENSOR_OK;
}

// A temperature's factor or offset; a factor of 0 (or an empty one) would
// read every temperature as its offset.
Status real_number(Keys& keys, const char* text, bool is_factor, double& value) {
    if (text == nullptr) return SENSOR_OK;
    value = quorvik::number::c_strtod(text);
    if (!std::isfinite(value)) return keys.refuse("no finite number");
    if (is_factor && value == 0.0) return keys.refuse("factor 0");
    return SENSOR_OK;
}

// The first keys of every input, in this order: label, ports, bank.
template <typename Input>
Status read_chip_input(Keys& keys, Input& input) {
    if (const Status s = read_label(keys, input.label); s != SENSOR_OK) return s;
    if (const Status s = read_port_description(keys, input.ports); s != SENSOR_OK) return s;
    return read_bank(keys, input.ports, input.bank);
}

}  // namespace

// Keys in the order that decides which failure a caller sees.
Status read_volt_input(Keys& keys, VoltInput& input) {
    if (const Status s = read_chip_input(keys, input); s != SENSOR_OK) return s;
    if (const Status s = keys.input_number(schema::kRegister, input.reg); s != SENSOR_OK) return s;
    const char* factor = keys.input_value(schema::kFactor);
    if (factor == nullptr) return SENSOR_ERR_KEY;
    if (const Status s = keys.whole_number(factor, input.factor); s != SENSOR_OK) return s;
    if (input.factor == 0) return keys.refuse("factor 0");
    return SENSOR_OK;
}

// Keys in the order that decides which failure a caller sees.
Status read_fan_input(Keys& keys, FanInput& input) {
    if (const Status s = read_chip_input(keys, input); s != SENSOR_OK) return s;
    if (const Status s = keys.input_number(schema::kFanHigh, input.high_reg); s != SENSOR_OK)
        return s;
    if (const Status s = keys.input_number(schema::kFanLow, input.low_reg); s != SENSOR_OK)
        return s;
    // Without a dividend there is no fan value: missing and empty alike.
    const char* dividend = keys.input_value(schema::kFanDividend);
    if (dividend == nullptr || *dividend == '\0') return SENSOR_ERR_VALUE;
    return keys.whole_number(dividend, input.dividend);
}

// Keys in the order that decides which failure a caller sees; both
// model-specific registers are read before any port is touched.
Status read_temp_input(Keys& keys, TempInput& input, MsrSource& msr) {
    if (const Status s = read_chip_input(keys, input); s != SENSOR_OK) return s;

    if (const char* reference = keys.input_value(schema::kReferenceMsr); reference != nullptr) {
        if (const Status s = read_msr_field(keys, msr, reference, 0xFF0000, input.reference);
            s != SENSOR_OK) {
            return s;
        }
        input.has_reference = true;
    }
    if (const char* readout = keys.input_value(schema::kReadoutMsr); readout != nullptr) {
        // A distance below nothing is no temperature.
        if (!input.has_reference) return keys.refuse("a distance below no reference register");
        if (const Status s = read_msr_field(keys, msr, readout, 0x7F0000, input.readout);
            s != SENSOR_OK) {
            return s;
        }
        input.has_readout = true;
    } else if (const Status s = keys.input_number(schema::kRegister, input.reg); s != SENSOR_OK) {
        return s;
    }

    if (const Status s = real_number(keys, keys.input_value(schema::kFactor), true, input.factor);
        s != SENSOR_OK) {
        return s;
    }
    return real_number(keys, keys.input_value(schema::kOffset), false, input.offset);
}

}  // namespace quorvik::sensor
