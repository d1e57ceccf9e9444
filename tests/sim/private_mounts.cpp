#include "private_mounts.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace quorvik::sim {
namespace {

constexpr char kProfileDir[] = "/etc/quorvik";
constexpr char kProfilePath[] = "/etc/quorvik/DeviceProfile.ini";

std::string failure;

bool fail(const char* step) {
    failure = std::string(step) + ": " + std::strerror(errno);
    return false;
}

// A machine without /etc/quorvik gets one in a layer over /etc that only this
// namespace sees: nothing is created on the machine's own file system. The
// layer's scratch tmpfs is detached and its directory removed at once; the
// overlay keeps the tmpfs alive.
bool make_profile_dir() {
    struct stat status {};
    if (::stat(kProfileDir, &status) == 0) return true;
    char scratch[] = "/tmp/quorvik-etc-XXXXXX";
    if (::mkdtemp(scratch) == nullptr) return fail("mkdtemp for the /etc layer");
    const std::string upper = std::string(scratch) + "/upper";
    const std::string work = std::string(scratch) + "/work";
    const std::string options = "lowerdir=/etc,upperdir=" + upper + ",workdir=" + work;
    const bool layered = ::mount("tmpfs", scratch, "tmpfs", 0, "size=4m") == 0 &&
                         ::mkdir(upper.c_str(), 0755) == 0 && ::mkdir(work.c_str(), 0755) == 0 &&
                         ::mount("overlay", "/etc", "overlay", 0, options.c_str()) == 0;
    const int saved = errno;
    ::umount2(scratch, MNT_DETACH);
    ::rmdir(scratch);
    errno = saved;
    if (!layered) return fail("layer over /etc");
    if (::mkdir(kProfileDir, 0755) != 0) return fail("mkdir /etc/quorvik in the layer");
    return true;
}

bool make_private_mounts() {
    if (::unshare(CLONE_NEWNS) != 0) return fail("unshare(CLONE_NEWNS)");
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return fail("making / private");
    }
    if (!make_profile_dir()) return false;
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
