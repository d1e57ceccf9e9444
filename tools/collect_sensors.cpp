// Sensor readings: voltages and temperatures by role through the monitoring
// API, fans through libQuorvikSO (the API has no fan query). Each reading is
// labelled with its input's label as the input's reader gives it.
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "QuorvikSO.h"
#include "parallel.h"
#include "quorvik.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/sensor_reader.h"
#include "report.h"

namespace quorvik::report {
namespace {

using sensor::Reader;
using RoleQuery = int (*)(int, int*);

using schema::Role;

struct RoleKind {
    const Quantity& quantity;
    std::span<const Role> roles;
    RoleQuery query;
    Reader reader;
    double per_base_unit;  // library units in one base unit
};

const RoleKind kRoleKinds[] = {
    {quantity::kVoltage, schema::kVoltRoles, get_milli_volt, SensorVolt, 1000.0},
    {quantity::kTemperature, schema::kTempRoles, get_temperature, SensorTemp, 1000.0},
};

// Reads input through its reader and keeps the label of its text
// ("<label>: <value>"). Returns the reader's status.
int read_label(Reader reader, const std::string& model, int input, std::string& label) {
    char* text = nullptr;
    const int status = reader(QUORVIK_PROFILE_PATH, model.c_str(), input, &text);
    if (status != SENSOR_OK) return status;
    if (char* separator = std::strrchr(text, ':'); separator != nullptr) *separator = '\0';
    label = text;
    std::free(text);
    return SENSOR_OK;
}

// The input a role names, looked up as the monitoring library looks it up:
// the role key in the section named like the model. -1 when there is none.
int role_input(const ini::Profile& profile, const std::string& model, const char* key) {
    if (!profile || model.empty()) return -1;
    return ini::get_int(profile.get(), (model + ":" + key).c_str(), -1);
}

// Labels a role's reading with its input's label and number, when the
// profile names the input and its reader gives the label.
void add_input_labels(Reading& reading, Reader reader, const std::string& model, int input) {
    if (input < 0) return;
    std::string label;
    if (read_label(reader, model, input, label) == SENSOR_OK) {
        reading.labels.push_back({"label", label});
    }
    reading.labels.push_back({"input", std::to_string(input)});
}

void collect_roles(std::vector<Reading>& report, const RoleKind& kind, const std::string& model,
                   const ini::Profile& profile) {
    for (int index = 0; index < static_cast<int>(kind.roles.size()); ++index) {
        const Role& role = kind.roles[index];
        int raw = 0;
        const int status = kind.query(index, &raw);
        // The model's count leaves this role out: nothing to report.
        if (status == ERR_RANGE) continue;
        Reading reading(kind.quantity, {{"role", role.name}}, status);
        if (reading.ok()) reading.value = raw / kind.per_base_unit;
        add_input_labels(reading, kind.reader, model, role_input(profile, model, role.key));
        report.push_back(std::move(reading));
    }
}

Reading read_fan(const std::string& model, int input) {
    Reading reading(quantity::kFanSpeed, {{"input", std::to_string(input)}});
    std::string label;
    reading.status = read_label(SensorFan, model, input, label);
    if (!reading.ok()) return reading;
    reading.labels.push_back({"label", label});
    int value = 0;
    // The reader said why an input cannot be read; the dispatch, as the
    // libraries' callers use it, may still refuse its text.
    if (GetSensorValueByType(model.c_str(), SENSOR_FAN, input, &value) == 1) {
        reading.value = value;
    } else {
        reading.status = ERR_SENSOR;
    }
    return reading;
}

void collect_fans(std::vector<Reading>& report, const std::string& model, int model_status) {
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
    report.push_back(count);
    for (int input = 0; input < fans; ++input) report.push_back(read_fan(model, input));
}

}  // namespace

// Sensor readings go through the hardware library, which serialises them: one
// thread reads them all.
std::vector<Reading> collect_sensors() {
    std::vector<Reading> report;
    char name[128];
    const int model_status = get_device_name(name);
    const std::string model = model_status == 0 ? name : "";
    const ini::Profile profile(model.empty() ? nullptr : QUORVIK_PROFILE_PATH);
    for (const RoleKind& kind : kRoleKinds) collect_roles(report, kind, model, profile);
    collect_fans(report, model, model_status);
    return report;
}

}  // namespace quorvik::report
