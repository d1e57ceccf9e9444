// Running the collectors' library calls at once, in a bounded number, while
// every reading keeps its place in the report.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "report.h"

namespace quorvik::report {

// A bound on library calls in flight; a Slot holds one place for its scope.
class Bound {
  public:
    explicit Bound(int at_once) : places_(at_once) {}
    Bound(const Bound&) = delete;
    Bound& operator=(const Bound&) = delete;

    class Slot {
      public:
        explicit Slot(Bound& bound) : bound_(bound) { bound_.places_.acquire(); }
        ~Slot() { bound_.places_.release(); }
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;

      private:
        Bound& bound_;
    };

  private:
    std::counting_semaphore<> places_;
};

// Calls job(0) ... job(count - 1) on up to threads threads and returns when
// all have returned. Each job writes only its own results.
inline void for_each_index(int count, int threads, const std::function<void(int)>& job) {
    if (count <= 0) return;
    const int workers = std::clamp(threads, 1, count);
    if (workers == 1) {
        for (int i = 0; i < count; ++i) job(i);
        return;
    }
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int i = next++; i < count; i = next++) job(i);
    };
    std::vector<std::jthread> pool;
    pool.reserve(static_cast<std::size_t>(workers - 1));
    for (int w = 1; w < workers; ++w) pool.emplace_back(work);
    work();
}

// Readings of count items, item i's before item i + 1's whatever the order in
// which they were read.
inline std::vector<Reading> readings_of(int count, int threads,
                                        const std::function<std::vector<Reading>(int)>& item) {
    std::vector<std::vector<Reading>> parts(static_cast<std::size_t>(std::max(count, 0)));
    for_each_index(count, threads, [&](int i) { parts[static_cast<std::size_t>(i)] = item(i); });
    std::vector<Reading> all;
    for (auto& part : parts) {
        for (auto& reading : part) all.push_back(std::move(reading));
    }
    return all;
}

// The bounds of one collection.
struct Bounds {
    Bound commands{kCommandsAtOnce};
    Bound measurements{kMeasurementsAtOnce};
};

}  // namespace quorvik::report

namespace quorvik::report {

// The groups of the report, each in its own order.
std::vector<Reading> collect_identity();
std::vector<Reading> collect_sensors();
std::vector<Reading> collect_cpu(Bounds& bounds, const CollectOptions& options);
std::vector<Reading> collect_memory(Bounds& bounds);
std::vector<Reading> collect_disks(Bounds& bounds, const std::vector<std::string>& disks);
std::vector<Reading> collect_ethernet(Bounds& bounds);
std::vector<Reading> collect_serial(Bounds& bounds);
std::vector<Reading> collect_power();

// Makes a count reading beyond most fail with ERR_RANGE and a note that says
// so; returns how many items to read (at most most).
int items_to_read(Reading& count, int most, const char* items);

}  // namespace quorvik::report
