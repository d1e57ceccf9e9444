// Internal frame of the monitoring API: the command runner and the model
// lookup. Nothing here is exported.
#pragma once

#include <chrono>
#include <cstddef>

#include "quorvik_common/guard.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/model_keys.h"

namespace quorvik {

// How long a command may run. Well above any healthy command on a slow board
// (the CPU usage's one-second sample, df on a busy disk), and short enough
// that a command stuck on a dead mount or a stalled tool cannot hold a caller
// or a one-minute metrics timer.
inline constexpr std::chrono::seconds kCommandDeadline{10};

// Runs command with the shell and keeps the last line it printed (at most
// 126 characters) in output[128]. Returns 0, ERR_POPEN, ERR_PCLOSE or
// ERR_CMD_EXIT; a command still running at kCommandDeadline is killed with
// its whole process group and gives ERR_CMD_EXIT.
int exec_cmd(const char* command, char* output);

// As exec_cmd; *timed_out tells whether the deadline ended the command.
int run_command(const char* command, char* output, bool* timed_out);

// Reads key of the running model's section (the name GetDeviceName gives) in
// the profile at QUORVIK_PROFILE_PATH, as read_integer does.
// Returns 0, ERR_DEVICE_NAME, ERR_PROFILE_LOAD or ERR_PROFILE_VALUE.
int model_lookup(const char* key, int& value);

// The running model's name and the profile, taken once for a call that reads
// several values: each model_lookup would ask for the name and load the
// profile again.
class ModelProfile {
  public:
    ModelProfile();
    ModelProfile(const ModelProfile&) = delete;
    ModelProfile& operator=(const ModelProfile&) = delete;

    // The model's keys for the key readers.
    SectionKeys keys() const { return SectionKeys(profile_.get(), named_ ? model_ : nullptr); }

    // The model name ("" when GetDeviceName failed).
    const char* model() const { return model_; }

  private:
    char model_[kBufferSize] = {};
    bool named_;
    ini::Profile profile_;  // loaded only for a model that has a name
};

}  // namespace quorvik
