// quorvik-info's groups, in report order: each with its section title, the
// collector that reads it and its quantities, which say how each rendering
// names and measures their readings. A new metric is a quantity here, its
// group's row, and the collector's code that reads it.
#pragma once

#include <initializer_list>
#include <string_view>

namespace quorvik::report {

class Part;
struct GroupContext;  // the collection's bounds and options (parallel.h)

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
    const char* group;   // its row of kGroups by name; JSON "group"
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

// The collectors, each reading its group's readings into part in its own order.
void collect_identity(Part& part, GroupContext& context);
void collect_sensors(Part& part, GroupContext& context);
void collect_cpu(Part& part, GroupContext& context);
void collect_memory(Part& part, GroupContext& context);
void collect_disks(Part& part, GroupContext& context);
void collect_ethernet(Part& part, GroupContext& context);
void collect_serial(Part& part, GroupContext& context);
void collect_power(Part& part, GroupContext& context);

struct Group {
    const char* name;   // the "group" of its quantities
    const char* title;  // text report section
    void (*collect)(Part& part, GroupContext& context);
    std::initializer_list<const Quantity*> quantities;  // Prometheus families, in order
};

// clang-format off
inline constexpr Group kGroups[] = {
    {"identity", "Board identity", collect_identity,
     {&quantity::kModel, &quantity::kBiosVersion, &quantity::kSerialNumber}},
    {"sensors", "Sensors", collect_sensors,
     {&quantity::kVoltage, &quantity::kTemperature, &quantity::kFans, &quantity::kFanSpeed}},
    {"cpu", "CPU", collect_cpu,
     {&quantity::kCpus, &quantity::kCpuUsage, &quantity::kCpuCoreUsage}},
    {"memory", "Memory", collect_memory,
     {&quantity::kMemoryUsage, &quantity::kMemoryTotal, &quantity::kMemoryFree}},
    {"disk", "Disks", collect_disks,
     {&quantity::kDiskUsage, &quantity::kDiskSize, &quantity::kDiskAvailable}},
    {"ethernet", "Ethernet", collect_ethernet,
     {&quantity::kEthernetPorts, &quantity::kEthernetCarrier, &quantity::kEthernetSpeed,
      &quantity::kEthernetUsage}},
    {"serial", "Serial ports", collect_serial,
     {&quantity::kSerialPorts, &quantity::kSerialInUse}},
    {"power", "Power inputs", collect_power,
     {&quantity::kPowerInput}},
};
// clang-format on

// A quantity names the group whose row lists it.
consteval bool quantities_in_their_groups() {
    for (const Group& group : kGroups) {
        for (const Quantity* quantity : group.quantities) {
            if (std::string_view(quantity->group) != group.name) return false;
        }
    }
    return true;
}
static_assert(quantities_in_their_groups(), "a quantity is listed in another group's row");

}  // namespace quorvik::report
