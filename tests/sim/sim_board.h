// The simulated board behind libQuorvikSO's tests: quorvik-sim's platform
// layer on the test run's state (sim_run.h) holds the memory, the chip and
// the MSRs; this board arranges them, logs what the library did through the
// platform's hooks (permission calls, port accesses, opens, mappings, MSR
// reads, SMIs), fails what a test asks, and answers SMIs as the firmware.
// Tests arrange a board here, run library code against it and assert on what
// a real board would have seen.
#pragma once

#include <sys/types.h>

#include <bitset>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "hardware_hooks.h"
#include "platform.h"
#include "sim_state.h"

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

class SuperIoChip;

// The registers of the MSR device in the test run's state, set and erased
// as in a map.
class MsrFile {
  public:
    class Register {
      public:
        Register(MsrFile& file, std::uint32_t number) : file_(file), number_(number) {}
        Register& operator=(std::uint64_t value);

      private:
        MsrFile& file_;
        std::uint32_t number_;
    };

    Register operator[](std::uint32_t number) { return {*this, number}; }
    MsrFile& operator=(std::initializer_list<std::pair<const std::uint32_t, std::uint64_t>> all);
    void erase(std::uint32_t number);
    void clear();

  private:
    qsim_msr* find(std::uint32_t number);
};

class Board : public platform::HardwareHooks {
  public:
    static Board& get();

    // Back to an empty board: no memory, no chip, no MSRs, no logs.
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
    // The ports the calling thread holds, as the board granted them.
    std::bitset<65536> permitted;
    // inb/outb without permission: a real process would fault here.
    int permission_violations = 0;
    // Linux keeps I/O permissions per thread, and so does the board. Off (the
    // default), `permitted` shows the calls of every thread, as
    // single-threaded tests expect; on, each thread's grants are kept apart,
    // and `permitted` is unused.
    bool per_thread_permissions = false;
    // Per-thread mode: ports some thread still holds.
    bool any_thread_permission_left() const;
    // Off: no call or access is logged (long benchmark runs); the checks stay.
    bool keep_logs = true;
    // On: the calling thread yields at each port access, SMI or permission
    // call, so that other threads get between two of them.
    bool yield_between_accesses = false;

    // ---- model-specific registers (/dev/cpu/0/msr) ----
    MsrFile msr;
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

    // The chip whose accesses the board reports (SuperIoChip::attach_to).
    void attach(SuperIoChip* chip);
    void detach(SuperIoChip* chip);

    // The platform layer's hooks.
    int permission(unsigned long from, unsigned long num, int turn_on) override;
    void port_access(bool write, std::uint16_t port, std::uint8_t value, bool permitted) override;
    bool may_open(const char* path) override;
    void opened(int fd) override;
    void closed(int fd) override;
    std::size_t msr_read(off_t offset) override;
    bool may_map(off_t offset, std::size_t length) override;
    void mapped(void* address, std::size_t length) override;
    void unmapped(void* address) override;
    void smi(platform::SmiRegisters& cpu) override;

  private:
    struct Blank {};
    explicit Board(Blank) {}
    Board();
    using PortSet = std::bitset<65536>;
    // The permission set that applies to the calling thread.
    PortSet& permissions();
    void clear();

    std::set<int> files_;
    std::map<void*, std::size_t> mappings_;
    SuperIoChip* chip_ = nullptr;
    std::map<std::thread::id, PortSet> thread_permissions_;
};

// Forgets libQuorvikSO's identification, so that the next query identifies
// the board again.
void forget_identity();

}  // namespace quorvik::sim
