#include <cstdio>
#include <cstring>
#include <optional>

#include "frame.h"
#include "quorvik.h"
#include "quorvik_common/c_number.h"
#include "quorvik_common/ini_value.h"
#include "quorvik_common/text.h"
#include "so_binding.h"

namespace quorvik {
namespace {

// strtol base 0 as the INI library reads integers, but in the C locale and
// without its wrap to int: 4294967298 is no count of 2. A missing key stores
// -1; a value outside int leaves the destination alone.
int read_int(const dictionary* dict, const char* key, int* destination) {
    const char* text = ini::find_text(dict, key);
    if (text == nullptr) {
        *destination = -1;
        return ERR_PROFILE_VALUE;
    }
    const std::optional<int> value = number::c_strtoi(text);
    if (!value) return ERR_PROFILE_VALUE;
    *destination = *value;
    return *value < 0 ? ERR_PROFILE_VALUE : 0;
}

int read_double(const dictionary* dict, const char* key, double* destination) {
    const char* text = ini::find_text(dict, key);
    *destination = text != nullptr ? number::c_strtod(text) : -1.0;
    return *destination < 0.0 ? ERR_PROFILE_VALUE : 0;
}

// Text values must fit the callers' 128-byte buffers; longer ones are refused.
int read_text(const dictionary* dict, const char* key, char* destination) {
    const char* text = ini::find_text(dict, key);
    if (text == nullptr) return ERR_PROFILE_VALUE;
    const std::size_t length = std::strlen(text);
    if (length >= kBufferSize) return ERR_PROFILE_VALUE;
    std::memcpy(destination, text, length + 1);
    return 0;
}

}  // namespace

int profile_lookup(const ini::Profile& profile, const char* section, const char* key, int type,
                   void* value) {
    if (!profile) return ERR_PROFILE_LOAD;
    // "<section>:<key>" in the callers' 128 bytes; a longer one is cut and
    // finds nothing.
    char full_key[kBufferSize] = {};
    text::format_into(full_key, "%s:%s", section, key);
    if (value == nullptr) return type <= INI_TYPE_STRING ? ERR_PROFILE_VALUE : 0;
    const dictionary* dict = profile.get();
    switch (type) {
        case INI_TYPE_INT:
            return read_int(dict, full_key, static_cast<int*>(value));
        case INI_TYPE_DOUBLE:
            return read_double(dict, full_key, static_cast<double*>(value));
        case INI_TYPE_STRING:
            return read_text(dict, full_key, static_cast<char*>(value));
        default:
            return 0;
    }
}

int model_lookup(const char* key, int type, void* value) {
    return ModelProfile().lookup(key, type, value);
}

ModelProfile::ModelProfile()
    : named_(so::device_name(model_)), profile_(named_ ? kProfilePath : nullptr) {}

int ModelProfile::lookup(const char* key, int type, void* value) const {
    if (!named_) return ERR_DEVICE_NAME;
    return profile_lookup(profile_, model_, key, type, value);
}

}  // namespace quorvik
