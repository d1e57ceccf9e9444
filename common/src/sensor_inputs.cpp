#include "quorvik_common/sensor_inputs.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include "quorvik_common/c_number.h"

namespace quorvik::sensor {
namespace {

Status key_number(SectionKeys& keys, const char* text, int& value) {
    if (text == nullptr) return SENSOR_ERR_KEY;
    if (*text == '\0') return SENSOR_ERR_VALUE;
    return whole_number(keys, text, value);
}

// A register number from a profile key: present here, so empty or 0 (no
// register means anything there) is unusable.
Status msr_number(SectionKeys& keys, const char* text, std::uint32_t& reg) {
    if (text == nullptr) return SENSOR_ERR_KEY;
    if (*text == '\0') return SENSOR_ERR_VALUE;
    const std::optional<std::uint32_t> parsed = number::c_strto_register(text);
    if (!parsed || *parsed == 0) return refuse(keys, "no model-specific register");
    reg = *parsed;
    return SENSOR_OK;
}

Status read_msr_field(SectionKeys& keys, MsrSource& msr, const char* key_text, std::uint64_t mask,
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
Status real_number(SectionKeys& keys, const char* text, bool is_factor, double& value) {
    if (text == nullptr) return SENSOR_OK;
    value = number::c_strtod(text);
    if (!std::isfinite(value)) return refuse(keys, "no finite number");
    if (is_factor && value == 0.0) return refuse(keys, "factor 0");
    return SENSOR_OK;
}

// The first keys of every input, in this order: label, ports, bank.
template <typename Input>
Status read_chip_input(SectionKeys& keys, Input& input) {
    if (const Status s = read_label(keys, input.label); s != SENSOR_OK) return s;
    if (const Status s = read_port_description(keys, input.ports); s != SENSOR_OK) return s;
    return read_bank(keys, input.ports, input.bank);
}

}  // namespace

Status whole_number(SectionKeys& keys, const char* text, int& value) {
    const std::optional<int> converted = number::c_strtoi(text);
    if (!converted) return refuse(keys, "a number beyond an int");
    value = *converted;
    return SENSOR_OK;
}

Status section_number(SectionKeys& keys, const char* key, int& value) {
    return key_number(keys, keys.value(key), value);
}

Status input_number(SectionKeys& keys, const char* field, int& value) {
    return key_number(keys, keys.input_value(field), value);
}

Status read_count(SectionKeys& keys, const char* key, int& count) {
    const char* value = keys.value(key);
    if (value == nullptr) return SENSOR_ERR_KEY;
    return whole_number(keys, value, count);
}

Status read_port_description(SectionKeys& keys, PortDescription& ports) {
    if (const Status s = section_number(keys, schema::kIndexPort, ports.index_port); s != SENSOR_OK)
        return s;
    if (const Status s = section_number(keys, schema::kDataPort, ports.data_port); s != SENSOR_OK)
        return s;
    const char* chip = keys.value(schema::kChip);
    if (chip == nullptr) return SENSOR_ERR_KEY;
    if (*chip == '\0') return SENSOR_ERR_VALUE;
    ports.banked = schema::banked_chip(chip);
    return SENSOR_OK;
}

Status read_label(SectionKeys& keys, const char*& label) {
    const char* text = keys.input_value(schema::kLabel);
    if (text == nullptr) return SENSOR_ERR_KEY;
    if (std::strlen(text) > schema::kLongestLabel)
        return refuse(keys, "a label that leaves no room for the value");
    label = text;
    return SENSOR_OK;
}

Status read_bank(SectionKeys& keys, const PortDescription& ports, int& bank) {
    if (!ports.banked) return SENSOR_OK;
    const char* text = keys.input_value(schema::kBank);
    if (text == nullptr) return SENSOR_ERR_KEY;
    // An empty value reads as bank 0.
    int value = 0;
    if (const Status s = whole_number(keys, text, value); s != SENSOR_OK) return s;
    if (value == schema::kNoBank) return refuse(keys, "a bank number that names no bank");
    bank = value;
    return SENSOR_OK;
}

// Keys in the order that decides which failure a caller sees.
Status read_volt_input(SectionKeys& keys, VoltInput& input) {
    if (const Status s = read_chip_input(keys, input); s != SENSOR_OK) return s;
    if (const Status s = input_number(keys, schema::kRegister, input.reg); s != SENSOR_OK) return s;
    const char* factor = keys.input_value(schema::kFactor);
    if (factor == nullptr) return SENSOR_ERR_KEY;
    if (const Status s = whole_number(keys, factor, input.factor); s != SENSOR_OK) return s;
    if (input.factor == 0) return refuse(keys, "factor 0");
    return SENSOR_OK;
}

// Keys in the order that decides which failure a caller sees.
Status read_fan_input(SectionKeys& keys, FanInput& input) {
    if (const Status s = read_chip_input(keys, input); s != SENSOR_OK) return s;
    if (const Status s = input_number(keys, schema::kFanHigh, input.high_reg); s != SENSOR_OK)
        return s;
    if (const Status s = input_number(keys, schema::kFanLow, input.low_reg); s != SENSOR_OK)
        return s;
    // Without a dividend there is no fan value: missing and empty alike.
    const char* dividend = keys.input_value(schema::kFanDividend);
    if (dividend == nullptr || *dividend == '\0') return SENSOR_ERR_VALUE;
    return whole_number(keys, dividend, input.dividend);
}

// Keys in the order that decides which failure a caller sees; both
// model-specific registers are read before any port is touched.
Status read_temp_input(SectionKeys& keys, TempInput& input, MsrSource& msr) {
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
        if (!input.has_reference) return refuse(keys, "a distance below no reference register");
        if (const Status s = read_msr_field(keys, msr, readout, 0x7F0000, input.readout);
            s != SENSOR_OK) {
            return s;
        }
        input.has_readout = true;
    } else if (const Status s = input_number(keys, schema::kRegister, input.reg); s != SENSOR_OK) {
        return s;
    }

    if (const Status s = real_number(keys, keys.input_value(schema::kFactor), true, input.factor);
        s != SENSOR_OK) {
        return s;
    }
    return real_number(keys, keys.input_value(schema::kOffset), false, input.offset);
}

int check_volt_input(SectionKeys& keys, MsrSource&) {
    VoltInput input;
    return read_volt_input(keys, input);
}

int check_temp_input(SectionKeys& keys, MsrSource& msr) {
    TempInput input;
    return read_temp_input(keys, input, msr);
}

int check_fan_input(SectionKeys& keys, MsrSource&) {
    FanInput input;
    return read_fan_input(keys, input);
}

}  // namespace quorvik::sensor
