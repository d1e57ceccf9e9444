// Identity queries: the board's model name, BIOS version and serial number.
#include <cstring>

#include "frame.h"
#include "quorvik.h"
#include "so_binding.h"

namespace {

int identity_query(char* buf, bool (*ask)(char*), int failure) {
    if (buf == nullptr) return failure;
    std::memset(buf, 0, quorvik::kBufferSize);
    return ask(buf) ? 0 : failure;
}

}  // namespace

namespace guard = quorvik::guard;

extern "C" int get_device_name(char* buf) noexcept {
    return guard::run(ERR_DEVICE_NAME, [&]() -> int {
        return identity_query(buf, quorvik::so::device_name, ERR_DEVICE_NAME);
    });
}

extern "C" int get_bios_ver(char* buf) noexcept {
    return guard::run(ERR_BIOS_VER, [&]() -> int {
        return identity_query(buf, quorvik::so::bios_version, ERR_BIOS_VER);
    });
}

extern "C" int get_ser_num(char* buf) noexcept {
    return guard::run(ERR_SERIAL_NUM, [&]() -> int {
        return identity_query(buf, quorvik::so::serial_number, ERR_SERIAL_NUM);
    });
}
