// Internal frame of the monitoring API: the command runner, the profile
// lookup and the model lookup. Nothing here is exported.
#pragma once

#include <cstddef>

#include "quorvik_common/guard.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/profile_schema.h"

namespace quorvik {

inline constexpr std::size_t kBufferSize = schema::kTextSize;
inline constexpr const char* kProfilePath = "/etc/quorvik/DeviceProfile.ini";

enum IniType : int { INI_TYPE_INT = 0, INI_TYPE_DOUBLE = 1, INI_TYPE_STRING = 2 };

// Runs command with the shell and keeps the last line it printed (at most
// 126 characters) in output[128]. Returns 0, ERR_POPEN, ERR_PCLOSE or
// ERR_CMD_EXIT.
int exec_cmd(const char* command, char* output);

// Reads key of section from a loaded profile (value: int*, double* or a
// 128-byte character buffer, by type), numbers as strtol (base 0) and strtod
// read them in the C locale. Returns 0, ERR_PROFILE_LOAD (no profile) or
// ERR_PROFILE_VALUE; a failed integer or real lookup leaves its negative value
// stored (-1 for a missing key), an integer outside int and a failed text
// lookup leave the destination untouched. Every profile lookup of the library
// comes here.
int profile_lookup(const ini::Profile& profile, const char* section, const char* key, int type,
                   void* value);

// Reads key of the running model's section (the name GetDeviceName gives).
// type is INI_TYPE_INT (value: int*) or INI_TYPE_STRING (value: char[128]).
// Returns 0, ERR_DEVICE_NAME, ERR_PROFILE_LOAD or ERR_PROFILE_VALUE.
int model_lookup(const char* key, int type, void* value);

// The running model's name and the profile, taken once for a call that reads
// several values: each model_lookup would ask for the name and load the
// profile again.
class ModelProfile {
  public:
    ModelProfile();
    ModelProfile(const ModelProfile&) = delete;
    ModelProfile& operator=(const ModelProfile&) = delete;

    // As model_lookup, from the profile loaded once.
    int lookup(const char* key, int type, void* value) const;

    // The model name ("" when GetDeviceName failed).
    const char* model() const { return model_; }

  private:
    char model_[kBufferSize] = {};
    bool named_;
    ini::Profile profile_;  // loaded only for a model that has a name
};

}  // namespace quorvik
