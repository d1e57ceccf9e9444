#include "ledger.h"

namespace quorvik::report {

std::size_t Part::begin(Reading unfinished) {
    unfinished.note = kUnfinishedNote;
    const std::lock_guard lock(mutex_);
    entries_.push_back({std::move(unfinished), nullptr});
    return entries_.size() - 1;
}

void Part::finish(std::size_t at, Reading done) {
    const std::lock_guard lock(mutex_);
    entries_[at].reading = std::move(done);
}

void Part::drop(std::size_t at) {
    const std::lock_guard lock(mutex_);
    entries_[at].dropped = true;
}

Part& Part::part() {
    const std::lock_guard lock(mutex_);
    entries_.push_back({{}, std::make_unique<Part>(mutex_)});
    return *entries_.back().part;
}

void Part::append_to(std::vector<Reading>& readings) const {
    for (const Entry& entry : entries_) {
        if (entry.part) {
            entry.part->append_to(readings);
        } else if (!entry.dropped) {
            readings.push_back(entry.reading);
        }
    }
}

}  // namespace quorvik::report
