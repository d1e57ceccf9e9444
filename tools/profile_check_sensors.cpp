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
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/reading_text.h"
#include "sensor_inputs.h"

namespace quorvik::profile_check {
namespace {

namespace schema = quorvik::schema;

template <typename List>
bool contains_lower(const List& list, std::string_view lower) {
    for (const std::string_view item : list) {
        if (to_lower(item) == lower) return true;
    }
    return false;
}

// "W83627DHG or W83627EHF".
std::string banked_chip_names() {
    std::string names;
    const std::size_t count = std::size(schema::kBankedChips);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) names += i + 1 == count ? " or " : ", ";
        names += schema::kBankedChips[i];
    }
    return names;
}

struct InputName {
    const schema::InputKind* kind = nullptr;
    int number = 0;
    bool leading_zero = false;
};

// "vin12cof" names field Cof of voltage input 12.
std::optional<InputName> parse_input_key(std::string_view lower) {
    for (const schema::InputKind* kind : schema::kInputKinds) {
        const std::string prefix = to_lower(kind->prefix);
        if (lower.substr(0, prefix.size()) != prefix) continue;
        const std::size_t start = prefix.size();
        std::size_t end = start;
        while (end < lower.size() && std::isdigit(static_cast<unsigned char>(lower[end]))) ++end;
        if (end == start || !contains_lower(kind->fields, lower.substr(end))) continue;
        InputName name{kind, 0, lower[start] == '0' && end > start + 1};
        const auto [ptr, status] =
            std::from_chars(lower.data() + start, lower.data() + end, name.number);
        if (status != std::errc()) continue;
        return name;
    }
    return std::nullopt;
}

using schema::input_key;

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
    if (!reg || (*reg >= 0 && *reg <= schema::kHighestRegister)) return;
    c.warning(key, "register " + std::to_string(*reg) +
                       " does not fit a byte: the chip gets its low 8 bits, " +
                       std::to_string(*reg & schema::kHighestRegister));
}

void check_port(const SectionCheck& c, const char* key) {
    const auto port = reader_number(c, key, "no sensor input of this model can be read");
    if (port && (*port < 0 || *port > schema::kHighestPort)) {
        c.error(key, "port " + std::to_string(*port) +
                         " lies outside 0-0xFFFF: raising its I/O permission fails");
    }
}

std::optional<std::string_view> banked_chip_in_other_case(const char* chip) {
    for (const std::string_view banked : schema::kBankedChips) {
        if (to_lower(chip) == to_lower(banked)) return banked;
    }
    return std::nullopt;
}

// Returns true for a banked chip.
bool check_chip(const SectionCheck& c) {
    const char* const key = schema::kChip;
    const char* chip = c.value(key);
    const std::string failure = "no sensor input of this model can be read";
    if (chip == nullptr) {
        c.error(key, c.absence(key) + ": " + failure + " (SENSOR_ERR_KEY)");
        return false;
    }
    if (*chip == '\0') {
        c.error(key, "empty value: " + failure + " (SENSOR_ERR_VALUE)");
        return false;
    }
    if (schema::is_banked_chip(chip)) return true;
    const std::string quoted = "'" + std::string(chip) + "'";
    if (const auto banked = banked_chip_in_other_case(chip)) {
        c.error(key, quoted + " is not " + std::string(*banked) +
                         " (case counts): the chip is taken for one without banks, no bank "
                         "is selected and the Bnk keys are ignored, so readings come from "
                         "whichever bank was selected last");
        return false;
    }
    c.warning(key, quoted + " is not " + banked_chip_names() +
                       ": no bank is selected and the Bnk keys are ignored");
    return false;
}

bool check_port_description(const SectionCheck& c) {
    check_port(c, schema::kIndexPort);
    check_port(c, schema::kDataPort);
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
    if (bank == schema::kNoBank) {
        c.error(key,
                "bank " + std::to_string(schema::kNoBank) + ": " + failure + " (SENSOR_ERR_VALUE)");
    } else if (bank < 0 || bank > schema::kHighestBank) {
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
    if (text.size() > schema::kLongestLabel) {
        c.error(key, "label of " + std::to_string(text.size()) + " characters: " + failure +
                         " (SENSOR_ERR_VALUE)");
        return;
    }
    // Whether the dispatch takes a reading's text with this label, asked of
    // the dispatch's own parse.
    const std::string sample = std::string(text) + ": 0";
    char scratch[sensor::kScratchSize] = {};
    int value = 0;
    const std::size_t blank = text.find_first_of(" \t");
    if (!sensor::parse_reading(sample.c_str(), scratch, value)) {
        const std::size_t first_word = blank == std::string_view::npos ? text.size() + 1 : blank;
        c.error(key, "first word of " + std::to_string(first_word) +
                         " characters with its colon: GetSensorValueByType keeps at most " +
                         std::to_string(schema::kLongestFirstWord) +
                         ", so get_milli_volt and get_temperature fail (ERR_SENSOR)");
    } else if (blank != std::string_view::npos) {
        c.warning(key, "label '" + std::string(text) +
                           "' holds a blank: a label is one word, so that whoever reads the "
                           "reading's text by its first word reaches the value");
    }
}

void check_common(const SectionCheck& c, const schema::InputKind& kind, int n, bool banked,
                  const std::string& failure) {
    check_label(c, input_key(kind, n, schema::kLabel), failure);
    if (banked) check_bank(c, input_key(kind, n, schema::kBank), failure);
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
    const std::string failure = cannot_read(schema::kVolt.noun, n);
    check_common(c, schema::kVolt, n, banked, failure);
    const std::string reg = input_key(schema::kVolt, n, schema::kRegister);
    check_register(c, reg, reader_number(c, reg, failure));
    check_voltage_factor(c, input_key(schema::kVolt, n, schema::kFactor), failure);
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
    const std::string reference = input_key(schema::kTemp, n, schema::kReferenceMsr);
    const std::string offset = input_key(schema::kTemp, n, schema::kReadoutMsr);
    // Register numbers are 32 bits wide: what the reader takes, it says itself.
    for (const std::string& key : {reference, offset}) {
        const char* text = c.value(key);
        if (text != nullptr && *text != '\0' && parse_number(text).value == 0 &&
            parse_number(text).whole) {
            c.error(key, "register 0: " + failure + " (SENSOR_ERR_VALUE)");
        }
    }
    if (c.has(offset) && !c.has(reference)) {
        c.error(offset, "given without " + reference + ", nothing to subtract from: " + failure +
                            " (SENSOR_ERR_VALUE)");
    }
}

void check_temperature_input(const SectionCheck& c, int n, bool banked) {
    const std::string failure = cannot_read(schema::kTemp.noun, n);
    check_common(c, schema::kTemp, n, banked, failure);
    check_msr_pair(c, n, failure);
    const std::string reg = input_key(schema::kTemp, n, schema::kRegister);
    if (c.has(input_key(schema::kTemp, n, schema::kReadoutMsr))) {
        if (c.has(reg)) c.warning(reg, "not read: the reading comes from the two MSRs");
    } else {
        check_register(c, reg, reader_number(c, reg, failure));
    }
    check_real(c, input_key(schema::kTemp, n, schema::kFactor), true, failure);
    check_real(c, input_key(schema::kTemp, n, schema::kOffset), false, failure);
}

void check_fan_input(const SectionCheck& c, int n, bool banked) {
    const std::string failure = cannot_read(schema::kFan.noun, n);
    check_common(c, schema::kFan, n, banked, failure);
    for (const char* field : {schema::kFanHigh, schema::kFanLow}) {
        const std::string reg = input_key(schema::kFan, n, field);
        check_register(c, reg, reader_number(c, reg, failure));
    }
    // The fan reader takes a missing dividend for an empty one.
    const std::string key = input_key(schema::kFan, n, schema::kFanDividend);
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

// Model-specific registers are the host's, not the profile's: for the
// profile's sake every register reads.
class AnyMsr final : public sensor::MsrSource {
  public:
    sensor::Status read(std::uint32_t, std::uint64_t& value) override {
        value = 0;
        return SENSOR_OK;
    }
};

const char* reader_status_name(sensor::Status status) {
    switch (status) {
        case SENSOR_ERR_KEY:
            return "SENSOR_ERR_KEY";
        case SENSOR_ERR_VALUE:
            return "SENSOR_ERR_VALUE";
        default:
            return "SENSOR_ERR_PROFILE";
    }
}

// Asks the input's own reader what it makes of the section: the key it stops
// at, with its status, is an error whatever the rules above found.
void check_with_reader(const SectionCheck& c, const schema::InputKind& kind, int n) {
    sensor::Keys keys(c.dict(), c.name().c_str(), kind.prefix, n);
    sensor::Status status = SENSOR_OK;
    if (&kind == &schema::kVolt) {
        sensor::VoltInput input;
        status = sensor::read_volt_input(keys, input);
    } else if (&kind == &schema::kFan) {
        sensor::FanInput input;
        status = sensor::read_fan_input(keys, input);
    } else {
        sensor::TempInput input;
        AnyMsr msr;
        status = sensor::read_temp_input(keys, input, msr);
    }
    const std::string key = keys.last_key();
    if (status == SENSOR_OK || c.has_error(key)) return;
    c.error(key, "the reader refuses it: " + cannot_read(kind.noun, n) + " (" +
                     reader_status_name(status) + ")");
}

}  // namespace

Inputs check_key_names(const SectionCheck& c) {
    Inputs inputs;
    for (const auto& [lower, place] : c.place().keys) {
        if (contains_lower(schema::kSectionKeys, lower)) continue;
        const auto input = parse_input_key(lower);
        if (!input) {
            c.warning(place.written, "unknown key: neither library reads it");
        } else if (input->leading_zero) {
            c.warning(place.written,
                      "never read: the libraries write input numbers without "
                      "leading zeros");
        } else {
            inputs.of(*input->kind).insert(input->number);
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
    for (const schema::InputKind* kind : schema::kInputKinds) {
        for (const int n : inputs.of(*kind)) check_with_reader(c, *kind, n);
    }
}

}  // namespace quorvik::profile_check
