// Serial ports: how many the model has, and whether one is held open. The
// node of port n is /dev/tty<TtyType><entry n of TtyNum>.
#include "frame.h"
#include "quorvik.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/text.h"

using namespace quorvik;

extern "C" int get_uart_count(int* count) noexcept {
    return guard::run(ERR_PROFILE_LOAD, [&]() -> int {
        if (count == nullptr) return ERR_RANGE;
        return model_lookup(schema::kSerialCount, *count);
    });
}

extern "C" int get_uart_status(int index, int* in_use) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        if (in_use == nullptr) return ERR_RANGE;
        const ModelProfile profile;
        SectionKeys keys = profile.keys();
        SerialPort port;
        int status = read_serial_port(keys, index, port);
        if (status != 0) return status;

        char command[kBufferSize];
        char output[kBufferSize];
        text::format_into(command, "%s", port.node_test.c_str());
        status = exec_cmd(command, output);
        if (status != 0) return status;

        // lsof fails when no process holds the node: only its output counts.
        // But an lsof that never finished (it stats every mount point, and a
        // dead one stalls it) has not seen the holders: no answer, not "free".
        text::format_into(command, "lsof /dev/tty%s%d ", port.letters, port.number);
        bool timed_out = false;
        run_command(command, output, &timed_out);
        if (timed_out) return ERR_CMD_EXIT;
        *in_use = output[0] != '\0' ? 1 : 0;
        return 0;
    });
}
