// Disk usage and sizes of the file system a name matches in df's output.
#include <cstring>

#include "frame.h"
#include "numbers.h"
#include "quorvik.h"
#include "quorvik_common/text.h"

namespace quorvik {
namespace {

// Disk command lines are longer than the others.
constexpr std::size_t kDiskCommandSize = 256;

// The name goes into shell command lines and is matched by grep: plain
// device names and mount points only. A leading '-' would be a grep option.
bool acceptable_name(const char* name) {
    if (name == nullptr || name[0] == '\0' || name[0] == '-') return false;
    for (const char* c = name; *c != '\0'; ++c) {
        const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                           (*c >= '0' && *c <= '9') || std::strchr("/._-+:@", *c) != nullptr;
        if (!plain) return false;
    }
    return true;
}

// Checks that df lists the name, then reads one column of its last matching
// line with column_command (a format taking the name).
int read_disk_column(const char* name, const char* column_command, double* value) {
    if (value == nullptr || !acceptable_name(name)) return ERR_RANGE;
    char command[kDiskCommandSize];
    char output[kBufferSize];
    // A name too long for a command line is refused: a cut line could end in
    // the middle of a redirection and write some other file.
    if (!text::format_into(command, "df | grep %s > /dev/null 2>&1", name)) return ERR_RANGE;
    int status = exec_cmd(command, output);
    if (status < 0) return status;
    if (!text::format_into(command, column_command, name)) return ERR_RANGE;
    status = exec_cmd(command, output);
    if (status < 0) return status;
    // strtod stops at the "%" or "M" after the number.
    *value = leading_number(output);
    return 0;
}

}  // namespace
}  // namespace quorvik

using namespace quorvik;

extern "C" int get_disk_usage(const char* name, double* percent) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        return read_disk_column(name,
                                "df -P -BM | grep -vE '^Filesystem|rootfs|tmpfs|cdrom' | grep "
                                "\"%s\" | awk '{print $5 }'",
                                percent);
    });
}

extern "C" int get_disk_total_size(const char* name, double* mebibytes) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        return read_disk_column(name,
                                "df -P -BM | grep -vE '^Filesystem|rootfs|tmpfs|cdrom' | grep "
                                "\"%s\" | awk '{print $2}'",
                                mebibytes);
    });
}

extern "C" int get_disk_avail_size(const char* name, double* mebibytes) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        return read_disk_column(
            name, "df -P -BM | grep -vE '^Filesystem|tmpfs|cdrom' | grep \"%s\" | awk '{print $4}'",
            mebibytes);
    });
}
