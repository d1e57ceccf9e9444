#include "loaded_version.h"

#include <link.h>

#include <cctype>
#include <filesystem>
#include <system_error>

namespace quorvik::info {
namespace {

struct Search {
    const std::string& library;  // "libquorvik.so"
    std::string path;            // of the loaded file, as the loader found it
};

std::string file_name(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// The name is library itself or library followed by a version suffix.
bool names(const std::string& name, const std::string& library) {
    return name == library || (name.starts_with(library) && name[library.size()] == '.');
}

int find_loaded(dl_phdr_info* info, std::size_t, void* data) {
    auto& search = *static_cast<Search*>(data);
    if (info->dlpi_name == nullptr || !names(file_name(info->dlpi_name), search.library)) return 0;
    search.path = info->dlpi_name;
    return 1;
}

// "X.Y.Z": three numbers.
bool is_full_version(const std::string& text) {
    int numbers = 0;
    bool digit_seen = false;
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            digit_seen = true;
        } else if (c == '.' && digit_seen) {
            ++numbers;
            digit_seen = false;
        } else {
            return false;
        }
    }
    return digit_seen && numbers == 2;
}

}  // namespace

std::string loaded_version(const std::string& library) {
    Search search{library, {}};
    ::dl_iterate_phdr(find_loaded, &search);
    if (search.path.empty()) return "unknown";
    std::error_code error;
    const std::string real = file_name(std::filesystem::canonical(search.path, error).string());
    if (error || !real.starts_with(library + ".")) return "unknown";
    const std::string version = real.substr(library.size() + 1);
    return is_full_version(version) ? version : "unknown";
}

}  // namespace quorvik::info
