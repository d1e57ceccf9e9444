// System readings through the monitoring API: CPU, memory, disks, Ethernet
// and serial ports, power inputs. Values are converted to base units here:
// percentages to ratios, MiB to bytes, Mbit/s to bits per second.
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "parallel.h"
#include "quorvik.h"
#include "quorvik_common/profile_schema.h"
#include "report.h"

namespace quorvik::report {
namespace {

constexpr double kBytesPerMebibyte = 1024.0 * 1024.0;
constexpr double kBitsPerMegabit = 1e6;
constexpr double kPercent = 100.0;
constexpr int kPowerInputs = 2;

void add(std::vector<Reading>& readings, const Quantity& quantity, std::vector<Label> labels,
         int status, double value) {
    Reading reading(quantity, std::move(labels), status);
    if (reading.ok()) reading.value = value;
    readings.push_back(std::move(reading));
}

// A library call that runs shell commands, within the bound of such calls.
template <typename Call>
int bounded(Bound& bound, Call call) {
    const Bound::Slot slot(bound);
    return call();
}

// A count read with query, while the bound allows.
Reading count_reading(Bound& bound, const Quantity& quantity, int (*query)(int*)) {
    int count = 0;
    const int status = bounded(bound, [&] { return query(&count); });
    Reading reading(quantity, {}, status);
    if (reading.ok()) reading.value = count;
    return reading;
}

void append(std::vector<Reading>& readings, std::vector<Reading> more) {
    for (Reading& reading : more) readings.push_back(std::move(reading));
}

// A port count read with query, then the readings of the ports it counts (at
// most as many as a board lists), read while the bound on commands allows.
std::vector<Reading> count_and_ports(Bounds& bounds, const Quantity& quantity, int (*query)(int*),
                                     const std::function<std::vector<Reading>(int)>& port) {
    Reading count = count_reading(bounds.commands, quantity, query);
    const int listed = items_to_read(count, schema::kMostListed, "ports");
    std::vector<Reading> readings = {std::move(count)};
    append(readings, readings_of(listed, kCommandsAtOnce, port));
    return readings;
}

// Reports done of total to progress, one caller at a time.
class SharedProgress {
  public:
    SharedProgress(const Progress& progress, int total) : progress_(progress), total_(total) {
        if (progress_ && total_ > 0) progress_(0, total_);
    }
    void one_done() {
        if (!progress_) return;
        const std::lock_guard lock(mutex_);
        progress_(++done_, total_);
    }

  private:
    const Progress& progress_;
    const int total_;
    std::mutex mutex_;
    int done_ = 0;
};

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

std::vector<Reading> collect_cpu(Bounds& bounds, const CollectOptions& options) {
    Reading count = count_reading(bounds.commands, quantity::kCpus, get_cpu_count);
    const int cpus = options.per_cpu && count.ok() && count.value > 0 ? int(count.value) : 0;
    std::vector<Reading> readings = {std::move(count)};
    // The average and every CPU sleep through the same second.
    SharedProgress progress(options.cpu_progress, cpus);
    const auto measure = [&](int i) {
        double usage = 0.0;
        const int status = bounded(bounds.measurements, [&] {
            return i == 0 ? get_average_cpu_usage(&usage) : get_cpu_usage(i - 1, &usage);
        });
        std::vector<Reading> measured;
        if (i == 0) {
            add(measured, quantity::kCpuUsage, {}, status, usage / kPercent);
        } else {
            add(measured, quantity::kCpuCoreUsage, {{"cpu", std::to_string(i - 1)}}, status,
                usage / kPercent);
            progress.one_done();
        }
        return measured;
    };
    append(readings, readings_of(cpus + 1, kMeasurementsAtOnce, measure));
    return readings;
}

std::vector<Reading> collect_memory(Bounds& bounds) {
    std::vector<Reading> readings;
    int percent = 0;
    int status = bounded(bounds.commands, [&] { return get_mem_usage(&percent); });
    add(readings, quantity::kMemoryUsage, {}, status, percent / kPercent);
    double mebibytes = 0.0;
    status = bounded(bounds.commands, [&] { return get_mem_total_size(&mebibytes); });
    add(readings, quantity::kMemoryTotal, {}, status, mebibytes * kBytesPerMebibyte);
    status = bounded(bounds.commands, [&] { return get_mem_avail_size(&mebibytes); });
    add(readings, quantity::kMemoryFree, {}, status, mebibytes * kBytesPerMebibyte);
    return readings;
}

std::vector<Reading> collect_disks(Bounds& bounds, const std::vector<std::string>& disks) {
    return readings_of(int(disks.size()), kCommandsAtOnce, [&](int i) {
        const char* disk = disks[static_cast<std::size_t>(i)].c_str();
        const std::vector<Label> labels = {{"disk", disk}};
        std::vector<Reading> readings;
        double value = 0.0;
        int status = bounded(bounds.commands, [&] { return get_disk_usage(disk, &value); });
        add(readings, quantity::kDiskUsage, labels, status, value / kPercent);
        status = bounded(bounds.commands, [&] { return get_disk_total_size(disk, &value); });
        add(readings, quantity::kDiskSize, labels, status, value * kBytesPerMebibyte);
        status = bounded(bounds.commands, [&] { return get_disk_avail_size(disk, &value); });
        add(readings, quantity::kDiskAvailable, labels, status, value * kBytesPerMebibyte);
        return readings;
    });
}

std::vector<Reading> collect_ethernet(Bounds& bounds) {
    const auto port_readings = [&](int port) {
        const std::vector<Label> labels = {{"port", std::to_string(port)},
                                           {"interface", "eth" + std::to_string(port)}};
        std::vector<Reading> of_port;
        int value = 0;
        int status = bounded(bounds.commands, [&] { return get_eth_link(port, &value); });
        add(of_port, quantity::kEthernetCarrier, labels, status, value);
        status = bounded(bounds.commands, [&] { return get_eth_speed(port, &value); });
        add(of_port, quantity::kEthernetSpeed, labels, status, value * kBitsPerMegabit);
        status = bounded(bounds.commands, [&] { return get_eth_usage(port, &value); });
        add(of_port, quantity::kEthernetUsage, labels, status, value / kPercent);
        return of_port;
    };
    return count_and_ports(bounds, quantity::kEthernetPorts, get_eth_count, port_readings);
}

std::vector<Reading> collect_serial(Bounds& bounds) {
    const auto port_reading = [&](int port) {
        int in_use = 0;
        const int status = bounded(bounds.commands, [&] { return get_uart_status(port, &in_use); });
        std::vector<Reading> of_port;
        add(of_port, quantity::kSerialInUse, {{"port", std::to_string(port)}}, status, in_use);
        return of_port;
    };
    return count_and_ports(bounds, quantity::kSerialPorts, get_uart_count, port_reading);
}

std::vector<Reading> collect_power() {
    std::vector<Reading> readings;
    for (int input = 0; input < kPowerInputs; ++input) {
        int state = 0;
        const int status = get_pwr_status(input, &state);
        // A model without power indicator has no inputs to report.
        if (status == ERR_NO_POWER_INDICATOR) break;
        add(readings, quantity::kPowerInput, {{"input", std::to_string(input)}}, status, state);
    }
    return readings;
}

}  // namespace quorvik::report
