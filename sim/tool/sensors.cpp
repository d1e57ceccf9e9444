#include "sensors.h"

#include <iniparser.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "board.h"
#include "quorvik_common/model_match.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/sensor_inputs.h"

namespace quorvik::simtool {
namespace {

namespace schema = quorvik::schema;
using namespace quorvik::sensor;

class HardwareMsr final : public MsrSource {
  public:
    explicit HardwareMsr(qsim_hardware& hw) : hw_(hw) {}
    Status read(std::uint32_t reg, std::uint64_t& value) override {
        for (std::uint32_t i = 0; i < hw_.msr_count; ++i) {
            if (hw_.msr[i].number == reg && hw_.msr[i].present) {
                value = hw_.msr[i].value;
                return SENSOR_OK;
            }
        }
        return SENSOR_ERR_VALUE;
    }

  private:
    qsim_hardware& hw_;
};

struct Profile {
    dictionary* dict = nullptr;
    std::string model;
    ~Profile() {
        if (dict != nullptr) iniparser_freedict(dict);
    }
};

bool load(const std::string& dir, Profile& profile) {
    std::ifstream model(dir + "/model");
    std::getline(model, profile.model);
    profile.dict = iniparser_load((dir + "/DeviceProfile.ini").c_str());
    return profile.dict != nullptr;
}

// The kind by its noun; anything else is a fan, as the command line has it.
const schema::InputKind* kind_of(const std::string& kind) {
    for (const schema::InputKind* known : schema::kInputKinds) {
        if (kind == known->noun) return known;
    }
    return &schema::kFan;
}

// The input that name means: a role ("cpu"), a label ("CPUTIN"), or a number.
int find_input(dictionary* dict, const char* section, const schema::InputKind& kind,
               const std::string& name, std::string& error) {
    SectionKeys section_keys(dict, section);
    int count = 0;
    if (section_number(section_keys, kind.count_key, count) != SENSOR_OK) {
        error = std::string("the profile has no ") + kind.count_key;
        return -1;
    }
    for (const schema::Role& role : kind.roles) {
        if (strcasecmp(role.name, name.c_str()) == 0) {
            int input = 0;
            if (section_number(section_keys, role.key, input) != SENSOR_OK) {
                error = std::string("the profile has no ") + role.key;
                return -1;
            }
            return input;
        }
    }
    for (int n = 0; n < count; ++n) {
        SectionKeys keys(dict, section, kind, n);
        const char* label = keys.input_value(schema::kLabel);
        if (label != nullptr && strcasecmp(label, name.c_str()) == 0) return n;
    }
    if (const auto number = parse_integer(name); number && *number >= 0 && *number < count) {
        return static_cast<int>(*number);
    }
    error = "no " + std::string(kind.noun) + " input is labelled " + name + " (nor has that role)";
    return -1;
}

std::uint8_t& cell(qsim_hardware& hw, int bank, int reg) {
    if (hw.banked && reg == hw.bank_register) return hw.bank_select;
    return hw.registers[hw.banked ? bank & (QSIM_BANKS - 1) : 0][reg & 0xFF];
}

qsim_msr* msr_of(qsim_hardware& hw, const char* text) {
    const auto number = text != nullptr ? parse_integer(text) : std::nullopt;
    for (std::uint32_t i = 0; number && i < hw.msr_count; ++i) {
        if (hw.msr[i].number == *number) return &hw.msr[i];
    }
    return nullptr;
}

struct Resolved {
    Profile profile;
    std::string section;
    int input = -1;
};

std::string resolve(const std::string& dir, const std::string& kind, const std::string& name,
                    Resolved& r) {
    if (!load(dir, r.profile)) return "the run's device profile does not load";
    SectionName section(r.profile.dict, r.profile.model.c_str());
    r.section = section.get();
    std::string error;
    r.input = find_input(r.profile.dict, r.section.c_str(), *kind_of(kind), name, error);
    return error;
}

}  // namespace

std::string set_sensor(const std::string& dir, qsim_hardware& hw, const std::string& kind,
                       const std::string& name, const std::string& text) {
    Resolved r;
    if (std::string e = resolve(dir, kind, name, r); !e.empty()) return e;
    const auto wanted = parse_real(text.starts_with("-") ? text.substr(1) : text);
    if (!wanted) return "not a number: " + text;
    const double value = text.starts_with("-") ? -*wanted : *wanted;
    SectionKeys keys(r.profile.dict, r.section.c_str(), *kind_of(kind), r.input);
    if (kind == "voltage") {
        VoltInput input;
        if (read_volt_input(keys, input) != SENSOR_OK)
            return std::string("the profile's input is unreadable: ") + keys.last_key();
        const long count = std::lround(value * 1000.0 / input.factor);
        if (count < 0 || count > 255)
            return "beyond what the register can hold with factor " + std::to_string(input.factor);
        cell(hw, input.bank, input.reg) = static_cast<std::uint8_t>(count);
        return "";
    }
    if (kind == "fan") {
        FanInput input;
        if (read_fan_input(keys, input) != SENSOR_OK)
            return std::string("the profile's input is unreadable: ") + keys.last_key();
        // The reader divides its dividend by the count; a stopped fan counts 0.
        const long count = value <= 0 ? 0 : std::lround(input.dividend / value);
        if (count > 0xFFFF) return "too slow for a 16-bit count";
        cell(hw, input.bank, input.high_reg) = static_cast<std::uint8_t>(count >> 8);
        cell(hw, input.bank, input.low_reg) = static_cast<std::uint8_t>(count & 0xFF);
        return "";
    }
    HardwareMsr msr(hw);
    TempInput input;
    if (read_temp_input(keys, input, msr) != SENSOR_OK)
        return std::string("the profile's input is unreadable: ") + keys.last_key();
    // whole degrees = trunc(reading * factor + offset): the reading that
    // gives the value asked for.
    const long reading = std::lround((value - input.offset) / input.factor);
    if (input.has_readout) {
        // Digital thermal sensor: the reference less the distance below it.
        const long distance = input.reference - reading;
        if (distance < 0 || distance > 0x7F)
            return "beyond the sensor's reference of " + std::to_string(input.reference);
        qsim_msr* readout = msr_of(hw, keys.input_value(schema::kReadoutMsr));
        if (readout == nullptr) return "the board has no readout MSR";
        const std::uint64_t bits =
            (readout->value & ~0x7F0000ULL) | (static_cast<std::uint64_t>(distance) << 16);
        __atomic_store_n(&readout->value, bits, __ATOMIC_RELAXED);
        return "";
    }
    long reg = reading;
    if (input.has_reference) reg = reading - input.reference;
    if (reg < -128 || reg > 255) return "beyond a signed 8-bit register";
    cell(hw, input.bank, input.reg) = static_cast<std::uint8_t>(reg & 0xFF);
    return "";
}

std::string get_sensor(const std::string& dir, qsim_hardware& hw, const std::string& kind,
                       const std::string& name, std::string& value) {
    Resolved r;
    if (std::string e = resolve(dir, kind, name, r); !e.empty()) return e;
    SectionKeys keys(r.profile.dict, r.section.c_str(), *kind_of(kind), r.input);
    char text[64];
    if (kind == "voltage") {
        VoltInput input;
        if (read_volt_input(keys, input) != SENSOR_OK) return "the profile's input is unreadable";
        std::snprintf(text, sizeof text, "%.3f",
                      cell(hw, input.bank, input.reg) * input.factor / 1000.0);
    } else if (kind == "fan") {
        FanInput input;
        if (read_fan_input(keys, input) != SENSOR_OK) return "the profile's input is unreadable";
        const unsigned count =
            cell(hw, input.bank, input.high_reg) * 256u + cell(hw, input.bank, input.low_reg);
        std::snprintf(text, sizeof text, "%d",
                      count == 0 ? 0 : input.dividend / static_cast<int>(count));
    } else {
        HardwareMsr msr(hw);
        TempInput input;
        if (read_temp_input(keys, input, msr) != SENSOR_OK)
            return "the profile's input is unreadable";
        int reading = cell(hw, input.bank, input.reg);
        if (!input.has_readout) reading = reading >= 128 ? reading - 256 : reading;
        if (input.has_reference) {
            reading = input.has_readout ? (input.reference - input.readout) & 0xFF
                                        : (input.reference + reading) & 0xFF;
        }
        std::snprintf(text, sizeof text, "%d",
                      static_cast<int>(std::trunc(reading * input.factor + input.offset)));
    }
    value = text;
    return "";
}

}  // namespace quorvik::simtool
