// The thin layer between the library and what a board offers: I/O-port
// permission and byte port access, device files (/dev/mem, the MSR driver)
// with mmap and pread, and the software-SMI port write.
//
// platform_linux.cpp holds the real calls; quorvik-sim and the tests link the
// simulator's (sim/platform/so_platform.cpp) in its place. Nothing here is
// exported.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "QuorvikSO.h"

namespace quorvik::platform {

// ioperm(2) for num ports from `from`; 0 on success.
int ioperm(unsigned long from, unsigned long num, int turn_on);

// Byte-wide port access (sys/io.h argument order for outb: value, port).
std::uint8_t inb(std::uint16_t port);
void outb(std::uint8_t value, std::uint16_t port);

// File access for the device nodes; same results as the system calls.
int open(const char* path, int flags);
int close(int fd);
ssize_t pread(int fd, void* buf, std::size_t count, off_t offset);

// Read-only shared mapping; MAP_FAILED on failure.
void* map_shared_readonly(int fd, std::size_t length, off_t offset);
int unmap(void* addr, std::size_t length);

// Registers handed to and taken back from the firmware's SMI handler: the
// mailbox's own block.
using SmiRegisters = ::SmiRegisterBlock;

// Load EAX, EBX, ECX, ESI, EDI from regs, write AL to port 0xB2, and store
// EAX, EBX, ECX, EDX back: one uninterrupted sequence.
void send_smi(SmiRegisters& regs);

}  // namespace quorvik::platform
