// Where the simulated libraries read the device profile from: the system's
// profile path stands for the board's profile in the run's state directory;
// any other path is opened as it is.
#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "QuorvikSO.h"
#include "quorvik_common/profile_file.h"
#include "sim_state.h"

namespace quorvik::platform {

int open_profile(const char* path) {
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    if (path == nullptr) {
        errno = EFAULT;
        return -1;
    }
    if (std::strcmp(path, QUORVIK_PROFILE_PATH) != 0) return ::open(path, kFlags);
    const char* dir = qsim_state_dir();
    char board_profile[4096];
    if (dir == nullptr ||
        qsim_path(board_profile, sizeof board_profile, dir, QSIM_PROFILE_FILE) != 0) {
        errno = ENOENT;
        return -1;
    }
    return ::open(board_profile, kFlags);
}

}  // namespace quorvik::platform
