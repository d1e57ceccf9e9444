// quorvik-info's sensor section: how many inputs of each kind the profile
// declares for the identified model, and every input's reading with its label
// and unit, or the reason it cannot be read.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "QuorvikSO.h"
#include "info.h"

namespace quorvik::info {
namespace {

// Profiles number inputs from 0; a count beyond this is a broken profile,
// not a reason to read a thousand inputs.
constexpr int kMostInputsShown = 32;

using CountQuery = int (*)(const char*, const char*, char**);
using Reader = int (*)(const char*, const char*, int, char**);

struct SensorKind {
    const char* title;
    const char* key_prefix;
    unsigned long type;
    CountQuery count;
    Reader reader;
};

const SensorKind kKinds[] = {
    {"Voltage inputs", "Vin", SENSOR_VOLT, SensorVoltQuery, SensorVolt},
    {"Temperature inputs", "Tin", SENSOR_TEMP, SensorTempQuery, SensorTemp},
    {"Fan inputs", "Fin", SENSOR_FAN, SensorFanQuery, SensorFan},
};

const char* sensor_status_name(int status) {
    switch (status) {
        case SENSOR_OK:
            return "OK";
        case SENSOR_ERR_VALUE:
            return "SENSOR_ERR_VALUE";
        case SENSOR_ERR_NOMEM:
            return "SENSOR_ERR_NOMEM";
        case SENSOR_ERR_PROFILE:
            return "SENSOR_ERR_PROFILE";
        case SENSOR_ERR_KEY:
            return "SENSOR_ERR_KEY";
        default:
            return "unknown status";
    }
}

void print_value(const SensorKind& kind, int value) {
    switch (kind.type) {
        case SENSOR_VOLT:
            std::printf("%d mV\n", value);
            break;
        case SENSOR_TEMP:
            std::printf("%.3f °C\n", value / 1000.0);
            break;
        default:
            std::printf("%d RPM\n", value);
            break;
    }
}

// The reader says why an input cannot be read and gives its label; the
// dispatch, as the libraries' callers use it, gives the value.
void report_input(const SensorKind& kind, const char* model, int input) {
    char name[16];
    std::snprintf(name, sizeof name, "%s%d", kind.key_prefix, input);
    char* text = nullptr;
    const int status = kind.reader(QUORVIK_PROFILE_PATH, model, input, &text);
    if (status != SENSOR_OK) {
        std::printf("  %-6s unavailable (%s, %d)\n", name, sensor_status_name(status), status);
        return;
    }
    // The text is "<label>: <value>"; the label is all before the last ": ".
    if (char* separator = std::strrchr(text, ':'); separator != nullptr) *separator = '\0';
    std::printf("  %-6s %-16s ", name, text);
    std::free(text);
    int value = 0;
    if (GetSensorValueByType(model, kind.type, input, &value) == 1) {
        print_value(kind, value);
    } else {
        std::printf("unavailable (GetSensorValueByType refused the reading)\n");
    }
}

void report_kind(const SensorKind& kind, const char* model) {
    char* text = nullptr;
    const int status = kind.count(QUORVIK_PROFILE_PATH, model, &text);
    if (status != SENSOR_OK) {
        std::printf("%-19s unavailable (%s, %d)\n", kind.title, sensor_status_name(status), status);
        return;
    }
    const int count = std::atoi(text);
    std::free(text);
    std::printf("%-19s %d\n", kind.title, count);
    const int shown = count < kMostInputsShown ? count : kMostInputsShown;
    for (int input = 0; input < shown; ++input) report_input(kind, model, input);
    if (count > shown) std::printf("  (only the first %d of %d shown)\n", shown, count);
}

}  // namespace

void report_sensors() {
    std::printf("\nSensors (profile %s)\n", QUORVIK_PROFILE_PATH);
    std::fflush(stdout);
    char model[128] = {};
    if (GetDeviceName(model) != 1) {
        std::printf(
            "unavailable: sensors are read only for the identified board model, and this\n"
            "board could not be identified (see above).\n");
        return;
    }
    for (const SensorKind& kind : kKinds) report_kind(kind, model);
}

}  // namespace quorvik::info
