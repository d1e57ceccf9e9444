#include <cstdio>

#include "QuorvikSO.h"
#include "info.h"
#include "quorvik.h"

namespace quorvik::info {
namespace {

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

void report_identity() {
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
}

}  // namespace quorvik::info
