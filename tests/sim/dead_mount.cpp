#include "dead_mount.h"

#include <fcntl.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "private_mounts.h"

namespace quorvik::sim {
namespace {

// The kernel wants room for its largest request in every read.
constexpr std::size_t kReadSize = 1 << 20;

// The INIT reply: the kernel's own protocol version, no optional features.
void answer_init(int device, const std::vector<char>& request) {
    fuse_in_header in{};
    fuse_init_in init{};
    std::memcpy(&in, request.data(), sizeof in);
    std::memcpy(&init, request.data() + sizeof in, sizeof init);
    struct {
        fuse_out_header header;
        fuse_init_out init;
    } reply{};
    reply.header.len = sizeof reply;
    reply.header.unique = in.unique;
    reply.init.major = FUSE_KERNEL_VERSION;
    reply.init.minor =
        init.minor < FUSE_KERNEL_MINOR_VERSION ? init.minor : FUSE_KERNEL_MINOR_VERSION;
    reply.init.max_readahead = init.max_readahead;
    reply.init.max_background = 16;
    reply.init.congestion_threshold = 12;
    reply.init.max_write = 4096;
    reply.init.time_gran = 1;
    if (::write(device, &reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) return;
}

}  // namespace

DeadMount::DeadMount(const std::string& directory, Server server) : directory_(directory) {
    if (!enter_private_mounts()) {
        failure_ = private_mounts_failure();
        return;
    }
    std::error_code ignored;
    std::filesystem::create_directories(directory_, ignored);
    device_ = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (device_ < 0) {
        failure_ = std::string("/dev/fuse: ") + std::strerror(errno);
        return;
    }
    const std::string options =
        "fd=" + std::to_string(device_) + ",rootmode=40000,user_id=0,group_id=0";
    if (::mount("deadserver", directory_.c_str(), "fuse", MS_NOSUID | MS_NODEV, options.c_str()) !=
        0) {
        failure_ = "mount fuse on " + directory_ + ": " + std::strerror(errno);
        return;
    }
    mounted_ = true;
    if (server == Server::first_only) server_ = std::thread([this] { serve(); });
}

void DeadMount::serve() {
    std::vector<char> request(kReadSize);
    bool answered = false;
    while (!stop_) {
        pollfd entry{device_, POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0) continue;
        const ssize_t got = ::read(device_, request.data(), request.size());
        if (got < static_cast<ssize_t>(sizeof(fuse_in_header))) continue;
        if (!answered) {
            answer_init(device_, request);
            answered = true;
        }
        // Every later request is taken and left without an answer.
    }
}

void DeadMount::release() {
    stop_ = true;
    if (server_.joinable()) server_.join();
    // Closing the device aborts the connection: waiting requests fail.
    if (device_ >= 0) ::close(std::exchange(device_, -1));
}

DeadMount::~DeadMount() {
    release();
    if (mounted_) ::umount2(directory_.c_str(), MNT_DETACH);
    std::error_code ignored;
    std::filesystem::remove(directory_, ignored);
}

}  // namespace quorvik::sim
