// System section of quorvik-info: CPU, memory, disks, Ethernet and serial
// ports, power inputs. Each reading shows its value and unit, or the status
// that kept it from being read.
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "info.h"
#include "quorvik.h"

namespace quorvik::info {
namespace {

void label(const std::string& text) {
    std::printf("%-16s ", text.c_str());
}

// Prints the value (format takes at least one argument) or the status. Call
// the query before: arguments are evaluated in no fixed order.
template <typename... Values>
void reading(const std::string& name, int status, const char* format, Values... values) {
    label(name);
    if (status != 0) {
        std::printf("unavailable (%s, %d)\n", status_name(status), status);
        return;
    }
    std::printf(format, values...);
    std::printf("\n");
}

// The mounted block devices (/dev/...), or the root file system's source
// when there are none, as names for the disk queries.
std::vector<std::string> disks() {
    std::vector<std::string> found;
    std::set<std::string> seen;
    std::string root;
    std::ifstream mounts("/proc/self/mounts");
    std::string source, target, rest;
    while (mounts >> source >> target && std::getline(mounts, rest)) {
        if (target == "/") root = source;
        if (source.rfind("/dev/", 0) == 0 && seen.insert(source).second) found.push_back(source);
    }
    if (found.empty() && !root.empty()) found.push_back(root);
    return found;
}

void report_cpu(bool per_cpu) {
    int count = 0;
    const int count_status = get_cpu_count(&count);
    reading("CPU count", count_status, "%d", count);
    double usage = 0.0;
    const int usage_status = get_average_cpu_usage(&usage);
    reading("CPU usage", usage_status, "%.1f %%", usage);
    if (!per_cpu || count_status != 0) return;
    for (int cpu = 0; cpu < count; ++cpu) {
        const int status = get_cpu_usage(cpu, &usage);
        reading("  CPU " + std::to_string(cpu), status, "%.1f %%", usage);
    }
}

void report_memory() {
    int percent = 0;
    int status = get_mem_usage(&percent);
    reading("Memory usage", status, "%d %%", percent);
    double size = 0.0;
    status = get_mem_total_size(&size);
    reading("Memory total", status, "%.0f MiB", size);
    status = get_mem_avail_size(&size);
    reading("Memory free", status, "%.0f MiB", size);
}

void report_disks() {
    for (const std::string& disk : disks()) {
        double value = 0.0;
        int status = get_disk_usage(disk.c_str(), &value);
        reading("Disk " + disk, status, "%.0f %% used", value);
        status = get_disk_total_size(disk.c_str(), &value);
        reading("  total", status, "%.0f MiB", value);
        status = get_disk_avail_size(disk.c_str(), &value);
        reading("  available", status, "%.0f MiB", value);
    }
}

void report_ethernet() {
    int count = 0;
    const int count_status = get_eth_count(&count);
    reading("Ethernet ports", count_status, "%d", count);
    if (count_status != 0) return;
    for (int port = 0; port < count; ++port) {
        const std::string name = "  eth" + std::to_string(port);
        int value = 0;
        int status = get_eth_link(port, &value);
        reading(name + " link", status, "%s", value != 0 ? "carrier" : "no carrier");
        status = get_eth_speed(port, &value);
        reading(name + " speed", status, "%d Mbit/s", value);
        status = get_eth_usage(port, &value);
        reading(name + " load", status, "%d %%", value);
    }
}

void report_serial() {
    int count = 0;
    const int count_status = get_uart_count(&count);
    reading("Serial ports", count_status, "%d", count);
    if (count_status != 0) return;
    for (int port = 0; port < count; ++port) {
        int in_use = 0;
        const int status = get_uart_status(port, &in_use);
        reading("  port " + std::to_string(port), status, "%s", in_use != 0 ? "in use" : "free");
    }
}

void report_power() {
    for (int input = 0; input < 2; ++input) {
        int state = 0;
        const int status = get_pwr_status(input, &state);
        reading("Power input " + std::to_string(input), status, "%d", state);
    }
}

}  // namespace

void report_system(bool per_cpu) {
    std::printf("\nSystem\n");
    report_cpu(per_cpu);
    report_memory();
    report_disks();
    report_ethernet();
    report_serial();
    report_power();
}

}  // namespace quorvik::info
