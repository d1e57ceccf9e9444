// The running model's name and its profile, for the queries.
#include "QuorvikSO.h"
#include "frame.h"
#include "so_binding.h"

namespace quorvik {

int model_lookup(const char* key, int& value) {
    const ModelProfile profile;
    SectionKeys keys = profile.keys();
    return read_integer(keys, key, value);
}

ModelProfile::ModelProfile()
    : named_(so::device_name(model_)), profile_(named_ ? QUORVIK_PROFILE_PATH : nullptr) {}

}  // namespace quorvik
