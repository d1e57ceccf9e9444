// Disk usage and sizes of the file system a name matches in df's output.
#include <cstring>
#include <string>

#include "frame.h"
#include "numbers.h"
#include "quorvik.h"
#include "quorvik_common/text.h"

namespace quorvik {
namespace {

// The longest name taken: it appears three times in a command line.
constexpr std::size_t kLongestName = 200;
constexpr std::size_t kDiskCommandSize = 2048;

// The name goes into shell command lines and is matched by grep: plain
// device names and mount points only. A leading '-' would be a grep option.
bool acceptable_name(const char* name) {
    if (name == nullptr || name[0] == '\0' || name[0] == '-') return false;
    if (std::strlen(name) > kLongestName) return false;
    for (const char* c = name; *c != '\0'; ++c) {
        const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                           (*c >= '0' && *c <= '9') || std::strchr("/._-+:@", *c) != nullptr;
        if (!plain) return false;
    }
    return true;
}

// df is asked about the named file systems only: one that never answers (a
// dead NFS server) must not stall the query of another. They are found in
// the mount table first, since df given a device that is not mounted
// silently reports the file system that holds /dev. A name that is exactly a
// mount's source or mount point names that file system (the last mount of
// it, the one in view); any other name is a pattern that picks every mount
// whose source or mount point it matches. The prefix leaves the mount
// points in $m and goes on only when there are some; the exact names are
// found by the shell alone, so that the usual query starts no more programs
// than df and its filters.
constexpr const char* kFindMounts =
    "set -f; m=; "
    "while read -r s t r; do "
    "if [ \"$s\" = '%s' ] || [ \"$t\" = '%s' ]; then m=$t; fi; "
    "done < /proc/self/mounts; "
    "[ -n \"$m\" ] || m=$(awk '{ print $1, $2 }' /proc/self/mounts | grep -e \"%s\" | "
    "awk '{ print $2 }'); "
    "[ -n \"$m\" ] && ";

// Checks that df lists the name among those file systems, then reads one
// column of its last matching line with column_command (a format taking the
// name).
int read_disk_column(const char* name, const char* column_command, double* value) {
    if (value == nullptr || !acceptable_name(name)) return ERR_RANGE;
    char command[kDiskCommandSize];
    char output[kBufferSize];
    const std::string find = std::string(kFindMounts);
    if (!text::format_into(command, (find + "df -- $m | grep %s > /dev/null 2>&1").c_str(), name,
                           name, name, name)) {
        return ERR_RANGE;
    }
    int status = exec_cmd(command, output);
    if (status < 0) return status;
    if (!text::format_into(command, (find + column_command).c_str(), name, name, name, name)) {
        return ERR_RANGE;
    }
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
                                "df -P -BM -- $m | grep -vE '^Filesystem|rootfs|tmpfs|cdrom' | "
                                "grep \"%s\" | awk '{print $5 }'",
                                percent);
    });
}

extern "C" int get_disk_total_size(const char* name, double* mebibytes) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        return read_disk_column(name,
                                "df -P -BM -- $m | grep -vE '^Filesystem|rootfs|tmpfs|cdrom' | "
                                "grep \"%s\" | awk '{print $2}'",
                                mebibytes);
    });
}

extern "C" int get_disk_avail_size(const char* name, double* mebibytes) noexcept {
    return guard::run(ERR_POPEN, [&]() -> int {
        return read_disk_column(
            name,
            "df -P -BM -- $m | grep -vE '^Filesystem|tmpfs|cdrom' | grep \"%s\" | awk '{print $4}'",
            mebibytes);
    });
}
