// Every status of both libraries, in one table: the tools name statuses from
// it, and tests hold the public headers and the man pages to it. The values
// are the public headers' own.
#pragma once

#include "QuorvikSO.h"
#include "quorvik.h"

namespace quorvik::status {

enum class Library { quorvik, quorvik_so };

struct Status {
    const char* name;     // the #define's name
    int value;            //
    const char* meaning;  // as the public header's comment gives it
    Library library;
};

// The name is the macro's own spelling, so that a row's name and value
// cannot part.
#define QUORVIK_STATUS_ROW(code, library, meaning) \
    { #code, code, meaning, Library::library }

// clang-format off
inline constexpr Status kStatuses[] = {
    QUORVIK_STATUS_ROW(ERR_RANGE, quorvik, "index, state or argument outside what is offered"),
    QUORVIK_STATUS_ROW(ERR_POPEN, quorvik, "the shell command cannot be started"),
    QUORVIK_STATUS_ROW(ERR_PCLOSE, quorvik, "waiting for the command failed"),
    QUORVIK_STATUS_ROW(ERR_DEV_OPEN, quorvik, "the digital-I/O or relay device cannot be opened"),
    QUORVIK_STATUS_ROW(ERR_DEV_CLOSE, quorvik, "closing that device failed"),
    QUORVIK_STATUS_ROW(ERR_DEV_IOCTL, quorvik, "the device request failed"),
    QUORVIK_STATUS_ROW(ERR_PROFILE_LOAD, quorvik, "the device profile cannot be loaded"),
    QUORVIK_STATUS_ROW(ERR_CMD_EXIT, quorvik,
        "the command failed, did not finish in time, or its answer is unusable"),
    QUORVIK_STATUS_ROW(ERR_PROFILE_VALUE, quorvik, "no usable profile value for the key"),
    QUORVIK_STATUS_ROW(ERR_DEVICE_NAME, quorvik, "the model name cannot be obtained"),
    QUORVIK_STATUS_ROW(ERR_SENSOR, quorvik, "the sensor cannot be read"),
    QUORVIK_STATUS_ROW(ERR_BIOS_VER, quorvik, "the BIOS version cannot be obtained"),
    QUORVIK_STATUS_ROW(ERR_SERIAL_NUM, quorvik, "the serial number cannot be obtained"),
    QUORVIK_STATUS_ROW(ERR_NO_RELAY, quorvik, "the model has no relay output"),
    QUORVIK_STATUS_ROW(ERR_NO_POWER_INDICATOR, quorvik, "the model has no power-input indicator"),
    QUORVIK_STATUS_ROW(ERR_LINK_DOWN, quorvik,
        "the Ethernet interface is not up; output set to 0"),
    QUORVIK_STATUS_ROW(SENSOR_OK, quorvik_so, "the reading or count was read"),
    QUORVIK_STATUS_ROW(SENSOR_ERR_VALUE, quorvik_so,
        "key present but unusable, or a device failed"),
    QUORVIK_STATUS_ROW(SENSOR_ERR_NOMEM, quorvik_so, "result text could not be allocated"),
    QUORVIK_STATUS_ROW(SENSOR_ERR_PROFILE, quorvik_so, "device profile could not be loaded"),
    QUORVIK_STATUS_ROW(SENSOR_ERR_KEY, quorvik_so, "a key the reading needs is missing"),
};
// clang-format on

#undef QUORVIK_STATUS_ROW

// The row of a value, or null. The libraries' values never meet (checked
// below), so that a value alone names its status.
constexpr const Status* find(int value) {
    for (const Status& status : kStatuses) {
        if (status.value == value) return &status;
    }
    return nullptr;
}

constexpr bool values_distinct() {
    for (const Status& status : kStatuses) {
        if (find(status.value) != &status) return false;
    }
    return true;
}
static_assert(values_distinct(), "two statuses share a value");

}  // namespace quorvik::status
