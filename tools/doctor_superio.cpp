// The doctor's checks of the Super I/O ports the profile names: a kernel
// driver that claims them (/proc/ioports), or the firmware's ACPI code that
// uses them (the kernel log's resource conflicts). Either way a reading
// races with the other agent on the chip's bank register.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "doctor_checks.h"
#include "quorvik_common/c_number.h"
#include "quorvik_common/profile_schema.h"

namespace quorvik::doctor {
namespace {

// The kernel log is read up to this much: far more than a boot writes.
constexpr std::size_t kMostLog = 8 << 20;

struct Ports {
    unsigned long index;
    unsigned long data;
};

struct Range {
    unsigned long first;
    unsigned long last;
    std::string name;

    bool holds(const Ports& ports) const {
        return (first <= ports.index && ports.index <= last) ||
               (first <= ports.data && ports.data <= last);
    }
};

std::string trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    const std::size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// "  0290-029f : nct6775" (nested ranges are indented).
std::optional<Range> ioports_range(const std::string& line) {
    const std::string text = trimmed(line);
    const std::size_t dash = text.find('-');
    const std::size_t colon = text.find(" : ");
    if (dash == std::string::npos || colon == std::string::npos || dash > colon) {
        return std::nullopt;
    }
    char* end = nullptr;
    const unsigned long first = number::c_strtol(text.c_str(), &end, 16);
    if (end != text.c_str() + dash) return std::nullopt;
    const unsigned long last = number::c_strtol(text.c_str() + dash + 1, &end, 16);
    if (end != text.c_str() + colon) return std::nullopt;
    return Range{first, last, text.substr(colon + 3)};
}

// Ranges that only group others: the bus, Plug and Play and ACPI entries.
bool is_container(const std::string& name) {
    for (const char* prefix : {"PCI Bus", "pnp ", "PNP", "ACPI", "reserved", "Reserved"}) {
        if (name.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

// "nct6775.656" is the nct6775 driver's platform device.
std::string module_of(const std::string& name) {
    return name.substr(0, name.find('.'));
}

std::optional<Ports> profile_ports(Context& context, std::string& section) {
    section = context.hardware_section();
    if (section.empty()) return std::nullopt;
    const auto index = profile_int(context.profile(), section, schema::kIndexPort);
    const auto data = profile_int(context.profile(), section, schema::kDataPort);
    if (!index || !data) return std::nullopt;
    return Ports{static_cast<unsigned long>(*index), static_cast<unsigned long>(*data)};
}

std::string ports_text(const Ports& ports) {
    return "ports " + hex(ports.index) + "/" + hex(ports.data);
}

// One record of /dev/kmsg: "6,312,1234567,-;text"; continuation lines start
// with a blank. Plain lines (no prefix) are taken as they are.
struct LogLine {
    std::optional<unsigned long> sequence;
    std::string text;
};

std::optional<LogLine> log_line(const std::string& line) {
    if (line.empty() || line[0] == ' ') return std::nullopt;
    const std::size_t semicolon = line.find(';');
    const std::size_t comma = line.find(',');
    if (semicolon == std::string::npos || comma == std::string::npos || comma > semicolon) {
        return LogLine{std::nullopt, line};
    }
    char* end = nullptr;
    const unsigned long sequence = number::c_strtol(line.c_str() + comma + 1, &end, 10);
    return LogLine{sequence, line.substr(semicolon + 1)};
}

// The kernel log from /dev/kmsg, read without blocking: each read gives one
// record, EAGAIN the end, EPIPE a record overwritten while reading.
std::optional<std::string> kernel_log(std::string& problem) {
    const Descriptor kmsg(::open("/dev/kmsg", O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (kmsg.get() < 0) {
        problem = std::strerror(errno);
        return std::nullopt;
    }
    std::string log;
    char record[8192];
    while (log.size() < kMostLog) {
        const ssize_t got = ::read(kmsg.get(), record, sizeof record);
        if (got < 0 && (errno == EINTR || errno == EPIPE)) continue;
        if (got <= 0) break;
        log.append(record, static_cast<std::size_t>(got));
        if (log.back() != '\n') log += '\n';
    }
    return log;
}

struct Conflict {
    Range range;  // the SystemIO range the kernel names
    std::string region;
};

// "ACPI Warning: SystemIO range 0x0000000000000295-0x0000000000000296
// conflicts with OpRegion 0x0000000000000290-0x0000000000000299 (\_GPE.HWM)".
std::optional<Conflict> acpi_conflict(const std::string& text) {
    const std::string marker = "SystemIO range ";
    const std::size_t at = text.find(marker);
    if (at == std::string::npos || text.find("conflicts with OpRegion") == std::string::npos) {
        return std::nullopt;
    }
    char* end = nullptr;
    const char* first_text = text.c_str() + at + marker.size();
    const unsigned long first = number::c_strtol(first_text, &end, 16);
    if (end == first_text || *end != '-') return std::nullopt;
    const unsigned long last = number::c_strtol(end + 1, &end, 16);
    const std::size_t open = text.find('(', at);
    const std::size_t close = text.find(')', open);
    const std::string region = open == std::string::npos || close == std::string::npos
                                   ? ""
                                   : text.substr(open + 1, close - open - 1);
    return Conflict{{first, last, ""}, region};
}

struct LogFindings {
    bool from_boot = false;  // the log still starts at the boot
    std::optional<Conflict> conflict;
};

// A log holds the boot when its first record is the first ever written, or
// (plain lines) when the kernel's banner is in it.
LogFindings look_through(const std::string& log, const Ports& ports) {
    LogFindings found;
    bool first = true;
    for (const std::string& line : lines_of(log)) {
        const auto record = log_line(line);
        if (!record) continue;
        if (first) found.from_boot = record->sequence.value_or(1) == 0;
        first = false;
        found.from_boot = found.from_boot || record->text.rfind("Linux version ", 0) == 0;
        const auto conflict = acpi_conflict(record->text);
        if (conflict && conflict->range.holds(ports)) {
            found.conflict = conflict;
            return found;
        }
    }
    return found;
}

}  // namespace

Finding check_superio_driver(Context& context) {
    std::string section;
    const auto ports = profile_ports(context, section);
    if (!ports) {
        if (section.empty()) return no_section("hardware");
        return ok("[" + section + "] names no Super I/O ports");
    }
    const auto table = read_small_file("/proc/ioports");
    if (!table) {
        return warn("/proc/ioports cannot be read", "run as root: sudo quorvik-info --doctor");
    }
    bool any_address = false;
    for (const std::string& line : lines_of(*table)) {
        const auto range = ioports_range(line);
        if (!range) continue;
        any_address = any_address || range->last != 0;
        if (is_container(range->name) || !range->holds(*ports)) continue;
        const std::string module = module_of(range->name);
        return fail(ports_text(*ports) + " of [" + section + "] are claimed by " + range->name +
                        " (" + hex(range->first) + "-" + hex(range->last) +
                        " in /proc/ioports): its readings and ours race on the bank register",
                    "keep " + module + " from loading (echo 'blacklist " + module +
                        "' > /etc/modprobe.d/quorvik.conf), then rmmod " + module + " or reboot");
    }
    if (!any_address) {
        return warn("/proc/ioports shows no addresses to this user",
                    "run as root: sudo quorvik-info --doctor");
    }
    return ok(ports_text(*ports) + " of [" + section + "] claimed by no kernel driver");
}

Finding check_superio_acpi(Context& context) {
    std::string section;
    const auto ports = profile_ports(context, section);
    if (!ports) {
        if (section.empty()) return no_section("hardware");
        return ok("[" + section + "] names no Super I/O ports");
    }
    const bool lax = on_kernel_command_line("acpi_enforce_resources=lax");
    const std::string lax_note =
        lax ? "; acpi_enforce_resources=lax lets kernel drivers take them anyway" : "";
    std::string problem;
    const auto log = kernel_log(problem);
    if (!log) {
        return warn("the kernel log cannot be read (" + problem + ")" + lax_note,
                    "run as root; or look for 'conflicts with OpRegion' in journalctl -k -b");
    }
    const LogFindings found = look_through(*log, *ports);
    if (found.conflict) {
        return warn(ports_text(*ports) + " of [" + section + "] conflict with the ACPI region " +
                        found.conflict->region + " (kernel log): the firmware uses the chip " +
                        "too, and readings race with it on the bank register" + lax_note,
                    std::string(lax ? "remove acpi_enforce_resources=lax from the kernel command "
                                      "line, and "
                                    : "keep acpi_enforce_resources strict so that no kernel "
                                      "driver joins in, and ") +
                        "ask the board maker for firmware that leaves the hardware monitor alone");
    }
    if (!found.from_boot) {
        return warn(
            "the kernel log no longer holds the boot messages, where an ACPI conflict "
            "would show" +
                lax_note,
            "look for 'conflicts with OpRegion' in the boot's saved log (journalctl -k "
            "-b, /var/log/kern.log)");
    }
    return ok("no ACPI conflict for " + ports_text(*ports) + " in the kernel log since boot" +
              lax_note);
}

}  // namespace quorvik::doctor
