// Sensor readings: voltages and temperatures by role through the monitoring
// API, fans through libQuorvikSO (the API has no fan query). Each reading is
// labelled with its input's label, the Str key that its reader labels it
// with; every input is read once.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "QuorvikSO.h"
#include "parallel.h"
#include "quorvik.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/model_keys.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/reading_text.h"
#include "quorvik_common/sensor_reader.h"
#include "report.h"

namespace quorvik::report {
namespace {

using sensor::Reader;
using RoleQuery = int (*)(int, int*);

using schema::Role;

struct RoleKind {
    const Quantity& quantity;
    const schema::InputKind& input;
    RoleQuery query;
    double per_base_unit;  // library units in one base unit
};

const RoleKind kRoleKinds[] = {
    {quantity::kVoltage, schema::kVolt, get_milli_volt, 1000.0},
    {quantity::kTemperature, schema::kTemp, get_temperature, 1000.0},
};

// The label of a reader's text "<label>: <value>".
std::string label_of(const char* text) {
    const char* separator = std::strrchr(text, ':');
    return separator != nullptr ? std::string(text, separator) : std::string(text);
}

// One reading through input's reader: its status, and on success the label
// and the value as the dispatch takes it from the text (ERR_SENSOR where the
// dispatch refuses the text).
struct ReaderResult {
    int status = SENSOR_OK;
    std::string label;
    bool parsed = false;
    int value = 0;
};

ReaderResult read_input(Reader reader, const std::string& model, int input) {
    ReaderResult result;
    char* text = nullptr;
    result.status = reader(QUORVIK_PROFILE_PATH, model.c_str(), input, &text);
    const std::unique_ptr<char, decltype(&std::free)> owner(text, &std::free);
    if (result.status != SENSOR_OK || text == nullptr) return result;
    result.label = label_of(text);
    char scratch[sensor::kScratchSize] = {};
    result.parsed = sensor::parse_reading(text, scratch, result.value);
    return result;
}

// The section that the readers read a model's inputs from: the one serving
// it by prefix, or else the one named as the model.
std::string reader_section(const ini::Profile& profile, const std::string& model) {
    char name[schema::kModelSize] = {};
    if (SensorModelCheck(model.c_str(), profile.get(), name) == 1) return name;
    return model;
}

// The input that role index names, as the monitoring library's own key
// reader finds it; -1 when it refuses the role.
int role_input(const ini::Profile& profile, const std::string& model, const RoleKind& kind,
               int index) {
    if (model.empty()) return -1;
    SectionKeys keys(profile.get(), model.c_str());
    int input = -1;
    return read_role_input(keys, kind.input, index, input) == 0 ? input : -1;
}

// Labels a role's reading with its input's label and number. The role
// reading went through the input's reader, whose label is the input's Str
// key. A failed reading (ERR_SENSOR) is labelled too: the dispatch refuses a
// label too long for it, and the label then tells which input that was.
void add_input_labels(Reading& reading, const RoleKind& kind, const std::string& model,
                      const ini::Profile& profile, int input) {
    if (input < 0) return;
    if (reading.ok() || reading.status == ERR_SENSOR) {
        const std::string key = reader_section(profile, model) + ":" +
                                schema::input_key(kind.input, input, schema::kLabel);
        if (const char* label = ini::find_text(profile.get(), key.c_str())) {
            reading.labels.push_back({"label", label});
        }
    }
    reading.labels.push_back({"input", std::to_string(input)});
}

void collect_roles(Part& part, const RoleKind& kind, const std::string& model,
                   const ini::Profile& profile) {
    for (int index = 0; index < static_cast<int>(kind.input.roles.size()); ++index) {
        const Role& role = kind.input.roles[index];
        const std::size_t at =
            part.begin(Reading(kind.quantity, {{"role", role.name}}, ERR_SENSOR));
        int raw = 0;
        const int status = kind.query(index, &raw);
        // The model's count leaves this role out: nothing to report.
        if (status == ERR_RANGE) {
            part.drop(at);
            continue;
        }
        Reading reading(kind.quantity, {{"role", role.name}}, status);
        if (reading.ok()) reading.value = raw / kind.per_base_unit;
        add_input_labels(reading, kind, model, profile, role_input(profile, model, kind, index));
        part.finish(at, std::move(reading));
    }
}

// One reading gives a fan's label and value.
Reading read_fan(const std::string& model, int input) {
    Reading reading(quantity::kFanSpeed, {{"input", std::to_string(input)}});
    const ReaderResult result = read_input(SensorFan, model, input);
    reading.status = result.status;
    if (!reading.ok()) return reading;
    reading.labels.push_back({"label", result.label});
    // The reader said why an input cannot be read; the dispatch, as the
    // libraries' callers use it, may still refuse its text.
    if (result.parsed) {
        reading.value = result.value;
    } else {
        reading.status = ERR_SENSOR;
    }
    return reading;
}

void collect_fans(Part& part, const std::string& model, int model_status) {
    const std::size_t at = part.begin(Reading(quantity::kFans, {}, SENSOR_ERR_VALUE));
    Reading count(quantity::kFans, {}, model_status);
    if (count.ok()) {
        char* text = nullptr;
        count.status = SensorFanQuery(QUORVIK_PROFILE_PATH, model.c_str(), &text);
        if (count.ok()) {
            count.value = std::atoi(text);
            std::free(text);
        }
    }
    const int fans = items_to_read(count, schema::kMostListed, "inputs");
    part.finish(at, std::move(count));
    for (int input = 0; input < fans; ++input) {
        const std::size_t fan = part.begin(
            Reading(quantity::kFanSpeed, {{"input", std::to_string(input)}}, SENSOR_ERR_VALUE));
        part.finish(fan, read_fan(model, input));
    }
}

}  // namespace

// Sensor readings go through the hardware library, which serialises them: one
// thread reads them all.
void collect_sensors(Part& part, GroupContext&) {
    char name[128];
    const int model_status = get_device_name(name);
    const std::string model = model_status == 0 ? name : "";
    const ini::Profile profile(model.empty() ? nullptr : QUORVIK_PROFILE_PATH);
    for (const RoleKind& kind : kRoleKinds) collect_roles(part, kind, model, profile);
    collect_fans(part, model, model_status);
}

}  // namespace quorvik::report
