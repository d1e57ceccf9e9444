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
        int count = 0;
        const int status = model_lookup(schema::kPowerIndicator, INI_TYPE_INT, &count);
        if (status < 0) return status;
        if (count == 0) return ERR_NO_POWER_INDICATOR;
        if (index != 0 && index != 1) return ERR_RANGE;

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
        int count = 0;
        int status = profile.lookup(schema::kRelayCount, INI_TYPE_INT, &count);
        if (status < 0) return status;
        if (count == 0) return ERR_NO_RELAY;
        if (index < 0 || index >= count) return ERR_RANGE;
        if (value != 0 && value != 1) return ERR_RANGE;

        if (std::strcmp(profile.model(), schema::kCommandRelayModel) == 0) {
            char command[kBufferSize];
            char output[kBufferSize];
            text::format_into(command, "echo %d > /dev/relay", value);
            return exec_cmd(command, output);
        }

        char path[kBufferSize] = {};
        status = profile.lookup(schema::kRelayNode, INI_TYPE_STRING, path);
        if (status < 0) return status;
        dio::Node node(path);
        if (!node.is_open()) return ERR_DEV_OPEN;
        dio_request record{};
        record.port = index;
        record.value = value;
        if (node.send(DIO_SET_RELAY, &record) != 0) return ERR_DEV_IOCTL;
        return node.close() != 0 ? ERR_DEV_CLOSE : 0;
    });
}
