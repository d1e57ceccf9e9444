// `quorvik-sim set` and `get`: the live state of a run, by the keys of the
// board format ("eth0.up", "bank0.0x27", "msr.0x19C", "dio.power0") and a
// few of their own ("dio.requests", "temperature.CPU").
#pragma once

#include <string>

#include "sim_state.h"

namespace quorvik::simtool {

class Live {
  public:
    explicit Live(const std::string& dir);
    ~Live();
    Live(const Live&) = delete;
    Live& operator=(const Live&) = delete;

    bool ok() const { return hw_ != nullptr; }
    const std::string& error() const { return error_; }

    // An error text, or empty.
    std::string set(const std::string& key, const std::string& value);
    std::string get(const std::string& key, std::string& value);
    // Every key with its value.
    std::string dump();

  private:
    std::string dir_;
    qsim_hardware* hw_ = nullptr;
    std::string error_;
};

}  // namespace quorvik::simtool
