// Rules for what the hardware access library reads: the port description and
// the voltage, temperature and fan inputs.
#include <strings.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "profile_check_rules.h"

namespace quorvik::profile_check {
namespace {

// Keys that are no input keys, in the lower case that iniparser keeps.
constexpr std::string_view kPlainKeys[] = {
    "totalserialport", "ttytype",      "ttynum",     "totallanport", "s_power_indicator",
    "o_relay",         "relay_node",   "volt",       "temp",         "fan",
    "v_cpu_index",     "v_dram_index", "v_5v_index", "t_cpu_index",  "t_system_index",
    "index",           "data",         "sio"};

constexpr std::string_view kVoltFields[] = {"str", "bnk", "idx", "cof"};
constexpr std::string_view kTempFields[] = {"str", "bnk", "msr", "msroffset", "idx", "cof", "off"};
constexpr std::string_view kFanFields[] = {"str", "bnk", "msb", "lsb", "count"};

// The chips whose readings need a bank selected; the text must match exactly.
constexpr const char* kBankedChips[] = {"W83627DHG", "W83627EHF"};
constexpr int kBankUnusable = 255;
constexpr int kHighestBank = 7;  // the bank select register's low three bits
constexpr int kHighestRegister = 0xFF;
constexpr long kHighestPort = 0xFFFF;
// The reader's 1024-byte text holds the label, ": " and a long in decimal.
constexpr std::size_t kLongestLabel = 1024 - 1 - 2 - 20;
// The dispatch copies the text's first word into 40 bytes.
constexpr std::size_t kLongestFirstWord = 39;

template <std::size_t N>
bool contains(const std::string_view (&list)[N], std::string_view word) {
    for (const std::string_view item : list) {
        if (item == word) return true;
    }
    return false;
}

struct InputName {
    char kind = 'v';  // 'v', 't' or 'f', the first letter of the key
    int number = 0;
    bool leading_zero = false;
};

bool is_input_field(char kind, std::string_view field) {
    switch (kind) {
        case 'v':
            return contains(kVoltFields, field);
        case 't':
            return contains(kTempFields, field);
        case 'f':
            return contains(kFanFields, field);
        default:
            return false;
    }
}

// "vin12cof" names field cof of voltage input 12.
std::optional<InputName> parse_input_key(std::string_view lower) {
    if (lower.size() < 4 || lower.substr(1, 2) != "in") return std::nullopt;
    std::size_t end = 3;
    while (end < lower.size() && std::isdigit(static_cast<unsigned char>(lower[end]))) ++end;
    if (end == 3 || !is_input_field(lower[0], lower.substr(end))) return std::nullopt;
    InputName name{lower[0], 0, lower[3] == '0' && end > 4};
    const auto [ptr, status] = std::from_chars(lower.data() + 3, lower.data() + end, name.number);
    if (status != std::errc()) return std::nullopt;
    return name;
}

std::string input_key(char kind, int number, const char* field) {
    const char* prefix = kind == 'v' ? "Vin" : kind == 't' ? "Tin" : "Fin";
    return prefix + std::to_string(number) + field;
}

std::string cannot_read(const char* noun, int number) {
    return std::string(noun) + " input " + std::to_string(number) + " cannot be read";
}

// Number text of a reader: missing and empty both stop the reading. An
// optional key only fails when present but empty.
std::optional<int> reader_number(const SectionCheck& c, const std::string& key,
                                 const std::string& failure, bool required = true) {
    const char* text = c.value(key);
    if (text == nullptr) {
        if (required) c.error(key, c.absence(key) + ": " + failure + " (SENSOR_ERR_KEY)");
        return std::nullopt;
    }
    if (*text == '\0') {
        c.error(key, "empty value: " + failure + " (SENSOR_ERR_VALUE)");
        return std::nullopt;
    }
    const Number number = read_number(c, key, text);
    return number.value;
}

void check_register(const SectionCheck& c, const std::string& key, std::optional<int> reg) {
    if (!reg || (*reg >= 0 && *reg <= kHighestRegister)) return;
    c.warning(key, "register " + std::to_string(*reg) +
                       " does not fit a byte: the chip gets its low 8 bits, " +
                       std::to_string(*reg & kHighestRegister));
}

void check_port(const SectionCheck& c, const char* key) {
    const auto port = reader_number(c, key, "no sensor input of this model can be read");
    if (port && (*port < 0 || *port > kHighestPort)) {
        c.error(key, "port " + std::to_string(*port) +
                         " lies outside 0-0xFFFF: raising its I/O permission fails");
    }
}

bool is_banked_chip(const char* chip) {
    for (const char* banked : kBankedChips) {
        if (std::strcmp(chip, banked) == 0) return true;
    }
    return false;
}

const char* banked_chip_in_other_case(const char* chip) {
    for (const char* banked : kBankedChips) {
        if (strcasecmp(chip, banked) == 0) return banked;
    }
    return nullptr;
}

// Returns true for a banked chip.
bool check_chip(const SectionCheck& c) {
    const char* chip = c.value("Sio");
    const std::string failure = "no sensor input of this model can be read";
    if (chip == nullptr) {
        c.error("Sio", c.absence("Sio") + ": " + failure + " (SENSOR_ERR_KEY)");
        return false;
    }
    if (*chip == '\0') {
        c.error("Sio", "empty value: " + failure + " (SENSOR_ERR_VALUE)");
        return false;
    }
    if (is_banked_chip(chip)) return true;
    const std::string quoted = "'" + std::string(chip) + "'";
    if (const char* banked = banked_chip_in_other_case(chip)) {
        c.error("Sio", quoted + " is not " + banked +
                           " (case counts): the chip is taken for one without banks, no bank "
                           "is selected and the Bnk keys are ignored, so readings come from "
                           "whichever bank was selected last");
        return false;
    }
    c.warning("Sio", quoted +
                         " is neither W83627DHG nor W83627EHF: no bank is selected and the Bnk "
                         "keys are ignored");
    return false;
}

bool check_port_description(const SectionCheck& c) {
    check_port(c, "Index");
    check_port(c, "Data");
    return check_chip(c);
}

void check_bank(const SectionCheck& c, const std::string& key, const std::string& failure) {
    const char* text = c.value(key);
    if (text == nullptr) {
        c.error(key, c.absence(key) + " on a banked chip: " + failure + " (SENSOR_ERR_KEY)");
        return;
    }
    if (*text == '\0') {
        c.warning(key, "empty value reads as bank 0");
        return;
    }
    const int bank = read_number(c, key, text).value;
    if (bank == kBankUnusable) {
        c.error(key, "bank 255: " + failure + " (SENSOR_ERR_VALUE)");
    } else if (bank < 0 || bank > kHighestBank) {
        c.warning(key, "bank " + std::to_string(bank) +
                           " is more than the bank select register's three bank bits hold: "
                           "its other bits change the register too");
    }
}

// The dispatch keeps the first word of "<label>: <value>" and finds the value
// after the last ": ".
void check_label(const SectionCheck& c, const std::string& key, const std::string& failure) {
    const char* label = c.value(key);
    if (label == nullptr) {
        c.error(key, c.absence(key) + ": " + failure + " (SENSOR_ERR_KEY)");
        return;
    }
    const std::string_view text(label);
    if (text.empty()) {
        c.warning(key, "empty label: the reading's text begins with its colon");
        return;
    }
    if (text.size() > kLongestLabel) {
        c.error(key, "label of " + std::to_string(text.size()) + " characters: " + failure +
                         " (SENSOR_ERR_VALUE)");
        return;
    }
    const std::size_t blank = text.find_first_of(" \t");
    const std::size_t first_word = blank == std::string_view::npos ? text.size() + 1 : blank;
    if (first_word > kLongestFirstWord) {
        c.error(key, "first word of " + std::to_string(first_word) +
                         " characters with its colon: GetSensorValueByType keeps at most 39, "
                         "so get_milli_volt and get_temperature fail (ERR_SENSOR)");
    } else if (blank != std::string_view::npos) {
        c.warning(key, "label '" + std::string(text) +
                           "' holds a blank: a label is one word, so that whoever reads the "
                           "reading's text by its first word reaches the value");
    }
}

void check_common(const SectionCheck& c, char kind, int n, bool banked,
                  const std::string& failure) {
    check_label(c, input_key(kind, n, "Str"), failure);
    if (banked) check_bank(c, input_key(kind, n, "Bnk"), failure);
}

void check_voltage_factor(const SectionCheck& c, const std::string& key,
                          const std::string& failure) {
    const char* text = c.value(key);
    if (text == nullptr) {
        c.error(key, c.absence(key) + ": " + failure + " (SENSOR_ERR_KEY)");
        return;
    }
    if (*text == '\0') {
        c.error(key, "empty value reads as factor 0: " + failure + " (SENSOR_ERR_VALUE)");
        return;
    }
    const Number factor = parse_number(text);
    if (factor.value != 0) {
        read_number(c, key, text);
    } else if (factor.whole) {
        c.error(key, "factor 0: " + failure + " (SENSOR_ERR_VALUE)");
    } else {
        c.error(key, "'" + std::string(text) + "' reads as factor 0: " + failure +
                         " (SENSOR_ERR_VALUE)");
    }
}

void check_voltage_input(const SectionCheck& c, int n, bool banked) {
    const std::string failure = cannot_read("voltage", n);
    check_common(c, 'v', n, banked, failure);
    const std::string reg = input_key('v', n, "Idx");
    check_register(c, reg, reader_number(c, reg, failure));
    check_voltage_factor(c, input_key('v', n, "Cof"), failure);
}

// Factor and offset of a temperature, read with atof.
void check_real(const SectionCheck& c, const std::string& key, bool is_factor,
                const std::string& failure) {
    const char* text = c.value(key);
    if (text == nullptr) return;
    if (*text == '\0') {
        if (is_factor) {
            c.error(key, "empty value reads as factor 0.0: every reading is the offset");
        } else {
            c.warning(key, "empty value reads as 0.0");
        }
        return;
    }
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (!std::isfinite(value)) {
        c.error(key, "'" + std::string(text) + "' is no finite number: " + failure +
                         " (SENSOR_ERR_VALUE)");
    } else if (end == text || *end != '\0') {
        c.error(key, "'" + std::string(text) + "' is not one number: the library reads " +
                         std::to_string(value));
    } else if (is_factor && value == 0.0) {
        c.error(key, "factor 0: every reading is the offset");
    }
}

// The reference register alone, or both; register 0 is no register.
void check_msr_pair(const SectionCheck& c, int n, const std::string& failure) {
    const std::string reference = input_key('t', n, "MSR");
    const std::string offset = input_key('t', n, "MSROffset");
    for (const std::string& key : {reference, offset}) {
        if (reader_number(c, key, failure, false) == 0) {
            c.error(key, "register 0: " + failure + " (SENSOR_ERR_VALUE)");
        }
    }
    if (c.has(offset) && !c.has(reference)) {
        c.error(offset, "given without " + reference + ", nothing to subtract from: " + failure +
                            " (SENSOR_ERR_VALUE)");
    }
}

void check_temperature_input(const SectionCheck& c, int n, bool banked) {
    const std::string failure = cannot_read("temperature", n);
    check_common(c, 't', n, banked, failure);
    check_msr_pair(c, n, failure);
    const std::string reg = input_key('t', n, "Idx");
    if (c.has(input_key('t', n, "MSROffset"))) {
        if (c.has(reg)) c.warning(reg, "not read: the reading comes from the two MSRs");
    } else {
        check_register(c, reg, reader_number(c, reg, failure));
    }
    check_real(c, input_key('t', n, "Cof"), true, failure);
    check_real(c, input_key('t', n, "Off"), false, failure);
}

void check_fan_input(const SectionCheck& c, int n, bool banked) {
    const std::string failure = cannot_read("fan", n);
    check_common(c, 'f', n, banked, failure);
    for (const char* field : {"MSB", "LSB"}) {
        const std::string reg = input_key('f', n, field);
        check_register(c, reg, reader_number(c, reg, failure));
    }
    // The fan reader takes a missing dividend for an empty one.
    const std::string key = input_key('f', n, "Count");
    const char* text = c.value(key);
    if (text == nullptr || *text == '\0') {
        const std::string what = text == nullptr ? c.absence(key) : "empty value";
        c.error(key, what + ": " + failure + " (SENSOR_ERR_VALUE)");
        return;
    }
    const Number dividend = parse_number(text);
    if (dividend.value != 0) {
        read_number(c, key, text);
    } else {
        c.error(key, "'" + std::string(text) + "' reads as dividend 0: the fan value is always 0");
    }
}

}  // namespace

Inputs check_key_names(const SectionCheck& c) {
    Inputs inputs;
    for (const auto& [lower, place] : c.place().keys) {
        if (contains(kPlainKeys, lower)) continue;
        const auto input = parse_input_key(lower);
        if (!input) {
            c.warning(place.written, "unknown key: neither library reads it");
        } else if (input->leading_zero) {
            c.warning(place.written,
                      "never read: the libraries write input numbers without "
                      "leading zeros");
        } else {
            (input->kind == 'v'   ? inputs.volt
             : input->kind == 't' ? inputs.temp
                                  : inputs.fan)
                .insert(input->number);
        }
    }
    return inputs;
}

void check_sensor_inputs(const SectionCheck& c, const Inputs& inputs) {
    if (!inputs.any()) return;  // no reader has anything to read here
    const bool banked = check_port_description(c);
    for (const int n : inputs.volt) check_voltage_input(c, n, banked);
    for (const int n : inputs.temp) check_temperature_input(c, n, banked);
    for (const int n : inputs.fan) check_fan_input(c, n, banked);
}

}  // namespace quorvik::profile_check
