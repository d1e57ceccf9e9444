#include "quorvik_common/ini_value.h"

#include "quorvik_common/c_number.h"

namespace quorvik::ini {
namespace {

// Only its address matters: no profile text can be this pointer.
const char kMissing[] = "";

}  // namespace

const char* find_text(const dictionary* dict, const char* key) {
    if (dict == nullptr || key == nullptr) return nullptr;
    const char* text = iniparser_getstring(dict, key, kMissing);
    return text == kMissing ? nullptr : text;
}

bool has_key(const dictionary* dict, const char* key) {
    return find_text(dict, key) != nullptr;
}

int text_to_int(const char* text) {
    return static_cast<int>(std::strtol(text, nullptr, 0));
}

double text_to_double(const char* text) {
    return number::c_strtod(text);
}

int get_int(const dictionary* dict, const char* key, int fallback) {
    const char* text = find_text(dict, key);
    return text != nullptr ? text_to_int(text) : fallback;
}

double get_double(const dictionary* dict, const char* key, double fallback) {
    const char* text = find_text(dict, key);
    return text != nullptr ? text_to_double(text) : fallback;
}

}  // namespace quorvik::ini
