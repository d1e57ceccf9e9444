// System readings through the monitoring API: CPU, memory, disks, Ethernet
// and serial ports, power inputs. Values are converted to base units here:
// percentages to ratios, MiB to bytes, Mbit/s to bits per second.
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "quorvik.h"
#include "report.h"

namespace quorvik::report {
namespace {

constexpr double kBytesPerMebibyte = 1024.0 * 1024.0;
constexpr double kBitsPerMegabit = 1e6;
constexpr double kPercent = 100.0;
constexpr int kPowerInputs = 2;

void add(Report& report, const Quantity& quantity, std::vector<Label> labels, int status,
         double value) {
    Reading reading(quantity, std::move(labels), status);
    if (reading.ok()) reading.value = value;
    report.readings.push_back(std::move(reading));
}

// Reads a count with query; returns it, or 0 when it cannot be read.
int add_count(Report& report, const Quantity& quantity, int (*query)(int*)) {
    int count = 0;
    const int status = query(&count);
    add(report, quantity, {}, status, count);
    return status == 0 ? count : 0;
}

void collect_cpu(Report& report, const CollectOptions& options) {
    const int count = add_count(report, quantity::kCpus, get_cpu_count);
    double usage = 0.0;
    int status = get_average_cpu_usage(&usage);
    add(report, quantity::kCpuUsage, {}, status, usage / kPercent);
    if (!options.per_cpu) return;
    for (int cpu = 0; cpu < count; ++cpu) {
        if (options.cpu_progress) options.cpu_progress(cpu, count);
        status = get_cpu_usage(cpu, &usage);
        add(report, quantity::kCpuCoreUsage, {{"cpu", std::to_string(cpu)}}, status,
            usage / kPercent);
    }
    if (options.cpu_progress) options.cpu_progress(count, count);
}

void collect_memory(Report& report) {
    int percent = 0;
    int status = get_mem_usage(&percent);
    add(report, quantity::kMemoryUsage, {}, status, percent / kPercent);
    double mebibytes = 0.0;
    status = get_mem_total_size(&mebibytes);
    add(report, quantity::kMemoryTotal, {}, status, mebibytes * kBytesPerMebibyte);
    status = get_mem_avail_size(&mebibytes);
    add(report, quantity::kMemoryFree, {}, status, mebibytes * kBytesPerMebibyte);
}

void collect_disk(Report& report, const std::string& disk) {
    const std::vector<Label> labels = {{"disk", disk}};
    double value = 0.0;
    int status = get_disk_usage(disk.c_str(), &value);
    add(report, quantity::kDiskUsage, labels, status, value / kPercent);
    status = get_disk_total_size(disk.c_str(), &value);
    add(report, quantity::kDiskSize, labels, status, value * kBytesPerMebibyte);
    status = get_disk_avail_size(disk.c_str(), &value);
    add(report, quantity::kDiskAvailable, labels, status, value * kBytesPerMebibyte);
}

void collect_ethernet(Report& report) {
    const int ports = add_count(report, quantity::kEthernetPorts, get_eth_count);
    for (int port = 0; port < ports; ++port) {
        const std::vector<Label> labels = {{"port", std::to_string(port)},
                                           {"interface", "eth" + std::to_string(port)}};
        int value = 0;
        int status = get_eth_link(port, &value);
        add(report, quantity::kEthernetCarrier, labels, status, value);
        status = get_eth_speed(port, &value);
        add(report, quantity::kEthernetSpeed, labels, status, value * kBitsPerMegabit);
        status = get_eth_usage(port, &value);
        add(report, quantity::kEthernetUsage, labels, status, value / kPercent);
    }
}

void collect_serial(Report& report) {
    const int ports = add_count(report, quantity::kSerialPorts, get_uart_count);
    for (int port = 0; port < ports; ++port) {
        int in_use = 0;
        const int status = get_uart_status(port, &in_use);
        add(report, quantity::kSerialInUse, {{"port", std::to_string(port)}}, status, in_use);
    }
}

void collect_power(Report& report) {
    for (int input = 0; input < kPowerInputs; ++input) {
        int state = 0;
        const int status = get_pwr_status(input, &state);
        // A model without power indicator has no inputs to report.
        if (status == ERR_NO_POWER_INDICATOR) return;
        add(report, quantity::kPowerInput, {{"input", std::to_string(input)}}, status, state);
    }
}

bool is_octal_escape(const std::string& text, std::size_t at) {
    if (text[at] != '\\' || at + 4 > text.size()) return false;
    for (std::size_t i = at + 1; i < at + 4; ++i) {
        if (text[i] < '0' || text[i] > '7') return false;
    }
    return true;
}

// The mounts table writes blanks, tabs, newlines and backslashes in names as
// octal escapes (\040).
std::string unescape_mount_name(const std::string& name) {
    std::string plain;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (is_octal_escape(name, i)) {
            plain += static_cast<char>(std::stoi(name.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            plain += name[i];
        }
    }
    return plain;
}

}  // namespace

std::vector<std::string> mounted_disks(const std::string& mounts_path) {
    std::vector<std::string> found;
    std::set<std::string> seen;
    std::string root;
    std::ifstream mounts(mounts_path);
    std::string line;
    while (std::getline(mounts, line)) {
        const auto blank = line.find(' ');
        const auto end = line.find(' ', blank + 1);
        if (blank == std::string::npos || end == std::string::npos) continue;
        const std::string source = unescape_mount_name(line.substr(0, blank));
        if (line.compare(blank + 1, end - blank - 1, "/") == 0) root = source;
        if (source.starts_with("/dev/") && seen.insert(source).second) found.push_back(source);
    }
    if (found.empty() && !root.empty()) found.push_back(root);
    return found;
}

void collect_system(Report& report, const CollectOptions& options) {
    collect_cpu(report, options);
    collect_memory(report);
    for (const std::string& disk : options.disks.empty() ? mounted_disks() : options.disks) {
        collect_disk(report, disk);
    }
    collect_ethernet(report);
    collect_serial(report);
    collect_power(report);
}

}  // namespace quorvik::report
