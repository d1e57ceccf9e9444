// The readings of a collection as they come in, in report order whatever
// thread reads them. A reading whose call is under way stands in its place as
// failed, so that the report can be written at a deadline while a call still
// hangs (a dead mount, a stuck device).
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "report.h"

namespace quorvik::report {

// What a reading says when its call had not returned by the deadline.
inline constexpr const char* kUnfinishedNote = "not read within quorvik-info's deadline";

// A run of readings and of parts of their own, read by one thread at a time;
// all parts of a collection share one mutex.
class Part {
  public:
    explicit Part(std::mutex& mutex) : mutex_(mutex) {}
    Part(const Part&) = delete;
    Part& operator=(const Part&) = delete;

    // A reading whose call is about to be made: until finish() or drop() it
    // stands as unfinished, with its status and kUnfinishedNote.
    std::size_t begin(Reading unfinished);
    void finish(std::size_t at, Reading done);
    // The call showed there is nothing to report after all.
    void drop(std::size_t at);

    // A part at this place, for readings that another thread makes.
    Part& part();

    // The readings so far, in order. The caller holds the mutex.
    void append_to(std::vector<Reading>& readings) const;

  private:
    struct Entry {
        Reading reading;
        std::unique_ptr<Part> part;
        bool dropped = false;
    };
    std::mutex& mutex_;
    std::deque<Entry> entries_;
};

// Readings made one after another by one thread, each standing unfinished
// from the start: a call that hangs leaves the ones after it in the report.
class Planned {
  public:
    // unfinished: the readings in order, each with the status it shows
    // until read.
    Planned(Part& part, const std::vector<Reading>& unfinished) : part_(part) {
        for (const Reading& reading : unfinished)
            places_.emplace_back(part.begin(reading), reading);
    }

    // Reads the next planned reading with call, which returns the status and
    // sets the value; the value is kept times scale.
    template <typename Call>
    void read(Call call, double scale = 1.0) {
        auto& [at, reading] = places_.at(next_++);
        double value = 0.0;
        reading.status = call(value);
        if (reading.ok()) reading.value = value * scale;
        part_.finish(at, std::move(reading));
    }

  private:
    Part& part_;
    std::vector<std::pair<std::size_t, Reading>> places_;
    std::size_t next_ = 0;
};

// Reads one value into its place, taken before the call.
template <typename Call>
void read_into(Part& part, Reading unfinished, Call call, double scale = 1.0) {
    Planned(part, {std::move(unfinished)}).read(call, scale);
}

}  // namespace quorvik::report
