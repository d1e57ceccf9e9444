// Writable layers over system directories (/dev, /usr/bin) inside the test
// process's private mount namespace, so that tests can create /dev/dio,
// /dev/relay or /usr/bin/ifstat, or remove them, without touching the
// machine's own files. Whatever is written lands in a layer that vanishes
// when the Overlay goes out of scope.
#pragma once

#include <string>

namespace quorvik::sim {

class Overlay {
  public:
    // Enters the private mount namespace if needed and mounts an overlay on
    // directory; check mounted() (failure() says why not).
    explicit Overlay(std::string directory);
    ~Overlay();
    Overlay(const Overlay&) = delete;
    Overlay& operator=(const Overlay&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& failure() const { return failure_; }

  private:
    std::string directory_;
    std::string layer_;
    bool mounted_ = false;
    std::string failure_;
};

// A file system that the mount table lists under source (a tmpfs of the
// given size, mounted on a fresh directory in the private mount namespace),
// so that the disk queries find it; unmounted and removed at scope exit.
class MountedDisk {
  public:
    explicit MountedDisk(const std::string& source, int mebibytes = 16);
    ~MountedDisk();
    MountedDisk(const MountedDisk&) = delete;
    MountedDisk& operator=(const MountedDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    bool mounted_ = false;
};

// Creates a character device node (root only), removes whatever is at path
// first. Returns false on failure.
bool make_char_node(const std::string& path, unsigned major, unsigned minor);

// Writes an executable shell script.
void write_script(const std::string& path, const std::string& body);

// Skips the calling test when the overlay could not be made.
#define QUORVIK_REQUIRE_OVERLAY(overlay)                                                         \
    do {                                                                                         \
        if (!(overlay).mounted()) GTEST_SKIP() << "no private overlay: " << (overlay).failure(); \
    } while (0)

}  // namespace quorvik::sim
