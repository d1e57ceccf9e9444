// The running model's name and its profile, for the queries.
#include "frame.h"
#include "so_binding.h"

namespace quorvik {

int model_lookup(const char* key, int type, void* value) {
    return ModelProfile().lookup(key, type, value);
}

ModelProfile::ModelProfile()
    : named_(so::device_name(model_)), profile_(named_ ? kProfilePath : nullptr) {}

int ModelProfile::lookup(const char* key, int type, void* value) const {
    return keys().read(key, type, value);
}

}  // namespace quorvik
