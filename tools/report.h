// quorvik-info's report: readings collected through the libraries' public C
// API, then rendered as text, JSON or Prometheus exposition. Collecting and
// rendering are apart so that tests can collect on a simulated board and check
// each rendering of the same readings.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quorvik_common/text.h"

namespace quorvik::report {

// Every value is kept in the base unit its exports use.
enum class Unit {
    text,             // identity texts
    number,           // counts and states, no unit
    flag,             // 0 or 1
    volts,            //
    celsius,          //
    rpm,              // fan value: the profile's count divided by the fan count
    ratio,            // 0..1 (percentages divided by 100)
    bytes,            //
    bits_per_second,  //
};

// What one kind of reading measures, and how each rendering names it.
struct Quantity {
    const char* group;   // JSON "group", text report section
    const char* name;    // JSON "name" within the group
    Unit unit;           //
    const char* metric;  // Prometheus metric family
    const char* help;    // Prometheus HELP text
    const char* title;   // text report line; "{label}" stands for a label's value
    // Prometheus samples are the value times this (Ethernet speed in bytes per
    // second, as node_exporter gives it, while JSON keeps bits).
    double metric_scale = 1.0;
};

// clang-format off
namespace quantity {
inline constexpr Quantity kModel{"identity", "model", Unit::text, "quorvik_board_info",
    "Always 1; the board's model, BIOS version and serial number, as far as read.", "Model"};
inline constexpr Quantity kBiosVersion{"identity", "bios_version", Unit::text, "quorvik_board_info",
    "", "BIOS version"};
inline constexpr Quantity kSerialNumber{"identity", "serial_number", Unit::text,
    "quorvik_board_info", "", "Serial number"};
inline constexpr Quantity kVoltage{"sensors", "voltage", Unit::volts, "quorvik_voltage_volts",
    "Voltage of a role (cpu, dram, 5v) in volts.", "Voltage {role} {label}"};
inline constexpr Quantity kTemperature{"sensors", "temperature", Unit::celsius,
    "quorvik_temperature_celsius", "Temperature of a role (cpu, system) in degrees Celsius.",
    "Temperature {role} {label}"};
inline constexpr Quantity kFans{"sensors", "fans", Unit::number, "quorvik_fans",
    "Fan inputs the device profile declares.", "Fans"};
inline constexpr Quantity kFanSpeed{"sensors", "fan_speed", Unit::rpm, "quorvik_fan_speed_rpm",
    "Fan speed in revolutions per minute.", "Fan {input} {label}"};
inline constexpr Quantity kCpus{"cpu", "count", Unit::number, "quorvik_cpus",
    "Processing units.", "CPUs"};
inline constexpr Quantity kCpuUsage{"cpu", "usage", Unit::ratio, "quorvik_cpu_usage_ratio",
    "Usage of all CPUs together over one second, 0 to 1.", "CPU usage"};
inline constexpr Quantity kCpuCoreUsage{"cpu", "core_usage", Unit::ratio,
    "quorvik_cpu_core_usage_ratio", "Usage of one CPU over one second, 0 to 1.",
    "CPU {cpu} usage"};
inline constexpr Quantity kMemoryUsage{"memory", "usage", Unit::ratio,
    "quorvik_memory_usage_ratio", "Used memory as a part of total memory, 0 to 1.",
    "Memory usage"};
inline constexpr Quantity kMemoryTotal{"memory", "total", Unit::bytes,
    "quorvik_memory_total_bytes", "Total memory in bytes.", "Memory total"};
inline constexpr Quantity kMemoryFree{"memory", "free", Unit::bytes, "quorvik_memory_free_bytes",
    "Free memory in bytes.", "Memory free"};
inline constexpr Quantity kDiskUsage{"disk", "usage", Unit::ratio, "quorvik_disk_usage_ratio",
    "Used part of a disk, 0 to 1.", "Disk {disk} usage"};
inline constexpr Quantity kDiskSize{"disk", "size", Unit::bytes, "quorvik_disk_size_bytes",
    "Size of a disk in bytes.", "Disk {disk} size"};
inline constexpr Quantity kDiskAvailable{"disk", "available", Unit::bytes,
    "quorvik_disk_available_bytes", "Available space of a disk in bytes.",
    "Disk {disk} available"};
inline constexpr Quantity kEthernetPorts{"ethernet", "ports", Unit::number,
    "quorvik_ethernet_ports", "Ethernet ports of the model.", "Ethernet ports"};
inline constexpr Quantity kEthernetCarrier{"ethernet", "carrier", Unit::flag,
    "quorvik_ethernet_carrier", "1 when the Ethernet port has carrier.", "{interface} carrier"};
inline constexpr Quantity kEthernetSpeed{"ethernet", "speed", Unit::bits_per_second,
    "quorvik_ethernet_speed_bytes", "Link speed of an Ethernet port in bytes per second.",
    "{interface} speed", 1.0 / 8.0};
inline constexpr Quantity kEthernetUsage{"ethernet", "usage", Unit::ratio,
    "quorvik_ethernet_usage_ratio", "Load of an Ethernet port as a part of its link speed.",
    "{interface} usage"};
inline constexpr Quantity kSerialPorts{"serial", "ports", Unit::number, "quorvik_serial_ports",
    "Serial ports of the model.", "Serial ports"};
inline constexpr Quantity kSerialInUse{"serial", "in_use", Unit::flag,
    "quorvik_serial_port_in_use", "1 when a process holds the serial port open.",
    "Serial port {port} in use"};
inline constexpr Quantity kPowerInput{"power", "state", Unit::number, "quorvik_power_input_state",
    "State of a power input as the digital-I/O driver reports it.", "Power input {input}"};
}  // namespace quantity
// clang-format on

// Every quantity, in report order.
inline constexpr const Quantity* kAllQuantities[] = {
    &quantity::kModel,         &quantity::kBiosVersion,   &quantity::kSerialNumber,
    &quantity::kVoltage,       &quantity::kTemperature,   &quantity::kFans,
    &quantity::kFanSpeed,      &quantity::kCpus,          &quantity::kCpuUsage,
    &quantity::kCpuCoreUsage,  &quantity::kMemoryUsage,   &quantity::kMemoryTotal,
    &quantity::kMemoryFree,    &quantity::kDiskUsage,     &quantity::kDiskSize,
    &quantity::kDiskAvailable, &quantity::kEthernetPorts, &quantity::kEthernetCarrier,
    &quantity::kEthernetSpeed, &quantity::kEthernetUsage, &quantity::kSerialPorts,
    &quantity::kSerialInUse,   &quantity::kPowerInput,
};

struct Label {
    std::string name;
    std::string value;
    bool operator==(const Label&) const = default;
};

struct Reading {
    Reading() = default;
    explicit Reading(const Quantity& of, std::vector<Label> which = {}, int status_ = 0)
        : quantity(&of), labels(std::move(which)), status(status_) {}

    const Quantity* quantity = nullptr;
    std::vector<Label> labels;  // which one of its quantity: role, cpu, disk, port...
    int status = 0;             // 0, or the library's failure status
    double value = 0.0;         // in the quantity's unit, when read and not text
    std::string text;           // Unit::text, when read
    std::string note;           // why a failure that is the tool's own happened

    bool ok() const { return status == 0; }
    // The value of label name, or "" when the reading has none.
    std::string_view label(std::string_view name) const;
};

struct Report {
    std::vector<Reading> readings;  // in collection order
    std::string tool_version;       // quorvik-info's own version; "" leaves it out
    std::string hostname;           // where it was collected
    std::string collected_at;       // RFC 3339, UTC, when the collection started
    bool unfinished = false;        // the deadline came first: calls still hang
    // The same start as Unix time, and how long the collection took: alerts
    // tell a report that stopped coming from one that only got old. 0 and a
    // negative duration leave them out.
    double started_seconds = 0.0;
    double duration_seconds = -1.0;
};

// Name of a status: libquorvik's ("ERR_SENSOR"), libQuorvikSO's sensor reader
// statuses ("SENSOR_ERR_KEY"; their codes -1 to -4 do not meet libquorvik's),
// "OK" for 0, "UNKNOWN" otherwise.
const char* status_name(int status);

// Called once before the per-CPU measurements (0 of total) and after each one
// ends (done of total), one call at a time.
using Progress = std::function<void(int done, int total)>;

// How many library calls that run shell commands go at once. The CPU usage
// measurements spend their second asleep, so they have a bound of their own
// that lets every CPU of a large board be measured in the same second.
inline constexpr int kCommandsAtOnce = 8;
inline constexpr int kMeasurementsAtOnce = 64;

// How long a collection may take: well within the metrics timer's minute,
// so that a hang (a dead mount, a stuck device) costs one report its hanging
// readings and never the next report.
inline constexpr std::chrono::milliseconds kDeadline{45'000};

struct CollectOptions {
    bool per_cpu = false;            // every CPU, in the same second as the average
    std::vector<std::string> disks;  // names for the disk queries; empty: the mounted devices
    Progress cpu_progress;
    std::chrono::milliseconds deadline = kDeadline;
};

// Collects every reading through the libraries' public functions, which are
// thread-safe: the groups, and the items within a group, are read at once from
// several threads, within the bounds above, and the report keeps its order.
// At the deadline it returns what it has, each reading whose call has not
// returned failed with its status and a note, and leaves those calls to
// their threads (the report is then unfinished: end the process without
// waiting for them).
// The profile is read only for the input each voltage or temperature role
// names (to label the reading). The libraries print their diagnostics on
// standard output while the collection runs.
Report collect(const CollectOptions& options);

// Mounted block devices (/dev/...), or the root file system's source when
// there is none, from a mounts table (/proc/self/mounts format).
std::vector<std::string> mounted_disks(const std::string& mounts_path = "/proc/self/mounts");

// RFC 3339 text of a time in UTC ("2026-12-08T23:30:00Z").
std::string rfc3339_utc(long long seconds_since_epoch);

std::string render_text(const Report& report);

// Control characters from the BIOS, the profile or the mounts table would
// move the cursor or ring the bell on the reader's terminal: they show as
// \xNN instead.
using text::escape_controls;

// What the libraries printed during a collection, each distinct line once in
// the order it first came, with how many times it came: one
// "quorvik-info: library message (N times): TEXT" line each.
std::string library_messages(std::string_view printed);
std::string render_json(const Report& report);
std::string render_prometheus(const Report& report);

}  // namespace quorvik::report
