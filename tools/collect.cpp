// The identity readings, and the whole collection in report order.
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "parallel.h"
#include "quorvik.h"
#include "report.h"

namespace quorvik::report {
namespace {

// The identity texts, each standing as its query's own failure until read:
// a query that hangs leaves the others in the report.
struct IdentityText {
    const Quantity& quantity;
    int (*query)(char*);
    int unfinished;
};

constexpr IdentityText kIdentityTexts[] = {
    {quantity::kModel, get_device_name, ERR_DEVICE_NAME},
    {quantity::kBiosVersion, get_bios_ver, ERR_BIOS_VER},
    {quantity::kSerialNumber, get_ser_num, ERR_SERIAL_NUM},
};

std::string host_name() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

}  // namespace

void collect_identity(Part& part, GroupContext&) {
    std::size_t places[std::size(kIdentityTexts)];
    for (std::size_t i = 0; i < std::size(kIdentityTexts); ++i) {
        places[i] =
            part.begin(Reading(kIdentityTexts[i].quantity, {}, kIdentityTexts[i].unfinished));
    }
    for (std::size_t i = 0; i < std::size(kIdentityTexts); ++i) {
        char text[128];
        Reading reading(kIdentityTexts[i].quantity);
        reading.status = kIdentityTexts[i].query(text);
        if (reading.ok()) reading.text = text;
        part.finish(places[i], std::move(reading));
    }
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

namespace {

// A collection's state, shared with the groups' threads: a thread whose call
// hangs past the deadline keeps it alive after collect() returned.
struct Collection {
    std::mutex mutex;
    Part root{mutex};
    GroupContext context;
    std::condition_variable ended;
    int running = 0;
    bool abandoned = false;  // collect() returned: nobody to show progress to
};

// The caller's progress, only while the caller waits for the collection.
Progress progress_while_waited(Collection& c, Progress progress) {
    if (!progress) return progress;
    return [&c, progress = std::move(progress)](int done, int total) {
        const std::lock_guard lock(c.mutex);
        if (!c.abandoned) progress(done, total);
    };
}

// Starts every group on a thread of its own; one that cannot be had runs its
// group on the calling thread.
void start_groups(const std::shared_ptr<Collection>& c) {
    c->running = static_cast<int>(std::size(kGroups));
    for (const Group& group : kGroups) {
        auto run = [c, collect = group.collect, &part = c->root.part()] {
            collect(part, c->context);
            {
                const std::lock_guard lock(c->mutex);
                --c->running;
            }
            c->ended.notify_all();
        };
        try {
            std::thread(run).detach();
        } catch (const std::system_error&) {
            run();
        }
    }
}

}  // namespace

Report collect(const CollectOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + options.deadline;
    Report report;
    report.hostname = host_name();
    const std::chrono::duration<double> since_epoch =
        std::chrono::system_clock::now().time_since_epoch();
    report.started_seconds = since_epoch.count();
    report.collected_at = rfc3339_utc(static_cast<long long>(std::floor(since_epoch.count())));
    const auto c = std::make_shared<Collection>();
    c->context.options = options;
    c->context.options.cpu_progress = progress_while_waited(*c, options.cpu_progress);
    c->context.disks = options.disks.empty() ? mounted_disks() : options.disks;
    start_groups(c);
    std::unique_lock lock(c->mutex);
    report.unfinished = !c->ended.wait_until(lock, deadline, [&] { return c->running == 0; });
    c->abandoned = true;
    c->root.append_to(report.readings);
    report.duration_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return report;
}

}  // namespace quorvik::report
