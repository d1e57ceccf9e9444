// System readings through the monitoring API: CPU, memory, disks, Ethernet
// and serial ports, power inputs. Values are converted to base units here:
// percentages to ratios, MiB to bytes, Mbit/s to bits per second.
#include <cstdio>
#include <functional>
#include <memory>
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

// A library call that runs shell commands, made within the bound of such
// calls.
template <typename Call>
auto bounded(Bound& bound, Call call) {
    return [&bound, call](double& value) {
        const Bound::Slot slot(bound);
        return call(value);
    };
}

// A reading of a call that runs shell commands: unfinished, it reads as a
// command that did not finish in time.
Reading command_reading(const Quantity& quantity, std::vector<Label> labels = {}) {
    return Reading(quantity, std::move(labels), ERR_CMD_EXIT);
}

// A count read with query, while the bound allows; ERR_RANGE with a note
// beyond what a board lists. Returns how many items to read.
int read_count(Part& part, Bound& bound, const Quantity& quantity, int (*query)(int*),
               const char* items) {
    const std::size_t at = part.begin(command_reading(quantity));
    int count = 0;
    int status = 0;
    {
        const Bound::Slot slot(bound);
        status = query(&count);
    }
    Reading reading(quantity, {}, status);
    if (reading.ok()) reading.value = count;
    const int listed = items_to_read(reading, schema::kMostListed, items);
    part.finish(at, std::move(reading));
    return listed;
}

// A port count read with query, then the readings of the ports it counts (at
// most as many as a board lists), read while the bound on commands allows.
void count_and_ports(Part& part, Bounds& bounds, const Quantity& quantity, int (*query)(int*),
                     const std::function<void(int, Part&)>& port) {
    const int listed = read_count(part, bounds.commands, quantity, query, "ports");
    read_items(part, listed, kCommandsAtOnce, port);
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

// The next line of file, without its newline; false at the end.
bool read_line(std::FILE* file, std::string& line) {
    line.clear();
    for (int c; (c = std::fgetc(file)) != EOF;) {
        if (c == '\n') return true;
        line += static_cast<char>(c);
    }
    return !line.empty();
}

}  // namespace

std::vector<std::string> mounted_disks(const std::string& mounts_path) {
    std::vector<std::string> found;
    std::set<std::string> seen;
    std::string root;
    // Close-on-exec ("e"): no command the libraries run inherits it.
    const std::unique_ptr<std::FILE, decltype(&std::fclose)> mounts(
        std::fopen(mounts_path.c_str(), "re"), &std::fclose);
    std::string line;
    while (mounts && read_line(mounts.get(), line)) {
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

void collect_cpu(Part& part, GroupContext& context) {
    Bounds& bounds = context.bounds;
    const CollectOptions& options = context.options;
    int count = 0;
    int status = -1;
    read_into(part, command_reading(quantity::kCpus), bounded(bounds.commands, [&](double& value) {
                  status = get_cpu_count(&count);
                  value = count;
                  return status;
              }));
    const int cpus = options.per_cpu && status == 0 && count > 0 ? count : 0;
    // The average and every CPU sleep through the same second.
    SharedProgress progress(options.cpu_progress, cpus);
    const auto measure = [&](int i, Part& measured) {
        const auto usage = bounded(bounds.measurements, [i](double& value) {
            return i == 0 ? get_average_cpu_usage(&value) : get_cpu_usage(i - 1, &value);
        });
        if (i == 0) {
            read_into(measured, command_reading(quantity::kCpuUsage), usage, 1 / kPercent);
        } else {
            read_into(measured,
                      command_reading(quantity::kCpuCoreUsage, {{"cpu", std::to_string(i - 1)}}),
                      usage, 1 / kPercent);
            progress.one_done();
        }
    };
    read_items(part, cpus + 1, kMeasurementsAtOnce, measure);
}

void collect_memory(Part& part, GroupContext& context) {
    Bounds& bounds = context.bounds;
    Planned planned(
        part, {command_reading(quantity::kMemoryUsage), command_reading(quantity::kMemoryTotal),
               command_reading(quantity::kMemoryFree)});
    planned.read(bounded(bounds.commands,
                         [](double& value) {
                             int percent = 0;
                             const int status = get_mem_usage(&percent);
                             value = percent;
                             return status;
                         }),
                 1 / kPercent);
    planned.read(bounded(bounds.commands, [](double& value) { return get_mem_total_size(&value); }),
                 kBytesPerMebibyte);
    planned.read(bounded(bounds.commands, [](double& value) { return get_mem_avail_size(&value); }),
                 kBytesPerMebibyte);
}

void collect_disks(Part& part, GroupContext& context) {
    Bounds& bounds = context.bounds;
    const std::vector<std::string>& disks = context.disks;
    read_items(part, int(disks.size()), kCommandsAtOnce, [&](int i, Part& of_disk) {
        const char* disk = disks[static_cast<std::size_t>(i)].c_str();
        const std::vector<Label> labels = {{"disk", disk}};
        Planned planned(of_disk, {command_reading(quantity::kDiskUsage, labels),
                                  command_reading(quantity::kDiskSize, labels),
                                  command_reading(quantity::kDiskAvailable, labels)});
        planned.read(bounded(bounds.commands,
                             [disk](double& value) { return get_disk_usage(disk, &value); }),
                     1 / kPercent);
        planned.read(bounded(bounds.commands,
                             [disk](double& value) { return get_disk_total_size(disk, &value); }),
                     kBytesPerMebibyte);
        planned.read(bounded(bounds.commands,
                             [disk](double& value) { return get_disk_avail_size(disk, &value); }),
                     kBytesPerMebibyte);
    });
}

// An int query of a port, made within the bound on commands.
auto port_query(Bound& bound, int (*query)(int, int*), int port) {
    return bounded(bound, [query, port](double& value) {
        int read = 0;
        const int status = query(port, &read);
        value = read;
        return status;
    });
}

void collect_ethernet(Part& part, GroupContext& context) {
    Bounds& bounds = context.bounds;
    const auto port_readings = [&](int port, Part& of_port) {
        const std::vector<Label> labels = {{"port", std::to_string(port)},
                                           {"interface", "eth" + std::to_string(port)}};
        Planned planned(of_port, {command_reading(quantity::kEthernetCarrier, labels),
                                  command_reading(quantity::kEthernetSpeed, labels),
                                  command_reading(quantity::kEthernetUsage, labels)});
        planned.read(port_query(bounds.commands, get_eth_link, port));
        planned.read(port_query(bounds.commands, get_eth_speed, port), kBitsPerMegabit);
        planned.read(port_query(bounds.commands, get_eth_usage, port), 1 / kPercent);
    };
    count_and_ports(part, bounds, quantity::kEthernetPorts, get_eth_count, port_readings);
}

void collect_serial(Part& part, GroupContext& context) {
    Bounds& bounds = context.bounds;
    const auto port_reading = [&](int port, Part& of_port) {
        read_into(of_port,
                  command_reading(quantity::kSerialInUse, {{"port", std::to_string(port)}}),
                  port_query(bounds.commands, get_uart_status, port));
    };
    count_and_ports(part, bounds, quantity::kSerialPorts, get_uart_count, port_reading);
}

void collect_power(Part& part, GroupContext&) {
    for (int input = 0; input < kPowerInputs; ++input) {
        const Reading unfinished(quantity::kPowerInput, {{"input", std::to_string(input)}},
                                 ERR_DEV_IOCTL);
        const std::size_t at = part.begin(unfinished);
        int state = 0;
        Reading reading = unfinished;
        reading.status = get_pwr_status(input, &state);
        // A model without power indicator has no inputs to report.
        if (reading.status == ERR_NO_POWER_INDICATOR) {
            part.drop(at);
            break;
        }
        if (reading.ok()) reading.value = state;
        part.finish(at, std::move(reading));
    }
}

}  // namespace quorvik::report
