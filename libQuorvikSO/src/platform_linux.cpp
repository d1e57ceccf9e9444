// Production platform: the real system calls and port instructions.
#include <fcntl.h>
#include <sys/io.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform.h"

namespace quorvik::platform {

int ioperm(unsigned long from, unsigned long num, int turn_on) {
    return ::ioperm(from, num, turn_on);
}

std::uint8_t inb(std::uint16_t port) {
    return ::inb(port);
}

void outb(std::uint8_t value, std::uint16_t port) {
    ::outb(value, port);
}

int open(const char* path, int flags) {
    return ::open(path, flags | O_CLOEXEC);
}

int close(int fd) {
    return ::close(fd);
}

ssize_t pread(int fd, void* buf, std::size_t count, off_t offset) {
    return ::pread(fd, buf, count, offset);
}

void* map_shared_readonly(int fd, std::size_t length, off_t offset) {
    return ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, offset);
}

int unmap(void* addr, std::size_t length) {
    return ::munmap(addr, length);
}

void send_smi(SmiRegisters& regs) {
    // RBX is callee-saved (and may hold the PIC base): swap it in and out by
    // hand rather than naming it as clobbered. ESI and EDI are in-out because
    // the handler may change them.
    std::uint32_t eax = regs.eax, ecx = regs.ecx, edx = 0, esi = regs.esi, edi = regs.edi;
    std::uint64_t rbx = regs.ebx;
    __asm__ __volatile__(
        "xchg %%rbx, %[b]\n\t"
        "movw $0xB2, %%dx\n\t"
        "outb %%al, %%dx\n\t"
        "xchg %%rbx, %[b]\n\t"
        : "+a"(eax), [b] "+r"(rbx), "+c"(ecx), "+d"(edx), "+S"(esi), "+D"(edi)
        :
        : "memory");
    regs.eax = eax;
    regs.ebx = static_cast<std::uint32_t>(rbx);
    regs.ecx = ecx;
    regs.edx = edx;
}

}  // namespace quorvik::platform
