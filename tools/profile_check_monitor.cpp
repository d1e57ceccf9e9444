// Rules for what the monitoring library reads through its model lookup:
// serial, LAN, power and relay keys, the input counts and the role indexes.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "profile_check_rules.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/tty_list.h"

namespace quorvik::profile_check {
namespace {

// The monitoring library copies text values into 128-byte buffers and refuses
// longer ones; its serial port test builds command lines of 128 bytes too.
namespace schema = quorvik::schema;
constexpr std::size_t kBufferSize = schema::kTextSize;
constexpr std::size_t kLongestText = schema::kLongestText;

// The text in single quotes. Built by appending: GCC 12 at -O2 and above warns
// falsely (-Wrestrict) on a string literal + std::string temporary.
std::string in_quotes(const char* text) {
    std::string quoted(1, '\'');
    quoted += text;
    quoted += '\'';
    return quoted;
}

// No board has that many inputs or ports: the count is a broken profile.
std::optional<int> check_plausible(const SectionCheck& c, const char* key,
                                   std::optional<int> count) {
    if (count && *count > schema::kMostPlausible) {
        c.error(key, std::to_string(*count) + " is more than any board has (at most " +
                         std::to_string(schema::kMostPlausible) + ")");
    }
    return count;
}

// A text value that the monitoring library reads; reports what it refuses.
// Returns the text when the library takes it.
const char* lookup_text(const SectionCheck& c, const char* key, const std::string& failure) {
    const char* text = c.value(key);
    if (text == nullptr) {
        c.error(key, c.absence(key) + ": " + failure + " (ERR_PROFILE_VALUE)");
        return nullptr;
    }
    const std::size_t length = std::strlen(text);
    if (length > kLongestText) {
        c.error(key, std::to_string(length) + " characters, " + std::to_string(kBufferSize) +
                         " or more: the monitoring library refuses it, " + failure +
                         " (ERR_PROFILE_VALUE)");
        return nullptr;
    }
    return text;
}

// Returns the letters when the monitoring library takes them.
const char* check_tty_type(const SectionCheck& c) {
    const char* type = lookup_text(c, schema::kTtyType, "get_uart_status fails");
    if (type == nullptr) return nullptr;
    if (*type == '\0') {
        c.warning(schema::kTtyType, "empty: serial port k is /dev/tty<k>, a virtual console");
        return type;
    }
    if (!tty::letters_only(type)) {
        c.error(schema::kTtyType, in_quotes(type) +
                                      " is not letters only: the monitoring library refuses it, "
                                      "get_uart_status fails (ERR_PROFILE_VALUE)");
        return nullptr;
    }
    return type;
}

// One item of TtyNum, converted with strtod and cut to an int. Reports items
// that are no whole, non-negative number; returns the number the library
// uses, or nothing when the library refuses the item.
std::optional<int> check_tty_item(const SectionCheck& c, const std::string& item) {
    char* end = nullptr;
    const double value = std::strtod(item.c_str(), &end);
    while (*end != '\0' && std::isspace(static_cast<unsigned char>(*end))) ++end;
    std::size_t first = 0;
    while (first < item.size() && std::isspace(static_cast<unsigned char>(item[first]))) ++first;
    const std::string quoted = "item '" + item.substr(first) + "'";
    const std::optional<int> read = tty::device_number(item.c_str());
    if (!read) {
        c.error(schema::kTtyNumbers,
                quoted + " does not fit an int: get_uart_status fails (ERR_PROFILE_VALUE)");
        return std::nullopt;
    }
    const int number = *read;
    if (end == item.c_str() || *end != '\0' || number < 0 || value != number) {
        c.error(schema::kTtyNumbers,
                quoted + " is no device number: the library reads " + std::to_string(number));
    }
    return number;
}

// Returns the device numbers of the ports, as the library uses them.
std::vector<int> check_tty_numbers(const SectionCheck& c, int ports) {
    const char* list = lookup_text(c, schema::kTtyNumbers, "get_uart_status fails");
    if (list == nullptr) return {};
    const std::vector<std::string> items = tty::items(list);
    std::vector<int> numbers;
    for (const std::string& item : items) {
        const auto number = check_tty_item(c, item);
        if (!number) return {};
        numbers.push_back(*number);
    }
    const int given = static_cast<int>(items.size());
    const std::string counts =
        std::to_string(given) + " device numbers for TotalSerialPort " + std::to_string(ports);
    if (given < ports) {
        c.error(schema::kTtyNumbers, counts + ": ports " + std::to_string(given) +
                                         " and up are tested as device number 0");
    } else if (given > ports) {
        c.warning(schema::kTtyNumbers, counts + ": the numbers after the first " +
                                           std::to_string(ports) + " are never used");
    }
    numbers.resize(static_cast<std::size_t>(ports), 0);
    return numbers;
}

// get_uart_status refuses letters that, with a port's number, do not fit its
// 128-byte command line.
void check_command_line(const SectionCheck& c, const char* letters,
                        const std::vector<int>& numbers) {
    for (const int number : numbers) {
        const std::size_t length = tty::node_test_command(letters, number).size();
        if (length < kBufferSize) continue;
        c.error(schema::kTtyType, "with device number " + std::to_string(number) +
                                      " the command line "
                                      "'ls /dev/tty...' is " +
                                      std::to_string(length) + " characters, more than " +
                                      std::to_string(kLongestText) +
                                      ": get_uart_status fails (ERR_PROFILE_VALUE)");
        return;
    }
}

void check_serial_ports(const SectionCheck& c) {
    const auto ports = check_plausible(
        c, schema::kSerialCount,
        lookup_integer(c, schema::kSerialCount,
                       "get_uart_count and get_uart_status fail (ERR_PROFILE_VALUE)"));
    if (!ports || *ports <= 0) return;  // the port queries never get to the tty keys
    const char* letters = check_tty_type(c);
    const std::vector<int> numbers = check_tty_numbers(c, *ports);
    if (letters != nullptr) check_command_line(c, letters, numbers);
}

void check_relay(const SectionCheck& c) {
    const auto relays = check_plausible(
        c, schema::kRelayCount,
        lookup_integer(c, schema::kRelayCount, "set_relay fails (ERR_PROFILE_VALUE)"));
    if (c.name() == to_lower(schema::kCommandRelayModel)) {
        if (c.has(schema::kRelayNode)) {
            c.warning(schema::kRelayNode, std::string("not read: ") + schema::kCommandRelayModel +
                                              " drives its relay by command");
        }
        return;
    }
    if (!relays || *relays <= 0) return;  // Relay_Node is not read
    const char* node = lookup_text(c, schema::kRelayNode, "set_relay fails");
    if (node == nullptr) return;
    if (*node == '\0') {
        c.error(schema::kRelayNode, "empty: set_relay cannot open it (ERR_DEV_OPEN)");
    } else if (*node != '/') {
        c.warning(schema::kRelayNode,
                  in_quotes(node) +
                      " is a relative path: it is opened from the host's working "
                      "directory");
    }
}

// Fan is read by its count query alone, which reports any number as it stands.
std::optional<int> read_fan_count(const SectionCheck& c) {
    const char* text = c.value(schema::kFanCount);
    if (text == nullptr) {
        c.error(schema::kFanCount,
                c.absence(schema::kFanCount) + ": SensorFanQuery fails (SENSOR_ERR_KEY)");
        return std::nullopt;
    }
    if (*text == '\0') {
        c.warning(schema::kFanCount, "empty value reads as 0");
        return 0;
    }
    const int count = read_number(c, schema::kFanCount, text).value;
    if (count < 0) c.warning(schema::kFanCount, "negative: SensorFanQuery reports it as it stands");
    return count;
}

// Compares a count with the inputs that the section describes. Returns the
// count when it can bound a role index.
std::optional<int> check_count(const SectionCheck& c, const char* key, std::optional<int> count,
                               const std::set<int>& inputs, const char* noun) {
    check_plausible(c, key, count);
    if (!count || *count < 0) return std::nullopt;
    if (static_cast<std::size_t>(*count) != inputs.size()) {
        c.warning(key, std::string(key) + " " + std::to_string(*count) + ", but the section has " +
                           std::to_string(inputs.size()) + " " + noun + " inputs" +
                           (inputs.empty() ? "" : " (" + join_numbers(inputs) + ")"));
    }
    return count;
}

void check_role(const SectionCheck& c, const schema::Role& role, int index,
                std::optional<int> count, const schema::InputKind& kind, const char* query) {
    const std::string call = std::string(query) + "(" + std::to_string(index) + ")";
    const char* text = c.value(role.key);
    const bool counted = count && index < *count;
    if (text == nullptr) {
        if (counted)
            c.error(role.key, c.absence(role.key) + ": " + call + " fails (ERR_PROFILE_VALUE)");
        return;
    }
    // The query answers ERR_RANGE before it looks at the key: nothing fails.
    if (count && !counted) {
        c.warning(role.key, std::string(kind.count_key) + " " + std::to_string(*count) +
                                " leaves out role " + std::to_string(index) + ": " + call +
                                " answers ERR_RANGE and never reads this key");
        return;
    }
    int input = 0;
    if (*text == '\0') {
        c.warning(role.key, "empty value reads as 0");
    } else {
        input = read_number(c, role.key, text).value;
    }
    if (input < 0) {
        c.error(role.key, "negative: " + call + " fails (ERR_PROFILE_VALUE)");
        return;
    }
    const std::string label = schema::input_key(kind, input, schema::kLabel);
    if (!c.has(label)) {
        c.error(role.key, "names input " + std::to_string(input) + ", which has no " + label +
                              ": " + call + " fails (ERR_SENSOR)");
    }
}

template <std::size_t N>
void check_roles(const SectionCheck& c, const schema::Role (&roles)[N], std::optional<int> count,
                 const schema::InputKind& kind, const char* query) {
    for (std::size_t index = 0; index < N; ++index) {
        check_role(c, roles[index], static_cast<int>(index), count, kind, query);
    }
}

void check_counts_and_roles(const SectionCheck& c, const Inputs& inputs) {
    const auto volts = check_count(
        c, schema::kVoltCount,
        lookup_integer(c, schema::kVoltCount, "get_milli_volt fails (ERR_PROFILE_VALUE)",
                       "SensorVoltQuery fails (SENSOR_ERR_KEY)"),
        inputs.volt, schema::kVolt.noun);
    const auto temps = check_count(
        c, schema::kTempCount,
        lookup_integer(c, schema::kTempCount, "get_temperature fails (ERR_PROFILE_VALUE)",
                       "SensorTempQuery fails (SENSOR_ERR_KEY)"),
        inputs.temp, schema::kTemp.noun);
    check_count(c, schema::kFanCount, read_fan_count(c), inputs.fan, schema::kFan.noun);
    check_roles(c, schema::kVoltRoles, volts, schema::kVolt, "get_milli_volt");
    check_roles(c, schema::kTempRoles, temps, schema::kTemp, "get_temperature");
}

}  // namespace

void check_monitoring_keys(const SectionCheck& c, const Inputs& inputs) {
    check_serial_ports(c);
    check_plausible(c, schema::kLanCount,
                    lookup_integer(c, schema::kLanCount,
                                   "get_eth_count and the Ethernet port queries fail "
                                   "(ERR_PROFILE_VALUE)"));
    lookup_integer(c, schema::kPowerIndicator, "get_pwr_status fails (ERR_PROFILE_VALUE)");
    check_relay(c);
    check_counts_and_roles(c, inputs);
}

}  // namespace quorvik::profile_check
