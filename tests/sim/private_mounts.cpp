#include "private_mounts.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace quorvik::sim {
namespace {

constexpr char kProfileDir[] = "/etc/quorvik";
constexpr char kProfilePath[] = "/etc/quorvik/DeviceProfile.ini";

std::string failure;

bool fail(const char* step) {
    failure = std::string(step) + ": " + std::strerror(errno);
    return false;
}

bool make_private_mounts() {
    if (::unshare(CLONE_NEWNS) != 0) return fail("unshare(CLONE_NEWNS)");
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return fail("making / private");
    }
    // On a machine without the directory an empty one is left behind; the
    // tmpfs itself vanishes with the namespace.
    if (::mkdir(kProfileDir, 0755) != 0 && errno != EEXIST) return fail("mkdir /etc/quorvik");
    if (::mount("tmpfs", kProfileDir, "tmpfs", 0, "size=4m") != 0) {
        return fail("mount tmpfs on /etc/quorvik");
    }
    return true;
}

}  // namespace

bool enter_private_mounts() {
    static const bool entered = make_private_mounts();
    return entered;
}

const std::string& private_mounts_failure() {
    return failure;
}

void write_system_profile(std::string_view text) {
    std::ofstream(kProfilePath, std::ios::trunc) << text;
}

void remove_system_profile() {
    ::unlink(kProfilePath);
}

}  // namespace quorvik::sim
