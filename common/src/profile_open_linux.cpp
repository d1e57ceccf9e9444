// Production opening of a device profile (a file of its own in the archive,
// so that the board simulator's libraries can link theirs in its place).
#include <fcntl.h>

#include "quorvik_common/profile_file.h"

namespace quorvik::platform {

int open_profile(const char* path) {
    return ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

}  // namespace quorvik::platform
