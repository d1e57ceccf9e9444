// A FUSE file system whose server stops answering, mounted in the private
// mount namespace: what a dead NFS server or a hung FUSE daemon is to the
// processes that stat it. The test itself is the server, on /dev/fuse.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace quorvik::sim {

class DeadMount {
  public:
    enum class Server {
        silent,      // never answers, not even the first request: a stat waits, killably
        first_only,  // answers the first request (INIT), then takes the others and never
                     // answers them: a stat waits even through SIGKILL
    };

    // Mounts on directory (created if missing); check mounted().
    DeadMount(const std::string& directory, Server server);
    ~DeadMount();
    DeadMount(const DeadMount&) = delete;
    DeadMount& operator=(const DeadMount&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& failure() const { return failure_; }
    const std::string& directory() const { return directory_; }

    // The server goes away: every request waiting on the mount fails.
    void release();

  private:
    void serve();

    std::string directory_;
    int device_ = -1;
    bool mounted_ = false;
    std::string failure_;
    std::atomic<bool> stop_{false};
    std::thread server_;
};

}  // namespace quorvik::sim
