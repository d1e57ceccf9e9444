#include "QuorvikSO.h"
#include "quorvik.h"
#include "report.h"

namespace quorvik::report {

const char* status_name(int status) {
    switch (status) {
        case 0:
            return "OK";
        case ERR_RANGE:
            return "ERR_RANGE";
        case ERR_POPEN:
            return "ERR_POPEN";
        case ERR_PCLOSE:
            return "ERR_PCLOSE";
        case ERR_DEV_OPEN:
            return "ERR_DEV_OPEN";
        case ERR_DEV_CLOSE:
            return "ERR_DEV_CLOSE";
        case ERR_DEV_IOCTL:
            return "ERR_DEV_IOCTL";
        case ERR_PROFILE_LOAD:
            return "ERR_PROFILE_LOAD";
        case ERR_CMD_EXIT:
            return "ERR_CMD_EXIT";
        case ERR_PROFILE_VALUE:
            return "ERR_PROFILE_VALUE";
        case ERR_DEVICE_NAME:
            return "ERR_DEVICE_NAME";
        case ERR_SENSOR:
            return "ERR_SENSOR";
        case ERR_BIOS_VER:
            return "ERR_BIOS_VER";
        case ERR_SERIAL_NUM:
            return "ERR_SERIAL_NUM";
        case ERR_NO_RELAY:
            return "ERR_NO_RELAY";
        case ERR_NO_POWER_INDICATOR:
            return "ERR_NO_POWER_INDICATOR";
        case ERR_LINK_DOWN:
            return "ERR_LINK_DOWN";
        case SENSOR_ERR_VALUE:
            return "SENSOR_ERR_VALUE";
        case SENSOR_ERR_NOMEM:
            return "SENSOR_ERR_NOMEM";
        case SENSOR_ERR_PROFILE:
            return "SENSOR_ERR_PROFILE";
        case SENSOR_ERR_KEY:
            return "SENSOR_ERR_KEY";
        default:
            return "UNKNOWN";
    }
}

std::string_view Reading::label(std::string_view name) const {
    for (const Label& entry : labels) {
        if (entry.name == name) return entry.value;
    }
    return {};
}

}  // namespace quorvik::report
