#include "model_keys.h"

#include <cstring>
#include <optional>

#include "quorvik.h"
#include "quorvik_common/c_number.h"
#include "quorvik_common/text.h"
#include "quorvik_common/tty_list.h"

namespace quorvik {
namespace {

// Why a present value was refused, for the profile checker.
using Why = const char*;

// strtol base 0 as the INI library reads integers, but in the C locale and
// without its wrap to int: 4294967298 is no count of 2. A missing key stores
// -1; a value outside int leaves the destination alone.
int read_int(const dictionary* dict, const char* key, int* destination, Why& why) {
    const char* text = ini::find_text(dict, key);
    if (text == nullptr) {
        *destination = -1;
        return ERR_PROFILE_VALUE;
    }
    const std::optional<int> value = number::c_strtoi(text);
    if (!value) {
        why = "a number beyond an int";
        return ERR_PROFILE_VALUE;
    }
    *destination = *value;
    if (*value >= 0) return 0;
    why = "negative";
    return ERR_PROFILE_VALUE;
}

int read_double(const dictionary* dict, const char* key, double* destination, Why& why) {
    const char* text = ini::find_text(dict, key);
    *destination = text != nullptr ? number::c_strtod(text) : -1.0;
    if (*destination >= 0.0) return 0;
    if (text != nullptr) why = "negative";
    return ERR_PROFILE_VALUE;
}

// Text values must fit the callers' 128-byte buffers; longer ones are refused.
int read_text(const dictionary* dict, const char* key, char* destination, Why& why) {
    const char* text = ini::find_text(dict, key);
    if (text == nullptr) return ERR_PROFILE_VALUE;
    const std::size_t length = std::strlen(text);
    if (length >= kBufferSize) {
        why = "too long for the callers' buffers";
        return ERR_PROFILE_VALUE;
    }
    std::memcpy(destination, text, length + 1);
    return 0;
}

// Entries of the node number list; also the bound on a port index.
constexpr int kMaxPorts = schema::kMostTtyNumbers;

int dictionary_lookup(const dictionary* dict, const char* section, const char* key, int type,
                      void* value, Why& why) {
    if (dict == nullptr) return ERR_PROFILE_LOAD;
    // "<section>:<key>" in the callers' 128 bytes; a longer one is cut and
    // finds nothing.
    char full_key[kBufferSize] = {};
    text::format_into(full_key, "%s:%s", section, key);
    if (value == nullptr) return type <= INI_TYPE_STRING ? ERR_PROFILE_VALUE : 0;
    switch (type) {
        case INI_TYPE_INT:
            return read_int(dict, full_key, static_cast<int*>(value), why);
        case INI_TYPE_DOUBLE:
            return read_double(dict, full_key, static_cast<double*>(value), why);
        case INI_TYPE_STRING:
            return read_text(dict, full_key, static_cast<char*>(value), why);
        default:
            return 0;
    }
}

}  // namespace

int profile_lookup(const ini::Profile& profile, const char* section, const char* key, int type,
                   void* value) {
    Why why = "";
    return dictionary_lookup(profile.get(), section, key, type, value, why);
}

int SectionKeys::read(const char* key, int type, void* value) {
    if (section_ == nullptr) return ERR_DEVICE_NAME;
    last_key_ = key;
    why_ = "";
    if (asked_ != nullptr) asked_->emplace(key);
    return dictionary_lookup(profile_, section_, key, type, value, why_);
}

int SectionKeys::refuse(const char* why, const char* key) {
    if (key != nullptr) last_key_ = key;
    why_ = why;
    return ERR_PROFILE_VALUE;
}

int read_serial_port(SectionKeys& keys, int index, SerialPort& port) {
    int count = 0;
    int status = keys.integer(schema::kSerialCount, count);
    if (status < 0) return status;
    if (index < 0 || index >= count || index >= kMaxPorts) return ERR_RANGE;

    status = keys.text(schema::kTtyType, port.letters);
    if (status < 0) return status;
    if (!tty::letters_only(port.letters)) return keys.refuse("not letters only");

    char list[kBufferSize] = {};
    status = keys.text(schema::kTtyNumbers, list);
    if (status < 0) return status;
    // Entries the list does not give are device number 0.
    int filled = 0;
    for (const std::string& item : tty::items(list)) {
        if (filled == kMaxPorts) break;
        const std::optional<int> number = tty::device_number(item.c_str());
        if (!number) return keys.refuse("an item beyond an int");
        if (filled++ == index) port.number = *number;
    }

    // Letters too long for the command line are refused rather than cut: a
    // cut line would redirect to some other file.
    port.node_test = tty::node_test_command(port.letters, port.number);
    if (port.node_test.size() >= kBufferSize) {
        return keys.refuse("too long for the command line that tests for the node",
                           schema::kTtyType);
    }
    return 0;
}

int read_relay(SectionKeys& keys, const char* model, int index, int value, RelayTarget& target) {
    int count = 0;
    const int status = keys.integer(schema::kRelayCount, count);
    if (status < 0) return status;
    if (count == 0) return ERR_NO_RELAY;
    if (index < 0 || index >= count) return ERR_RANGE;
    if (value != 0 && value != 1) return ERR_RANGE;
    target.by_command = std::strcmp(model, schema::kCommandRelayModel) == 0;
    if (target.by_command) return 0;
    return keys.text(schema::kRelayNode, target.node);
}

int read_power_indicator(SectionKeys& keys, int index) {
    int count = 0;
    const int status = keys.integer(schema::kPowerIndicator, count);
    if (status < 0) return status;
    if (count == 0) return ERR_NO_POWER_INDICATOR;
    return index != 0 && index != 1 ? ERR_RANGE : 0;
}

int read_role_input(SectionKeys& keys, const schema::InputKind& kind, int index, int& input) {
    int count = 0;
    const int status = keys.integer(kind.count_key, count);
    if (status < 0) return status;
    // Only roles the model has and the table names can be read.
    if (index < 0 || index >= count || index >= static_cast<int>(kind.roles.size())) {
        return ERR_RANGE;
    }
    return keys.integer(kind.roles[index].key, input);
}

}  // namespace quorvik
