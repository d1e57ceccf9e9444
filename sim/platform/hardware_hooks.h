// What a process that links the simulator's hardware platform in (the
// white-box tests) can watch and change in its own calls, on top of what the
// run's state holds: the permission calls' results, every port access, the
// device opens and mappings, short MSR reads and the firmware behind the SMI
// port. quorvik-sim installs nothing: the cost is one pointer load per call.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "platform.h"

namespace quorvik::platform {

class HardwareHooks {
  public:
    virtual ~HardwareHooks() = default;

    // Before the board sees a permission call: 0 lets it through, anything
    // else is the call's result (errno set by the hook).
    virtual int permission(unsigned long from, unsigned long num, int turn_on) = 0;
    // A port access (the SMI port's write included): a write before it
    // reaches the board, a read after; permitted: the calling thread held the
    // port's permission.
    virtual void port_access(bool write, std::uint16_t port, std::uint8_t value,
                             bool permitted) = 0;
    // Before a device open: false refuses it (ENOENT).
    virtual bool may_open(const char* path) = 0;
    virtual void opened(int fd) = 0;
    virtual void closed(int fd) = 0;
    // Any read of the MSR device: the most bytes the driver returns.
    virtual std::size_t msr_read(off_t offset) = 0;
    // Before a mapping of physical memory: false fails it.
    virtual bool may_map(off_t offset, std::size_t length) = 0;
    virtual void mapped(void* address, std::size_t length) = 0;
    virtual void unmapped(void* address) = 0;
    // The firmware's SMI handler: the registers as the processor hands them
    // over (EDX holding the port); EAX to EDX go back to the caller.
    virtual void smi(SmiRegisters& cpu) = 0;
};

// nullptr removes them. Not to be changed while another thread is in a call.
void set_hardware_hooks(HardwareHooks* hooks);

}  // namespace quorvik::platform
