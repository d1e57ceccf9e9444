// Voltages and temperatures by role: the profile names the reader input that
// carries each role, libQuorvikSO reads it.
#include "frame.h"
#include "quorvik.h"
#include "quorvik_common/profile_schema.h"
#include "so_binding.h"

namespace quorvik {
namespace {

int read_role(int index, int* result, const schema::InputKind& kind) {
    if (result == nullptr) return ERR_RANGE;
    // The model name and the profile for both lookups; libQuorvikSO's reader
    // loads the profile once more for the input's description.
    const ModelProfile profile;
    SectionKeys keys = profile.keys();
    int input = 0;
    const int status = read_role_input(keys, kind, index, input);
    if (status != 0) return status;
    return so::sensor_value(profile.model(), kind.dispatch_type, input, result) ? 0 : ERR_SENSOR;
}

}  // namespace
}  // namespace quorvik

using namespace quorvik;

extern "C" int get_milli_volt(int index, int* millivolts) noexcept {
    return guard::run(ERR_SENSOR,
                      [&]() -> int { return read_role(index, millivolts, schema::kVolt); });
}

extern "C" int get_temperature(int index, int* millidegrees) noexcept {
    return guard::run(ERR_SENSOR,
                      [&]() -> int { return read_role(index, millidegrees, schema::kTemp); });
}
