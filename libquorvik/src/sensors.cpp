// Voltages and temperatures by role: the profile names the reader input that
// carries each role, libQuorvikSO reads it.
#include <cstddef>

#include "QuorvikSO.h"
#include "frame.h"
#include "quorvik.h"
#include "quorvik_common/profile_schema.h"
#include "so_binding.h"

namespace quorvik {
namespace {

template <std::size_t Roles>
int read_role(int index, int* result, const char* count_key, const schema::Role (&roles)[Roles],
              unsigned long type) {
    if (result == nullptr) return ERR_RANGE;
    // The model name and the profile for both lookups; libQuorvikSO's reader
    // loads the profile once more for the input's description.
    const ModelProfile profile;
    int count = 0;
    int status = profile.lookup(count_key, INI_TYPE_INT, &count);
    if (status < 0) return status;
    // Only roles the model has and the table names can be read.
    if (index < 0 || index >= count || index >= static_cast<int>(Roles)) return ERR_RANGE;

    int input = 0;
    status = profile.lookup(roles[index].key, INI_TYPE_INT, &input);
    if (status < 0) return status;
    return so::sensor_value(profile.model(), type, input, result) ? 0 : ERR_SENSOR;
}

}  // namespace
}  // namespace quorvik

using namespace quorvik;

extern "C" int get_milli_volt(int index, int* millivolts) noexcept {
    return guard::run(ERR_SENSOR, [&]() -> int {
        return read_role(index, millivolts, schema::kVoltCount, schema::kVoltRoles, SENSOR_VOLT);
    });
}

extern "C" int get_temperature(int index, int* millidegrees) noexcept {
    return guard::run(ERR_SENSOR, [&]() -> int {
        return read_role(index, millidegrees, schema::kTempCount, schema::kTempRoles, SENSOR_TEMP);
    });
}
