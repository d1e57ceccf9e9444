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

void format_key(const ini_query& query, char (&key)[kBufferSize]) {
    if (query.index == -1) {
        text::format_into(key, "%s:%s", query.section, query.key);
    } else {
        text::format_into(key, "%s:%s_%d", query.section, query.key, query.index);
    }
}

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

// The query's value from a loaded profile.
int read_value(const dictionary* dict, const ini_query& query) {
    char key[kBufferSize] = {};
    format_key(query, key);
    if (query.value == nullptr) return query.type <= INI_TYPE_STRING ? ERR_PROFILE_VALUE : 0;
    switch (query.type) {
        case INI_TYPE_INT:
            return read_int(dict, key, static_cast<int*>(query.value));
        case INI_TYPE_DOUBLE:
            return read_double(dict, key, static_cast<double*>(query.value));
        case INI_TYPE_STRING:
            return read_text(dict, key, static_cast<char*>(query.value));
        default:
            return 0;
    }
}

}  // namespace

int paser_ini(ini_query* query) {
    if (query == nullptr) return ERR_PROFILE_LOAD;
    const ini::Profile profile(query->path);
    if (!profile) return ERR_PROFILE_LOAD;
    return read_value(profile.get(), *query);
}

int model_lookup(const char* key, int type, void* value) {
    return ModelProfile().lookup(key, type, value);
}

ModelProfile::ModelProfile()
    : named_(so::device_name(model_)), profile_(named_ ? kProfilePath : nullptr) {}

int ModelProfile::lookup(const char* key, int type, void* value) const {
    if (!named_) return ERR_DEVICE_NAME;
    if (!profile_) return ERR_PROFILE_LOAD;
    ini_query query;
    std::memset(&query, 0, sizeof query);
    text::format_into(query.path, "%s", kProfilePath);
    text::format_into(query.key, "%s", key);
    text::format_into(query.section, "%s", model_);
    query.index = -1;
    query.value = value;
    query.type = type;
    return read_value(profile_.get(), query);
}

}  // namespace quorvik
