// Running the collectors' library calls at once, in a bounded number, while
// every reading keeps its place in the report.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <semaphore>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "ledger.h"
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
// all have returned. Each job writes only its own results. Where no more
// threads can be made (a pids limit, ulimit -u, an address-space limit), the
// threads there are do all the work, down to the calling thread alone.
inline void for_each_index(int count, int threads, const std::function<void(int)>& job) {
    if (count <= 0) return;
    const int workers = std::clamp(threads, 1, count);
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int i = next++; i < count; i = next++) job(i);
    };
    std::vector<std::jthread> pool;
    pool.reserve(static_cast<std::size_t>(workers - 1));
    for (int w = 1; w < workers; ++w) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
}

// The readings of count items, each in a part of parent of its own: item i's
// before item i + 1's whatever the order in which they are read.
inline void read_items(Part& parent, int count, int threads,
                       const std::function<void(int, Part&)>& item) {
    std::vector<Part*> parts;
    for (int i = 0; i < count; ++i) parts.push_back(&parent.part());
    for_each_index(count, threads, [&](int i) { item(i, *parts[static_cast<std::size_t>(i)]); });
}

// The bounds of one collection.
struct Bounds {
    Bound commands{kCommandsAtOnce};
    Bound measurements{kMeasurementsAtOnce};
};

}  // namespace quorvik::report

namespace quorvik::report {

// What every group's collector reads with.
struct GroupContext {
    Bounds bounds;
    CollectOptions options;
    std::vector<std::string> disks;  // the names for the disk queries
};

// Makes a count reading beyond most fail with ERR_RANGE and a note that says
// so; returns how many items to read (at most most).
int items_to_read(Reading& count, int most, const char* items);

}  // namespace quorvik::report
