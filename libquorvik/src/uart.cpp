// Serial ports: how many the model has, and whether one is held open. The
// node of port n is /dev/tty<TtyType><entry n of TtyNum>.
#include <cstring>
#include <optional>
#include <string>

#include "frame.h"
#include "quorvik.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/text.h"
#include "quorvik_common/tty_list.h"

namespace quorvik {
namespace {

// Entries of the node number list; also the bound on a port index.
constexpr int kMaxPorts = schema::kMostTtyNumbers;

// Splits the list into numbers; entries it does not give stay 0.
int parse_numbers(const char* list, int (&numbers)[kMaxPorts]) {
    int filled = 0;
    for (const std::string& item : tty::items(list)) {
        if (filled == kMaxPorts) break;
        const std::optional<int> number = tty::device_number(item.c_str());
        if (!number) return ERR_PROFILE_VALUE;
        numbers[filled++] = *number;
    }
    return 0;
}

}  // namespace
}  // namespace quorvik

using namespace quorvik;

extern "C" int get_uart_count(int* count) noexcept {
    return guard::run(ERR_PROFILE_LOAD, [&]() -> int {
        if (count == nullptr) return ERR_RANGE;
        return model_lookup(schema::kSerialCount, INI_TYPE_INT, count);
    });
}

extern "C" int get_uart_status(int index, int* in_use) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        if (in_use == nullptr) return ERR_RANGE;
        const ModelProfile profile;
        int count = 0;
        int status = profile.lookup(schema::kSerialCount, INI_TYPE_INT, &count);
        if (status < 0) return status;
        if (index < 0 || index >= count || index >= kMaxPorts) return ERR_RANGE;

        char letters[kBufferSize] = {};
        status = profile.lookup(schema::kTtyType, INI_TYPE_STRING, letters);
        if (status < 0) return status;
        if (!tty::letters_only(letters)) return ERR_PROFILE_VALUE;

        char list[kBufferSize] = {};
        status = profile.lookup(schema::kTtyNumbers, INI_TYPE_STRING, list);
        if (status < 0) return status;
        int numbers[kMaxPorts] = {};
        status = parse_numbers(list, numbers);
        if (status < 0) return status;

        // Letters too long for the command line are refused rather than cut: a cut
        // line would redirect to some other file.
        char command[kBufferSize];
        char output[kBufferSize];
        const std::string test = tty::node_test_command(letters, numbers[index]);
        if (!text::format_into(command, "%s", test.c_str())) return ERR_PROFILE_VALUE;
        status = exec_cmd(command, output);
        if (status != 0) return status;

        // lsof fails when no process holds the node: only its output counts.
        text::format_into(command, "lsof /dev/tty%s%d ", letters, numbers[index]);
        exec_cmd(command, output);
        *in_use = output[0] != '\0' ? 1 : 0;
        return 0;
    });
}
