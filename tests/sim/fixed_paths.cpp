#include "fixed_paths.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "private_mounts.h"

namespace quorvik::sim {
namespace {

// Layers live in the private tmpfs on /etc/quorvik, which no other process
// sees and which vanishes with the test process even after a crash.
constexpr char kLayerRoot[] = "/etc/quorvik/.layers";

int next_layer = 0;

}  // namespace

Overlay::Overlay(std::string directory) : directory_(std::move(directory)) {
    if (!enter_private_mounts()) {
        failure_ = private_mounts_failure();
        return;
    }
    layer_ = std::string(kLayerRoot) + "/" + std::to_string(next_layer++);
    std::error_code error;
    std::filesystem::create_directories(layer_ + "/upper", error);
    std::filesystem::create_directories(layer_ + "/work", error);
    if (error) {
        failure_ = "creating " + layer_ + ": " + error.message();
        return;
    }
    const std::string options =
        "lowerdir=" + directory_ + ",upperdir=" + layer_ + "/upper,workdir=" + layer_ + "/work";
    if (::mount("overlay", directory_.c_str(), "overlay", 0, options.c_str()) != 0) {
        failure_ = "overlay on " + directory_ + ": " + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

Overlay::~Overlay() {
    if (mounted_) ::umount2(directory_.c_str(), MNT_DETACH);
    if (!layer_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(layer_, ignored);
    }
}

MountedDisk::MountedDisk(const std::string& source, int mebibytes) {
    if (!enter_private_mounts()) return;
    char dir[] = "/tmp/quorvik-disk-XXXXXX";
    if (::mkdtemp(dir) == nullptr) return;
    path_ = dir;
    const std::string options = "size=" + std::to_string(mebibytes) + "m";
    mounted_ = ::mount(source.c_str(), dir, "tmpfs", 0, options.c_str()) == 0;
}

MountedDisk::~MountedDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    if (!path_.empty()) ::rmdir(path_.c_str());
}

bool make_char_node(const std::string& path, unsigned major, unsigned minor) {
    ::unlink(path.c_str());
    return ::mknod(path.c_str(), S_IFCHR | 0600, makedev(major, minor)) == 0;
}

void write_script(const std::string& path, const std::string& body) {
    ::unlink(path.c_str());
    std::ofstream(path, std::ios::trunc) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), 0755);
}

}  // namespace quorvik::sim
