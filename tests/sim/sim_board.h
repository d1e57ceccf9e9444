// A simulated board behind the platform layer: physical memory, I/O ports
// with their permissions, the MSR device and the SMI port. Tests arrange a
// board here, run library code against it and assert on what a real board
// would have seen.
#pragma once

#include <sys/types.h>

#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform.h"

namespace quorvik::sim {

struct PortAccess {
    enum Kind { In, Out } kind;
    std::uint16_t port;
    std::uint8_t value;
    bool operator==(const PortAccess&) const = default;
};

struct PermissionCall {
    unsigned long from;
    unsigned long num;
    int turn_on;
    bool operator==(const PermissionCall&) const = default;
};

struct MapRequest {
    off_t offset;
    std::size_t length;
    bool operator==(const MapRequest&) const = default;
};

// Something that answers on I/O ports (a Super I/O chip, say).
class PortDevice {
  public:
    virtual ~PortDevice() = default;
    virtual std::uint8_t read(std::uint16_t port) = 0;
    virtual void write(std::uint16_t port, std::uint8_t value) = 0;
};

class Board {
  public:
    static Board& get();

    // Back to an empty board: no memory, no devices, no logs.
    void reset();

    // ---- physical memory (/dev/mem) ----
    void set_memory(std::uint64_t address, std::span<const std::uint8_t> bytes);
    bool fail_open_mem = false;
    bool fail_map = false;
    std::vector<MapRequest> map_requests;

    // ---- I/O ports ----
    // Result of each ioperm call (0 grants it); the default grants all.
    std::function<int(const PermissionCall&)> ioperm_result;
    std::vector<PermissionCall> permission_calls;
    std::vector<PortAccess> port_log;
    std::bitset<65536> permitted;
    // inb/outb without permission: a real process would fault here.
    int permission_violations = 0;
    // Linux keeps I/O permissions per thread. Off (the default), `permitted`
    // stands for the whole process, as single-threaded tests expect; on, each
    // thread has a set of its own, empty at first, and `permitted` is unused.
    bool per_thread_permissions = false;
    // Per-thread mode: ports some thread still holds.
    bool any_thread_permission_left() const;
    // Off: no call or access is logged (long benchmark runs); the checks stay.
    bool keep_logs = true;
    // On: the calling thread yields after each port access, SMI or
    // permission call, so that other threads get between two of them.
    bool yield_between_accesses = false;
    void attach(std::uint16_t port, PortDevice* device) { devices_[port] = device; }

    // ---- model-specific registers (/dev/cpu/0/msr) ----
    std::map<std::uint32_t, std::uint64_t> msr;
    bool fail_open_msr = false;
    // Bytes a pread of a register returns at most (8 for a sound driver).
    std::size_t msr_read_limit = 8;
    std::vector<off_t> msr_reads;

    // ---- software SMI (port 0xB2) ----
    std::function<void(platform::SmiRegisters&)> smi_handler;
    std::vector<platform::SmiRegisters> smi_calls;  // registers as the handler received them

    // ---- resources still held by the library ----
    int open_files() const { return static_cast<int>(files_.size()); }
    int live_mappings() const { return static_cast<int>(mappings_.size()); }

    // Used by the simulated platform layer.
    int open(const char* path);
    int close(int fd);
    ssize_t pread(int fd, void* buf, std::size_t count, off_t offset);
    void* map(int fd, std::size_t length, off_t offset);
    int unmap(void* addr, std::size_t length);
    int ioperm(unsigned long from, unsigned long num, int turn_on);
    std::uint8_t inb(std::uint16_t port);
    void outb(std::uint8_t value, std::uint16_t port);
    void smi(platform::SmiRegisters& regs);

  private:
    using PortSet = std::bitset<65536>;
    // The permission set that applies to the calling thread.
    PortSet& permissions();

    enum class FileKind { Mem, Msr };
    struct Region {
        std::uint64_t address;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Region> memory_;
    std::map<int, FileKind> files_;
    std::map<void*, std::size_t> mappings_;
    std::map<std::uint16_t, PortDevice*> devices_;
    std::map<std::thread::id, PortSet> thread_permissions_;
    int next_fd_ = 100;
};

}  // namespace quorvik::sim
