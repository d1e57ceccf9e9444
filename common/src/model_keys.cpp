#include "quorvik_common/model_keys.h"

#include <cstring>
#include <optional>

#include "quorvik.h"
#include "quorvik_common/c_number.h"
#include "quorvik_common/tty_list.h"

namespace quorvik {
namespace {

// Entries of the node number list; also the bound on a port index.
constexpr int kMaxPorts = schema::kMostTtyNumbers;

int refuse(SectionKeys& keys, const char* why, const char* key = nullptr) {
    keys.note_refusal(why, key);
    return ERR_PROFILE_VALUE;
}

// The value text of key, or the status that stands in for it.
int find(SectionKeys& keys, const char* key, const char*& text) {
    if (keys.section() == nullptr) return ERR_DEVICE_NAME;
    if (keys.profile() == nullptr) return ERR_PROFILE_LOAD;
    text = keys.value(key);
    return text != nullptr ? 0 : ERR_PROFILE_VALUE;
}

}  // namespace

// strtol base 0 as the INI library reads integers, but in the C locale and
// without its wrap to int: 4294967298 is no count of 2.
int read_integer(SectionKeys& keys, const char* key, int& value) {
    const char* text = nullptr;
    if (const int status = find(keys, key, text); status != 0) {
        if (status == ERR_PROFILE_VALUE) value = -1;
        return status;
    }
    const std::optional<int> number = number::c_strtoi(text);
    if (!number) return refuse(keys, "a number beyond an int");
    value = *number;
    return *number >= 0 ? 0 : refuse(keys, "negative");
}

// Text values must fit the callers' 128-byte buffers; longer ones are refused.
int read_text(SectionKeys& keys, const char* key, char (&value)[kBufferSize]) {
    const char* text = nullptr;
    if (const int status = find(keys, key, text); status != 0) return status;
    const std::size_t length = std::strlen(text);
    if (length >= kBufferSize) return refuse(keys, "too long for the callers' buffers");
    std::memcpy(value, text, length + 1);
    return 0;
}

int read_serial_port(SectionKeys& keys, int index, SerialPort& port) {
    int count = 0;
    int status = read_integer(keys, schema::kSerialCount, count);
    if (status < 0) return status;
    if (index < 0 || index >= count || index >= kMaxPorts) return ERR_RANGE;

    status = read_text(keys, schema::kTtyType, port.letters);
    if (status < 0) return status;
    if (!tty::letters_only(port.letters)) return refuse(keys, "not letters only");

    char list[kBufferSize] = {};
    status = read_text(keys, schema::kTtyNumbers, list);
    if (status < 0) return status;
    // Entries the list does not give are device number 0.
    int filled = 0;
    for (const std::string& item : tty::items(list)) {
        if (filled == kMaxPorts) break;
        const std::optional<int> number = tty::device_number(item.c_str());
        if (!number) return refuse(keys, "an item beyond an int");
        if (filled++ == index) port.number = *number;
    }

    // Letters too long for the command line are refused rather than cut: a
    // cut line would redirect to some other file.
    port.node_test = tty::node_test_command(port.letters, port.number);
    if (port.node_test.size() >= kBufferSize) {
        return refuse(keys, "too long for the command line that tests for the node",
                      schema::kTtyType);
    }
    return 0;
}

int read_relay(SectionKeys& keys, const char* model, int index, int value, RelayTarget& target) {
    int count = 0;
    const int status = read_integer(keys, schema::kRelayCount, count);
    if (status < 0) return status;
    if (count == 0) return ERR_NO_RELAY;
    if (index < 0 || index >= count) return ERR_RANGE;
    if (value != 0 && value != 1) return ERR_RANGE;
    target.by_command = std::strcmp(model, schema::kCommandRelayModel) == 0;
    if (target.by_command) return 0;
    return read_text(keys, schema::kRelayNode, target.node);
}

int read_power_indicator(SectionKeys& keys, int index) {
    int count = 0;
    const int status = read_integer(keys, schema::kPowerIndicator, count);
    if (status < 0) return status;
    if (count == 0) return ERR_NO_POWER_INDICATOR;
    return index != 0 && index != 1 ? ERR_RANGE : 0;
}

int read_role_input(SectionKeys& keys, const schema::InputKind& kind, int index, int& input) {
    int count = 0;
    const int status = read_integer(keys, kind.count_key, count);
    if (status < 0) return status;
    // Only roles the model has and the table names can be read.
    if (index < 0 || index >= count || index >= static_cast<int>(kind.roles.size())) {
        return ERR_RANGE;
    }
    return read_integer(keys, kind.roles[index].key, input);
}

}  // namespace quorvik
