// The doctor's checks of the device profile and of what it names: the
// profile itself, the MSR device, the digital-I/O driver, the relay node,
// the Ethernet interfaces and the serial nodes.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <memory>

#include "QuorvikSO.h"
#include "doctor_checks.h"
#include "profile_check.h"
#include "quorvik.h"
#include "quorvik_common/dio_request.h"
#include "quorvik_common/model_keys.h"
#include "quorvik_common/profile_schema.h"
#include "report.h"

namespace quorvik::doctor {
namespace {

constexpr const char* kMsrDevice = "/dev/cpu/0/msr";
constexpr const char* kRelayCommandNode = "/dev/relay";
// More inputs or ports than any board has are the profile check's business.
constexpr int kMostInputs = schema::kMostPlausible;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool is_char_device(const std::string& path) {
    const auto node = status_of(path);
    return node && S_ISCHR(node->st_mode);
}

// "missing" or "not a character device".
std::string node_problem(const std::string& path) {
    const auto node = status_of(path);
    if (!node) return path + " is missing";
    return path + (S_ISREG(node->st_mode) ? " is a regular file, not the driver's device node"
                                          : " is not a character device");
}

std::string plural(int count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// Errors and warnings the profile checker finds in one section.
std::pair<int, int> section_findings(const std::string& section) {
    const profile_check::Report report = profile_check::check_file(QUORVIK_PROFILE_PATH);
    int errors = 0;
    int warnings = 0;
    for (const profile_check::Finding& finding : report.findings) {
        if (lower(finding.section) != lower(section)) continue;
        (finding.severity == profile_check::Severity::error ? errors : warnings)++;
    }
    return {errors, warnings};
}

// The first temperature input the hardware section reads from an MSR, or -1.
int first_msr_input(const dictionary* profile, const std::string& section) {
    const int count =
        std::min(profile_int(profile, section, schema::kTempCount).value_or(0), kMostInputs);
    for (int input = 0; input < count; ++input) {
        const std::string key = schema::input_key(schema::kTemp, input, schema::kReferenceMsr);
        if (profile_text(profile, section, key.c_str()) != nullptr) return input;
    }
    return -1;
}

std::vector<std::string> interfaces() {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("/sys/class/net"), ::closedir);
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name != "lo") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text.empty() ? "none" : text;
}

// The monitoring library's section of the model, or why a check cannot look.
const dictionary* monitor_profile(Context& context, std::string& section) {
    section = context.monitor_section();
    return section.empty() ? nullptr : context.profile();
}

constexpr const char* kLoadDio =
    "load the board maker's digital-I/O driver, which creates " QUORVIK_DIO_PATH;

// The driver asked as get_pwr_status asks it: one read of power input 0,
// which changes nothing.
Finding power_input_answer(const std::string& needed) {
    int state = 0;
    const int status = get_pwr_status(0, &state);
    if (status == 0) {
        return ok(needed + ", which answers (power input 0 reads " + std::to_string(state) + ")");
    }
    if (status == ERR_DEV_OPEN)
        return fail(needed + ", but " + node_problem(QUORVIK_DIO_PATH), kLoadDio);
    if (status == ERR_DEV_IOCTL) {
        return fail(needed +
                        ", but it refuses the driver's requests: it is no digital-I/O driver "
                        "of the board maker's",
                    kLoadDio);
    }
    return fail(
        needed + ", but get_pwr_status(0) answers " + report::status_name(status),
        "run quorvik-info --check-profile and correct " + std::string(schema::kPowerIndicator));
}

// Why the profile could not be loaded, and what to do.
Finding profile_not_loaded(Context& context) {
    const std::string path = QUORVIK_PROFILE_PATH;
    if (!status_of(QUORVIK_PROFILE_PATH) && errno == ENOENT) {
        return fail("no device profile at " + path,
                    "write the board's section into " + path +
                        ", starting from the example profile "
                        "(/usr/share/doc/quorvik-tools/DeviceProfile.example.ini)");
    }
    return fail(path + ": " + context.profile_problem() + ", so every profile query fails",
                "run quorvik-info --check-profile " + path + " and fix what it names");
}

}  // namespace

Finding check_profile(Context& context) {
    const std::string path = QUORVIK_PROFILE_PATH;
    if (context.profile() == nullptr) return profile_not_loaded(context);
    const auto& model = context.model();
    if (!model) {
        return warn(path + " loads, but without a model no section can be chosen",
                    "see the board check above");
    }
    const std::string& exact = context.monitor_section();
    const std::string& hardware = context.hardware_section();
    if (hardware.empty()) {
        return fail(path + " has no section [" + *model + "], nor one whose name begins " + *model +
                        ": every profile and sensor query fails",
                    "add a section [" + *model + "] (the example profile shows its keys)");
    }
    if (exact.empty()) {
        return fail("[" + hardware + "] serves " + *model +
                        " by prefix (the sensors read it), but no section is named exactly [" +
                        *model + "], which the monitoring queries need",
                    "name the section [" + *model + "] or add one of that name");
    }
    const auto [errors, warnings] = section_findings(exact);
    std::string found = "[" + exact + "] in " + path;
    if (hardware != exact) found += ", sensors from [" + hardware + "] by prefix";
    found += ": " + plural(errors, "error") + ", " + plural(warnings, "warning");
    const std::string remedy = "run quorvik-info --check-profile " + path +
                               " and correct what it says about [" + exact + "]";
    if (errors > 0) return fail(found, remedy);
    if (warnings > 0) return warn(found, remedy);
    return ok(found);
}

Finding check_msr(Context& context) {
    const std::string& section = context.hardware_section();
    if (section.empty()) return no_section("hardware");
    const int input = first_msr_input(context.profile(), section);
    if (input < 0) return ok("[" + section + "] reads no temperature from an MSR");
    const std::string needed =
        "[" + section + "] reads temperature " + std::to_string(input) + " from an MSR";
    if (is_char_device(kMsrDevice)) return ok(needed + ", and " + kMsrDevice + " is there");
    return fail(needed + ", but " + node_problem(kMsrDevice),
                "load the msr module (modprobe msr) and have it loaded at boot (echo msr > "
                "/etc/modules-load.d/quorvik.conf)");
}

Finding check_dio(Context& context) {
    std::string section;
    const dictionary* profile = monitor_profile(context, section);
    if (profile == nullptr) return no_section("monitoring");
    const int inputs = profile_int(profile, section, schema::kPowerIndicator).value_or(0);
    const int relays = profile_int(profile, section, schema::kRelayCount).value_or(0);
    const char* relay_node = profile_text(profile, section, schema::kRelayNode);
    const bool relay_on_dio = relays > 0 && section != schema::kCommandRelayModel &&
                              relay_node != nullptr && std::string(relay_node) == QUORVIK_DIO_PATH;
    if (inputs <= 0 && !relay_on_dio) {
        return ok("[" + section + "] has no power input or relay on " QUORVIK_DIO_PATH);
    }
    const std::string needed = "[" + section + "] has " +
                               plural(std::max(inputs, 0), "power input") +
                               (relay_on_dio ? " and a relay" : "") + " on " QUORVIK_DIO_PATH;
    if (inputs > 0) return power_input_answer(needed);
    if (is_char_device(QUORVIK_DIO_PATH)) return ok(needed + ", a character device");
    return fail(needed + ", but " + node_problem(QUORVIK_DIO_PATH), kLoadDio);
}

Finding check_relay(Context& context) {
    std::string section;
    const dictionary* profile = monitor_profile(context, section);
    if (profile == nullptr) return no_section("monitoring");
    const int relays = profile_int(profile, section, schema::kRelayCount).value_or(0);
    if (relays <= 0) return ok("[" + section + "] has no relay");
    std::string node;
    if (section == schema::kCommandRelayModel) {
        node = kRelayCommandNode;
    } else if (const char* named = profile_text(profile, section, schema::kRelayNode)) {
        node = named;
    }
    if (node.empty()) {
        return fail("[" + section + "] has a relay but no " + schema::kRelayNode,
                    std::string("name the relay's device node in ") + schema::kRelayNode);
    }
    if (is_char_device(node)) return ok("the relay's node " + node + " is a character device");
    return fail("the relay's node: " + node_problem(node),
                "load the driver that creates " + node + ", or correct " + schema::kRelayNode +
                    " in [" + section + "]");
}

Finding check_ethernet(Context& context) {
    std::string section;
    const dictionary* profile = monitor_profile(context, section);
    if (profile == nullptr) return no_section("monitoring");
    const int ports =
        std::min(profile_int(profile, section, schema::kLanCount).value_or(0), kMostInputs);
    if (ports <= 0) return ok("[" + section + "] has no Ethernet port");
    std::vector<std::string> missing;
    for (int port = 0; port < ports; ++port) {
        const std::string name = "eth" + std::to_string(port);
        if (!status_of("/sys/class/net/" + name)) missing.push_back(name);
    }
    const std::string wanted = "eth0 to eth" + std::to_string(ports - 1);
    if (missing.empty()) return ok(wanted + " present");
    const std::string found =
        joined(missing) + " missing (interfaces: " + joined(interfaces()) + ")";
    if (!on_kernel_command_line("net.ifnames=0")) {
        return fail(found +
                        "; predictable interface names are on (no net.ifnames=0 on the "
                        "kernel command line)",
                    "add net.ifnames=0 to GRUB_CMDLINE_LINUX in /etc/default/grub, run "
                    "update-grub, rename the interfaces in /etc/network/interfaces and reboot "
                    "(README, Ethernet port names)");
    }
    return fail(found, "load the network driver of the missing ports, or set " +
                           std::string(schema::kLanCount) + " to the ports the board has");
}

Finding check_serial(Context& context) {
    std::string section;
    const dictionary* profile = monitor_profile(context, section);
    if (profile == nullptr) return no_section("monitoring");
    const int ports =
        std::min(profile_int(profile, section, schema::kSerialCount).value_or(0), kMostInputs);
    if (ports <= 0) return ok("[" + section + "] has no serial port");
    SectionKeys keys(profile, section.c_str());
    std::vector<std::string> present;
    for (int index = 0; index < ports; ++index) {
        SerialPort port;
        if (read_serial_port(keys, index, port) != 0) {
            return fail(
                "serial port " + std::to_string(index) + ": " + keys.last_key() + " of [" +
                    section + "] cannot be used",
                "run quorvik-info --check-profile and correct " + std::string(keys.last_key()));
        }
        const std::string node =
            "/dev/tty" + std::string(port.letters) + std::to_string(port.number);
        if (!is_char_device(node)) {
            return fail("serial port " + std::to_string(index) + ": " + node_problem(node),
                        "load the serial driver that creates " + node + ", or correct " +
                            schema::kTtyType + " and " + schema::kTtyNumbers + " in [" + section +
                            "]");
        }
        present.push_back(node);
    }
    return ok(joined(present) + " present");
}

}  // namespace quorvik::doctor
