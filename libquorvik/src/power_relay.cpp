// Power-supply inputs and the relay output, through the digital-I/O driver;
// the KT-500R drives its relay through /dev/relay instead.
#include <cstring>

#include "dio_device.h"
#include "frame.h"
#include "quorvik.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/text.h"

using namespace quorvik;

extern "C" int get_pwr_status(int index, int* state) noexcept {
    return guard::run(ERR_DEV_OPEN, [&]() -> int {
        if (state == nullptr) return ERR_RANGE;
        const ModelProfile profile;
        SectionKeys keys = profile.keys();
        if (const int status = read_power_indicator(keys, index); status != 0) return status;

        dio::Node node(QUORVIK_DIO_PATH);
        if (!node.is_open()) return ERR_DEV_OPEN;
        dio_request record{};
        record.port = index;
        // A refused request leaves the caller's int alone; the node closes on return.
        if (node.send(DIO_GET_POWER, &record) != 0) return ERR_DEV_IOCTL;
        *state = record.value;
        return node.close() != 0 ? ERR_DEV_CLOSE : 0;
    });
}

extern "C" int set_relay(int index, int value) noexcept {
    return guard::run(ERR_DEV_OPEN, [&]() -> int {
        const ModelProfile profile;
        SectionKeys keys = profile.keys();
        RelayTarget target;
        if (const int status = read_relay(keys, profile.model(), index, value, target); status != 0)
            return status;
        if (target.by_command) {
            char command[kBufferSize];
            char output[kBufferSize];
            text::format_into(command, "echo %d > /dev/relay", value);
            return exec_cmd(command, output);
        }
        dio::Node node(target.node);
        if (!node.is_open()) return ERR_DEV_OPEN;
        dio_request record{};
        record.port = index;
        record.value = value;
        if (node.send(DIO_SET_RELAY, &record) != 0) return ERR_DEV_IOCTL;
        return node.close() != 0 ? ERR_DEV_CLOSE : 0;
    });
}
