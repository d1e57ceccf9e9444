#include "quorvik_common/ini_value.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "quorvik_common/profile_file.h"
#include "quorvik_common/unique_fd.h"

namespace quorvik::ini {
namespace {

// Only its address matters: no profile text can be this pointer.
const char kMissing[] = "";

}  // namespace

dictionary* load_profile(const char* path) {
    if (path == nullptr) return nullptr;
    const UniqueFd file(platform::open_profile(path));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return nullptr;
    }
    // iniparser loads only by path: the descriptor's own.
    char own_path[32];
    std::snprintf(own_path, sizeof own_path, "/proc/self/fd/%d", file.get());
    return iniparser_load(own_path);
}

std::vector<const char*> section_names(const dictionary* dict) {
    std::vector<const char*> names;
    for (const char* name : Sections(dict)) names.push_back(name);
    return names;
}

const char* find_text(const dictionary* dict, const char* key) {
    if (dict == nullptr || key == nullptr) return nullptr;
    const char* text = iniparser_getstring(dict, key, kMissing);
    return text == kMissing ? nullptr : text;
}

bool has_key(const dictionary* dict, const char* key) {
    return find_text(dict, key) != nullptr;
}

}  // namespace quorvik::ini
