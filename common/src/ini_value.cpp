#include "quorvik_common/ini_value.h"

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

}  // namespace quorvik::ini
