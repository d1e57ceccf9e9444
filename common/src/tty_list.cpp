#include "quorvik_common/tty_list.h"

#include "quorvik_common/c_number.h"
#include "quorvik_common/profile_schema.h"

namespace quorvik::tty {

bool letters_only(std::string_view letters) {
    for (const char c : letters) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
    }
    return true;
}

std::vector<std::string> items(std::string_view list) {
    const std::string_view separators = schema::kListSeparator;
    std::vector<std::string> found;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find_first_of(separators, start);
        if (end == std::string_view::npos) end = list.size();
        if (end > start) found.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    return found;
}

std::optional<int> device_number(const char* item) {
    return number::truncate_to_int(number::c_strtod(item));
}

std::string node_test_command(std::string_view letters, int number) {
    return "ls /dev/tty" + std::string(letters) + std::to_string(number) + " > /dev/null 2>&1";
}

}  // namespace quorvik::tty
