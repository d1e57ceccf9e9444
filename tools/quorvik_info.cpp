// quorvik-info: prints everything the Quorvik libraries can tell about this
// board, each reading with its value or its status by name.
#include <cstdio>

#include "QuorvikSO.h"
#include "quorvik.h"

namespace {

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
        default:
            return "unknown status";
    }
}

void print_text_reading(const char* label, int (*query)(char*)) {
    char text[128];
    const int status = query(text);
    if (status == 0) {
        std::printf("%-16s %s\n", label, text);
    } else {
        std::printf("%-16s unavailable (%s, %d)\n", label, status_name(status), status);
    }
}

}  // namespace

int main() {
    std::printf("Board identity\n");
    print_text_reading("Model", get_device_name);
    print_text_reading("BIOS version", get_bios_ver);
    print_text_reading("Serial number", get_ser_num);
    if (PlatformInfo_Flag == 0) {
        std::printf(
            "\nThe board could not be identified: reading BIOS memory needs root, raw I/O-port\n"
            "access and /dev/mem, and a Quorvik board's BIOS (the messages above say which\n"
            "step failed).\n");
    }
    return 0;
}
