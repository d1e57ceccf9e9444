// What the hardware access library makes of a section: each input is handed
// to its own reader, which says which key it stops at, with which status and
// why; the checker adds only what the reader takes but reads otherwise than
// the profile's author may think (a port beyond 16 bits, a chip name in the
// wrong case, a label the dispatch refuses, a dividend of 0).
#include <cctype>
#include <charconv>
#include <optional>

#include "profile_check_rules.h"
#include "quorvik_common/c_number.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/reading_text.h"
#include "quorvik_common/sensor_inputs.h"
#include "quorvik_common/status_table.h"

namespace quorvik::profile_check {
namespace {

namespace schema = quorvik::schema;

std::string cannot_read(const char* noun, int number) {
    return std::string(noun) + " input " + std::to_string(number) + " cannot be read";
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

}  // namespace

const char* reader_status_name(int status) {
    const status::Status* row = status::find(status);
    return row != nullptr && row->library == status::Library::quorvik_so ? row->name
                                                                         : "SENSOR_ERR_PROFILE";
}

ReaderAnswer ask_reader(const SectionCheck& c, const schema::InputKind& kind, int n) {
    ReaderAnswer answer;
    SectionKeys keys(c.dict(), c.name().c_str(), kind, n);
    keys.record_asked(answer.asked);
    AnyMsr msr;
    answer.status = kind.read_keys(keys, msr);
    answer.key = keys.last_key();
    answer.why = keys.why();
    return answer;
}

namespace {

// The port description, once per section: the readers take any int.
void check_port_description(const SectionCheck& c) {
    for (const char* key : {schema::kIndexPort, schema::kDataPort}) {
        const char* text = c.value(key);
        if (text == nullptr || c.has_error(key)) continue;
        const long port = number::c_strtoi(text).value_or(0);
        if (port < 0 || port > schema::kHighestPort) {
            c.error(key, "port " + std::to_string(port) +
                             " lies outside 0-0xFFFF: raising its I/O permission fails");
        }
    }
    const char* chip = c.value(schema::kChip);
    if (chip == nullptr || *chip == '\0' || schema::is_banked_chip(chip)) return;
    const std::string quoted = "'" + std::string(chip) + "'";
    for (const schema::BankedChip& banked : schema::kBankedChips) {
        if (to_lower(chip) != to_lower(banked.name)) continue;
        c.error(schema::kChip, quoted + " is not " + std::string(banked.name) +
                                   " (case counts): the chip is taken for one without banks, no "
                                   "bank is selected and the Bnk keys are ignored, so readings "
                                   "come from whichever bank was selected last");
        return;
    }
    c.warning(schema::kChip, quoted +
                                 " has no banks the readers know of: no bank is selected "
                                 "and the Bnk keys are ignored");
}

// The dispatch keeps the first word of "<label>: <value>" and finds the value
// after the last ": ": asked of the dispatch's own parse.
void check_label(const SectionCheck& c, const std::string& key) {
    const std::string_view text(c.value(key));
    if (text.empty()) {
        c.warning(key, "empty label: the reading's text begins with its colon");
        return;
    }
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

// What a key that the reader took may still hide.
void check_taken_value(const SectionCheck& c, const std::string& key, const char* field) {
    const std::string_view name(field);
    const char* text = c.value(key);
    if (text == nullptr || c.has_error(key)) return;
    if (name == schema::kLabel) return check_label(c, key);
    const int value = *text == '\0' ? 0 : number::c_strtoi(text).value_or(0);
    const char* sio = c.value(schema::kChip);
    const schema::BankedChip* chip = schema::banked_chip(sio != nullptr ? sio : "");
    if (name == schema::kBank && chip != nullptr && value > chip->highest_bank) {
        c.warning(key, "bank " + std::to_string(value) +
                           " is more than the bank select register of " + std::string(chip->name) +
                           " holds (banks 0 to " + std::to_string(chip->highest_bank) +
                           "): its other bits change the register too");
    } else if ((name == schema::kRegister || name == schema::kFanHigh || name == schema::kFanLow) &&
               (value < 0 || value > schema::kHighestRegister)) {
        c.warning(key, "register " + std::to_string(value) +
                           " does not fit a byte: the chip gets its low 8 bits, " +
                           std::to_string(value & schema::kHighestRegister));
    } else if (name == schema::kFanDividend && value == 0) {
        c.error(key, "'" + std::string(text) + "' reads as dividend 0: the fan value is always 0");
    }
}

// The count query of a kind (SensorVoltQuery, ...), which reports any
// number as it stands.
void check_count_query(const SectionCheck& c, const schema::InputKind& kind) {
    SectionKeys keys(c.dict(), c.name().c_str());
    int count = 0;
    const int status = sensor::read_count(keys, kind.count_key, count);
    if (status == SENSOR_OK) return check_plausible(c, kind.count_key, count);
    if (c.has_error(kind.count_key)) return;
    c.error(kind.count_key, c.refused(kind.count_key, keys.why()) + ": " + kind.count_query +
                                " fails (" + reader_status_name(status) + ")");
}

void check_input(const SectionCheck& c, const schema::InputKind& kind, int n,
                 std::set<std::string>& read_keys) {
    const ReaderAnswer answer = ask_reader(c, kind, n);
    read_keys.insert(answer.asked.begin(), answer.asked.end());
    // A reader that stopped reads the port description once the refusal is mended.
    if (answer.status != SENSOR_OK) {
        read_keys.insert({schema::kIndexPort, schema::kDataPort, schema::kChip});
    }
    if (answer.status != SENSOR_OK && !c.has_error(answer.key)) {
        c.error(answer.key, c.refused(answer.key, answer.why) + ": " + cannot_read(kind.noun, n) +
                                " (" + reader_status_name(answer.status) + ")");
    }
    for (const schema::Field& field : kind.fields) {
        const std::string key = schema::input_key(kind, n, field.name);
        if (answer.asked.count(key) != 0) {
            check_taken_value(c, key, field.name);
        } else if (answer.status != SENSOR_OK) {
            // The reader stopped short of it; it reads it once the refusal is mended.
            if (c.has(key)) read_keys.insert(key);
        } else if (c.has(key) && std::string_view(field.name) != schema::kBank) {
            c.warning(key,
                      std::string("not read: the ") + kind.noun + " reader does not ask for it");
        }
    }
}

}  // namespace

Inputs check_key_names(const SectionCheck& c) {
    Inputs inputs;
    for (const auto& [lower, place] : c.place().keys) {
        const auto input = parse_input_key(lower);
        if (!input && value_type(lower)) continue;
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

std::set<std::string> check_sensor_inputs(const SectionCheck& c, const Inputs& inputs) {
    std::set<std::string> read_keys;
    for (const schema::InputKind* kind : schema::kInputKinds) {
        read_keys.insert(kind->count_key);
        check_count_query(c, *kind);
    }
    if (!inputs.any()) return read_keys;  // no reader has anything to read here
    for (const schema::InputKind* kind : schema::kInputKinds) {
        for (const int n : inputs.of(*kind)) check_input(c, *kind, n, read_keys);
    }
    check_port_description(c);
    return read_keys;
}

}  // namespace quorvik::profile_check
