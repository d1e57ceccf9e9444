// What the monitoring library makes of a section: each query's key reader is
// asked which key it stops at, with which status and why. The checker adds
// what the queries take but use otherwise than the profile's author may think
// (device numbers missing from TtyNum, a relative Relay_Node, role keys that
// the count leaves out).
#include <map>
#include <span>

#include "profile_check_rules.h"
#include "quorvik.h"
#include "quorvik_common/c_number.h"
#include "quorvik_common/model_keys.h"
#include "quorvik_common/profile_schema.h"
#include "quorvik_common/tty_list.h"

namespace quorvik::profile_check {
namespace {

namespace schema = quorvik::schema;

// The queries that fail when a count is refused.
struct CountQueries {
    const char* key;
    const char* fail;
};

const CountQueries kCounts[] = {
    {schema::kSerialCount, "get_uart_count and get_uart_status fail"},
    {schema::kLanCount, "get_eth_count and the Ethernet port queries fail"},
    {schema::kPowerIndicator, "get_pwr_status fails"},
    {schema::kRelayCount, "set_relay fails"},
    {schema::kVoltCount, "get_milli_volt fails"},
    {schema::kTempCount, "get_temperature fails"},
};

// The section's keys as the queries read them, each key read recorded.
SectionKeys asking(const SectionCheck& c, std::set<std::string>& read_keys) {
    SectionKeys keys(c.dict(), c.name().c_str());
    keys.record_asked(read_keys);
    return keys;
}

void report(const SectionCheck& c, const SectionKeys& keys, const std::string& fails) {
    if (c.has_error(keys.last_key())) return;
    c.error(keys.last_key(),
            c.refused(keys.last_key(), keys.why()) + ": " + fails + " (ERR_PROFILE_VALUE)");
}

// A count, and whether a board could have that many; nothing when refused.
std::optional<int> check_count(const SectionCheck& c, std::set<std::string>& read_keys,
                               const CountQueries& count) {
    SectionKeys keys = asking(c, read_keys);
    int value = 0;
    if (read_integer(keys, count.key, value) != 0) {
        report(c, keys, count.fail);
        return std::nullopt;
    }
    check_plausible(c, count.key, value);
    return value;
}

// TtyNum as the queries take it: items that are no device number, and ports
// that the list leaves without one.
void check_tty_numbers(const SectionCheck& c, int ports) {
    const char* list = c.value(schema::kTtyNumbers);
    if (list == nullptr || c.has_error(schema::kTtyNumbers)) return;
    const std::vector<std::string> items = tty::items(list);
    for (const std::string& item : items) {
        char* end = nullptr;
        const double value = number::c_strtod(item.c_str(), &end);
        while (*end == ' ' || *end == '\t') ++end;
        const int number = tty::device_number(item.c_str()).value_or(0);
        if (end != item.c_str() && *end == '\0' && number >= 0 && value == number) continue;
        const std::size_t first = item.find_first_not_of(" \t");
        c.error(schema::kTtyNumbers,
                "item '" + item.substr(first == std::string::npos ? 0 : first) +
                    "' is no device number: the library reads " + std::to_string(number));
        break;
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
}

void check_serial_ports(const SectionCheck& c, std::set<std::string>& read_keys, int ports) {
    for (int index = 0; index < std::min(ports, schema::kMostTtyNumbers); ++index) {
        SectionKeys keys = asking(c, read_keys);
        SerialPort port;
        const int status = read_serial_port(keys, index, port);
        if (status == 0 || status == ERR_RANGE) continue;
        report(c, keys, "get_uart_status fails");
        // Read once the refusal is mended.
        read_keys.insert({schema::kTtyType, schema::kTtyNumbers});
        break;
    }
    if (ports <= 0) return;
    const char* letters = c.value(schema::kTtyType);
    if (letters != nullptr && *letters == '\0') {
        c.warning(schema::kTtyType, "empty: serial port k is /dev/tty<k>, a virtual console");
    }
    check_tty_numbers(c, ports);
}

void check_relay(const SectionCheck& c, std::set<std::string>& read_keys) {
    SectionKeys keys = asking(c, read_keys);
    RelayTarget target;
    // The model that the section serves: the one driven by command has its
    // name in other case.
    const bool command_model = c.name() == to_lower(schema::kCommandRelayModel);
    const char* model = command_model ? schema::kCommandRelayModel : c.name().c_str();
    const int status = read_relay(keys, model, 0, 0, target);
    if (status == ERR_NO_RELAY) return;
    if (status != 0) {
        read_keys.insert(schema::kRelayNode);  // read once the refusal is mended
        return report(c, keys, "set_relay fails");
    }
    if (target.by_command) return;
    if (target.node[0] == '\0') {
        c.error(schema::kRelayNode, "empty: set_relay cannot open it (ERR_DEV_OPEN)");
    } else if (target.node[0] != '/') {
        c.warning(schema::kRelayNode, "'" + std::string(target.node) +
                                          "' is a relative path: it is opened from the host's "
                                          "working directory");
    }
}

// A role may name an input the section does not describe: its reader is asked
// here, the others' by the sensor rules.
void check_roles(const SectionCheck& c, std::set<std::string>& read_keys, const Inputs& inputs,
                 const schema::InputKind& kind, const char* query) {
    const std::span<const schema::Role> roles = kind.roles;
    for (int index = 0; index < static_cast<int>(roles.size()); ++index) {
        const std::string call = std::string(query) + "(" + std::to_string(index) + ")";
        SectionKeys keys = asking(c, read_keys);
        int input = 0;
        const int status = read_role_input(keys, kind, index, input);
        const char* key = roles[index].key;
        if (status == ERR_RANGE) {
            if (c.has(key)) {
                c.warning(key, std::string(kind.count_key) + " " + c.value(kind.count_key) +
                                   " leaves out role " + std::to_string(index) + ": " + call +
                                   " answers ERR_RANGE and never reads this key");
            }
        } else if (status != 0) {
            report(c, keys, call + " fails");
        } else if (inputs.of(kind).count(input) != 0) {
            continue;
        } else if (const ReaderAnswer answer = ask_reader(c, kind, input); answer.status != 0) {
            c.error(key, "names input " + std::to_string(input) + ", whose reader stops at " +
                             answer.key + " (" + c.refused(answer.key, answer.why) + "): " + call +
                             " fails (ERR_SENSOR)");
        }
    }
}

// A count that differs from the inputs the section describes.
void compare_with_inputs(const SectionCheck& c, const schema::InputKind& kind,
                         std::optional<int> count, const Inputs& inputs) {
    const std::set<int>& given = inputs.of(kind);
    if (!count || *count < 0 || static_cast<std::size_t>(*count) == given.size()) return;
    c.warning(kind.count_key, std::string(kind.count_key) + " " + std::to_string(*count) +
                                  ", but the section has " + std::to_string(given.size()) + " " +
                                  kind.noun + " inputs" +
                                  (given.empty() ? "" : " (" + join_numbers(given) + ")"));
}

}  // namespace

std::set<std::string> check_monitoring_keys(const SectionCheck& c, const Inputs& inputs) {
    std::set<std::string> read_keys;
    std::map<std::string_view, std::optional<int>> counts;
    for (const CountQueries& count : kCounts) counts[count.key] = check_count(c, read_keys, count);
    check_serial_ports(c, read_keys, counts[schema::kSerialCount].value_or(0));
    check_relay(c, read_keys);
    check_roles(c, read_keys, inputs, schema::kVolt, "get_milli_volt");
    check_roles(c, read_keys, inputs, schema::kTemp, "get_temperature");
    // The fan count is read by its count query alone, as it stands.
    const char* fans = c.value(schema::kFanCount);
    counts[schema::kFanCount] = fans != nullptr ? number::c_strtoi(fans) : std::nullopt;
    for (const schema::InputKind* kind : schema::kInputKinds) {
        compare_with_inputs(c, *kind, counts[kind->count_key], inputs);
    }
    return read_keys;
}

}  // namespace quorvik::profile_check
