// RAII owners of what a call acquires from the platform, so that every early
// return releases it.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <utility>

#include "platform.h"

namespace quorvik {

class FileDescriptor {
  public:
    FileDescriptor(const char* path, int flags) : fd_(platform::open(path, flags)) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    bool valid() const { return fd_ >= 0; }
    int get() const { return fd_; }

    // Closes now and reports the result; later calls do nothing.
    int close() { return fd_ >= 0 ? platform::close(std::exchange(fd_, -1)) : 0; }

  private:
    int fd_;
};

class ReadOnlyMapping {
  public:
    ReadOnlyMapping(const FileDescriptor& file, std::size_t length, off_t offset)
        : length_(length),
          addr_(file.valid() ? platform::map_shared_readonly(file.get(), length, offset)
                             : MAP_FAILED) {}
    ~ReadOnlyMapping() {
        if (valid()) platform::unmap(addr_, length_);
    }
    ReadOnlyMapping(const ReadOnlyMapping&) = delete;
    ReadOnlyMapping& operator=(const ReadOnlyMapping&) = delete;

    bool valid() const { return addr_ != MAP_FAILED; }
    const unsigned char* data() const { return static_cast<const unsigned char*>(addr_); }

  private:
    std::size_t length_;
    void* addr_;
};

}  // namespace quorvik
