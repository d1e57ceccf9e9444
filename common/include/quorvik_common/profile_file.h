// Where a device profile is opened: the one call of the profile's loading
// that the board simulator replaces (with the board's own profile).
#pragma once

namespace quorvik::platform {

// Opens path read-only, close-on-exec and without blocking (a FIFO or a
// device must not hang the caller): a descriptor, or -1 with errno.
int open_profile(const char* path);

}  // namespace quorvik::platform
