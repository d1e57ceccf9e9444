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

#include "groups.h"
#include "quorvik_common/text.h"

namespace quorvik::report {

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

// Name of a status of either library as the status table gives it
// ("ERR_SENSOR", "SENSOR_ERR_KEY"), "OK" for 0, "UNKNOWN" for a value the
// table lacks.
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
