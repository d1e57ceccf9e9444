// The identity readings, and the whole collection in report order.
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <ctime>
#include <functional>

#include "parallel.h"
#include "quorvik.h"
#include "report.h"

namespace quorvik::report {
namespace {

Reading text_reading(const Quantity& quantity, int (*query)(char*)) {
    char text[128];
    Reading reading(quantity);
    reading.status = query(text);
    if (reading.ok()) reading.text = text;
    return reading;
}

std::string host_name() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

}  // namespace

std::vector<Reading> collect_identity() {
    return {text_reading(quantity::kModel, get_device_name),
            text_reading(quantity::kBiosVersion, get_bios_ver),
            text_reading(quantity::kSerialNumber, get_ser_num)};
}

int items_to_read(Reading& count, int most, const char* items) {
    if (!count.ok()) return 0;
    if (count.value <= most) return count.value > 0 ? static_cast<int>(count.value) : 0;
    count.note = "the count " + std::to_string(static_cast<long long>(count.value)) +
                 " is more than a board has; " + items + " 0 to " + std::to_string(most - 1) +
                 " are read";
    count.status = ERR_RANGE;
    count.value = 0.0;
    return most;
}

std::string rfc3339_utc(long long seconds_since_epoch) {
    const std::time_t at = static_cast<std::time_t>(seconds_since_epoch);
    std::tm utc{};
    if (::gmtime_r(&at, &utc) == nullptr) return {};
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text, length);
}

Report collect(const CollectOptions& options) {
    Report report;
    report.hostname = host_name();
    const auto started = std::chrono::system_clock::now();
    const auto start = std::chrono::steady_clock::now();
    const std::chrono::duration<double> since_epoch = started.time_since_epoch();
    report.started_seconds = since_epoch.count();
    report.collected_at = rfc3339_utc(static_cast<long long>(std::floor(since_epoch.count())));
    const std::vector<std::string> disks = options.disks.empty() ? mounted_disks() : options.disks;
    Bounds bounds;
    const std::function<std::vector<Reading>()> groups[] = {
        collect_identity,
        collect_sensors,
        [&] { return collect_cpu(bounds, options); },
        [&] { return collect_memory(bounds); },
        [&] { return collect_disks(bounds, disks); },
        [&] { return collect_ethernet(bounds); },
        [&] { return collect_serial(bounds); },
        collect_power,
    };
    const int count = static_cast<int>(std::size(groups));
    report.readings = readings_of(count, count, [&](int i) { return groups[i](); });
    report.duration_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return report;
}

}  // namespace quorvik::report
